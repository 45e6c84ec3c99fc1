# The scripts' shared set-up: a failing script keeps its folder, with a timed log and the X
# server's, window manager's and last screenshot's files, and names it; a passing one removes
# it; and no server or window manager a script started outlives it.
source "$(dirname "$0")/lib/common.sh"
LIB="$(cd "$(dirname "$0")/lib" && pwd)/common.sh"
VANTOREL_TEST_NAME=${VANTOREL_TEST_NAME:-harness}

# child OUTCOME: a script that starts its X server and window manager, takes a screenshot and
# passes or fails; prints its exit status. Its own folder is $WORK/OUTCOME, its output goes to
# $WORK/OUTCOME.out, the process numbers of its server and window manager to $WORK/OUTCOME.pids.
child() {
    local rc=0
    VANTOREL_TEST_NAME="$VANTOREL_TEST_NAME/$1" bash -c '
        source "$0" "$1"
        start_x 64 64
        echo "$X_PID $WM_PID" >"$3"
        shot last >/dev/null
        [ "$2" = pass ] || fail "on purpose"' "$LIB" "$BUILD" "$1" "$WORK/$1.pids" >"$WORK/$1.out" 2>&1 || rc=$?
    echo "$rc"
}

for outcome in pass fail; do
    rc=$(child "$outcome")
    kept="$WORK/$outcome"
    for pid in $(cat "$WORK/$outcome.pids"); do
        ! kill -0 "$pid" 2>/dev/null || fail "$outcome: process $pid outlived its script"
    done
    case "$outcome" in
        pass)
            [ "$rc" -eq 0 ] || fail "pass: exit status $rc: $(cat "$WORK/pass.out")"
            [ ! -e "$kept" ] || fail "pass: $kept was kept" ;;
        fail)
            [ "$rc" -eq 1 ] || fail "fail: exit status $rc"
            grep -qF "$kept" "$WORK/fail.out" || fail "fail: the output does not name $kept"
            for f in log last.png; do [ -s "$kept/$f" ] || fail "fail: no $f kept"; done
            # The servers may have had nothing to say.
            for f in xvfb.log openbox.log; do [ -e "$kept/$f" ] || fail "fail: no $f kept"; done
            grep -qE '^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} FAIL: on purpose$' "$kept/log" ||
                fail "fail: the log lacks the timed failure: $(cat "$kept/log")" ;;
    esac
    note "$outcome: exit $rc, folder $([ -e "$kept" ] && echo kept || echo removed), its processes gone"
done
echo "2 passed, 0 failed"
