#!/usr/bin/env bash
# Start-up benchmark: builds Plumet, the development service and the driver, then measures process start to the
# home timeline shown (every picture cached, median of 5 runs) and the resident memory at that moment.
#   bash bench/startup/run.sh [build folder] [runs] [store]
# With "store" it also times starts with the lists kept on disk, with the service and with it unreachable.
# Plumet runs offscreen unless QT_QPA_PLATFORM says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-5}
mode=${3:-}
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target bench_startup -j 2 >/dev/null
"$build/bench/startup/bench_startup" "$runs" $mode
