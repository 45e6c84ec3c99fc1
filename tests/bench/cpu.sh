#!/usr/bin/env bash
# Processor time of the game at the title and in a scripted stretch of play, with the X
# server's share beside it, and the time from exec to the first title frame; each against the
# bare platform program in the same run, on a private X server (1280 x 720, Mesa's software
# GL, a window manager), runs alternated, medians printed.
#   cpu.sh BUILD_DIR [RUNS]
# BEFORE=<another build folder> measures that build's game alongside; PEER="<command>" measures
# another program at its title screen, as a yardstick only.
source "$(dirname "$0")/../e2e/lib/common.sh"
RUNS=${2:-3}
SETTLE=2       # seconds after the window appears: start-up work done, the title on screen
TITLE=10       # seconds measured at the title
PLAY=20        # seconds measured in play
PLAY_SCRIPT=25 # seconds of play in the replay: the measured stretch and a margin

# A yardstick that cannot start would otherwise fail only after minutes of measuring.
if [ -n "${BEFORE:-}" ] && [ ! -x "$BEFORE/vantorel" ]; then fail "BEFORE: no $BEFORE/vantorel"; fi
if [ -n "${PEER:-}" ] && ! command -v "${PEER%% *}" >/dev/null; then fail "PEER: ${PEER%% *} not found"; fi

export SDL_AUDIODRIVER=dummy
start_x 1280 720
note "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

"$BUILD/vantorel_startup_bench" "$GAME" "$BUILD/vantorel_startup_bare" 7
if [ -n "${BEFORE:-}" ]; then
    "$BUILD/vantorel_startup_bench" "$BEFORE/vantorel" "$BUILD/vantorel_startup_bare" 7 | sed 's/^/before: /'
fi

"$BUILD/vantorel_play_script" "$WORK/play.rpl" "$PLAY_SCRIPT"

# user + system time of a process and all its threads, in clock ticks
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
has_window() {
    kill -0 "$RUN_PID" 2>/dev/null || return 2
    [ -n "$(xdotool search --onlyvisible --pid "$RUN_PID" 2>/dev/null)" ]
}

# measure NAME SECONDS COMMAND...: starts COMMAND, waits for its window and SETTLE seconds,
# then appends "<% of a core> <X server ms per s>" over SECONDS to $WORK/NAME.
measure() {
    local name=$1 seconds=$2 hz p0 x0 t0 p1 x1 t1
    shift 2
    (cd "$WORK" && exec "$@" >"$WORK/$name.out" 2>&1) &
    RUN_PID=$!
    wait_until 60 "a window of $name" has_window || fail "$name exited: $(cat "$WORK/$name.out")"
    sleep "$SETTLE"
    hz=$(getconf CLK_TCK)
    p0=$(ticks "$RUN_PID") x0=$(ticks "$X_PID") t0=$(date +%s.%N)
    sleep "$seconds"
    p1=$(ticks "$RUN_PID") x1=$(ticks "$X_PID") t1=$(date +%s.%N)
    kill -TERM "$RUN_PID" 2>/dev/null || fail "$name ended before the measurement did"
    wait "$RUN_PID" || true
    awk -v p="$((p1 - p0))" -v x="$((x1 - x0))" -v t="$t1" -v t0="$t0" -v hz="$hz" \
        'BEGIN { s = t - t0; printf "%.2f %.1f\n", p / hz / s * 100, x / hz / s * 1000 }' >>"$WORK/$name"
}

for run in $(seq "$RUNS"); do
    note "run $run of $RUNS"
    measure title "$TITLE" "$GAME"
    measure bare "$TITLE" "$BUILD/vantorel_startup_bare" --loop
    measure play "$PLAY" "$GAME" --replay "$WORK/play.rpl"
    if [ -n "${BEFORE:-}" ]; then
        measure before_title "$TITLE" "$BEFORE/vantorel"
        measure before_play "$PLAY" "$BEFORE/vantorel" --replay "$WORK/play.rpl"
    fi
    if [ -n "${PEER:-}" ]; then measure peer "$TITLE" $PEER; fi
done

# median COLUMN NAME
median() { cut -d' ' -f"$1" "$WORK/$2" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
line() {
    local what=$1 name=$2
    awk -v w="$what" -v c="$(median 1 "$name")" -v x="$(median 2 "$name")" \
        -v bc="$(median 1 bare)" -v bx="$(median 2 bare)" \
        'BEGIN { printf "%s: %.1f %% of a core (X server %.0f ms/s), bare %.1f %% (X server %.0f ms/s), ratio %.2f\n", w, c, x, bc, bx, c / bc }'
}
echo "processor time, medians of $RUNS alternated runs on Mesa's software GL at 1280 x 720:"
line "title, $TITLE s" title
line "scripted play, $PLAY s" play
if [ -n "${BEFORE:-}" ]; then
    line "before: title, $TITLE s" before_title
    line "before: scripted play, $PLAY s" before_play
fi
if [ -n "${PEER:-}" ]; then line "$PEER at its title, $TITLE s" peer; fi
note "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
