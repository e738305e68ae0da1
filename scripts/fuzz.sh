#!/usr/bin/env bash
# Builds every libFuzzer target (clang, ASan+UBSan) into build-fuzz/ and runs each in turn, one process at a time,
# for the given number of seconds (default 60). Targets live in fuzz/<layer>/fuzz_*.cpp; each starts from the
# fixtures in tests/data/<layer>/ and the dictionaries in fuzz/<layer>/. The grown corpora stay in
# build-fuzz/fuzz-corpus/, logs in build-fuzz/fuzz-logs/, findings in build-fuzz/fuzz-findings/.
# Exits non-zero on the first finding.
#   bash scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${PLUMET_FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root" -B "$build" -G Ninja -DPLUMET_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DPLUMET_GUI=OFF \
  -DPLUMET_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

declare -A layer_of
for src in "$root"/fuzz/*/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  layer_of[$name]=$(basename "$(dirname "$src")")
done
if [ $# -gt 0 ]; then targets=("$@"); else mapfile -t targets < <(printf '%s\n' "${!layer_of[@]}" | sort); fi

cmake --build "$build" --target "${targets[@]}" -j 2

mkdir -p "$build/fuzz-findings" "$build/fuzz-logs"
for t in "${targets[@]}"; do
  layer=${layer_of[$t]}
  corpus="$build/fuzz-corpus/$t"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/tests/data/$layer" ] && seeds=("$root/tests/data/$layer")
  dict=()
  for d in "$root/fuzz/$layer"/*.dict; do [ -e "$d" ] && dict=("-dict=$d"); done
  echo "== $t: $seconds s"
  rc=0
  "$build/fuzz/$layer/$t" "$corpus" "${seeds[@]}" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-findings/$t-" >"$log" 2>&1 || rc=$?
  grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "$t failed (exit $rc); log $log, findings in $build/fuzz-findings/" >&2
    exit 1
  fi
done
echo "fuzzing done: ${#targets[@]} target(s), no findings"
