#!/usr/bin/env bash
# Builds everything and runs every test, in one ctest run:
#   build/host  the unit tests on the host, with AddressSanitizer and UBSan (g++)
#   build/fuzz  the libFuzzer targets, each a short bounded run (clang)
#   build/win   the shipped 32-bit (i686) Windows build: KestrixTray.exe, the companions,
#               the installer and the integration tests (mingw-w64)
#   build/win64 the same sources for x86_64
# The integration tests run under Wine against one of the two Windows builds:
# the 32-bit one where this machine can run 32-bit code (the 32-bit Wine loader
# starts), otherwise the x86_64 one under the 64-bit loader. The shipped 32-bit
# files are checked statically on every machine.
# The last line is ctest's summary; the exit code is non-zero when anything failed.
# KX_BUILD_DIR moves the build folders elsewhere (default: build/ in the tree).
# KX_ASSUME_NO_32BIT=1 makes the probe answer "cannot run 32-bit code", to run
# the suite against the x86_64 build on a machine that could run either.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KX_BUILD_DIR:-$root/build}"
cd "$root"

phase_start=$SECONDS
phase() {
    printf '== %s (%d s so far)\n' "$1" "$((SECONDS - phase_start))"
}

phase "dependencies"
bash "$root/scripts/install-deps.sh"

# A compiler cache shared by the four trees and by later runs on this machine
# (paths taken relative to the tree, so another clone of it hits the cache too).
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

phase "host build (g++, AddressSanitizer + UBSan)"
cmake -S "$root" -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_SANITIZE=ON
cmake --build "$build/host"

phase "fuzz build (clang, libFuzzer)"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKX_FUZZ=ON -DKX_UNIT_TESTS=OFF
cmake --build "$build/fuzz"

# Which Windows build the Wine suite verifies: a real probe, the 32-bit loader started.
if [ "${KX_ASSUME_NO_32BIT:-0}" = 1 ]; then
    wine_arch=x86_64
    wine_why="KX_ASSUME_NO_32BIT=1 makes the probe answer that this machine cannot run 32-bit code"
elif probe="$(/usr/lib/wine/wine --version 2>&1)"; then
    wine_arch=i686
    wine_why="this machine runs 32-bit code (the 32-bit Wine loader starts: $probe)"
else
    wine_arch=x86_64
    wine_why="this machine cannot run 32-bit code (the 32-bit Wine loader fails: ${probe:-no output}); the 64-bit loader runs it"
fi
wine32=OFF wine64=OFF
if [ "$wine_arch" = i686 ]; then wine32=ON; else wine64=ON; fi

phase "Windows build (mingw-w64 i686, the shipped product)"
cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DKX_WINE_TESTS=$wine32
cmake --build "$build/win"

phase "Windows build (mingw-w64 x86_64)"
cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DKX_WINE_TESTS=$wine64
cmake --build "$build/win64"

# One test tree over the four builds, so that one ctest run gives one summary.
cat >"$build/CTestTestfile.cmake" <<'CTEST'
# The builds of scripts/test.sh, run as one.
subdirs("host" "fuzz" "win" "win64")
CTEST

phase "tests"
if [ "$wine_arch" = i686 ]; then
    echo "The Wine suite verifies the 32-bit build (build/win, the shipped product): $wine_why."
else
    echo "The Wine suite verifies the x86_64 build (build/win64): $wine_why."
    # ctest shows a skipped test without its output, so the reasons are said here.
    for source in "$root"/tests/wine/*_test.cpp; do
        if [[ " $(head -n 1 "$source") " == *" bits=32 "* ]]; then
            name="$(basename "$source" _test.cpp)"
            echo "wine.$name is skipped there: it checks $(sed -n '2s|^// *||p' "$source")."
        fi
    done
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec ctest --test-dir "$build" --output-on-failure -j2 </dev/null
