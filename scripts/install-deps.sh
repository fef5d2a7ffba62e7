#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, when they are
# missing: the native toolchain, GoogleTest, nlohmann-json, CLI11, the
# MinGW-w64 cross compiler and Wine (32-bit, after adding the i386
# architecture), tmux for the terminal-session test, Chromium for the
# preview screenshot test, Node.js, npm and poppler-utils for the browser tests
# of the sheet and catalogue (the page driven, its PDF read; npm fetches
# axe-core and html-validate for them), LibreOffice Calc without its GUI to
# read the sheet's CSV back, and clang with its runtime for the fuzz targets;
# mandoc (the man page's lint), shellcheck and bash-completion (the
# completion checked, and tried in a bash that loads it) and git.
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
  packages+=(g++-mingw-w64-i686 wine wine32:i386 tmux chromium nodejs poppler-utils libreoffice-calc-nogui clang-14 libclang-rt-14-dev git mandoc shellcheck bash-completion)
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
  [ -n "$updated" ] || { update_indexes; updated=1; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null && return 0
  # A suite whose index failed for one architecture offers newer versions
  # of multi-arch libraries for the other only: install without that suite.
  if [ -n "$failed_indexes" ]; then
    local pref suite suites
    pref=$(mktemp)
    suites=$(printf '%s\n' $failed_indexes | sed -n 's|.*/dists/\([^/]*\)/.*|\1|p' | sort -u)
    for suite in $suites; do
      printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\n' "$suite" >>"$pref"
    done
    echo "install-deps: trying again without the suite(s) whose index failed: $(echo $suites)" >&2
    if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
         -o Dir::Etc::Preferences="$pref" "${missing[@]}" >/dev/null; then
      rm -f "$pref"
      return 0
    fi
    rm -f "$pref"
  fi
  echo "install-deps: could not install ${missing[*]}" >&2
  [ -z "$failed_indexes" ] || echo "install-deps: these package indexes failed to download: $failed_indexes" >&2
  exit 1
}

# apt-get update, tried again when a package index fails to download (a
# mirror half way through a sync serves an index of the wrong size for a
# while).  After the last try it goes on with the indexes it has: the
# packages may well install from them, and the install says so if not.
failed_indexes=""
update_indexes() {
  local try log
  log=$(mktemp)
  for try in 1 2 3; do
    if $sudo apt-get update -qq >"$log" 2>&1; then
      failed_indexes=""
      rm -f "$log"
      return 0
    fi
    failed_indexes=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$log" | tr '\n' ' ')
    echo "install-deps: apt-get update failed (try $try of 3)${failed_indexes:+: $failed_indexes}" >&2
    [ "$try" -eq 3 ] || sleep $((try * 5))
  done
  rm -f "$log"
  echo "install-deps: going on with the package indexes there are" >&2
}

install_missing "${packages[@]}"
# npm comes with a Node.js from NodeSource, in a package of its own with Debian's
if [ "$want" = all ] && ! command -v npm >/dev/null; then
  install_missing npm
fi
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
