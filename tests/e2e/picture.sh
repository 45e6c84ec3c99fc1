#!/usr/bin/env bash
# Runs the game on a private X server and checks the window picture:
# fullscreen at 1280 × 720 (centred 800 × 720 picture, bars, palette colours,
# the title on the main menu), then windowed after F11 (4 × 4 pixel blocks),
# then a clean exit on SIGTERM.
# Usage: bash tests/e2e/picture.sh BUILD_DIR
set -u

build_dir=$(cd "${1:?usage: picture.sh BUILD_DIR}" && pwd)
exe="$build_dir/vantorel"
shots="$build_dir/e2e-shots"
mkdir -p "$shots"

fail() { echo "picture.sh: FAIL: $*" >&2; exit 1; }
[ -x "$exe" ] || fail "no executable at $exe"

xvfb_pid="" wm_pid="" game_pid=""
cleanup() {
    for pid in $game_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
}
trap cleanup EXIT

display=""
for n in $(seq 70 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >"$shots/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display"

openbox >"$shots/openbox.log" 2>&1 &
wm_pid=$!
sleep 1

(cd "$build_dir" && SDL_AUDIODRIVER=dummy exec "$exe") >"$shots/game.log" 2>&1 &
game_pid=$!

window=""
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name '^Vantorel$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$game_pid" 2>/dev/null || fail "the game exited before opening its window"
    sleep 0.1
done
[ -n "$window" ] || fail "no Vantorel window appeared"
sleep 1

# check.py MODE FILE: prints what it found, exits non-zero on a mismatch
cat >"$shots/check.py" <<'EOF'
import subprocess, sys

mode, path = sys.argv[1], sys.argv[2]
w, h = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
raw = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
assert len(raw) == w * h * 3, "unexpected image data size"

def px(x, y):
    i = (y * w + x) * 3
    return (raw[i], raw[i + 1], raw[i + 2])

PALETTE = {(255, 204, 169), (255, 0, 77), (62, 0, 165), (16, 29, 52)}
BACKGROUND = (62, 0, 165)
# the window is cleared with the float colour (0.247, 0, 0.6509): GL rounds it
BAR = (63, 0, 166)
problems = []

def picture_in_palette(x0, x1):
    off = sum(1 for y in range(h) for x in range(x0, x1) if px(x, y) not in PALETTE)
    if off:
        problems.append(f"{off} picture pixels are not palette colours")

if mode == "fullscreen":
    if (w, h) != (1280, 720):
        problems.append(f"screen is {w}x{h}, expected 1280x720")
    else:
        bad = sum(1 for y in range(h) for x in list(range(0, 240)) + list(range(1040, 1280))
                  if px(x, y) != BAR)
        if bad:
            problems.append(f"{bad} bar pixels are not the clear colour {BAR}")
        # the picture's own edge columns must not be the bar colour
        edge = [px(x, y) for y in range(h) for x in (240, 1039)]
        if any(c == BAR for c in edge):
            problems.append("picture edge columns carry the bar colour: picture narrower than 800")
        picture_in_palette(240, 1040)
        title = sum(1 for y in range(36, 324) for x in range(240 + 200, 240 + 600)
                    if px(x, y) != BACKGROUND)
        print(f"non-background pixels in the upper middle: {title}")
        if title < 200:
            problems.append("no title picture in the upper middle of the picture")
elif mode == "windowed":
    if (w, h) != (640, 576):
        problems.append(f"window is {w}x{h}, expected 640x576")
    else:
        picture_in_palette(0, w)
        bad = 0
        for by in range(0, h, 4):
            for bx in range(0, w, 4):
                c = px(bx, by)
                if any(px(bx + i, by + j) != c for j in range(4) for i in range(4)):
                    bad += 1
        if bad:
            problems.append(f"{bad} 4x4 blocks are not uniform")
        colours = {px(x, y) for y in range(0, h, 4) for x in range(0, w, 4)}
        print(f"distinct colours in the window: {len(colours)}")
for p in problems:
    print("problem:", p)
sys.exit(1 if problems else 0)
EOF

import -window root "$shots/fullscreen.png" || fail "could not capture the screen"
python3 "$shots/check.py" fullscreen "$shots/fullscreen.png" || fail "fullscreen picture (see $shots/fullscreen.png)"

xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"
xdotool key F11
size=""
for _ in $(seq 100); do
    size=$(xdotool getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Geometry: //p')
    [ "$size" = "640x576" ] && break
    sleep 0.1
done
[ "$size" = "640x576" ] || fail "after F11 the window is ${size:-unknown}, expected 640x576"
sleep 1
import -window "$window" "$shots/windowed.png" || fail "could not capture the window"
python3 "$shots/check.py" windowed "$shots/windowed.png" || fail "windowed picture (see $shots/windowed.png)"

kill -TERM "$game_pid"
for _ in $(seq 50); do
    kill -0 "$game_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$game_pid" 2>/dev/null; then
    fail "the game did not exit within 5 s of SIGTERM"
fi
wait "$game_pid"
rc=$?
game_pid=""
[ "$rc" -eq 0 ] || fail "the game exited with status $rc after SIGTERM"
echo "picture.sh: ok (screenshots in $shots)"
