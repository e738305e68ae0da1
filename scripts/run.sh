#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Plumet and runs it against the bundled development service.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/packages.sh"
PLUMET_BUILD="$root/build" bash "$root/scripts/build.sh"
build="$root/build"
if [ ! -x "$build/src/app/plumet" ]; then
  echo "Plumet's window is not built yet; starting the development service alone."
  exec "$build/devserver/plumet-devserver" --port 8470 --activity 30 "$@"
fi
