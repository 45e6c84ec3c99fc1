#!/bin/bash
# Cross-builds the libraries the browser game links (zlib, Ogg Vorbis, lz4, SDL2, SDL2_mixer,
# libxmp) from Debian's source packages with Emscripten into OUT/prefix, all static. Each
# library is built once; a stamp file in the prefix says so, and a second run only checks them.
#
#   deps.sh OUT
set -euo pipefail

OUT=$(mkdir -p "$1" && cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
JOBS=${JOBS:-2}
PREFIX=$OUT/prefix
SRC=$OUT/src
APT=$OUT/apt
mkdir -p "$PREFIX" "$SRC" "$OUT/deps"

source "$HERE/../debian_source.sh"
source "$HERE/env.sh"

PACKAGES=(zlib libogg libvorbis lz4 libxmp libsdl2 libsdl2-mixer)

_fail() { tail -n 40 "$2" >&2; echo "deps.sh: $1 failed, see $2" >&2; return 1; }

# Configure checks compile without linking: a link runs the whole JavaScript generator, and
# SDL alone asks some 160 questions. Its function checks include the headers that declare
# them, so a compile still tells what the library lacks.
_cmake_build() {
    local name=$1 source=$2; shift 2
    local build=$OUT/deps/$name
    rm -rf "$build"
    nice -n 10 cmake -S "$source" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$WEB_TOOLCHAIN" "-DCMAKE_CROSSCOMPILING_EMULATOR=$WEB_NODE" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DCMAKE_FIND_ROOT_PATH="$PREFIX" -DBUILD_SHARED_LIBS=OFF -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY \
        "$@" > "$build.log" 2>&1 \
        && nice -n 10 cmake --build "$build" -j"$JOBS" >> "$build.log" 2>&1 \
        && cmake --install "$build" >> "$build.log" 2>&1 \
        || _fail "$name" "$build.log"
}

_build() {
    local pkg=$1 source
    source=$(_fetch "$pkg")
    case $pkg in
        zlib)
            # Debian's source lacks a file zlib's CMake build wants; its own configure builds
            # the static library without it.
            local build=$OUT/deps/zlib
            rm -rf "$build" && cp -a "$source" "$build"
            (cd "$build" && nice -n 10 emconfigure ./configure --static --prefix="$PREFIX" \
                && nice -n 10 emmake make -j"$JOBS" libz.a) > "$build.log" 2>&1 || _fail zlib "$build.log"
            mkdir -p "$PREFIX/include" "$PREFIX/lib"
            cp "$build/libz.a" "$PREFIX/lib/" && cp "$build/zlib.h" "$build/zconf.h" "$PREFIX/include/" ;;
        libogg)
            _cmake_build ogg "$source" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF ;;
        libvorbis)
            _cmake_build vorbis "$source" -DBUILD_TESTING=OFF ;;
        lz4)
            _cmake_build lz4 "$source/build/cmake" -DBUILD_STATIC_LIBS=ON \
                -DLZ4_BUILD_CLI=OFF -DLZ4_BUILD_LEGACY_LZ4C=OFF ;;
        libxmp)
            # Debian's libxmp builds with its configure script only; the game's own modules need
            # no unpacking or conversion from other trackers. Its dependency listing runs the
            # compiler once per file, one after another: skipped for a one-time build.
            local build=$OUT/deps/xmp
            rm -rf "$build" && cp -a "$source" "$build"
            (cd "$build" && nice -n 10 emconfigure ./configure --host=wasm32-unknown-emscripten --enable-static --disable-shared \
                --disable-depackers --disable-prowizard --prefix="$PREFIX" \
                && : > depend && nice -n 10 emmake make -j"$JOBS" static) > "$build.log" 2>&1 || _fail xmp "$build.log"
            mkdir -p "$PREFIX/include" "$PREFIX/lib"
            cp "$build/lib/libxmp.a" "$PREFIX/lib/" && cp "$build/include/xmp.h" "$PREFIX/include/" ;;
        libsdl2)
            # No threads: a page without cross-origin isolation has no shared memory for them.
            _cmake_build sdl2 "$source" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF ;;
        libsdl2-mixer)
            # As on Windows: Ogg Vorbis through the built-in decoder, nothing else.
            _cmake_build sdl2_mixer "$source" -DSDL2MIXER_SAMPLES=OFF \
                -DSDL2MIXER_VORBIS=STB -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF \
                -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_WAVPACK=OFF -DSDL2MIXER_CMD=OFF \
                -DSDL2MIXER_DEPS_SHARED=OFF ;;
        *) echo "deps.sh: unknown package $pkg" >&2; return 1 ;;
    esac
}

for pkg in "${PACKAGES[@]}"; do
    stamp=$PREFIX/.built-$pkg
    [ -f "$stamp" ] && continue
    echo "Cross-building $pkg for the browser"
    _build "$pkg"
    touch "$stamp"
done
