#!/usr/bin/env bash
# The main job on the embedded demo: builds the native tool and runs the
# plug-in's all-tools export on the demo part.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$(nproc)" --target kesto-tools-vericut kesto_tools_vericut
mkdir -p demo-out
build/native/kesto-tools-vericut run examples/demo_session.json -C demo-out
