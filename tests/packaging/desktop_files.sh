# The desktop entry, the AppStream metainfo and the man page pass their own validators;
# the icons are the ship, scaled without smoothing.
#   bash tests/packaging/desktop_files.sh BUILD_DIR
source "$(dirname "$0")/../e2e/lib/common.sh"
GEN="$BUILD/packaging"
ID=org.vantorel.Vantorel

out=$(desktop-file-validate "$GEN/$ID.desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Categories=Game;ArcadeGame;' "$GEN/$ID.desktop" || fail "desktop entry categories"

out=$(appstreamcli validate --no-net --pedantic "$GEN/$ID.metainfo.xml" 2>&1) || fail "appstreamcli: $out"
echo "$out"

# Warnings from groff (bad requests, lines it cannot fit) go to standard error.
err=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$GEN/vantorel.6.gz" 2>&1 >/dev/null) ||
    fail "man failed: $err"
[ -z "$err" ] || fail "man page warnings: $err"
text=$(MANWIDTH=80 man -l "$GEN/vantorel.6.gz" 2>/dev/null)
for opt in --windowed --fullscreen --help --version settings.json XDG_CONFIG_HOME; do
    grep -q -- "$opt" <<<"$text" || fail "man page does not mention $opt"
done

# Every icon is the 16-pixel one scaled up by whole pixels: no smoothed edges, nothing shifted.
python3 - "$GEN/icons" "$ID" <<'PY' || fail "icons are not the same picture scaled without smoothing"
import subprocess, sys
base, app = sys.argv[1], sys.argv[2]
def load(n):
    raw = subprocess.run(["convert", f"{base}/{n}x{n}/apps/{app}.png", "-depth", "8", "rgba:-"],
                         capture_output=True, check=True).stdout
    assert len(raw) == n * n * 4, f"{n}: not {n}x{n}"
    return [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]
small = load(16)
assert sum(1 for p in small if p[3]) > 50, "the 16-pixel icon is nearly empty"
assert {p[3] for p in small} <= {0, 255}, "partly transparent pixels"
for n in (32, 48, 64, 128, 256):
    big, k = load(n), n // 16
    for y in range(n):
        for x in range(n):
            assert big[y * n + x] == small[(y // k) * 16 + x // k], f"{n}: pixel {x},{y}"
PY
echo "desktop entry, metainfo, man page and icons: ok"
