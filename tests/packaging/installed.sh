# The installed tree: install into a temporary prefix, make it read-only and run the
# installed game from another folder as an ordinary user. It must find its data (the title
# screen shows its text), end with status 0 on SIGTERM, put settings.json into the user's
# config folder and write nothing inside the prefix.
source "$(dirname "$0")/../e2e/lib/common.sh"
# The ordinary user must reach the tree, its home and the folder it starts from, which a build
# tree inside a private home would not allow.
ROOT=$(mktemp -d)
chmod 755 "$ROOT"
at_exit 'chmod -R u+w "$ROOT"; rm -rf "$ROOT"'
PREFIX="$ROOT/prefix"
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"

ID=org.vantorel.Vantorel
for f in games/vantorel share/games/vantorel/data/assets.sbpak \
         share/games/vantorel/data/Desktop/persistent.bank \
         share/games/vantorel/data/Desktop/persistent.strings.bank \
         share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml share/man/man6/vantorel.6.gz \
         share/doc/vantorel/README.md share/doc/vantorel/LICENSE share/doc/vantorel/copyright; do
    [ -s "$PREFIX/$f" ] || fail "not installed: $f"
done
for n in 16 32 48 64 128 256; do
    icon="$PREFIX/share/icons/hicolor/${n}x$n/apps/$ID.png"
    [ "$(identify -format '%w %h' "$icon" 2>/dev/null)" = "$n $n" ] || fail "icon ${n}x$n missing or the wrong size"
done
# Relocatable: the installed game names no build or install folder.
readelf -p .rodata "$PREFIX/games/vantorel" | grep -q -F -e "$PREFIX" -e "$BUILD" &&
    fail "the executable names the build or install folder"
note "installed tree complete"

# Read-only for everybody; root ignores that, so the game runs as an ordinary user.
chmod -R a-w "$PREFIX"
USER_HOME="$ROOT/home"
mkdir -p "$USER_HOME/run" "$ROOT/elsewhere"
chmod 700 "$USER_HOME/run"
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$USER_HOME"
    RUN_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
find "$PREFIX" -printf '%p %s %T@ %m\n' | sort >"$WORK/before"
GAME="$PREFIX/games/vantorel"
GAME_CWD="$ROOT/elsewhere"
# -ac: the server's other user may connect.
start_x 640 576 -ac
start_game HOME="$USER_HOME" XDG_CONFIG_HOME="$USER_HOME/.config" XDG_RUNTIME_DIR="$USER_HOME/run"
wait_shot installed-title 60 on_main_menu
at_least "$(pixels count "$SHOT" 40 88 40 9 0)" 10 "New Game text" || fail "$(cat "$WORK/missed" 2>/dev/null) no menu text: the pack's font is missing"
note "title screen with its text, from $GAME_CWD as $(ps -o user= -p "$GAME_PID")"
stop_game

f="$USER_HOME/.config/vantorel/settings.json"
[ -f "$f" ] || fail "settings.json not in the user's config folder"
[ "$(cat "$f")" = "$EXPECTED_SETTINGS" ] || fail "settings.json differs"
[ "$(stat -c %U "$f")" = "$(id -un "${RUN_AS:+nobody}")" ] || fail "settings.json belongs to $(stat -c %U "$f")"
find "$PREFIX" -printf '%p %s %T@ %m\n' | sort >"$WORK/after"
diff "$WORK/before" "$WORK/after" >&2 || fail "something changed inside the prefix"
[ -s "$WORK/game.err" ] && fail "the game complained: $(cat "$WORK/game.err")"
chmod -R u+w "$PREFIX"
echo "1 passed, 0 failed"
