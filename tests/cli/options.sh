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

# Without XDG_RUNTIME_DIR, Wayland complains as SDL tries it: the game's own line comes first.
run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u XDG_RUNTIME_DIR "$WORK/bin/vantorel" --windowed
head -n1 <<<"$ERR" | grep -q "^vantorel: no display" || fail "no XDG_RUNTIME_DIR: first line '$(head -n1 <<<"$ERR")'"
passed=$((passed + 1))

# --record never touches what a name holds (a file, a hard link's other name, a link, a FIFO):
# status 2 and one line, as for a bad option. A start that fails (no display, a file-size limit
# of 0, which must fail the write rather than end the game) leaves no recording; a reason
# names a long path whole.
echo "precious" >"$WORK/kept"
ln "$WORK/kept" "$WORK/hard"
ln -s "$WORK/kept" "$WORK/soft"
ln -s "$WORK/nowhere" "$WORK/dangling"
mkfifo "$WORK/fifo"
part=$(printf 'x%.0s' $(seq 200))
mkdir -p "$WORK/$part/$part" && echo "precious" >"$WORK/$part/$part/$part"
for name in kept hard soft dangling fifo "$part/$part/$part"; do
    run env -u DISPLAY "$WORK/bin/vantorel" --record "$WORK/$name"
    [ "$RC" -eq 2 ] && [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "--record $name: status $RC, '$ERR'"
    grep -qF "$WORK/$name: a file of that name exists" <<<"$ERR" || fail "--record $name: '${ERR:0:300}'"
    [ "$(cat "$WORK/kept" "$WORK/$part/$part/$part")" = "$(printf 'precious\nprecious')" ] && [ ! -e "$WORK/nowhere" ] \
        || fail "--record $name wrote into what was there"
done
run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$WORK/bin/vantorel" --record "$WORK/new.rpl"
[ "$RC" -eq 1 ] && [ ! -e "$WORK/new.rpl" ] || fail "--record without a display: status $RC, a file left"
# Standard error goes through a pipe: the limit would keep it from a file too.
run bash -c 'set -o pipefail; (ulimit -f 0; exec "$@" 2>&1) | cat' limited "$WORK/bin/vantorel" --record "$WORK/new.rpl"
[ "$RC" -eq 1 ] && [ "$OUT" = "vantorel: cannot write $WORK/new.rpl: File too large" ] || fail "size limit 0: status $RC, '$OUT'"
[ ! -e "$WORK/new.rpl" ] || fail "--record under a size limit left a file"
run "$WORK/bin/vantorel" "--$part$part$part"
head -n1 <<<"$ERR" | grep -qF -- "--$part$part$part" || fail "a long unknown option is cut"
passed=$((passed + 1))

# Nor is a recording ever one of the game's own files, even before the game first writes one.
mkdir -p "$WORK/config/vantorel" "$WORK/data/vantorel"
for file in bin/settings.json bin/volume.json bin/scores.txt config/vantorel/settings.json \
    config/vantorel/volume.json data/vantorel/scores.txt; do
    run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_DATA_HOME="$WORK/data" "$WORK/bin/vantorel" \
        --record "$WORK/$file"
    [ "$RC" -eq 2 ] && [ "$(wc -l <"$WORK/err")" -eq 1 ] && [ ! -e "$WORK/$file" ] || fail "--record $file: status $RC, '$ERR'"
    grep -qF "$WORK/$file: the game keeps its own" <<<"$ERR" || fail "--record $file: '$ERR'"
done
passed=$((passed + 1))

echo "$passed passed, 0 failed"
