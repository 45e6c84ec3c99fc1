# Without its data folder the game still opens, runs and exits cleanly, drawing nothing.
source "$(dirname "$0")/lib/common.sh"
start_x 1280 720
mkdir -p "$WORK/bare"
cp "$GAME" "$WORK/bare/vantorel"
GAME="$WORK/bare/vantorel"
start_game
wait_size 1280x720
# F11 last: once the window has left fullscreen, the keys before it have been handled.
key Return Right x F11
wait_size 640x576
# Until the game draws at the new size the window holds no picture yet.
SHOT="$SHOTS/nodata.png"
window_drawn() {
    import -window "$WID" "$SHOT" 2>/dev/null || return 1
    [ "$(pixels geometry "$SHOT" | cut -d' ' -f5)" = 1 ]
}
wait_until 30 "a windowed picture in palette colours" window_drawn
[ "$(pixels count "$SHOT" 0 0 160 144 2)" -eq $((160 * 144)) ] || fail "something was drawn without data"
stop_game
[ "$(stat -c %s "$WORK/bare/settings.json")" -eq 97 ] || fail "settings.json not written beside the game"
echo "1 passed, 0 failed"
