# Menus by keyboard: credits and back, a new game with its hint, Exit to Desktop.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
rm -f "$BUILD/settings.json"
start_game

count() { pixels count "$SHOT" "$@"; }

main_menu_selected() {
    at_least "$(count 40 88 40 9 0)" 10 "New Game, selected, in white" &&
        at_least "$(count 40 96 40 9 1)" 10 "Credits in red" &&
        on_main_menu
}
wait_shot menu-main 30 main_menu_selected

credits_only() {
    on_credits && at_least "$(count 10 64 40 9 1)" 8 "Return button" &&
        at_most "$(count 10 18 140 12 0)" 0 "no title picture on the credits"
}
to_credits
wait_shot menu-credits 30 credits_only

key Escape
wait_shot menu-back 30 on_main_menu

key Return
wait_shot menu-intro 30 on_intro
stop_game
check_settings

# A fresh start: Down, Down, Return is Exit to Desktop.
rm -f "$BUILD/settings.json"
start_game
exit_to_desktop
wait_exit 30
check_settings
note "Exit to Desktop wrote settings.json"
echo "1 passed, 0 failed"
