# The real executable's options and its refusal to run without a display. No window opens,
# so this runs anywhere; every run is bounded by a timeout.
set -euo pipefail
BUILD=$(cd "${1:?usage: options.sh BUILD_DIR VERSION}" && pwd)
VERSION=${2:?usage: options.sh BUILD_DIR VERSION}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

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

# Without XDG_RUNTIME_DIR the Wayland library complains as SDL tries it; the game's own line
# still comes first.
run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u XDG_RUNTIME_DIR "$WORK/bin/vantorel" --windowed
[ "$RC" -eq 1 ] || fail "no XDG_RUNTIME_DIR: exited $RC, expected 1"
head -n1 <<<"$ERR" | grep -q "^vantorel: no display" || fail "no XDG_RUNTIME_DIR: first line '$(head -n1 <<<"$ERR")'"
passed=$((passed + 1))

# --record never touches what a name already holds: a file, a hard link's other name, a
# symbolic link, a FIFO. The player is told to pick another name (status 2, as a bad option).
echo "precious" >"$WORK/kept"
ln "$WORK/kept" "$WORK/hard"
ln -s "$WORK/kept" "$WORK/soft"
ln -s "$WORK/nowhere" "$WORK/dangling"
mkfifo "$WORK/fifo"
for name in kept hard soft dangling fifo; do
    run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$WORK/bin/vantorel" --record "$WORK/$name"
    [ "$RC" -eq 2 ] || fail "--record $name: exited $RC, expected 2"
    [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "--record $name: standard error is not one line: $ERR"
    grep -q "choose another name" <<<"$ERR" || fail "--record $name: '$ERR'"
    [ "$(cat "$WORK/kept")" = "precious" ] || fail "--record $name changed the file"
    [ ! -e "$WORK/nowhere" ] || fail "--record $name wrote through a dangling link"
    nothing_written "--record $name"
done
passed=$((passed + 1))

# A start that fails leaves no recording behind: no display, or a file-size limit of 0 (a
# write past it fails like a full disk, rather than the signal ending the game).
run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$WORK/bin/vantorel" --record "$WORK/new.rpl"
[ "$RC" -eq 1 ] || fail "--record without a display: exited $RC, expected 1"
[ ! -e "$WORK/new.rpl" ] || fail "--record without a display left $(stat -c %s "$WORK/new.rpl") bytes"
# (Its standard error goes through a pipe: the limit would stop it reaching a file too.)
run bash -c 'set -o pipefail; (ulimit -f 0; exec "$@" 2>&1) | cat' limited "$WORK/bin/vantorel" --record "$WORK/new.rpl"
[ "$RC" -eq 1 ] || fail "--record under a size limit of 0: exited $RC, expected 1"
[ "$(wc -l <"$WORK/out")" -eq 1 ] || fail "--record under a size limit: the output is not one line: $OUT"
grep -q "File too large" <<<"$OUT" || fail "--record under a size limit: '$OUT'"
[ ! -e "$WORK/new.rpl" ] || fail "--record under a size limit left $(stat -c %s "$WORK/new.rpl") bytes"
passed=$((passed + 1))

# A reason names its path or option whole, however long.
part=$(printf 'x%.0s' $(seq 200))
long="$WORK/$part/$part/$part"
mkdir -p "$(dirname "$long")"
: >"$long"
run "$WORK/bin/vantorel" --record "$long"
[ "$RC" -eq 2 ] || fail "--record of a long existing name: exited $RC"
grep -qF "$long: a file" <<<"$ERR" || fail "--record of a long name: the path is cut: ${ERR:0:80}..."
run "$WORK/bin/vantorel" "--$part$part$part$part"
[ "$RC" -eq 2 ] || fail "a long unknown option: exited $RC"
head -n1 <<<"$ERR" | grep -qF -- "--$part$part$part$part" || fail "a long unknown option is cut"
passed=$((passed + 1))

echo "$passed passed, 0 failed"
