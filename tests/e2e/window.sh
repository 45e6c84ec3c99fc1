# The window: title, fullscreen at start, F11 to 640 × 576, SIGTERM through cleanup;
# --windowed and --fullscreen choose how it opens.
source "$(dirname "$0")/lib/common.sh"
start_x 1280 720
head -c 5000 /dev/zero | tr '\0' 'x' > "$BUILD/settings.json"
start_game
[ "$(xdotool getwindowname "$WID")" = "Vantorel" ] || fail "title"
wait_size 1280x720
note "fullscreen at start: $(window_size)"
key F11
wait_size 640x576
note "windowed after F11: $(window_size)"
grep -q "Couldn't change dir" "$WORK/game.out" && fail "could not change to the executable's folder"
stop_game
check_settings
note "settings.json: 97 bytes after SIGTERM"

GAME_ARGS=(--windowed)
start_game
wait_size 640x576
key F11
wait_size 1280x720
stop_game
note "--windowed: opens at 640x576, F11 to fullscreen"

GAME_ARGS=(--windowed --fullscreen)
start_game
wait_size 1280x720
stop_game
note "--windowed --fullscreen: the last one wins"
echo "3 passed, 0 failed"
