#!/usr/bin/env bash
# bench/register.sh BUILD_DIR: registering 200 marked 12-megapixel JPEG files
# (about 2.7 MB each, generated deterministically) from the file list into the
# import-mode database Sample of a fresh store, as "登録(&I)" does it, beside
# the sqlite3 shell inserting the same files as blobs with readfile() in one
# transaction into a fresh database. Median of 3 runs each, taken in turns,
# caches warm; and the longest stall of the event loop during our runs.
# Ends with
#   register: ours <ms> ms, sqlite3 <ms> ms, ratio <ours/sqlite3>
#   register-stall: ours <ms> ms, bound 100 ms, ratio <ours/100>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/register.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
. bench/common/lib.sh
need_tool sqlite3 sqlite3
build_targets quillon-bench-register quillon_template
BIN="$BUILD/bin/quillon-bench-register"
FILES="$TMP/files"
"$BIN" gen "$FILES" 200 2>/dev/null

peer() {
  rm -f "$TMP/peer.db"
  {
    echo "CREATE TABLE pictures(serial INTEGER PRIMARY KEY, picture BLOB);"
    echo "BEGIN;"
    for f in "$FILES"/*.jpg; do echo "INSERT INTO pictures(picture) VALUES (readfile('$f'));"; done
    echo "COMMIT;"
  } >"$TMP/peer.sql"
  local t0 t1
  t0=$(date +%s%N)
  sqlite3 "$TMP/peer.db" <"$TMP/peer.sql"
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

peer >/dev/null # warm the caches once
ours=(); stalls=(); whole=(); peers=()
for i in 1 2 3; do
  read -r ms stall records until_end < <("$BIN" run "$BUILD/bin/quillon-template.sqlite" "$FILES" 2>/dev/null)
  if [ "$records" -ne 200 ]; then
    echo "the run registered $records records, not 200" >&2
    exit 1
  fi
  ours+=("$ms"); stalls+=("$stall"); whole+=("$until_end")
  peers+=("$(peer)")
done
o=$(printf '%s\n' "${ours[@]}" | median)
p=$(printf '%s\n' "${peers[@]}" | median)
w=$(printf '%s\n' "${whole[@]}" | median)
s=$(printf '%s\n' "${stalls[@]}" | sort -n | tail -1)
echo "ours (ms, until the run returned): ${ours[*]}; until the program had ended with everything in the store file: ${whole[*]}"
echo "sqlite3 (ms): ${peers[*]}"
echo "register-whole: ours $w ms, sqlite3 $p ms, ratio $(awk -v a="$w" -v b="$p" 'BEGIN{printf "%.2f", a/b}')"
echo "register-stall: ours $s ms, bound 100 ms, ratio $(awk -v a="$s" 'BEGIN{printf "%.2f", a/100}')"
echo "register: ours $o ms, sqlite3 $p ms, ratio $(awk -v a="$o" -v b="$p" 'BEGIN{printf "%.2f", a/b}')"
