#!/bin/bash
# Cross-builds the libraries the Windows game needs (zlib, Ogg Vorbis, lz4, SDL2, SDL2_mixer,
# libepoxy, libxmp) from Debian's source packages into OUT/prefix. Each library is built once; a stamp file in the
# prefix says so, and a second run only checks the stamps.
#
#   deps.sh OUT
#
# The sources come through cmake/debian_source.sh (a private apt state under OUT/apt).
set -euo pipefail

OUT=$(mkdir -p "$1" && cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
JOBS=${JOBS:-2}
PREFIX=$OUT/prefix
SRC=$OUT/src
APT=$OUT/apt
TOOLCHAIN=$HERE/toolchain-x86_64-w64-mingw32.cmake
export VANTOREL_WINDOWS_PREFIX=$PREFIX
mkdir -p "$PREFIX" "$SRC"

# Source package and the stamp of each library, in build order.
PACKAGES=(zlib libogg libvorbis lz4 libsdl2 libsdl2-mixer libepoxy libxmp)

source "$HERE/../debian_source.sh"

_cmake_build() {
    local name=$1 source=$2; shift 2
    local build=$OUT/deps/$name
    rm -rf "$build"
    nice -n 10 cmake -S "$source" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" "$@" > "$build.log" 2>&1 \
        && nice -n 10 cmake --build "$build" -j"$JOBS" >> "$build.log" 2>&1 \
        && cmake --install "$build" >> "$build.log" 2>&1 \
        || { tail -n 40 "$build.log" >&2; echo "deps.sh: $name failed, see $build.log" >&2; return 1; }
}

_build() {
    local pkg=$1 source
    source=$(_fetch "$pkg")
    case $pkg in
        zlib)
            # Debian's zlib source has no Windows resource file, which only the DLL needs:
            # the static library goes into the game instead.
            local build=$OUT/deps/zlib
            rm -rf "$build"
            nice -n 10 cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
                -DCMAKE_BUILD_TYPE=Release > "$build.log" 2>&1 \
                && nice -n 10 cmake --build "$build" -j"$JOBS" --target zlibstatic >> "$build.log" 2>&1 \
                || { tail -n 40 "$build.log" >&2; echo "deps.sh: zlib failed, see $build.log" >&2; return 1; }
            mkdir -p "$PREFIX/include" "$PREFIX/lib/pkgconfig"
            cp "$source/zlib.h" "$build/zconf.h" "$PREFIX/include/"
            cp "$build/libzlibstatic.a" "$PREFIX/lib/libz.a"
            printf 'prefix=%s\nName: zlib\nDescription: zlib compression library\nVersion: %s\nLibs: -L${prefix}/lib -lz\nCflags: -I${prefix}/include\n' \
                "$PREFIX" "$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$source/zlib.h")" > "$PREFIX/lib/pkgconfig/zlib.pc" ;;
        libogg)
            _cmake_build ogg "$source" -DBUILD_SHARED_LIBS=OFF -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF ;;
        libvorbis)
            _cmake_build vorbis "$source" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF ;;
        lz4)
            _cmake_build lz4 "$source/build/cmake" -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF \
                -DLZ4_BUILD_CLI=OFF -DLZ4_BUILD_LEGACY_LZ4C=OFF ;;
        libsdl2)
            _cmake_build sdl2 "$source" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF ;;
        libsdl2-mixer)
            # Only what the banks need: Ogg Vorbis through the built-in decoder.
            _cmake_build sdl2_mixer "$source" -DBUILD_SHARED_LIBS=ON -DSDL2MIXER_SAMPLES=OFF \
                -DSDL2MIXER_VORBIS=STB -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF \
                -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_WAVPACK=OFF -DSDL2MIXER_CMD=OFF ;;
        libepoxy)
            local build=$OUT/deps/epoxy
            rm -rf "$build"
            nice -n 10 meson setup "$build" "$source" --cross-file "$HERE/meson-cross.ini" \
                --prefix "$PREFIX" --buildtype release -Ddefault_library=shared \
                -Dtests=false -Ddocs=false -Dglx=no -Degl=no -Dx11=false > "$build.log" 2>&1 \
                && nice -n 10 ninja -C "$build" -j"$JOBS" >> "$build.log" 2>&1 \
                && ninja -C "$build" install >> "$build.log" 2>&1 \
                || { tail -n 40 "$build.log" >&2; echo "deps.sh: epoxy failed, see $build.log" >&2; return 1; } ;;
        libxmp)
            # The music's module player, as a DLL beside the game like SDL's. Its own build
            # works in its source folder, so it gets a copy; the game loads modules from
            # memory, which neither the depackers nor ProWizard serve.
            local build=$OUT/deps/xmp
            rm -rf "$build" && cp -a "$source" "$build"
            (cd "$build" && CC=x86_64-w64-mingw32-gcc-posix LDFLAGS=-static-libgcc nice -n 10 ./configure \
                    --host=x86_64-w64-mingw32 --prefix="$PREFIX" \
                    --disable-depackers --disable-prowizard \
                && nice -n 10 make -j"$JOBS" && make install) > "$build.log" 2>&1 \
                || { tail -n 40 "$build.log" >&2; echo "deps.sh: libxmp failed, see $build.log" >&2; return 1; } ;;
        *) echo "deps.sh: unknown package $pkg" >&2; return 1 ;;
    esac
}

mkdir -p "$OUT/deps"
for pkg in "${PACKAGES[@]}"; do
    stamp=$PREFIX/.built-$pkg
    [ -f "$stamp" ] && continue
    echo "Cross-building $pkg"
    _build "$pkg"
    touch "$stamp"
done
