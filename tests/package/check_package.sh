#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it: it holds exactly what `cmake --install` installs,
# among it the program, the development service, the desktop entry, the icon at every size and the metainfo; the
# desktop entry and the metainfo pass their validators; its dependencies come from the binaries; unpacked into a
# temporary folder, the program starts from there.
#   check_package.sh BUILD_FOLDER [CPACK]
set -euo pipefail
build=$1
cpack=${2:-cpack}
work=$(mktemp -d -t plumet-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

if ! (cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb") ($(stat -c %s "$deb") bytes)"

root="$work/root"
dpkg-deb -x "$deb" "$root"
DESTDIR="$work/installed" cmake --install "$build" --prefix /usr >/dev/null
listing() { (cd "$1" && find . \( -type f -o -type l \) | sort); }
diff <(listing "$root") <(listing "$work/installed") || fail "the package and the install rules differ"

for f in bin/plumet bin/plumet-devserver share/applications/plumet.desktop \
  share/metainfo/org.plumet.plumet.metainfo.xml share/icons/hicolor/48x48/apps/plumet.png \
  share/icons/hicolor/128x128/apps/plumet.png share/icons/hicolor/256x256/apps/plumet.png \
  share/icons/hicolor/scalable/apps/plumet.svg; do
  [ -s "$root/usr/$f" ] || fail "missing /usr/$f"
done

# The video window's module, which the installed program finds in its library folder.
compgen -G "$root/usr/lib*/plumet/plumet_video.so" >/dev/null || compgen -G "$root/usr/lib/*/plumet/plumet_video.so" >/dev/null || fail "missing the video module under /usr/lib"

desktop-file-validate "$root/usr/share/applications/plumet.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.plumet.plumet.metainfo.xml" || fail "metainfo"

# Linked libraries come from dpkg-shlibdeps; libsecret, which QtKeychain opens at run time, and the toolkit's
# Chinese translations are named by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for pkg in libqt6widgets6 libqt6keychain1 libcurl4 libsqlite3-0 libsecret-1-0 qt6-translations-l10n; do
  grep -Eq "(^|[ ,])$pkg( |,|$)" <<<"$depends" || fail "Depends lacks $pkg: $depends"
done

version=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/plumet" --version) || fail "plumet --version failed"
[[ $version =~ ^Plumet\ [0-9]+\.[0-9]+ ]] || fail "unexpected version text: $version"
echo "$version"
"$root/usr/bin/plumet-devserver" --help >/dev/null 2>&1 || fail "plumet-devserver --help failed"
echo "package check passed"
