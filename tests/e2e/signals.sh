# SIGTERM, SIGINT and SIGHUP each end the game through its normal shutdown: exit 0 and the
# 97-byte settings.json. (A signal behind a full event queue is a headless fault test.)
source "$(dirname "$0")/lib/common.sh"
start_x 640 576

# quit_by SIGNAL: the game must be gone within the timeout, with status 0.
quit_by() {
    kill "-$1" "$GAME_PID"
    wait_exit 10 "after SIG$1"
}

passed=0
for sig in TERM INT HUP; do
    rm -f "$BUILD/settings.json"
    start_game
    quit_by "$sig"
    check_settings
    note "SIG$sig: exit 0, settings.json 97 bytes"
    passed=$((passed + 1))
done

echo "$passed passed, 0 failed"
