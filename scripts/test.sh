#!/usr/bin/env bash
# Builds everything and runs every test, in one ctest run:
#   build/host  the unit tests on the host, with AddressSanitizer and UBSan (g++)
#   build/fuzz  the libFuzzer targets, each a short bounded run (clang)
#   build/win   KestrixTray.exe, the companions and the integration tests under Wine (mingw-w64)
# The last line is ctest's summary; the exit code is non-zero when anything failed.
# KX_BUILD_DIR moves the three build folders elsewhere (default: build/ in the tree).
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

phase "host build (g++, AddressSanitizer + UBSan)"
cmake -S "$root" -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_SANITIZE=ON
cmake --build "$build/host"

phase "fuzz build (clang, libFuzzer)"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKX_FUZZ=ON -DKX_UNIT_TESTS=OFF
cmake --build "$build/fuzz"

phase "Windows build (mingw-w64 i686)"
cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
cmake --build "$build/win"

# One test tree over the three builds, so that one ctest run gives one summary.
cat >"$build/CTestTestfile.cmake" <<'CTEST'
# The three builds of scripts/test.sh, run as one.
subdirs("host" "fuzz" "win")
CTEST

phase "tests"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec ctest --test-dir "$build" --output-on-failure -j2 </dev/null
