#!/bin/bash
# make web: the game for the browser, built with Debian's Emscripten into a folder ready for any
# static web host (index.html, index.js, index.wasm, index.data, the README), and its zip.
#
#   build.sh HOST_BUILD OUT
#
# HOST_BUILD is the configured native build; its data builders make the pack, the banks and the
# icon.
# Everything cross-built is kept in OUT, so a second run rebuilds nothing.
set -euo pipefail
start=$(date +%s)

HERE=$(cd "$(dirname "$0")" && pwd)
HOST=$(cd "$1" && pwd)
OUT=$(mkdir -p "$2" && cd "$2" && pwd)
JOBS=${JOBS:-2}
source "$HERE/env.sh"

JOBS=$JOBS "$HERE/deps.sh" "$OUT"

nice -n 10 cmake --build "$HOST" -j"$JOBS" --target vantorel_assets vantorel_sound_banks vantorel_desktop_files

if [ ! -f "$OUT/game/build.ninja" ]; then
    cmake -S "$HERE" -B "$OUT/game" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$WEB_TOOLCHAIN" "-DCMAKE_CROSSCOMPILING_EMULATOR=$WEB_NODE" \
        -DVANTOREL_HOST_BUILD="$HOST" -DVANTOREL_WEB_PREFIX="$OUT/prefix" -DVANTOREL_WEB_OUT="$OUT"
fi
nice -n 10 cmake --build "$OUT/game" -j"$JOBS"

zip=$(ls -t "$OUT"/vantorel-*-web.zip | head -n 1)
page=${zip%.zip}
for f in index.html index.js index.wasm index.data; do
    echo "  $f: $(stat -c %s "$page/$f") bytes, $(gzip -9c "$page/$f" | wc -c) gzipped"
done
echo "make web: $page/ and $zip ($(stat -c %s "$zip") bytes) in $(( $(date +%s) - start )) s"
