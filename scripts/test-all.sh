#!/usr/bin/env bash
# Builds everything and runs every test: the Win32 build (the real DLL and
# the simulated host's Windows programs), the native build with its tests,
# which also run the Win32 programs under Wine, and the native tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh all

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)

cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build build/win32 -j "$jobs"

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_WIN32_DIR="$root/build/win32" >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"

# A first Wine start creates its prefix; do it once before the tests.
wine cmd /c exit >/dev/null 2>&1 || true

echo "== native tests (with the Win32 build under Wine)"
ctest --test-dir build/native --output-on-failure -j "$jobs"
echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"
