# Closing the window (the window manager's Alt+F4) in every state keys can reach, and SIGTERM
# in play: each time the game exits 0 and writes its 97-byte settings.json.
# Upgrade choice, game over and the win need points or deaths no key sequence gives in
# bounded time; the headless soak and fault tests cover their shutdown.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576

# reach STATE: keys from the main menu, then what that state shows
reach() {
    case "$1" in
        main_menu) wait_shot main 30 on_main_menu ;;
        credits) to_credits ;;
        intro) key Return; wait_shot intro 30 on_intro ;;
        tutorial)
            key Return
            wait_shot intro 30 on_intro
            hold Right
            wait_shot tutorial 30 hud_shown
            release Right ;;
        playing) enter_play ;;
        paused) enter_play; key Escape; wait_shot paused 30 on_pause ;;
    esac
}

# Openbox binds Alt+F4 to Close: the window gets WM_DELETE_WINDOW, as from its close button.
# The binding acts on the window Openbox holds active, which under load can lag the keyboard focus.
wm_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$WID" ]; }
close_window() {
    wait_until 30 "Openbox to hold the game's window active" wm_active
    xdotool key --clearmodifiers alt+F4
}

passed=0
for state in main_menu credits intro tutorial playing paused; do
    rm -f "$BUILD/settings.json"
    start_game
    reach "$state"
    kill -0 "$GAME_PID" 2>/dev/null || fail "$state: game died before the close"
    close_window
    wait_exit 30
    check_settings
    note "$state: closed, exit 0, settings.json 97 bytes"
    passed=$((passed + 1))
done

rm -f "$BUILD/settings.json"
start_game
reach playing
stop_game
check_settings
note "playing: SIGTERM, exit 0, settings.json 97 bytes"
passed=$((passed + 1))

echo "$passed passed, 0 failed"
