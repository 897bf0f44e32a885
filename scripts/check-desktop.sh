#!/usr/bin/env bash
# Validates the files the Debian package installs for desktop integration:
# the desktop entry, the AppStream metainfo and the rendered application icons.
# Needs desktop-file-utils and appstream (Debian package names).
set -euo pipefail
cd "$(dirname "$0")/.."

DESKTOP=data/desktop/quillon.desktop
shopt -s nullglob
METAINFO=(data/desktop/*.metainfo.xml)
shopt -u nullglob
status=0

fail() {
  echo "check-desktop: $*" >&2
  status=1
}

# desktop-file-validate exits 0 on warnings, so they are caught from its output;
# hints are only printed.
rc=0
out=$(desktop-file-validate "$DESKTOP" 2>&1) || rc=$?
if [ -n "$out" ]; then
  echo "$out"
fi
if [ "$rc" -ne 0 ] || grep -q ': \(error\|warning\):' <<<"$out"; then
  fail "desktop-file-validate reports errors or warnings"
fi

# appstreamcli fails on errors and warnings; infos are printed but tolerated,
# because newer AppStream versions add infos for forms older ones require.
if [ ${#METAINFO[@]} -eq 0 ]; then
  fail "no metainfo file in data/desktop"
else
  appstreamcli validate --no-net "${METAINFO[@]}" || fail "appstreamcli validate reports errors or warnings"
fi

# The entry and the metainfo name files by convention only; a rename breaks them silently.
icon=$(sed -n 's/^Icon=//p' "$DESKTOP")
[ -f "data/icons/$icon.svg" ] || fail "Icon=$icon has no data/icons/$icon.svg"
for m in "${METAINFO[@]}"; do
  id=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$m")
  if [ -z "$id" ] || [ ! -f "data/desktop/$id" ]; then
    fail "$m launches '$id', which is not in data/desktop"
  fi
done

# Width and height are the first two big-endian 32-bit fields of the IHDR chunk,
# right after the 8-byte signature and the chunk's length and type (offset 16).
png_size() {
  local -a b
  # shellcheck disable=SC2207 # od prints plain numbers, split on purpose
  b=($(od -An -tu1 -N24 -v "$1"))
  if [ ${#b[@]} -ne 24 ] || [ "${b[*]:0:8}" != "137 80 78 71 13 10 26 10" ] \
     || [ "${b[*]:12:4}" != "73 72 68 82" ]; then
    echo "not-a-png"
    return
  fi
  echo "$(( (b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19] ))x$(( (b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23] ))"
}

for n in 48 256; do
  png="data/icons/quillon-$n.png"
  if [ ! -f "$png" ]; then
    fail "$png is missing"
    continue
  fi
  size=$(png_size "$png")
  [ "$size" = "${n}x${n}" ] || fail "$png is $size, expected ${n}x${n}"
done

if [ "$status" -ne 0 ]; then
  exit "$status"
fi
echo "check-desktop: desktop entry, metainfo and icons are valid"
