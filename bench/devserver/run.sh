#!/usr/bin/env bash
# Signed friends_timeline requests per second against plumet-devserver on loopback, measured with
# wrk and a Lua signing script, plus the server's resident memory before and after the load.
#   bash bench/devserver/run.sh [build folder] [seconds] [connections]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-10}
connections=${3:-8}
threads=$(( connections < 2 ? connections : 2 ))
server="$build/devserver/plumet-devserver"
[ -x "$server" ] || { echo "build $server first (cmake --build $build --target plumet-devserver)"; exit 1; }
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install wrk)"; exit 1; }

work=$(mktemp -d /tmp/plumet-devserver-bench-XXXXXX)
"$server" --port 0 --db "$work/bench.sqlite" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 200); do grep -q '^Ready$' "$work/out.txt" 2>/dev/null && break; sleep 0.05; done
grep -q '^Ready$' "$work/out.txt" || { cat "$work/err.txt"; exit 1; }
value() { grep "^$1=" "$work/out.txt" | head -1 | cut -d= -f2-; }
base=$(value WeiboHost)
token=$(value DemoAccessToken)
secret=$(value DemoAccessTokenSecret)
rss() { awk '/VmRSS/ {print $2 " kB"}' "/proc/$pid/status"; }

echo "server: $base (pid $pid), resident memory at rest: $(rss)"
# A short warm-up fills the picture and statement caches before the measured run.
wrk -t"$threads" -c"$connections" -d2s -s "$here/signed_timeline.lua" "$base/statuses/friends_timeline.json" -- "$token" "$secret" "$base" > /dev/null
wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -s "$here/signed_timeline.lua" \
  "$base/statuses/friends_timeline.json" -- "$token" "$secret" "$base" | tee "$work/wrk.txt"
echo "resident memory after the load: $(rss) (peak $(awk '/VmHWM/ {print $2 " kB"}' /proc/$pid/status))"
