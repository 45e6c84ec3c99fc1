# The real executable's options and its refusal to run without a display. No window opens,
# so this runs anywhere; every run is bounded by a timeout.
#   bash tests/cli/options.sh BUILD_DIR VERSION
source "$(dirname "$0")/../e2e/lib/common.sh"
VERSION=${2:?usage: options.sh BUILD_DIR VERSION}

# A private copy, so a settings.json written by mistake would show.
mkdir -p "$WORK/bin" "$WORK/config" "$WORK/run"
chmod 700 "$WORK/run"
cp "$BUILD/vantorel" "$WORK/bin/vantorel"
ln -s "$BUILD/data" "$WORK/bin/data"

# run ENV...: the game with the rest of the environment as given; sets RC, OUT, ERR
run() {
    RC=0
    (cd "$WORK" && timeout 60 env XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/run" SDL_AUDIODRIVER=dummy "$@") \
        >"$WORK/out" 2>"$WORK/err" || RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
    [ "$RC" -ne 124 ] || fail "$*: still running after 60 s"
}
nothing_written() {
    [ ! -e "$WORK/bin/settings.json" ] || fail "$1 wrote settings.json beside the game"
    [ -z "$(ls -A "$WORK/config")" ] || fail "$1 wrote into the config folder"
}
passed=0

run "$WORK/bin/vantorel" --version
[ "$RC" -eq 0 ] || fail "--version exited $RC"
[ "$OUT" = "vantorel $VERSION" ] || fail "--version printed '$OUT'"
[ -z "$ERR" ] || fail "--version wrote to standard error: $ERR"
nothing_written --version
passed=$((passed + 1))

run "$WORK/bin/vantorel" --help
[ "$RC" -eq 0 ] || fail "--help exited $RC"
for opt in --windowed --fullscreen --help --version; do
    grep -q -- "$opt" <<<"$OUT" || fail "--help does not mention $opt"
done
[ -z "$ERR" ] || fail "--help wrote to standard error: $ERR"
nothing_written --help
passed=$((passed + 1))

for bad in --bogus -x windowed "--windowed --nope"; do
    # shellcheck disable=SC2086
    run "$WORK/bin/vantorel" $bad
    [ "$RC" -eq 2 ] || fail "'$bad' exited $RC, expected 2"
    [ -z "$OUT" ] || fail "'$bad' wrote to standard output"
    head -n1 <<<"$ERR" | grep -q "unknown option" || fail "'$bad': first line '$(head -n1 <<<"$ERR")'"
    grep -q -- "--windowed" <<<"$ERR" || fail "'$bad' did not print the usage"
    nothing_written "'$bad'"
done
passed=$((passed + 1))

# No display at all, and a display naming no server: SDL would fall back to a driver that
# shows nothing; the game must say so and stop instead of running invisibly.
for display in unset ":4095"; do
    if [ "$display" = unset ]; then
        run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$WORK/bin/vantorel" --windowed
    else
        run env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY="$display" "$WORK/bin/vantorel" --windowed
    fi
    [ "$RC" -eq 1 ] || fail "DISPLAY $display: exited $RC, expected 1"
    [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "DISPLAY $display: standard error is not one line: $ERR"
    grep -q "no display" <<<"$ERR" || fail "DISPLAY $display: '$ERR'"
    nothing_written "DISPLAY $display"
done
passed=$((passed + 1))

# Asked for by name, the dummy driver is allowed; it has no OpenGL, which is then the reason.
run env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy "$WORK/bin/vantorel"
[ "$RC" -eq 1 ] || fail "SDL_VIDEODRIVER=dummy: exited $RC, expected 1"
[ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "SDL_VIDEODRIVER=dummy: standard error is not one line: $ERR"
grep -q "OpenGL 3.3" <<<"$ERR" || fail "SDL_VIDEODRIVER=dummy: '$ERR'"
nothing_written "SDL_VIDEODRIVER=dummy"
passed=$((passed + 1))

echo "$passed passed, 0 failed"
