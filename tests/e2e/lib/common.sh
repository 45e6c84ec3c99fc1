# Shared set-up for the end-to-end, packaging and command-line scripts: a folder that explains
# a failure, a private X server with a window manager, the real game started from elsewhere,
# and screenshot helpers.
set -euo pipefail

BUILD=$(cd "${1:?usage: script BUILD_DIR}" && pwd)
GAME="$BUILD/vantorel"

# WORK is this run's folder, named after the ctest test (VANTOREL_TEST_NAME): the script's own
# log with times, the X server's, window manager's and game's output, the screenshots and the
# scratch files. It is removed when the script passes or skips, kept and named when it fails
# (KEEP_WORK=1 keeps it anyway).
WORK="$BUILD/test-artifacts/${VANTOREL_TEST_NAME:-$(basename "$0" .sh)}"
rm -rf "$WORK"
mkdir -p "$WORK"
SHOTS="$WORK"
GAME_PID=""
X_PID=""
WM_PID=""

# Every line the script prints reaches the test's output and $WORK/log with the time of day.
_stamp() {
    local line t frac
    while IFS= read -r line || [ -n "$line" ]; do
        t=$EPOCHREALTIME
        frac=${t#*[.,]}
        printf -v line '%(%T)T.%s %s' "${t%[.,]*}" "${frac:0:3}" "$line"
        printf '%s\n' "$line"
        printf '%s\n' "$line" >&4
    done 4>>"$WORK/log"
}
exec > >(_stamp) 2>&1
STAMP_PID=$!

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

# at_exit COMMAND: run at exit once the game, the window manager and the X server have gone.
EXIT_HOOKS=()
at_exit() { EXIT_HOOKS+=("$1"); }

# stop PID: ends a process this script started and waits until it has gone. An X server
# removes its socket file on its way out: had it not gone before the next test's server takes
# the same display number, it would remove that server's file instead.
_gone_pid() { ! kill -0 "$1" 2>/dev/null; }
stop() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || true
    poll 30 _gone_pid "$1" || { note "process $1 ignored SIGTERM for 30 s; killed"; kill -KILL "$1" 2>/dev/null || true; }
    wait "$1" 2>/dev/null || true
}

# The screen, its windows and the script's processes at the moment of a failure.
_snapshot() {
    ps -o pid,ppid,stat,wchan:32,etime,args --ppid $$ >"$WORK/processes.txt" 2>&1 || true
    [ -n "$X_PID" ] && kill -0 "$X_PID" 2>/dev/null || return 0
    timeout 10 xwininfo -root -tree >"$WORK/windows.txt" 2>&1 || true
    timeout 10 import -window root "$WORK/failure.png" >/dev/null 2>&1 || true
}

cleanup() {
    local rc=$? hook
    [ "$rc" -eq 0 ] || [ "$rc" -eq 77 ] || _snapshot
    stop "$GAME_PID"
    stop "$WM_PID"
    stop "$X_PID"
    for hook in "${EXIT_HOOKS[@]}"; do eval "$hook" || true; done
    # 77: skipped.
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 77 ]; then
        echo "FAIL (exit status $rc): logs and screenshots kept in $WORK" >&2
    elif [ -n "${KEEP_WORK:-}" ]; then
        echo "work kept in $WORK"
    else
        rm -rf "$WORK"
    fi
    # The last lines are out before the script's caller reads them.
    exec >&- 2>&-
    poll 10 _gone_pid "$STAMP_PID" || true
}
trap cleanup EXIT

