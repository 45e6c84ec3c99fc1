# A real game up to the first wave of asteroids: steer to charge, fire to start playing.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game
key Return
hold Right
sleep 1.5
xdotool key x
release Right
# The first group is thrown in at once from twice the screen's size away.
sleep 7
SHOT=$(shot wave)
read -r left top width height palette_ok bars_ok <<<"$(pixels geometry "$SHOT")"
[ "$palette_ok" = 1 ] || fail "colours outside the palette"
kill -0 "$GAME_PID" || fail "game died"
stop_game
echo "1 passed, 0 failed"
