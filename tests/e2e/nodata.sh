# Without its data folder the game still opens, runs and exits cleanly, drawing nothing.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
mkdir -p "$WORK/bare"
cp "$GAME" "$WORK/bare/vantorel"
GAME="$WORK/bare/vantorel"
start_game
key Return Right x
SHOT=$(shot nodata)
read -r left top width height palette_ok bars_ok <<<"$(pixels geometry "$SHOT")"
[ "$palette_ok" = 1 ] || fail "picture has colours outside the palette"
[ "$(pixels count "$SHOT" 0 0 160 144 2)" -eq $((160 * 144)) ] || fail "something was drawn without data"
stop_game
[ "$(stat -c %s "$WORK/bare/settings.json")" -eq 97 ] || fail "settings.json not written beside the game"
echo "1 passed, 0 failed"
