# with_x.sh WIDTH HEIGHT COMMAND...: runs COMMAND on a private Xvfb. The server picks a free
# display and reports it once it accepts clients, so runs started together never collide.
set -euo pipefail
w=${1:?usage: with_x.sh WIDTH HEIGHT COMMAND...}
h=${2:?usage: with_x.sh WIDTH HEIGHT COMMAND...}
shift 2
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "${w}x${h}x24" -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
x_pid=$!
trap 'kill "$x_pid" 2>/dev/null; wait "$x_pid" 2>/dev/null; rm -rf "$dir"' EXIT
end=$((SECONDS + 30))
until [ -s "$dir/display" ] && DISPLAY=":$(cat "$dir/display")" xdpyinfo >/dev/null 2>&1; do
    kill -0 "$x_pid" 2>/dev/null || { cat "$dir/xvfb.log" >&2; exit 1; }
    [ "$SECONDS" -lt "$end" ] || { echo "Xvfb did not start in 30 s" >&2; exit 1; }
    sleep 0.05
done
DISPLAY=":$(cat "$dir/display")" "$@"
