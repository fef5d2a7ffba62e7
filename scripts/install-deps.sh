#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, when they are
# missing: the native toolchain, GoogleTest, nlohmann-json, CLI11, the
# MinGW-w64 cross compiler and Wine (32-bit, after adding the i386
# architecture), tmux for the terminal-session test, Chromium for the
# preview screenshot test, and clang with its runtime for the fuzz targets.
# On a machine whose kernel cannot run 32-bit programs, also qemu-user and
# the 64-bit Wine: Wine's 32-bit loader then runs under qemu-i386, started
# by the kernel once i386 programs are registered with binfmt_misc (done
# here when root or password-less sudo may), else by a wrapper
# (scripts/wine32.sh).  Only where neither works, the x86-64 cross compiler,
# so that the Wine tests can run a 64-bit Windows build of the same sources.
# The benchmark (bench/run.sh, "bench") needs valgrind, jq and time besides
# the native toolchain.
set -euo pipefail

want="${1:-all}"  # "native" for the demo, "all" for the tests, "bench" for bench/run.sh
packages=(cmake ninja-build g++ libgtest-dev nlohmann-json3-dev libcli11-dev)
if [ "$want" = bench ]; then
  packages+=(valgrind jq time)
fi
if [ "$want" = all ]; then
  packages+=(g++-mingw-w64-i686 wine wine32:i386 tmux chromium clang-14 libclang-rt-14-dev)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=""

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    $sudo dpkg --add-architecture i386
    updated=""
  fi
  [ -n "$updated" ] || { $sudo apt-get update -qq; updated=1; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
wine32="$(dirname "$0")/wine32.sh"
if [ "$want" = all ] && [ "$("$wine32" how)" != native ]; then
  install_missing qemu-user wine64
  "$wine32" register || true
  case "$("$wine32" how)" in
    qemu) echo "i386 programs are not registered with binfmt_misc: the tests start Wine's 32-bit loader through a wrapper" ;;
    none)
      echo "Wine's 32-bit loader runs neither here nor under qemu-i386: the Wine tests will run a 64-bit Windows build"
      install_missing g++-mingw-w64-x86-64
      ;;
  esac
fi
