#!/usr/bin/env bash
# Builds everything and runs every test: the Win32 build (the real DLL and
# the simulated host's Windows programs), the native build with its tests,
# which also run the Windows programs under Wine, the native tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and each libFuzzer
# target for a minute (KESTO_FUZZ_SECONDS).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh all

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)

cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build build/win32 -j "$jobs"

# The Wine tests run the Win32 programs.  Where the kernel cannot run 32-bit
# programs they run a 64-bit Windows build of the same sources instead; the
# Win32 DLL is still built and its exports and imports checked.
wine_dir="$root/build/win32"
wine_loader=""
if ! scripts/wine-can-run-32bit.sh; then
  echo "== this machine cannot run 32-bit programs: the Wine tests use a 64-bit Windows build"
  cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
  cmake --build build/win64 -j "$jobs"
  wine_dir="$root/build/win64"
  wine_loader=/usr/lib/wine/wine64
fi

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_WIN32_DIR="$root/build/win32" \
  -DKESTO_WINE_DIR="$wine_dir" -DKESTO_WINE="$wine_loader" >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build/fuzz -j "$jobs"

# A first Wine start creates its prefix; do it once before the tests.
if [ -n "$wine_loader" ]; then
  WINELOADER="$wine_loader" "$wine_loader" cmd /c exit >/dev/null 2>&1 || true
else
  wine cmd /c exit >/dev/null 2>&1 || true
fi

echo "== native tests (with the Windows build under Wine)"
ctest --test-dir build/native --output-on-failure -j "$jobs"
echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$jobs"
echo "== fuzzing: each target for ${KESTO_FUZZ_SECONDS:-60} s"
scripts/fuzz.sh "${KESTO_FUZZ_SECONDS:-60}"
