#!/usr/bin/env bash
# Builds everything and runs every test: the Win32 build (the real DLL and
# the simulated host's Windows programs), the native build under
# AddressSanitizer and UndefinedBehaviorSanitizer with every test, the Wine
# ones too (they run the Windows programs beside the native ones), and each
# libFuzzer target for half a minute (KESTO_FUZZ_SECONDS; scripts/fuzz.sh
# fuzzes longer).  Ends with the time each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

# "name: seconds" of each step, printed at the end whatever happened
steps=()
step() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  steps+=("$(printf '%6d s  %s' $((SECONDS - start)) "$name")")
}

not_run=""
finish() {
  WINEPREFIX="$root/build/native/wine/prefix" wineserver -k >/dev/null 2>&1 || true
  echo "== time each step took"
  printf '%s\n' "${steps[@]}"
  printf '%6d s  in all\n' "$SECONDS"
  [ -z "$not_run" ] || echo "$not_run"
}
trap finish EXIT

step "packages" scripts/install-deps.sh all

win32() {
  cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTO_UNITY=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
  cmake --build build/win32 -j "$jobs"
}
step "Win32 build" win32

# The Wine tests run the Win32 programs: with Wine as it is, or with its
# 32-bit loader under qemu-i386 where the kernel cannot run 32-bit programs
# (scripts/wine32.sh; the prefix is made once in build/native/wine).  Only
# where neither works do they run a 64-bit Windows build of the same sources;
# the Win32 DLL is still built and its exports and imports checked.
wine_dir="$root/build/win32"
how=$(scripts/wine32.sh how)
case "$how" in
  native) echo "== Wine tests: the Win32 build, with Wine as it is" ;;
  binfmt|qemu) echo "== Wine tests: the Win32 build, Wine's 32-bit loader under qemu-i386 ($how)" ;;
  none)
    not_run="!!!!! THE REAL 32-BIT DLL WAS NOT RUN: this machine runs neither 32-bit programs nor qemu-i386; the Wine tests ran a 64-bit Windows build !!!!!"
    echo "$not_run"
    win64() {
      cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTO_UNITY=ON \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
      cmake --build build/win64 -j "$jobs"
    }
    step "Win64 build" win64
    wine_dir="$root/build/win64"
    ;;
esac

# One native build runs the tests, under both sanitizers: a memory or
# undefined-behaviour fault anywhere in a test's path fails it.  The
# Windows builds run without them under Wine, as users run them.  The
# toolkit and the tests are compiled a few sources at a time
# (KESTO_UNITY), which halves the builds.
native() {
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON -DKESTO_UNITY=ON \
    -DKESTO_WIN32_DIR="$root/build/win32" -DKESTO_WINE_DIR="$wine_dir" -DKESTO_WINE= >/dev/null
  cmake --build build/native -j "$jobs"
}
step "native build (AddressSanitizer, UndefinedBehaviorSanitizer)" native

# The first Wine start makes the prefix and starts Wine's services; once,
# before the tests, while the fuzz targets are built.
build/native/wine/wine cmd /c exit >/dev/null 2>&1 &
wine_started=$!
fuzz() {
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTO_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
  cmake --build build/fuzz -j "$jobs"
  wait "$wine_started" || true
}
step "fuzz build and the Wine prefix" fuzz

export ASAN_OPTIONS=detect_leaks=1
step "tests (with the Windows build under Wine)" ctest --test-dir build/native --output-on-failure -j "$jobs"
step "fuzzing: each target for ${KESTO_FUZZ_SECONDS:-30} s" scripts/fuzz.sh "${KESTO_FUZZ_SECONDS:-30}"
