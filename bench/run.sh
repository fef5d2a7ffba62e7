#!/usr/bin/env bash
# The benchmark.  Builds Release in build/bench, generates the inputs
# (bench_inputs), checks that the floor program writes the bytes of the
# export, and prints every figure as a ratio or a count per byte or event,
# from instruction counts measured with callgrind, then medians of wall time.
#
#   bench/run.sh              the figures
#   bench/run.sh --outputs    also keeps every output the commands give for
#                             the inputs, the demo and the suite's sessions in
#                             build/bench/outputs, so that two trees can be
#                             compared with diff -r
#
# Every figure with a target says "met" or "NOT MET"; the script exits 1
# when a target is not met, after all figures (and outputs) are made.  The
# test command does not run it: it takes some minutes and counts on a quiet
# machine for its wall times.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/bench
work=$build/work
outputs=""
[ "${1:-}" = --outputs ] && outputs=$build/outputs

scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target kesto-tools-vericut kesto_tools_vericut bench_floor bench_inputs >/dev/null

rm -rf "$work"
mkdir -p "$work/home"
not_met=$build/not_met.txt  # a line per target not met
: >"$not_met"
cd "$work"
"$build/bench_inputs" .
cli=$build/kesto-tools-vericut

# Every program runs in the same environment: no settings file to find.
quiet_env=(env -i PATH=/usr/bin:/bin HOME="$work/home" LC_ALL=C)

# Runs a command that must exit with the given code.
expect() {
  local want=$1
  shift
  local rc=0
  "${quiet_env[@]}" "$@" >/dev/null 2>"$work/stderr.txt" || rc=$?
  if [ "$rc" != "$want" ]; then
    echo "bench: exit $rc (expected $want): $*" >&2
    cat "$work/stderr.txt" >&2
    exit 2
  fi
}

# Instructions a command executes, counted by callgrind; extra callgrind
# options before "--".
instructions() {
  local opts=()
  while [ "$1" != -- ]; do opts+=("$1"); shift; done
  shift
  local want=$1
  shift
  expect "$want" valgrind --tool=callgrind -q --callgrind-out-file="$work/callgrind.out" "${opts[@]}" "$@"
  awk '/^totals:/ { print $2 }' "$work/callgrind.out"
}

# Median of five wall times of a command, in seconds.
median_seconds() {
  local want=$1
  shift
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    expect "$want" "$@"
    end=$(date +%s%N)
    echo $((end - start))
  done | sort -n | awk 'NR == 3 { printf "%.3f", $1 / 1e9 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
per() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", a / b }'; }
mega() { awk -v a="$1" 'BEGIN { printf "%.1f M", a / 1e6 }'; }
size() { stat -c %s "$1"; }
# "met" or "NOT MET" for a value against its limit; a target missed is
# kept, with its name, for the closing line.
verdict() {
  if awk -v v="$1" -v limit="$2" 'BEGIN { exit !(v <= limit) }'; then
    echo met
  else
    echo "NOT MET"
    echo "  $3: $1 > $2" >>"$not_met"
  fi
}

# Exit 1 when a target was not met.
finish() {
  local n
  n=$(wc -l <"$not_met")
  if [ "$n" -gt 0 ]; then
    echo "bench: $n target(s) not met:" >&2
    cat "$not_met" >&2
    exit 1
  fi
  echo "bench: every target met"
  exit 0
}

# Slope of log(instructions) over log(tools), least squares over the points
# "tools instructions ...".
growth() {
  echo "$@" | awk '{ n = NF / 2; for (i = 1; i <= NF; i += 2) { x = log($i); y = log($(i + 1)); sx += x; sy += y; sxx += x * x; sxy += x * y }
                     printf "%.3f", (n * sxy - sx * sy) / (n * sxx - sx * sx) }'
}

echo "== inputs"
for f in part100.json lib_1000.tls lib_10000.tls lib_100000.tls lib_10000_bad.tls menus_10000.json; do
  printf '%-20s %10d bytes\n' "$f" "$(size $f)"
done
database_bytes=$(find database -name '*.tls' -printf '%s\n' | awk '{ s += $1 } END { print s }')
printf '%-20s %10d bytes in %d libraries\n' database/ "$database_bytes" "$(find database -name '*.tls' | wc -l)"

echo "== export of the 100-member part"
expect 0 "$cli" export part100.json -o export.tls
expect 0 "$build/bench_floor" floor.tls
cmp export.tls floor.tls
"${quiet_env[@]}" "$build/bench_floor" floor_diagnostics.tls --diagnostics >floor_stdout.txt
cmp export.tls floor_diagnostics.tls
# The diagnostic lines the floor prints are the plug-in's: a session that
# exports the same part, its standard output events put together.
"${quiet_env[@]}" "$cli" run export_session.json --json -o session_transcript.json
jq -j '.[] | select(.kind == "stdout") | .texts[0]' session_transcript.json >plugin_stdout.txt
cmp plugin_stdout.txt floor_stdout.txt
cmp session_export.tls export.tls
echo "floor program's bytes: identical to the export ($(size export.tls) bytes); its diagnostic lines identical to the plug-in's"

