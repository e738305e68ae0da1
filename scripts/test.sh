#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs every test;
# then runs the unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/packages.sh"
export QT_QPA_PLATFORM=offscreen

PLUMET_BUILD="$root/build" bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)" --timeout 600)

if [ "${PLUMET_SKIP_SANITIZE:-0}" != 1 ]; then
  PLUMET_BUILD="$root/build-asan" bash "$root/scripts/build.sh" \
    -DCMAKE_BUILD_TYPE=Debug -DPLUMET_SANITIZE=ON -DPLUMET_BENCH=OFF
  (cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$(nproc)" -L unit --timeout 600)
fi
