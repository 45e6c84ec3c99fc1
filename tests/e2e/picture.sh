#!/usr/bin/env bash
# Runs the game on a private X server and checks the window picture:
# fullscreen at 1280 × 720 (centred 800 × 720 picture, bars, palette colours,
# the title on the main menu), then windowed after F11 (4 × 4 pixel blocks),
# then a clean exit on SIGTERM.
# Usage: bash tests/e2e/picture.sh BUILD_DIR
source "$(dirname "$0")/lib/common.sh"
shots="$SHOTS"
start_x 1280 720
GAME_CWD="$BUILD"
start_game

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

import os
sys.path.insert(0, os.environ["PIXELS_DIR"])
from pixels import BAR, PALETTE
BACKGROUND = PALETTE[2]
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

# check MODE: the latest screenshot passes check.py in that mode
check() { PIXELS_DIR="$(dirname "$0")/lib" python3 "$shots/check.py" "$1" "$SHOT" >&2; }
wait_shot fullscreen 30 check fullscreen

xdotool key F11
wait_size 640x576
window_shot() { SHOT="$shots/windowed.png"; import -window "$WID" "$SHOT"; check windowed; }
wait_until 30 "a windowed picture that passes (see $shots/windowed.png)" window_shot

stop_game
echo "picture.sh: ok (screenshots in $shots)"
