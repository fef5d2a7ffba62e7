#!/usr/bin/env bash
# How this machine runs Wine's 32-bit loader, and the Wine the tests run the
# Windows programs with.
#
#   scripts/wine32.sh how          prints one word:
#       native  the kernel runs 32-bit programs: Wine as it is
#       binfmt  i386 programs start through qemu-i386, registered with binfmt_misc
#       qemu    the loader runs only when started under qemu-i386 (a wrapper)
#       none    neither: only 64-bit Windows programs run
#   scripts/wine32.sh register     registers qemu-i386 for i386 programs with
#                                  binfmt_misc (mounting it), when this user
#                                  may (root or sudo without a password)
#   scripts/wine32.sh prepare DIR  makes DIR/wine, which runs a Windows program
#                                  the way this machine can, in the Wine
#                                  prefix DIR/prefix (made at its first use)
#   DIR/wine PROGRAM [ARGS...]     (scripts/wine32.sh run DIR ...)
#
# Under qemu-i386 a start takes seconds, not minutes, only with a reserved
# guest address space (QEMU_RESERVED_VA) and without the loader's re-exec
# of itself (WINELOADERNOEXEC).  The prefix is a 64-bit one with its 32-bit
# half (syswow64), so that Wine's own services run natively and only the
# 32-bit programs are emulated.  Its wineserver is started by the first
# program and kept for a while, so the services start once.
set -euo pipefail

loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64
qemu_reserve=0x7fff0000
# The i386 ELF header (executables and shared objects), as qemu registers it.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt=/proc/sys/fs/binfmt_misc

qemu_i386() { command -v qemu-i386 || true; }

# An enabled binfmt_misc handler that starts i386 programs under qemu.
qemu_handler_on() {
  [ -r "$binfmt/status" ] && [ "$(cat "$binfmt/status")" = enabled ] || return 1
  local entry
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register|status) continue ;; esac
    [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] &&
      grep -q '^interpreter .*qemu' "$entry" &&
      grep -q '^magic 7f454c4601010100000000000000000002000300$' "$entry" && return 0
  done
  return 1
}

how() {
  if [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1; then
    if qemu_handler_on; then echo binfmt; else echo native; fi
  elif [ -x "$loader32" ] && [ -n "$(qemu_i386)" ] &&
       QEMU_RESERVED_VA=$qemu_reserve "$(qemu_i386)" "$loader32" --version >/dev/null 2>&1; then
    echo qemu
  else
    echo none
  fi
}

register() {
  case "$(how)" in native|binfmt) return 0 ;; esac
  local qemu sudo=""
  qemu=$(qemu_i386)
  [ -n "$qemu" ] || { echo "wine32.sh: qemu-i386 is not installed" >&2; return 1; }
  if [ "$(id -u)" -ne 0 ]; then
    if sudo -n true 2>/dev/null; then sudo="sudo -n"; else
      echo "wine32.sh: not root and no password-less sudo: i386 programs are not registered with binfmt_misc" >&2
      return 1
    fi
  fi
  if [ ! -e "$binfmt/register" ] &&
     ! $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    echo "wine32.sh: binfmt_misc cannot be mounted here" >&2
    return 1
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    # registered before (by us or by qemu-user-binfmt) and switched off
    $sudo sh -c "echo 1 > '$binfmt/qemu-i386'" 2>/dev/null || true
  else
    # F: the interpreter is opened now, so it is found in every mount namespace
    $sudo sh -c "printf '%s' ':qemu-i386:M::$i386_magic:$i386_mask:$qemu:F' > '$binfmt/register'" 2>/dev/null || {
      echo "wine32.sh: binfmt_misc refused the handler" >&2
      return 1
    }
  fi
  [ "$(how)" = binfmt ] || { echo "wine32.sh: the handler is registered, but Wine's 32-bit loader still does not run" >&2; return 1; }
}

