#!/usr/bin/env bash
# Builds the Debian package from a configured build directory, checks the
# desktop files it carries, lists it, and checks that it holds every file an
# installed copy needs.
#   scripts/package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}

scripts/check-desktop.sh
cmake --build "$BUILD" >/dev/null
rm -f "$BUILD"/quillon_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD"/quillon_*_amd64.deb)
dpkg-deb -c "$DEB"
dpkg-deb -f "$DEB" Package Version Depends

listing=$(dpkg-deb -c "$DEB" | awk '{print $6}')
status=0
while read -r f; do
  grep -qx "./usr/$f" <<<"$listing" || { echo "package: $DEB lacks $f" >&2; status=1; }
done <tests/packaging/installed-files
for f in $(grep -o 'src="help/[^"]*"' data/quillon.HLP | sed 's/src="//; s/"$//' | sort -u || true); do
  grep -qx "./usr/share/quillon/$f" <<<"$listing" || { echo "package: $DEB lacks the help picture $f" >&2; status=1; }
done
# The libraries it links must have become dependencies.
for dep in libqt6webenginewidgets6 libqt6sql6 libturbojpeg0 libsqlite3-0 libqt6sql6-sqlite libqt6sql6-psql libwebp7 libavif15 qt6-image-formats-plugins; do
  dpkg-deb -f "$DEB" Depends | grep -q "$dep" || { echo "package: Depends lacks $dep" >&2; status=1; }
done
# The unpacked package starts on an empty Photo directory from its own tree.
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
dpkg-deb -x "$DEB" "$TMP/root"
if ! QT_QPA_PLATFORM=offscreen QUILLON_PHOTO_DIR="$TMP/Photo" XDG_CONFIG_HOME="$TMP/config" \
     "$TMP/root/usr/bin/quillon" --check-start 2>/dev/null | grep -qx "shown: Quillon"; then
  echo "package: the unpacked program did not start" >&2
  status=1
fi
[ $status -eq 0 ] && echo "package: $(basename "$DEB") holds the program, its data, its help and its desktop files"
exit $status
