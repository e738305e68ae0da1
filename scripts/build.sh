#!/usr/bin/env bash
# Configures and builds into build/ (or $PLUMET_BUILD); extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLUMET_BUILD:-$root/build}
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
