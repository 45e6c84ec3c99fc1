# The window manager takes the window out of fullscreen: the next F11 must go back to
# fullscreen at once, not first "leave" a state the window is no longer in.
source "$(dirname "$0")/lib/common.sh"
start_x 1280 720
start_game
wait_size 1280x720
/usr/bin/python3 "$(dirname "$0")/lib/wm_state.py" "$WID" remove fullscreen || fail "window manager request"
wait_size 640x576
note "the window manager left fullscreen: $(window_size)"
key F11
wait_size 1280x720
note "first F11 afterwards: fullscreen again, $(window_size)"
key F11
wait_size 640x576
note "second F11: windowed, $(window_size)"
stop_game
check_settings
echo "1 passed, 0 failed"
