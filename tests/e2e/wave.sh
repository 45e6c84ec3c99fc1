# A real game up to the first wave of asteroids: steer to charge, fire to start playing.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game
key Return
wait_shot wave-start 30 on_intro
[ "$(pixels solid "$SHOT" 2 4)" -eq 0 ] || fail "asteroids before the game began"
hold Right
wait_shot charging 60 charged
xdotool key x
release Right
# The first group is thrown in at once from twice the screen's size away.
# Asteroid bodies are solid purple; space and its dust never hold a 4 x 4 purple square.
asteroids_in_sight() {
    local solid
    solid=$(pixels solid "$SHOT" 2 4)
    [ "$solid" -ge 12 ] || { echo "no asteroid in sight ($solid solid purple squares)" >&2; return 1; }
}
wait_shot wave 120 asteroids_in_sight
read -r left top width height palette_ok bars_ok <<<"$(pixels geometry "$SHOT")"
[ "$palette_ok" = 1 ] || fail "colours outside the palette"
kill -0 "$GAME_PID" || fail "game died"
note "solid purple squares (asteroid bodies): $(pixels solid "$SHOT" 2 4)"
stop_game
echo "1 passed, 0 failed"
