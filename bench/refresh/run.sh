#!/usr/bin/env bash
# Poll benchmark: builds the development service and the instrumented driver, then measures one timer poll of
# the main window when nothing is new and when every list has new items (100 statuses), `rounds` times each.
#   bash bench/refresh/run.sh [build folder] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
rounds=${2:-3}
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target bench_refresh -j 2 >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/refresh/bench_refresh" "$rounds"
