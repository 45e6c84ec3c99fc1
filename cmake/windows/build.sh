#!/bin/bash
# make windows: the game cross-built for 64-bit Windows, packed as a zip.
#
#   build.sh HOST_BUILD OUT
#
# HOST_BUILD is the configured native build; its data builders make the pack, the banks and the
# icon. Everything cross-built is kept in OUT, so a second run rebuilds nothing.
set -euo pipefail
start=$(date +%s)

HERE=$(cd "$(dirname "$0")" && pwd)
HOST=$(cd "$1" && pwd)
OUT=$(mkdir -p "$2" && cd "$2" && pwd)
JOBS=${JOBS:-2}
export VANTOREL_WINDOWS_PREFIX=$OUT/prefix
export WINEPREFIX=${WINEPREFIX:-$OUT/wine}
export WINEDLLOVERRIDES="mscoree,mshtml="

JOBS=$JOBS "$HERE/deps.sh" "$OUT"

nice -n 10 cmake --build "$HOST" -j"$JOBS" --target vantorel_assets vantorel_sound_banks vantorel_icon

if [ ! -f "$OUT/game/build.ninja" ]; then
    cmake -S "$HERE" -B "$OUT/game" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$HERE/toolchain-x86_64-w64-mingw32.cmake" \
        -DVANTOREL_HOST_BUILD="$HOST" -DVANTOREL_WINDOWS_PREFIX="$VANTOREL_WINDOWS_PREFIX" \
        -DVANTOREL_ZIP_OUT_DIR="$OUT"
fi
nice -n 10 cmake --build "$OUT/game" -j"$JOBS"

zip=$(ls -t "$OUT"/vantorel-*-windows-x64.zip | head -n 1)
echo "make windows: $zip ($(stat -c %s "$zip") bytes) in $(( $(date +%s) - start )) s"
