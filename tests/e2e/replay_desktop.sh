# A replay acts only inside the game: a recording that opens a credit's page and toggles
# fullscreen opens no page and leaves the viewer's window as it is when played back.
source "$(dirname "$0")/lib/common.sh"
# The window fills the screen, so the menu checks read it; fullscreen shows in its state.
start_x 640 576
# The page opener SDL runs: notes each page it is asked to open.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$WORK" >"$WORK/bin/xdg-open"
chmod +x "$WORK/bin/xdg-open"
OPENER_PATH="$WORK/bin:$PATH"
opened() { [ -s "$WORK/opened" ]; }
fullscreen() { xprop -id "$WID" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_FULLSCREEN; }
windowed() { ! fullscreen; }

REC="$WORK/desktop.rpl"
GAME_ARGS=(--windowed --record "$REC")
start_game PATH="$OPENER_PATH"
to_credits
key Return
wait_until 30 "the credit's page to be opened" opened
note "recording: the first credit opened $(cat "$WORK/opened")"
key F11
wait_until 30 "fullscreen" fullscreen
key F11
wait_until 30 "the window back" windowed
key F11
wait_until 30 "fullscreen again" fullscreen
note "recording: F11 three times, fullscreen at the end"
stop_game

rm -f "$WORK/opened"
GAME_ARGS=(--windowed --replay "$REC")
(cd "$WORK" && exec env SDL_AUDIODRIVER=dummy PATH="$OPENER_PATH" "$GAME" "${GAME_ARGS[@]}" \
    >"$WORK/game.out" 2>"$WORK/game.err") &
GAME_PID=$!
WID=""
wait_until 60 "a window titled Vantorel" find_window
# played_through: 0 once the replay has ended; 2 as soon as the desktop was touched.
played_through() {
    if opened; then echo "a page was opened: $(cat "$WORK/opened")"; return 2; fi
    if fullscreen; then echo "the window went fullscreen"; return 2; fi
    gone
}
rc=0
poll 120 played_through >"$WORK/touched" || rc=$?
[ "$rc" -ne 1 ] || fail "the replay did not end within 120 s"
[ "$rc" -eq 0 ] || fail "during the replay: $(cat "$WORK/touched")"
wait_exit 10 "at the replay's end"
note "replay: no page opened, the window never went fullscreen"
echo "1 passed, 0 failed"
