# The browser build in headless Chromium (tests/web/page.py says what is checked).
#   bash tests/web/chromium.sh BUILD_DIR SOURCE_DIR [WEB_BUILD_DIR]
# Exits 77 (skipped) only when the web tools are not installed.
SOURCE=$(cd "${2:?usage: chromium.sh BUILD_DIR SOURCE_DIR [WEB_BUILD_DIR]}" && pwd)
WEB_BUILD=${3:-$SOURCE/build-web}
source "$SOURCE/tests/e2e/lib/common.sh"

missing=""
for tool in emcc node chromium ninja dpkg-source; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
/usr/bin/python3 -c 'import websocket' 2>/dev/null || missing="$missing python3-websocket"
if [ -n "$missing" ]; then
    echo "SKIP: the web tools are not installed (missing:$missing); make web-deps installs them"
    exit 77
fi

# A second build only checks that everything is up to date.
start=$SECONDS
"$SOURCE/cmake/web/build.sh" "$BUILD" "$WEB_BUILD" >"$WORK/build.log" 2>&1 \
    || { tail -n 40 "$WORK/build.log"; fail "make web failed"; }
grep -E '^  index|^make web' "$WORK/build.log" | while read -r line; do note "$line"; done
PAGE=$(ls -dt "$WEB_BUILD"/vantorel-*-web/ | head -n 1)
status=0
/usr/bin/python3 "$SOURCE/tests/web/page.py" "$PAGE" "$SHOTS" "$SOURCE/tests/e2e/lib/pixels.py" || status=$?
note "the web test took $((SECONDS - start)) s, the build included"
exit $status