# poll SECONDS COMMAND...: runs COMMAND until it succeeds (0), says the condition can no longer
# come true (2), or SECONDS pass (1).
poll() {
    local end=$((SECONDS + $1)) rc
    shift
    while :; do
        rc=0
        "$@" || rc=$?
        [ "$rc" -eq 0 ] || [ "$rc" -eq 2 ] && return "$rc"
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.05
    done
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails after SECONDS.
# COMMAND returning 2 ends the wait at once with status 2; the caller decides what that means.
wait_until() {
    local limit=$1 what=$2 rc=0
    shift 2
    poll "$limit" "$@" || rc=$?
    [ "$rc" -eq 1 ] && fail "timed out after ${limit}s waiting for $what"
    return "$rc"
}

# 0 once the server answers, 2 when it has exited.
x_ready() {
    kill -0 "$X_PID" 2>/dev/null || return 2
    [ -s "$WORK/display" ] && DISPLAY=":$(cat "$WORK/display")" xdpyinfo >/dev/null 2>&1
}
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# start_xvfb WIDTH HEIGHT [XVFB_OPTION...]: the server picks a free display itself and reports
# it when ready, so suites starting at once never race for a number. -noreset: by default the
# server resets when its last client leaves, here the readiness probe, and drops a client that
# is still connecting at that moment, such as the window manager started right after it.
start_xvfb() {
    local w=$1 h=$2
    shift 2
    Xvfb -displayfd 3 -noreset -screen 0 "${w}x${h}x24" -nolisten tcp "$@" 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    X_PID=$!
    wait_until 30 "Xvfb to start" x_ready || fail "Xvfb exited: $(cat "$WORK/xvfb.log")"
    export DISPLAY=":$(cat "$WORK/display")"
    note "Xvfb (process $X_PID) on $DISPLAY"
}

# start_x WIDTH HEIGHT [XVFB_OPTION...]: the server and a window manager.
start_x() {
    start_xvfb "$@"
    openbox >"$WORK/openbox.log" 2>&1 &
    WM_PID=$!
    wait_until 90 "the window manager" wm_running || fail "openbox exited: $(cat "$WORK/openbox.log")"
}
# 0 when the window manager runs, 1 while it starts, 2 when it has exited.
wm_running() {
    kill -0 "$WM_PID" 2>/dev/null || return 2
    wm_ready
}

# The game's environment and options: RUN_AS (a command prefix, e.g. setpriv), GAME_ARGS.
RUN_AS=()
GAME_ARGS=()
GAME_CWD="$WORK"

find_window() {
    WID=$(xdotool search --onlyvisible --name '^Vantorel$' 2>/dev/null | head -n1 || true)
    [ -n "$WID" ] && return 0
    kill -0 "$GAME_PID" 2>/dev/null || fail "game exited early: $(cat "$WORK/game.err")"
    return 1
}
# The first frame is on screen once the picture holds only palette colours.
drawn() {
    local g
    import -window "$WID" "$SHOTS/start.png" 2>/dev/null || return 1
    g=$(pixels geometry "$SHOTS/start.png")
    [ "$(cut -d' ' -f5 <<<"$g")" = 1 ]
}

# start_game [VAR=value...]: runs the game from an unrelated folder so it must find its own data.
start_game() {
    (cd "$GAME_CWD" && exec "${RUN_AS[@]}" env SDL_AUDIODRIVER=dummy "$@" "$GAME" "${GAME_ARGS[@]}" \
        >"$WORK/game.out" 2>"$WORK/game.err") &
    GAME_PID=$!
    WID=""
    wait_until 60 "a window titled Vantorel" find_window
    # Keys go to the focused window: until the game has the focus, they would be lost.
    wait_until 60 "the keyboard focus" focused
    wait_until 60 "the first picture" drawn
}
focused() {
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$WID" ] && return 0
    xdotool windowactivate "$WID" >/dev/null 2>&1 || true
    return 1
}

window_size() { xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}'; }

# wait_size WxH: fullscreen changes arrive asynchronously
size_is() { [ "$(window_size)" = "$1" ]; }
wait_size() { wait_until 30 "window size $1 (is $(window_size))" size_is "$1"; }

# Keys go out at once; callers wait for what the keys should show.
key() { xdotool key --delay 80 "$@"; }
hold() { xdotool keydown "$1"; }
release() { xdotool keyup "$1"; }

shot() { import -window root "$SHOTS/$1.png"; echo "$SHOTS/$1.png"; }

# wait_shot NAME SECONDS CHECK [ARGS...]: screenshots until CHECK succeeds with SHOT set to the
# latest one; CHECK says on standard error what it missed, and the last such line is the failure.
wait_shot() {
    local name=$1 limit=$2
    shift 2
    local end=$((SECONDS + limit))
    while :; do
        SHOT=$(shot "$name")
        "$@" 2>"$WORK/missed" && return 0
        [ "$SECONDS" -lt "$end" ] || fail "$name: $(cat "$WORK/missed") (after ${limit}s)"
        sleep 0.05
    done
}
# at_least / at_most VALUE LIMIT WHAT: a check for wait_shot
at_least() { [ "$1" -ge "$2" ] || { echo "$3: $1 pixels, expected at least $2" >&2; return 1; }; }
at_most() { [ "$1" -le "$2" ] || { echo "$3: $1 pixels, expected at most $2" >&2; return 1; }; }

# stop_game: SIGTERM must end the game through its normal shutdown.
gone() { ! kill -0 "$GAME_PID" 2>/dev/null; }
stop_game() {
    kill -TERM "$GAME_PID"
    local rc=0
    wait_until 30 "the game to exit after SIGTERM" gone
    wait "$GAME_PID" || rc=$?
    GAME_PID=""
    [ "$rc" -eq 0 ] || fail "game exited with $rc"
}

# wait_exit SECONDS [WHY]: the game ends (by itself, or WHY) with status 0.
wait_exit() {
    local why=${2:-by itself}
    wait_until "$1" "the game to exit $why" gone
    local rc=0
    wait "$GAME_PID" || rc=$?
    GAME_PID=""
    [ "$rc" -eq 0 ] || fail "game exited with $rc $why"
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

# Screens the keys lead to, as checks for wait_shot on $SHOT.
on_main_menu() { at_least "$(pixels count "$SHOT" 10 28 140 20 0)" 30 "title picture"; }
on_credits() { at_least "$(pixels count "$SHOT" 10 2 60 14 1)" 30 "Credits heading"; }
# Space is navy; the menus' background is purple.
in_space() { at_least "$(pixels count "$SHOT" 0 0 160 144 3)" 8000 "navy space"; }
on_intro() { in_space && at_least "$(pixels count "$SHOT" 10 36 130 9 0)" 40 "intro hint"; }
hud_shown() { in_space && at_least "$(pixels count "$SHOT" 0 0 50 8 0)" 15 "HUD score text"; }
on_pause() { at_least "$(pixels count "$SHOT" 10 4 100 16 1)" 40 "Paused heading"; }
# "energy 1/1": the charge digit (after "energy ", 33 pixels) is the same glyph as the maximum
# after the slash (41 pixels).
charged() { [ "$(pixels same "$SHOT" 34 136 42 136)" = 1 ] || { echo "energy not 1/1" >&2; return 1; }; }
# "energy 0/1": the charge digit is the score's 0 (after "SCORE ", 28 pixels of advance).
spent() { [ "$(pixels same "$SHOT" 34 136 29 0)" = 1 ] || { echo "energy not 0/1" >&2; return 1; }; }

# The selected menu entry is cream, the others red: rows 88 (New Game), 96 (Credits), 104 (Exit).
selected_row() { at_least "$(pixels count "$SHOT" 40 "$1" 40 9 0)" 10 "selection on row $1"; }
# One key per frame at most: two taps of a key inside one slow frame count once, so each
# step waits until the screen shows it.
to_credits() {
    key Down
    wait_shot menu-down 30 selected_row 96
    key Return
    wait_shot credits 30 on_credits
}
exit_to_desktop() {
    key Down
    wait_shot menu-down 30 selected_row 96
    key Down
    wait_shot menu-down 30 selected_row 104
    key Return
}

# From the main menu into play: a new game, steer until a charge is ready, fire it.
enter_play() {
    key Return
    wait_shot intro 30 on_intro
    hold Right
    wait_shot charging 60 charged
    release Right
    key x
    wait_shot fired 30 spent
}
