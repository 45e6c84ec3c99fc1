# The environment every Emscripten step runs in; sourced by the web scripts.
# Node modules the compiler needs are Debian's, found on NODE_PATH whatever node is first on PATH.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# Recent nodes fetch the wasm of a configure check as a URL and fail; the file read is wanted.
WEB_NODE="/usr/bin/node;--no-experimental-fetch"
if ! /usr/bin/node --no-experimental-fetch -e 0 >/dev/null 2>&1; then WEB_NODE=/usr/bin/node; fi
WEB_TOOLCHAIN=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake
