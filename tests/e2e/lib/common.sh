# Shared set-up for the end-to-end scripts: a private X server with a window
# manager, the real game started from elsewhere, and screenshot helpers.
set -euo pipefail

BUILD=$(cd "${1:?usage: script BUILD_DIR}" && pwd)
GAME="$BUILD/vantorel"
SHOTS="$BUILD/e2e-shots"
mkdir -p "$SHOTS"

WORK=$(mktemp -d)
GAME_PID=""
X_PID=""
WM_PID=""

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

cleanup() {
    [ -n "$GAME_PID" ] && kill "$GAME_PID" 2>/dev/null || true
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null || true
    [ -n "$X_PID" ] && kill "$X_PID" 2>/dev/null || true
    if [ -n "${KEEP_WORK:-}" ]; then echo "work kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# start_x WIDTH HEIGHT
start_x() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "${1}x${2}x24" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
        X_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
        if xdpyinfo >/dev/null 2>&1; then
            openbox >"$WORK/openbox.log" 2>&1 &
            WM_PID=$!
            sleep 0.5
            return 0
        fi
        kill "$X_PID" 2>/dev/null || true
    done
    fail "no X server could be started"
}

# start_game [extra env...]: runs the game from an unrelated folder so it must find its own data.
start_game() {
    (cd "$WORK" && exec env SDL_AUDIODRIVER=dummy "$@" "$GAME" ${GAME_ARGS:-} >"$WORK/game.out" 2>"$WORK/game.err") &
    GAME_PID=$!
    WID=""
    for _ in $(seq 100); do
        WID=$(xdotool search --name '^Vantorel$' 2>/dev/null | head -n1 || true)
        [ -n "$WID" ] && break
        kill -0 "$GAME_PID" 2>/dev/null || fail "game exited early: $(cat "$WORK/game.err")"
        sleep 0.1
    done
    [ -n "$WID" ] || fail "no window titled Vantorel"
    xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
    sleep 1
}

window_size() { xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}'; }

# wait_size WxH: fullscreen changes arrive asynchronously
wait_size() {
    for _ in $(seq 50); do [ "$(window_size)" = "$1" ] && return 0; sleep 0.1; done
    fail "window is $(window_size), expected $1"
}

key() { xdotool key --delay 80 "$@"; sleep 0.4; }
hold() { xdotool keydown "$1"; }
release() { xdotool keyup "$1"; }

shot() { import -window root "$SHOTS/$1.png"; echo "$SHOTS/$1.png"; }

# stop_game: SIGTERM must end the game through its normal shutdown.
stop_game() {
    kill -TERM "$GAME_PID"
    local rc=0
    for _ in $(seq 50); do kill -0 "$GAME_PID" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$GAME_PID" 2>/dev/null && fail "game did not exit after SIGTERM"
    wait "$GAME_PID" || rc=$?
    GAME_PID=""
    [ "$rc" -eq 0 ] || fail "game exited with $rc"
}

# wait_exit SECONDS: the game quits by itself (Exit to Desktop)
wait_exit() {
    for _ in $(seq $(( $1 * 10 ))); do kill -0 "$GAME_PID" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$GAME_PID" 2>/dev/null && fail "game still running"
    local rc=0
    wait "$GAME_PID" || rc=$?
    GAME_PID=""
    [ "$rc" -eq 0 ] || fail "game exited with $rc"
}

EXPECTED_SETTINGS=$(printf '{\n\t"input_map": {\n\t\t"keyboard_map": [\n\t\t\t42, \n\t\t\t44\n\t\t], \n\t\t"gamepad_map": [\n\t\t\t2, \n\t\t\t0\n\t\t]\n\t}\n}')

check_settings() {
    local f="$BUILD/settings.json"
    [ -f "$f" ] || fail "settings.json missing"
    [ "$(stat -c %s "$f")" -eq 97 ] || fail "settings.json is $(stat -c %s "$f") bytes"
    [ "$(cat "$f")" = "$EXPECTED_SETTINGS" ] || fail "settings.json differs"
}

# Picture analysis with python3: prints facts about a screenshot region.
pixels() { python3 "$(dirname "${BASH_SOURCE[0]}")/pixels.py" "$@"; }
