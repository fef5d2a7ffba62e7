#!/usr/bin/env bash
# Runs libFuzzer targets of build/fuzz for SECONDS (default 60): the ones
# named (session_reader, profile_reader, tls_file), or all, each with
# KESTO_FUZZ_JOBS jobs at once (default 1), seeded from the suite's files:
# session and part files, the settings file corpus and the tool libraries
# the plug-in writes (the demo and every suite session's).  What a target
# finds new is kept in build/fuzz/corpus/TARGET, so later runs go on from
# there.  A crash, a leak or a sanitizer report ends the run with exit 1;
# the input that caused it is saved in build/fuzz/artifacts.  The targets
# run at once; their logs stay in build/fuzz (TARGET.log, and fuzz-JOB.log
# of each job in run/TARGET).  Needs build/fuzz (KESTO_FUZZ) and
# build/native.
#
#   scripts/fuzz.sh                                  every target for a minute
#   KESTO_FUZZ_JOBS=2 scripts/fuzz.sh 7200 tls_file  two jobs for two hours
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(session_reader profile_reader tls_file)
jobs="${KESTO_FUZZ_JOBS:-1}"
cli=build/native/kesto-tools-vericut
seeds=build/fuzz/seeds

rm -rf "$seeds"
mkdir -p "$seeds/session_reader" "$seeds/profile_reader" "$seeds/tls_file" build/fuzz/artifacts
cp tests/sessions/*.json examples/*.json "$seeds/session_reader/"
cp tests/ini_corpus/*.ini examples/*.ini "$seeds/profile_reader/"
cp examples/*.tls "$seeds/tls_file/"
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

# The targets run at once, each in a folder of its own (libFuzzer's job
# logs are fuzz-JOB.log in the folder it runs in), so that a minute each is
# a minute in all.
fuzz="$root/build/fuzz"
shopt -s nullglob  # fuzz-*.log: none without jobs
parallel=()
[ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
run_target() {
  local target=$1 dict=()
  mkdir -p "$fuzz/corpus/$target" "$fuzz/run/$target"
  rm -f "$fuzz/run/$target"/fuzz-*.log
  [ -f "$root/tests/fuzz/$target.dict" ] && dict=(-dict="$root/tests/fuzz/$target.dict")
  cd "$fuzz/run/$target"
  "$fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    "${parallel[@]}" "${dict[@]}" -artifact_prefix="$fuzz/artifacts/$target-" "$fuzz/corpus/$target" \
    "$fuzz/seeds/$target" >"$fuzz/$target.log" 2>&1
}
pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log="$fuzz/$target.log"
  if ! wait "${pids[$i]}"; then
    tail -n 60 "$log" "$fuzz/run/$target"/fuzz-*.log
    echo "== fuzz_$target found a fault (log: build/fuzz/$target.log; input: build/fuzz/artifacts/$target-*)"
    failed=1
    continue
  fi
  runs=$(cat "$log" "$fuzz/run/$target"/fuzz-*.log | sed -n 's/^stat::number_of_executed_units: *//p' | awk '{ n += $1 } END { print n }')
  echo "== fuzz_$target: ${runs:-?} runs in ${seconds} s, nothing found"
done
exit "$failed"