# Without binfmt_misc, Wine starts every child process (its services, a
# launcher the plug-in starts) by executing "wine" beside the running loader
# (found through /proc/self/exe), which the kernel cannot run.  So the
# loaders are copied into a tree of our own, laid out as /usr, whose "wine"
# is a script that starts the 32-bit loader under qemu.
make_qemu_tree() {
  local tree=$1 qemu
  qemu=$(qemu_i386)
  rm -rf "$tree"
  mkdir -p "$tree/lib/wine" "$tree/share"
  cp "$loader32" "$tree/lib/wine/wine-i386"
  cp "$loader64" "$tree/lib/wine/wine64"
  ln -s /usr/lib/wine/wineserver "$tree/lib/wine/wineserver"
  ln -s /usr/lib/i386-linux-gnu "$tree/lib/i386-linux-gnu"
  ln -s /usr/lib/x86_64-linux-gnu "$tree/lib/x86_64-linux-gnu"
  ln -s /usr/share/wine "$tree/share/wine"
  cat >"$tree/lib/wine/wine" <<EOF
#!/bin/sh
# Wine's 32-bit loader under qemu-i386; it names itself after this script, so
# that the programs it starts come here too.
export WINELOADERNOEXEC=1
exec '$qemu' -R $qemu_reserve -0 "\$0" "\${0%/*}/wine-i386" "\$@"
EOF
  chmod +x "$tree/lib/wine/wine"
}

prepare() {
  local dir how_here
  dir=$(mkdir -p "$1" && cd "$1" && pwd)
  how_here=$(how)
  case "$how_here" in
    binfmt|qemu|none)
      [ -x "$loader64" ] || { echo "wine32.sh: $loader64 is missing: run scripts/install-deps.sh all" >&2; return 1; } ;;
  esac
  [ "$how_here" = qemu ] && make_qemu_tree "$dir/qemu"
  echo "$how_here" >"$dir/how"
  cat >"$dir/wine" <<EOF
#!/bin/sh
# Runs a Windows program under Wine ($how_here), in the prefix beside this file.
exec '$(cd "$(dirname "$0")" && pwd)/wine32.sh' run '$dir' "\$@"
EOF
  chmod +x "$dir/wine"
  echo "$dir/wine"
}

run() {
  local dir=$1 how_here loader loader_prefix
  shift
  how_here=$(cat "$dir/how")
  export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  case "$how_here" in
    native) loader=wine loader_prefix=wine ;;
    binfmt)
      export QEMU_RESERVED_VA=$qemu_reserve WINELOADERNOEXEC=1
      loader=$loader32 loader_prefix=$loader64 ;;
    qemu) loader=$dir/qemu/lib/wine/wine loader_prefix=$dir/qemu/lib/wine/wine64 ;;
    none) export WINELOADER=$loader64; loader=$loader64 loader_prefix=$loader64 ;;
  esac
  # The first program makes the prefix and starts the server with Wine's
  # services, their output kept out of the caller's (a test's pipe would
  # stay open as long as they run).
  # The lock's descriptor is closed for Wine: a server holding it would
  # hold the lock.
  (
    flock 9
    if [ ! -e "$WINEPREFIX/.made" ]; then
      rm -rf "$WINEPREFIX"
      "$loader_prefix" wineboot -i 9>&-
      wineserver -w 9>&-  # the server wineboot started, before a lasting one
      touch "$WINEPREFIX/.made"
    fi
    if wineserver -p120 9>&-; then "$loader_prefix" cmd /c exit 9>&-; fi
  ) 9>"$dir/lock" </dev/null >>"$dir/wine.log" 2>&1 ||
    { echo "wine32.sh: the Wine prefix $WINEPREFIX cannot be made; see $dir/wine.log" >&2; exit 1; }
  exec "$loader" "$@"
}

case "${1:-}" in
  how) how ;;
  register) register ;;
  prepare) [ $# -eq 2 ] || { echo "usage: $0 prepare DIR" >&2; exit 2; }; prepare "$2" ;;
  run) [ $# -ge 3 ] || { echo "usage: $0 run DIR PROGRAM [ARGS...]" >&2; exit 2; }; shift; run "$@" ;;
  *) sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2; exit 2 ;;
esac
