#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Plumet and runs it against the bundled development service.
#   bash scripts/run.sh            Plumet on your display
#   bash scripts/run.sh --xvfb     Plumet on a virtual display (xvfb-run), e.g. on a machine without one
# The development service runs in the background with activity (other users post, comment and write every 30 s)
# and stops when Plumet exits. Its database stays in ~/.local/share/Plumet/devserver.sqlite, so a signed-in
# account keeps working from one run to the next.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
xvfb=0
if [ "${1:-}" = "--xvfb" ]; then xvfb=1; shift; fi

bash "$root/scripts/packages.sh"
PLUMET_BUILD="$root/build" bash "$root/scripts/build.sh"
build="$root/build"

if [ "$xvfb" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so Plumet's window cannot be shown."
  echo "Run it on a virtual display instead:  bash scripts/run.sh --xvfb"
  exit 1
fi

log=$(mktemp -t plumet-devserver.XXXXXX)
server=""
stop_server() {
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap stop_server EXIT

# The usual port when it is free, any free port otherwise.
start_server() {
  : >"$log"
  "$build/devserver/plumet-devserver" --port "$1" --activity 30 >"$log" 2>&1 &
  server=$!
  for _ in $(seq 1 300); do
    grep -qx Ready "$log" && return 0
    kill -0 "$server" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
if ! start_server 8470 && ! start_server 0; then
  echo "The development service did not start:" >&2
  cat "$log" >&2
  exit 1
fi
value() { sed -n "s/^$1=//p" "$log" | head -n 1; }

echo "Development service: $(value WeiboHost)"
echo "Sign in with the demo account: user name $(value DemoLogin), password $(value DemoPassword)"
echo "(type them into the authorisation window and press 登录; it is asked once, the account is remembered)."

args=()
for key in WeiboHost Weibo2Host WebHost StaticImageHost; do args+=(--set "$key=$(value "$key")"); done
args+=(--set "FeedbackURL=$(value FeedbackURL)")

status=0
if [ "$xvfb" = 1 ]; then
  echo "Plumet runs on a virtual display: nothing appears on screen. Stop it with Ctrl-C."
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/src/app/plumet" "${args[@]}" "$@" || status=$?
else
  "$build/src/app/plumet" "${args[@]}" "$@" || status=$?
fi
exit "$status"
