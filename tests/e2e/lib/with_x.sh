# with_x.sh BUILD_DIR WIDTH HEIGHT COMMAND...: runs COMMAND on a private Xvfb without a window
# manager; the server's log and COMMAND's output stay in the test's folder when it fails.
source "$(dirname "$0")/common.sh"
w=${2:?usage: with_x.sh BUILD_DIR WIDTH HEIGHT COMMAND...}
h=${3:?usage: with_x.sh BUILD_DIR WIDTH HEIGHT COMMAND...}
shift 3
start_xvfb "$w" "$h"
"$@"
