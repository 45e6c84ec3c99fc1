# A display without OpenGL: one line on standard error, a message box, exit status 1 once the
# box is dismissed, and no settings.json.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576 -extension GLX
mkdir -p "$WORK/bin"
cp "$GAME" "$WORK/bin/vantorel"
ln -s "$BUILD/data" "$WORK/bin/data"
GAME="$WORK/bin/vantorel"
(cd "$WORK" && exec env SDL_AUDIODRIVER=dummy "$GAME" >"$WORK/game.out" 2>"$WORK/game.err") &
GAME_PID=$!
# The box carries the game's name as its title (a UTF-8 name xdotool's search passes over).
find_box() {
    WID=$(xwininfo -root -tree | awk '/"Vantorel"/ {print $1; exit}')
    [ -n "$WID" ] && return 0
    kill -0 "$GAME_PID" 2>/dev/null || fail "game exited before its message box: $(cat "$WORK/game.err")"
    return 1
}
wait_until 60 "the message box" find_box
[ "$(wc -l <"$WORK/game.err")" -eq 1 ] || fail "standard error is not one line: $(cat "$WORK/game.err")"
grep -q "OpenGL 3.3" "$WORK/game.err" || fail "standard error: $(cat "$WORK/game.err")"
xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
xdotool key --window "$WID" Return
wait_until 30 "the game to exit after the box" gone
rc=0
wait "$GAME_PID" || rc=$?
GAME_PID=""
[ "$rc" -eq 1 ] || fail "exit status $rc, expected 1"
[ ! -e "$WORK/bin/settings.json" ] || fail "settings.json was written"
note "$(cat "$WORK/game.err")"
echo "1 passed, 0 failed"
