# A new game: hold Right to charge, X to fire; the ship, its dust, the bullets and the HUD.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game
enter_play
count() { pixels count "$SHOT" "$@"; }
[ "$(count 0 136 60 8 0)" -ge 20 ] || fail "HUD energy text missing"
[ "$(count 0 0 50 8 0)" -ge 15 ] || fail "HUD score text missing"
# The energy digit after the shot is the same glyph as the score's 0.
# "energy " and "SCORE " advance 33 and 28 pixels.
[ "$(pixels same "$SHOT" 34 136 29 0)" = 1 ] || fail "energy does not read 0/1 after the shot"
stop_game
echo "1 passed, 0 failed"
