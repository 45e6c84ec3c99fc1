# Another window taking the focus pauses play; coming back does not resume it.
source "$(dirname "$0")/lib/common.sh"
start_x 640 576
start_game

count() { pixels count "$SHOT" "$@"; }
# The pause screen: its red heading, "Continue" selected in white, "Main Menu" in red.
is_paused() {
    [ "$(count 10 2 60 14 1)" -ge 30 ] && [ "$(count 20 34 40 8 0)" -ge 10 ] && [ "$(count 10 42 45 8 1)" -ge 10 ]
}
# wait_for SECONDS NAME CONDITION...: screenshots until the condition holds
wait_for() {
    local seconds=$1 name=$2
    shift 2
    local end=$(( $(date +%s) + seconds ))
    while [ "$(date +%s)" -lt "$end" ]; do
        SHOT=$(shot "$name")
        "$@" && return 0
    done
    return 1
}
hud_shown() { [ "$(count 0 0 50 8 0)" -ge 15 ]; }
# Play, not the tutorial: the HUD without the hint line (the ship alone lights far fewer pixels).
fire_until_playing() {
    xdotool key x
    SHOT=$(shot focus-playing)
    hud_shown && [ "$(count 10 36 130 9 0)" -lt 30 ]
}
resumed() { hud_shown && ! is_paused; }

key Return
hold Right  # charges energy; x fires once there is a charge, which starts play
wait_for 30 focus-playing fire_until_playing || fail "play did not start"
release Right
is_paused && fail "paused before the focus moved"

xmessage -title focus-elsewhere -geometry 120x40+500+520 "elsewhere" &
OTHER_PID=$!
OTHER=""
other_shown() { OTHER=$(xdotool search --name "^focus-elsewhere$" 2>/dev/null | head -n1 || true); [ -n "$OTHER" ]; }
wait_until 30 "a second window" other_shown
xdotool windowactivate --sync "$OTHER" >/dev/null 2>&1 || true
wait_for 20 focus-paused is_paused || fail "no pause screen after the focus moved away"
note "focus lost: paused"

# Back to the game: the other window goes, the game is made active again.
kill "$OTHER_PID" 2>/dev/null || true
wait "$OTHER_PID" 2>/dev/null || true
game_active() {
    xdotool windowactivate --sync "$WID" >/dev/null 2>&1 || true
    [ "$(xdotool getactivewindow 2>/dev/null || true)" = "$WID" ]
}
end=$(( $(date +%s) + 20 ))
until game_active; do [ "$(date +%s)" -lt "$end" ] || fail "the game window did not get the focus back"; done
SHOT=$(shot focus-back)
is_paused || fail "focus coming back resumed play"
key Escape
wait_for 10 focus-resumed resumed || fail "escape did not resume"
note "focus back: still paused until Escape"

# Minimised and brought back: paused as well.
xdotool windowminimize --sync "$WID" >/dev/null 2>&1 || fail "the window could not be minimised"
end=$(( $(date +%s) + 20 ))
until game_active; do [ "$(date +%s)" -lt "$end" ] || fail "the game window did not come back"; done
wait_for 10 focus-restored is_paused || fail "no pause screen after minimising"
note "minimised: paused"
stop_game
echo "1 passed, 0 failed"
