#!/usr/bin/env bash
# Runs each libFuzzer target of build/fuzz for SECONDS (default 60), seeded
# from the suite's files: session and part files, the settings file corpus
# and the tool libraries the plug-in writes (the demo and every suite
# session's).  What a target finds new is kept in build/fuzz/corpus/TARGET,
# so later runs go on from there.  A crash, a leak or a sanitizer report
# ends the run with exit 1; the input that caused it is saved in
# build/fuzz/artifacts.  Needs build/fuzz (KESTO_FUZZ) and build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cli=build/native/kesto-tools-vericut
seeds=build/fuzz/seeds

rm -rf "$seeds"
mkdir -p "$seeds/session_reader" "$seeds/profile_reader" "$seeds/tls_file" build/fuzz/artifacts
cp tests/sessions/*.json examples/*.json "$seeds/session_reader/"
cp tests/ini_corpus/*.ini examples/*.ini "$seeds/profile_reader/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cli" export -o "$seeds/tls_file/demo.tls" >/dev/null
find examples/database -name '*.tls' | while read -r tls; do cp "$tls" "$seeds/tls_file/database-$(basename "$tls")"; done
for session in tests/sessions/*.json; do
  name=$(basename "$session" .json)
  mkdir -p "$work/$name"
  "$cli" run "$session" -C "$work/$name" >/dev/null 2>&1 || true
  find "$work/$name" -name '*.tls' | while read -r tls; do cp "$tls" "$seeds/tls_file/$name-$(basename "$tls")"; done
done

for target in session_reader profile_reader tls_file; do
  corpus="build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  mkdir -p "$corpus"
  dict=()
  [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
  if ! "build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
      "${dict[@]}" -artifact_prefix="build/fuzz/artifacts/$target-" "$corpus" "$seeds/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "== fuzz_$target found a fault (log: $log; input: build/fuzz/artifacts/$target-*)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "== fuzz_$target: ${runs:-?} runs in ${seconds} s, nothing found"
done
