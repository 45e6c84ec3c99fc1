# A session recorded with --record plays back with --replay and exits 0 at its end;
# a damaged or foreign file is refused with one line.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
REC="$WORK/session.rpl"
GAME_ARGS=(--windowed --seed 42 --record "$REC")
start_game
key Return
hold Right
xdotool key x
release Right
key Escape
stop_game
[ -s "$REC" ] || fail "no recording written"

# run_replay FILE: exit status of a playback, its standard error in $WORK/replay.err
run_replay() {
    local rc=0
    (cd "$WORK" && exec env SDL_AUDIODRIVER=dummy timeout 120 "$GAME" --windowed --replay "$1") \
        >"$WORK/replay.out" 2>"$WORK/replay.err" || rc=$?
    echo "$rc"
}
rc=$(run_replay "$REC")
[ "$rc" -eq 0 ] || fail "replay exited with $rc: $(cat "$WORK/replay.err")"
note "replay played to its end"

cp "$REC" "$WORK/damaged.rpl"
size=$(stat -c %s "$REC")
printf '\x5a' | dd of="$WORK/damaged.rpl" bs=1 seek=$(( size - 7 )) conv=notrunc status=none
rc=$(run_replay "$WORK/damaged.rpl")
[ "$rc" -ne 0 ] || fail "a damaged replay was played"
[ "$(wc -l <"$WORK/replay.err")" -eq 1 ] || fail "refusal is not one line: $(cat "$WORK/replay.err")"
grep -q "damaged" "$WORK/replay.err" || fail "refusal does not say why: $(cat "$WORK/replay.err")"

rc=$(run_replay "$BUILD/settings.json")
[ "$rc" -ne 0 ] || fail "a foreign file was played"
[ "$(wc -l <"$WORK/replay.err")" -eq 1 ] || fail "refusal is not one line: $(cat "$WORK/replay.err")"
note "damaged and foreign files refused"
echo "1 passed, 0 failed"
