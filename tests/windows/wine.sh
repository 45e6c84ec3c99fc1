# The Windows zip under Wine: only its own DLLs and Windows' are imported, a GUI program with
# its icon and version, and the game itself: from another folder it opens its window, draws the
# title and the menu text, ends with status 0 when the window manager closes it, and leaves the
# 97-byte settings.json beside vantorel.exe (replacing a longer one); what it recorded plays back.
# The game's folder and the recording's are named outside ASCII, so each path goes through
# Windows' wide-character calls.
#   bash tests/windows/wine.sh BUILD_DIR SOURCE_DIR [WINDOWS_BUILD_DIR]
# Exits 77 (skipped) only when the cross tools are not installed.
SOURCE=$(cd "${2:?usage: wine.sh BUILD_DIR SOURCE_DIR [WINDOWS_BUILD_DIR]}" && pwd)
WINDOWS_BUILD=${3:-$SOURCE/build-windows}
source "$SOURCE/tests/e2e/lib/common.sh"
# Wine keeps a server per prefix, with the desktop process and services it started: end them
# and wait until the server has gone, so the next run starts its own.
at_exit 'export WINEPREFIX="$WINDOWS_BUILD/wine"; wineserver -k >/dev/null 2>&1; timeout 60 wineserver -w'

missing=""
for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine meson ninja dpkg-source; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "SKIP: the Windows cross tools are not installed (missing:$missing); make windows-deps installs them"
    exit 77
fi

# A second build only checks that everything is up to date.
"$SOURCE/cmake/windows/build.sh" "$BUILD" "$WINDOWS_BUILD" >"$WORK/build.log" 2>&1 \
    || { tail -n 40 "$WORK/build.log"; fail "make windows failed"; }
ZIP=$(ls -t "$WINDOWS_BUILD"/vantorel-*-windows-x64.zip | head -n 1)
note "$(tail -n 1 "$WORK/build.log")"

# Wine reads names from the command line and the file system in the locale's character set.
export WINEPREFIX="$WINDOWS_BUILD/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
UNICODE_DIR="Ünïcødé 日本"
GAME_DIR="$WORK/$UNICODE_DIR/Vantorel"
mkdir -p "$GAME_DIR"
(cd "$GAME_DIR" && cmake -E tar xf "$ZIP") || fail "cannot unpack $ZIP"
for f in vantorel.exe data/assets.sbpak data/Desktop/persistent.bank data/Desktop/persistent.strings.bank README.md; do
    [ -f "$GAME_DIR/$f" ] || fail "the zip has no $f"
done

