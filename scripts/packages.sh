#!/usr/bin/env bash
# Installs, once, every Debian package the build, the tests and the program need.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config clang
  libcurl4-openssl-dev libjsoncpp-dev libboost-dev libsqlite3-dev libcpp-httplib-dev
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libqt6network6 qt6-qpa-plugins
  qt6-webengine-dev libqt6webenginecore6-bin qt6-image-formats-plugins
  qt6-multimedia-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus dbus-daemon xvfb xauth wrk
  fonts-noto-cjk
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring libsecret-tools
  desktop-file-utils appstream dpkg-dev file
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
