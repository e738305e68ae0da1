#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs every test; then runs every test once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the e2e and gui tests under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/packages.sh"
export QT_QPA_PLATFORM=offscreen

PLUMET_BUILD="$root/build" bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)" --timeout 600)

if [ "${PLUMET_SKIP_SANITIZE:-0}" != 1 ]; then
  supp="$root/scripts/sanitizers"
  # Every test (unit, e2e, gui) under AddressSanitizer and UndefinedBehaviorSanitizer; leaks of the system's
  # libraries are suppressed (each with its reason in lsan.supp), ours are reported.
  PLUMET_BUILD="$root/build-asan" bash "$root/scripts/build.sh" \
    -DCMAKE_BUILD_TYPE=Debug -DPLUMET_SANITIZE=ON -DPLUMET_BENCH=OFF
  (cd "$root/build-asan" && \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0 \
    LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$(nproc)" --timeout 900)
  # The tests that run the background work for real (e2e against the development service, gui) under
  # ThreadSanitizer; only reports that lie wholly in system libraries are suppressed (tsan.supp says why).
  PLUMET_BUILD="$root/build-tsan" bash "$root/scripts/build.sh" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMET_SANITIZE=thread -DPLUMET_BENCH=OFF
  (cd "$root/build-tsan" && \
    TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0" \
    ctest --output-on-failure -j "$(nproc)" -L 'e2e|gui' --timeout 900)
fi