# Every DLL a shipped file imports is shipped too, or is one Wine provides as Windows' own.
SYSTEM32="$WINEPREFIX/drive_c/windows/system32"
[ -d "$SYSTEM32" ] || wine cmd /c exit >/dev/null 2>&1 || true
shipped=$(ls "$GAME_DIR" | tr '[:upper:]' '[:lower:]')
system=$(ls "$SYSTEM32" | tr '[:upper:]' '[:lower:]')
for pe in "$GAME_DIR"/*.exe "$GAME_DIR"/*.dll; do
    while read -r dll; do
        dll=${dll,,}
        grep -qxF "$dll" <<<"$shipped" && continue
        case "$dll" in
            libstdc++*|libgcc*|libwinpthread*|sdl2*|liblz4*|libepoxy*|*zlib*) fail "$(basename "$pe") needs $dll, not in the zip" ;;
        esac
        grep -qxF "$dll" <<<"$system" || fail "$(basename "$pe") needs $dll, neither in the zip nor Windows' own"
    done < <(x86_64-w64-mingw32-objdump -p "$pe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
note "imports: $(grep -c '\.dll$' <<<"$shipped") DLLs shipped, the rest Windows' own"

headers=$(x86_64-w64-mingw32-objdump -p "$GAME_DIR/vantorel.exe")
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "vantorel.exe is not a GUI program"
# The version resource and the icon group, found by their UTF-16 strings and resource type.
python3 - "$GAME_DIR/vantorel.exe" <<'EOF' || fail "vantorel.exe lacks its version resource"
import sys
exe = open(sys.argv[1], "rb").read()
for text in ("ProductName", "Vantorel", "vantorel.exe"):
    if text.encode("utf-16-le") not in exe:
        sys.exit("missing " + text)
EOF

# The game, started from another folder, with a longer settings.json waiting to be replaced.
head -c 5000 /dev/zero | tr '\0' 'x' >"$GAME_DIR/settings.json"
start_x 1280 720
# launch ARGS...: starts the game from the work folder and waits for its window.
launch() {
    (cd "$WORK" && exec env SDL_AUDIODRIVER=dummy wine "$GAME_DIR/vantorel.exe" "$@" >"$WORK/game.out" 2>"$WORK/game.err") &
    GAME_PID=$!
    # Wine starts slowly on a loaded machine.
    WID=""
    wait_until 120 "a window titled Vantorel" wine_window \
        || fail "game exited early: $(tail -n 5 "$WORK/game.err")"
}
# wine_window: sets WID once the game's window shows; 2 when the game has gone.
wine_window() {
    WID=$(xdotool search --onlyvisible --name '^Vantorel$' 2>/dev/null | head -n1 || true)
    [ -n "$WID" ] && return 0
    gone && return 2
    return 1
}
launch --record "$UNICODE_DIR/replay.bin"
note "window up"

# Title: enough of the three non-background colours around the title sprite. Menu: each button
# line holds text in its colour (the first one selected), so the font was read and baked.
title_and_menu() {
    local img=$1 title=0 i n
    for i in 0 1 3; do title=$((title + $(pixels count "$img" 30 25 100 45 $i))); done
    [ "$title" -ge 300 ] || return 1
    for line_colour in "89 0" "97 1" "105 1"; do
        set -- $line_colour
        n=$(pixels count "$img" 40 "$1" 80 8 "$2")
        [ "$n" -ge 30 ] || return 1
    done
    return 0
}
# title_shown: 2 when the game has gone, so a crash fails at once.
title_shown() {
    img=$(shot wine-title)
    title_and_menu "$img" && return 0
    gone && return 2
    return 1
}
wait_until 60 "the title and menu text (see $SHOTS/wine-title.png)" title_shown \
    || fail "game exited before drawing its menu"
note "title and menu drawn"

# Openbox binds Alt+F4 to Close: the window gets WM_DELETE_WINDOW, as from its close button.
# On a loaded machine the key can reach openbox before the window has the focus; a second
# close request is harmless, so the key is sent again until the game has gone.
close_game() {
    local attempt
    for attempt in $(seq 6); do
        xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
        xdotool key --clearmodifiers alt+F4
        poll 10 gone && break
        note "still running after close request $attempt"
    done
    wait_exit 1
}
close_game
note "closed through the window manager, exit status 0"

f="$GAME_DIR/settings.json"
[ "$(stat -c %s "$f")" -eq 97 ] || fail "settings.json is $(stat -c %s "$f") bytes"
[ "$(cat "$f")" = "$EXPECTED_SETTINGS" ] || fail "settings.json differs"
note "settings.json beside vantorel.exe: 97 bytes"

# The session recorded above plays back: binary files stay byte for byte what was written.
[ -s "$WORK/$UNICODE_DIR/replay.bin" ] || fail "no recording in $UNICODE_DIR"
launch --replay "$UNICODE_DIR/replay.bin"
close_game
note "the recording plays back from a folder named outside ASCII"

# Started from a console (cmd in a terminal), --version prints there; started without one, a
# refusal also shows in a message box, and the game ends with status 1 once it is closed.
# (Wine's console draws a space as a step of the cursor.)
version=$(cd "$GAME_DIR" && timeout 120 script -qc 'wine cmd /c "vantorel.exe --version"' /dev/null \
    | sed 's/\x1b\[1C/ /g; s/\x1b\[[?0-9;]*[a-zA-Z]//g' | tr -d '\r')
grep -qx "vantorel [0-9.]*" <<<"$version" || fail "--version from a console printed '$version'"
(cd "$WORK" && exec env SDL_AUDIODRIVER=dummy wine "$GAME_DIR/vantorel.exe" --replay missing.rpl \
    >"$WORK/game.out" 2>"$WORK/game.err") &
GAME_PID=$!
wait_until 120 "a message box" wine_window || fail "refused without a message box: $(cat "$WORK/game.err")"
xdotool windowactivate --sync "$WID" key Return
wait_until 30 "the game to end" gone
rc=0
wait "$GAME_PID" || rc=$?
GAME_PID=""
[ "$rc" -eq 1 ] && grep -q "cannot play missing.rpl" "$WORK/game.err" || fail "status $rc: $(cat "$WORK/game.err")"
note "--version printed in the console; a refusal shown in a message box"
echo "1 passed, 0 failed"