# Each counted export writes a new file: an export.tls left from before
# would be read (to see which TOOLIDs it holds) and counted.
rm -f export.tls
export_total=$(instructions -- 0 "$cli" export part100.json -o export.tls)
floor=$(instructions -- 0 "$build/bench_floor" floor.tls)
floor_diagnostics=$(instructions -- 0 "$build/bench_floor" floor_diagnostics.tls --diagnostics)
# The plug-in's share: inside ufusr, less the host calls it makes.
rm -f export.tls
plugin=$(instructions --toggle-collect=ufusr '--toggle-collect=UF_*' '--toggle-collect=uc160*' -- \
  0 "$cli" export part100.json -o export.tls)
rm -f export.tls
reading=$(instructions '--toggle-collect=*parse_part_or_session*' -- 0 "$cli" export part100.json -o export.tls)
echo "export total:              $(mega "$export_total") instructions"
echo "floor:                     $(mega "$floor"); with the diagnostic lines: $(mega "$floor_diagnostics")"
echo "export / floor:            $(ratio "$export_total" "$floor") (target <= 3: $(verdict "$(ratio "$export_total" "$floor")" 3 "export / floor"))"
echo "session reading:           $(mega "$reading"), $(awk -v a="$reading" -v b="$export_total" 'BEGIN { printf "%.0f", 100 * a / b }') % of the export"
echo "plug-in's share:           $(mega "$plugin"), $(ratio "$plugin" "$floor") x the floor"
echo "plug-in / floor with diagnostics: $(ratio "$plugin" "$floor_diagnostics") (target <= 1.3: $(verdict "$(ratio "$plugin" "$floor_diagnostics")" 1.3 "plug-in / floor with diagnostics"))"

echo "== check"
declare -A check_instr preview_instr
for n in 1000 10000 100000; do
  want=0
  check_instr[$n]=$(instructions -- $want "$cli" check lib_$n.tls)
  echo "check $n tools:   $(mega "${check_instr[$n]}") instructions, $(per "${check_instr[$n]}" "$(size lib_$n.tls)") per byte"
done
per_byte=$(per "${check_instr[10000]}" "$(size lib_10000.tls)")
echo "check, 10 000 tools:       $per_byte instructions per byte (target <= 60: $(verdict "$per_byte" 60 "check instructions per byte"))"
g=$(growth 1000 "${check_instr[1000]}" 10000 "${check_instr[10000]}" 100000 "${check_instr[100000]}")
echo "check growth exponent:     $g (target <= 1.05: $(verdict "$g" 1.05 "check growth exponent"))"
rss=$("${quiet_env[@]}" /usr/bin/time -f %M "$cli" check lib_100000.tls 2>&1 >/dev/null | tail -1)
echo "check peak memory (maximum resident set, /usr/bin/time): $(ratio "$((rss * 1024))" "$(size lib_100000.tls)") x the file's size (target < 2: $(verdict "$(ratio "$((rss * 1024))" "$(size lib_100000.tls)")" 1.999 "check peak memory / file size"))"

echo "== preview"
for n in 1000 10000 100000; do
  preview_instr[$n]=$(instructions -- 0 "$cli" preview lib_$n.tls -o lib_$n.svg)
  echo "preview $n tools: $(mega "${preview_instr[$n]}") instructions"
done
bad=$(instructions -- 1 "$cli" preview lib_10000_bad.tls -o lib_10000_bad.svg)
r=$(ratio "$bad" "${preview_instr[10000]}")
echo "preview, 10 000 tools, a problem in each / none: $r (target <= 1.2: $(verdict "$r" 1.2 "preview with problems / without"))"
g=$(growth 1000 "${preview_instr[1000]}" 10000 "${preview_instr[10000]}" 100000 "${preview_instr[100000]}")
echo "preview growth exponent:   $g (target <= 1.05: $(verdict "$g" 1.05 "preview growth exponent"))"

echo "== run"
menus=$(instructions -- 0 "$cli" run menus_10000.json -o menus_transcript.txt)
events=$(grep -c '^menu ' menus_transcript.txt)
r=$(per "$menus" "$events")
echo "run, $events menu events:  $r instructions per menu event, all of the run counted (target <= 15000: $(verdict "$r" 15000 "run instructions per menu event"))"

echo "== find"
# The database holds a quarter of the part's tools as the part has them, a
# quarter under other names, a quarter longer (the turning tools' records
# have no length: they stay the same); the summary says so.
"${quiet_env[@]}" "$cli" find part100.json --database database >find.txt || [ $? = 1 ]
echo "find's summary:            $(tail -1 find.txt)"
find_instr=$(instructions -- 1 "$cli" find part100.json --database database)
echo "find, 99-tool part:        $(mega "$find_instr") instructions, $(per "$find_instr" "$database_bytes") per byte of the database"

echo "== wall time, median of 5"
t=$(median_seconds 0 "$cli" check lib_100000.tls)
echo "check, 100 000 tools:      $t s, $(awk -v b="$(size lib_100000.tls)" -v t="$t" 'BEGIN { printf "%.0f", b / t / 1e6 }') MB/s (target <= 0.5 s: $(verdict "$t" 0.5 "check of 100 000 tools, seconds"))"
echo "preview, 10 000 tools:     $(median_seconds 0 "$cli" preview lib_10000.tls -o lib_10000.svg) s; a problem in each: $(median_seconds 1 "$cli" preview lib_10000_bad.tls -o lib_10000_bad.svg) s"
echo "export, 100-member part:   $(median_seconds 0 bash -c 'rm -f export.tls && exec "$0" export part100.json -o export.tls' "$cli") s; floor: $(median_seconds 0 "$build/bench_floor" floor.tls) s"
echo "run, 10 000 menu events:   $(median_seconds 0 "$cli" run menus_10000.json -o menus_transcript.txt) s"
t=$(median_seconds 1 "$cli" find part100.json --database database)
echo "find, 99-tool part in 100 libraries of 100 000 records: $t s (target <= 2 s: $(verdict "$t" 2 "find in the database, seconds"))"

echo "== catalogue of the database (100 libraries, 100 000 records), in Chromium"
t=$(median_seconds 0 "$cli" catalog --database database -o catalog.html)
echo "catalog writes the page:   $t s (target <= 3 s: $(verdict "$t" 3))"
mb=$(awk -v b="$(size catalog.html)" 'BEGIN { printf "%.1f", b / 1e6 }')
echo "catalog page:              $mb MB (target <= 25 MB: $(verdict "$mb" 25))"
node "$root/bench/browser_bench.js" catalog.html >browser.txt
figure() { awk -v k="$1" '$1 == k { print $2 }' browser.txt; }
echo "first view of tools:       $(figure first_view_ms) ms after navigation starts, median of 3 (target <= 2000 ms: $(verdict "$(figure first_view_ms)" 2000))"
echo "new search text shown:     $(figure search_max_ms) ms at most, median $(figure search_median_ms) ms, 8 texts (target <= 150 ms: $(verdict "$(figure search_max_ms)" 150))"
echo "scrolling to the end:      longest frame $(figure scroll_frame_max_ms) ms of $(figure scroll_frames), end reached: $(figure scroll_reached_end), $(figure rows_in_page) rows in the page (target < 50 ms: $(verdict "$(figure scroll_frame_max_ms)" 49.999))"
echo "rows filled after a fling: $(figure settle_frame_ms) ms, the frame that fills them (target < 50 ms: $(verdict "$(figure settle_frame_ms)" 49.999))"
echo "scrolling at a wheel's pace: longest frame $(figure wheel_frame_max_ms) ms, 100 px a frame (target < 50 ms: $(verdict "$(figure wheel_frame_max_ms)" 49.999))"

[ -n "$outputs" ] || finish

# Every output, for a comparison of two trees.  The Help report's date is
# the only text that depends on when a run happened.
echo "== outputs into $outputs"
rm -rf "$outputs"
mkdir -p "$outputs/sessions"
keep() {
  local name=$1
  shift
  local rc=0
  "${quiet_env[@]}" "$@" >"$outputs/$name.stdout" 2>"$outputs/$name.stderr" || rc=$?
  echo "$rc" >"$outputs/$name.exit"
}
keep demo_export "$cli" export -o "$outputs/demo.tls"
keep part_export "$cli" export part100.json -o "$outputs/part100.tls"
for lib in lib_1000 lib_10000 lib_10000_bad lib_100000 export; do
  keep "check_$lib" "$cli" check $lib.tls
  keep "preview_$lib" "$cli" preview $lib.tls -o "$outputs/$lib.svg"
done
keep menus_run "$cli" run menus_10000.json -o "$outputs/menus_transcript.txt"
keep find_part "$cli" find part100.json --database database
keep find_part_json "$cli" find part100.json --database database --json
keep prefer_part "$cli" export part100.json --prefer database -o "$outputs/prefer.tls"
for session in "$root"/tests/sessions/*.json; do
  name=$(basename "$session" .json)
  mkdir -p "$outputs/sessions/$name/files" "$outputs/sessions/$name/json"
  keep "sessions/$name/run" "$cli" run "$session" -C "$outputs/sessions/$name/files" -o transcript.txt
  keep "sessions/$name/run_json" "$cli" run "$session" -C "$outputs/sessions/$name/json" --json
  for f in "$outputs/sessions/$name"/*/*.tls; do
    [ -f "$f" ] || continue
    keep "sessions/$name/check_$(basename "$f")" "$cli" check "$f"
    keep "sessions/$name/preview_$(basename "$f")" "$cli" preview "$f" -o "$outputs/sessions/$name/$(basename "$f").svg"
  done
done
find "$outputs" -type f -print0 | xargs -0 sed -i -E 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/<date>/g'
echo "$(find "$outputs" -type f | wc -l) files"
finish
