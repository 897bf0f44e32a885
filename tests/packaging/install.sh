#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program
# offscreen on an empty Photo directory: it must find its data under the
# prefix, make its store from the installed template and show its window.
#   install.sh BUILD_DIR
set -euo pipefail
BUILD=$1
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$TMP/prefix" >/dev/null
P=$TMP/prefix
# The files of an installed copy, as the package must hold them too.
while read -r f; do
  [ -f "$P/$f" ] || fail "the installed tree lacks $f"
done <"$(dirname "$0")/installed-files"
# Every picture the help shows is installed beside it.
for pic in $(grep -o 'src="help/[^"]*"' "$P/share/quillon/quillon.HLP" | sed 's/src="//; s/"$//' | sort -u || true); do
  [ -f "$P/share/quillon/$pic" ] || fail "the help shows $pic, which is not installed"
done

export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$TMP/config
start() { QUILLON_PHOTO_DIR=$1 "$P/bin/quillon" --check-start 2>"$TMP/stderr"; }

# First start: no Photo directory at all.
PHOTO=$TMP/home/Quillon/Photo
out=$(start "$PHOTO") || { cat "$TMP/stderr" >&2; fail "the installed program did not start: $out"; }
echo "$out"
grep -qx "shown: Quillon" <<<"$out" || fail "no main window shown"
grep -q "(missing)" <<<"$out" && fail "the installed program misses a file of its own"
for what in data help "help viewer" clip; do
  grep -q "^$what: $P/" <<<"$out" || fail "$what is not taken from the install prefix"
done
# The start opened its fixed tables, which only the template holds.
[ "$(head -c 15 "$PHOTO/quillon-store.sqlite")" = "SQLite format 3" ] || fail "no store was made"

# A second start keeps the store it made (a new copy would be a new file).
inode=$(stat -c %i "$PHOTO/quillon-store.sqlite")
start "$PHOTO" >/dev/null || fail "the second start failed"
[ "$(stat -c %i "$PHOTO/quillon-store.sqlite")" = "$inode" ] || fail "the second start replaced the store"

# A Photo directory that cannot be made is an error that says so, not a crash.
touch "$TMP/file"
if start "$TMP/file/Photo" >/dev/null; then fail "started without a store"; fi
grep -q "を作れません" "$TMP/stderr" || { cat "$TMP/stderr" >&2; fail "no message for a store that cannot be made"; }
echo "install: the installed program made its store from the template and showed its window"
