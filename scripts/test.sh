#!/usr/bin/env bash
# Sets everything up and runs every test: the native build (warnings as errors), the sanitizer build,
# the x86_64 Windows build under wine64, the i686 Windows build (built only: this kernel cannot run
# 32-bit programs) and a bounded run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh

jobs=$(nproc)
configure_and_build() {  # build directory, then cmake options
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DKORVANE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== native"
configure_and_build build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== address and undefined-behaviour sanitizers"
configure_and_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== Windows x86_64 under wine64 (the window on a virtual display)"
export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The Linux build's command line records the same tree as the Windows program, for comparing the two.
configure_and_build build/win64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DKORVANE_LINUX_CLI="$root/build/native/cli/korvane"
xvfb-run -a ctest --test-dir build/win64 --output-on-failure

echo "== Windows i686 (built and its imports checked against XP, not run)"
configure_and_build build/win32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
bash scripts/check_xp_imports.sh build/win32/platform/win32/window/korvane.exe
bash scripts/check_xp_imports.sh build/win32/cli/korvane-cli.exe

echo "== fuzzing"
CC=clang CXX=clang++ configure_and_build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_FUZZ=ON
bash scripts/fuzz.sh "${KORVANE_FUZZ_SECONDS:-30}"

echo "== all tests passed"
