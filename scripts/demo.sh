#!/usr/bin/env bash
# The main job on the embedded demo: builds the native tool, runs the
# plug-in's all-tools export on the demo part, checks the tool library it
# wrote and draws it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$(nproc)" --target kesto-tools-vericut kesto_tools_vericut
mkdir -p demo-out
build/native/kesto-tools-vericut export -o demo-out/demo.tls
build/native/kesto-tools-vericut check demo-out/demo.tls
build/native/kesto-tools-vericut preview demo-out/demo.tls -o demo-out/demo.svg
