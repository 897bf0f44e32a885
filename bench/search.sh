#!/usr/bin/env bash
# bench/search.sh BUILD_DIR: the worked example's search (two Like conditions
# joined by OR, ordered by タイトル descending) over a database of 100,000
# records with four user items: the statement opened and its hits counted, as
# the search page does it, beside the sqlite3 shell running the same statement
# (parameters written in) over the same store file. Median of 7 runs each,
# taken in turns, caches warm. Ends with
#   search: ours <ms> ms, sqlite3 <ms> ms, ratio <ours/sqlite3>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/search.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
. bench/common/lib.sh
need_tool sqlite3 sqlite3
build_targets quillon-bench-search quillon_template
BIN="$BUILD/bin/quillon-bench-search"
mkdir -p "$TMP/photo"
cp "$BUILD/bin/quillon-template.sqlite" "$TMP/photo/quillon-store.sqlite"
"$BIN" fill "$TMP/photo" 100000 2>/dev/null
"$BIN" sql >"$TMP/search.sql"
STORE="$TMP/photo/quillon-store.sqlite"

peer() {
  local t0 t1 rows
  t0=$(date +%s%N)
  rows=$(sqlite3 "$STORE" <"$TMP/search.sql" | wc -l)
  t1=$(date +%s%N)
  echo "$(((t1 - t0) / 1000000)) $rows"
}

peer >/dev/null # warm the caches once
ours=(); peers=()
for i in 1 2 3 4 5 6 7; do
  read -r ms hits < <("$BIN" run "$TMP/photo" 2>/dev/null)
  read -r pms rows < <(peer)
  if [ "$hits" -ne "$rows" ]; then
    echo "ours found $hits records, sqlite3 $rows" >&2
    exit 1
  fi
  ours+=("$ms"); peers+=("$pms")
done
o=$(printf '%s\n' "${ours[@]}" | median)
p=$(printf '%s\n' "${peers[@]}" | median)
echo "hits: $hits of 100000 records"
echo "ours (ms): ${ours[*]}"
echo "sqlite3 (ms): ${peers[*]}"
echo "search: ours $o ms, sqlite3 $p ms, ratio $(awk -v a="$o" -v b="$p" 'BEGIN{printf "%.2f", a/b}')"
