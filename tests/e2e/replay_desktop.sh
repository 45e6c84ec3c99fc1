# A replay acts only inside the game: a recording that opens a credit's page and toggles
# fullscreen opens no page and leaves the viewer's window as it is when played back.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
# The page opener SDL runs, noting each page.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$WORK" >"$WORK/bin/xdg-open"
chmod +x "$WORK/bin/xdg-open"
opened() { [ -s "$WORK/opened" ]; }
fullscreen() { xprop -id "$WID" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_FULLSCREEN; }
windowed() { ! fullscreen; }

GAME_ARGS=(--windowed --record "$WORK/desktop.rpl")
start_game PATH="$WORK/bin:$PATH"
to_credits
key Return
wait_until 30 "the credit's page to open" opened
for state in fullscreen windowed fullscreen; do
    key F11
    wait_until 30 "$state" "$state"
done
stop_game
note "recorded: a credit page opened, F11 three times"

rm "$WORK/opened"
GAME_ARGS=(--windowed --replay "$WORK/desktop.rpl")
start_game PATH="$WORK/bin:$PATH"
# untouched: 0 once the replay has ended, 2 as soon as the desktop was touched.
untouched() { ! opened && ! fullscreen || return 2; gone; }
rc=0
poll 120 untouched || rc=$?
[ "$rc" -eq 0 ] || fail "during the replay: page opened: $(cat "$WORK/opened" 2>/dev/null), window state: $(xprop -id "$WID" _NET_WM_STATE 2>&1)"
wait_exit 10 "at the replay's end"
note "replayed: no page opened, the window never went fullscreen"
echo "1 passed, 0 failed"
