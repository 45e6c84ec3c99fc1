# An executable whose full path is longer than PATH_MAX (SDL cannot name its folder) still
# finds the data beside it, and writes settings.json there, not where it was started from.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
# Folders of 250 bytes and one shorter, so that "$WORK/$deep/vantorel" is 4,100 bytes while
# the name it is started by, relative to $WORK, stays under PATH_MAX.
part=$(printf 'd%.0s' $(seq 250))
need=$((4091 - ${#WORK}))
deep=""
while [ $((need - ${#deep})) -gt 252 ]; do deep="$deep$part/"; done
rest=$((need - ${#deep} - 1))
[ "$rest" -ge 1 ] || rest=1
deep="$deep$(printf 'e%.0s' $(seq "$rest"))/"
# Paths that long work only relative to a folder nearer to them.
(cd "$WORK" && mkdir -p "$deep" && cd "$deep" && cp "$GAME" vantorel && ln -s "$BUILD/data" data) \
    || fail "cannot make the deep folder"
note "the executable's path is $(( ${#WORK} + ${#deep} + 9 )) bytes long"

# Started by its relative name from the work folder (an absolute one that long cannot be run).
GAME="./${deep}vantorel"
GAME_ARGS=(--windowed)
start_game
wait_shot deep-title 30 on_main_menu
note "the title is drawn: the pack was found"
stop_game
[ ! -e "$WORK/settings.json" ] || fail "settings.json went to the folder the game was started from"
(cd "$WORK" && cd "$deep" && [ "$(stat -c %s settings.json)" -eq 97 ]) || fail "no 97-byte settings.json beside the game"
note "settings.json beside the game"
echo "1 passed, 0 failed"
