#!/usr/bin/env bash
# The main job on the embedded demo: builds the native tool, runs the
# plug-in's all-tools export on the demo part, checks the tool library it
# wrote and draws it, then says what it wrote and what to try next.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$(nproc)" --target kesto-tools-vericut kesto_tools_vericut
mkdir -p demo-out
build/native/kesto-tools-vericut export -o demo-out/demo.tls
build/native/kesto-tools-vericut check demo-out/demo.tls
build/native/kesto-tools-vericut preview demo-out/demo.tls -o demo-out/demo.svg
cat <<'END'

The demo wrote two files in demo-out/:
  demo-out/demo.tls  the demo part's tools as a tool library (text, CR LF, Windows-1251)
  demo-out/demo.svg  a drawing of every tool in it, to open in a web browser
Look at them with:
  build/native/kesto-tools-vericut check demo-out/demo.tls
  xdg-open demo-out/demo.svg     (or open it in any browser)
Next, try the plug-in's own dialogs at the terminal:
  build/native/kesto-tools-vericut play
or see what changed, as docs/guide.md shows ("See what changed"):
  build/native/kesto-tools-vericut diff examples/SITE.tls demo-out/demo.tls
END
