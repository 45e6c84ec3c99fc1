# Menus by keyboard: credits and back, a new game with its hint, Exit to Desktop.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
rm -f "$BUILD/settings.json"
start_game

# count X Y W H INDEX on the last screenshot, in picture pixels
count() { pixels count "$SHOT" "$@"; }
expect_at_least() { [ "$1" -ge "$2" ] || fail "$3: $1 pixels, expected at least $2"; }
expect_at_most() { [ "$1" -le "$2" ] || fail "$3: $1 pixels, expected at most $2"; }

SHOT=$(shot menu-main)
expect_at_least "$(count 40 88 40 9 0)" 10 "New Game, selected, in white"
expect_at_least "$(count 40 96 40 9 1)" 10 "Credits in red"
expect_at_least "$(count 10 28 140 20 0)" 30 "title picture"

key Down Return
SHOT=$(shot menu-credits)
expect_at_least "$(count 10 2 60 14 1)" 30 "Credits heading"
expect_at_least "$(count 10 64 40 9 1)" 8 "Return button"
expect_at_most "$(count 10 18 140 12 0)" 0 "no title picture on the credits"

key Escape
SHOT=$(shot menu-back)
expect_at_least "$(count 10 28 140 20 0)" 30 "title picture again"

key Return
sleep 0.5
SHOT=$(shot menu-intro)
expect_at_least "$(count 10 36 130 9 0)" 40 "intro hint"
stop_game
check_settings

# A fresh start: Down, Down, Return is Exit to Desktop.
rm -f "$BUILD/settings.json"
start_game
key Down Down Return
wait_exit 5
check_settings
note "Exit to Desktop wrote settings.json"
echo "1 passed, 0 failed"
