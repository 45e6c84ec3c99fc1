# A real game up to the first wave of asteroids: steer to charge, fire to start playing.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game
key Return
SHOT=$(shot wave-start)
[ "$(pixels solid "$SHOT" 2 4)" -eq 0 ] || fail "asteroids before the game began"
hold Right
sleep 1.5
xdotool key x
release Right
# The first group is thrown in at once from twice the screen's size away.
sleep 10
SHOT=$(shot wave)
read -r left top width height palette_ok bars_ok <<<"$(pixels geometry "$SHOT")"
[ "$palette_ok" = 1 ] || fail "colours outside the palette"
kill -0 "$GAME_PID" || fail "game died"
# Asteroid bodies are solid purple; space and its dust never hold a 4 x 4 purple square.
solid=$(pixels solid "$SHOT" 2 4)
note "solid purple squares (asteroid bodies): $solid"
[ "$solid" -ge 12 ] || fail "no asteroid in sight"
stop_game
echo "1 passed, 0 failed"
