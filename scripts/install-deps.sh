#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, when they are
# missing: the native toolchain, GoogleTest, nlohmann-json, CLI11, the
# MinGW-w64 cross compiler and Wine (32-bit, after adding the i386
# architecture), tmux for the terminal-session test and Chromium for the
# preview screenshot test.
set -euo pipefail

want="${1:-all}"  # "native" for the demo, "all" for the tests
packages=(cmake ninja-build g++ libgtest-dev nlohmann-json3-dev libcli11-dev)
if [ "$want" = all ]; then
  packages+=(g++-mingw-w64-i686 wine wine32:i386 tmux chromium)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
