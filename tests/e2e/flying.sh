# A new game: hold Right to charge, X to fire; the ship, its dust, the bullets and the HUD.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game
key Return
sleep 0.3
hold Right
sleep 2.5
xdotool key x
sleep 0.12
SHOT=$(shot flying)
release Right
count() { pixels count "$SHOT" "$@"; }
[ "$(count 0 136 60 8 0)" -ge 20 ] || fail "HUD energy text missing"
[ "$(count 0 0 50 8 0)" -ge 15 ] || fail "HUD score text missing"
# The energy digit after the shot is the same glyph as the score's 0.
python3 - "$SHOT" <<'PY' || fail "energy does not read 0/1 after the shot"
import subprocess, sys
path = sys.argv[1]
w, h = map(int, subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True).stdout.split())
raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True).stdout
pw = round(h * 160 / 144); left = (w - pw) // 2; s = pw / 160
def cell(x, y):
    i = (int((y + 0.5) * s) * w + int(left + (x + 0.5) * s)) * 3
    return raw[i:i + 3] == bytes((255, 204, 169))
def glyph(x0, y0):
    return [[cell(x0 + x, y0 + y) for x in range(4)] for y in range(8)]
score_zero = glyph(1 + 28, 0)       # "SCORE 0": the digit after "SCORE " (28 pixels of advance)
energy_digit = glyph(1 + 33, 136)   # "energy 0/1": the digit after "energy " (33 pixels)
assert any(any(r) for r in score_zero), "no score digit"
assert score_zero == energy_digit, "digits differ"
PY
stop_game
echo "1 passed, 0 failed"
