#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything and runs every test; then runs every test once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, and once more under ThreadSanitizer.
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
    ctest --output-on-failure -j "$(nproc)" --timeout 900 -E '^VideoWindowTest\.')
  # (The video window's tests are left out of both sanitizer passes: Qt WebEngine's own Chromium code, a system
  # library, trips AddressSanitizer's new/delete size check inside itself and then never finishes loading a page,
  # and under ThreadSanitizer it never finishes loading one either. The screen-reader test is left out of the
  # ThreadSanitizer pass: on its X display the X client libraries (Xlib, Xrender) lock and unlock their display
  # with their own mutexes in ways TSan, which does not see inside them, reports one after another; it runs in the
  # release and AddressSanitizer passes.)
  # Every test again under ThreadSanitizer. Qt is not built with it; the suppressions treat Qt and the other
  # system libraries as uninstrumented (each with its reason in tsan.supp) and never name Plumet code. Our own
  # hand-overs between threads go through std::mutex (platform/Dispatch.cpp), which TSan sees.
  PLUMET_BUILD="$root/build-tsan" bash "$root/scripts/build.sh" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMET_SANITIZE=thread -DPLUMET_BENCH=OFF
  (cd "$root/build-tsan" && \
    TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0" \
    ctest --output-on-failure -j "$(nproc)" --timeout 900 -E '^(VideoWindowTest|AtSpiE2ETest)\.')
fi
