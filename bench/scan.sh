#!/usr/bin/env bash
# bench/scan.sh BUILD_DIR: the whole disk scan of a generated tree (2,000
# directories, 100,000 files, 20,000 pictures) into _List.db of a fresh copy
# of the template store, beside find listing the same pictures with size and
# time (best of 3 each, caches warm), and the longest stall of the event loop
# during our scan. Ends with
#   scan: ours <s> s, find <s> s, ratio <ours/find>
#   scan-stall: ours <ms> ms, bound 100 ms, ratio <ours/100>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/scan.sh BUILD_DIR}

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
fi
cmake --build "$BUILD" --target quillon-bench-scan quillon_template >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
BIN="$BUILD/bin/quillon-bench-scan"
TREE="$TMP/tree"
"$BIN" gen "$TREE"

# Warm the caches once, then best of 3.
find "$TREE" -iname '*.jpg' -printf '%s %T@\n' >/dev/null
best_ns=
for i in 1 2 3; do
  t0=$(date +%s%N)
  find "$TREE" -iname '*.jpg' -printf '%s %T@\n' >/dev/null
  t1=$(date +%s%N)
  ns=$((t1 - t0))
  if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
done
find_s=$(awk -v ns="$best_ns" 'BEGIN{printf "%.3f", ns/1e9}')
echo "find -iname '*.jpg' -printf: best of 3 $find_s s, $(find "$TREE" -iname '*.jpg' | wc -l) files"

read -r ours_s stall_ms rows < <(QT_QPA_PLATFORM=offscreen "$BIN" run "$BUILD/bin/quillon-template.sqlite" "$TREE" 3)
if [ "$rows" -ne 20000 ]; then
  echo "the scan listed $rows rows, not 20000" >&2
  exit 1
fi
echo "ours: best of 3 $(awk -v s="$ours_s" 'BEGIN{printf "%.3f", s}') s, $rows rows, longest stall $stall_ms ms"
echo "scan: ours $(awk -v s="$ours_s" 'BEGIN{printf "%.3f", s}') s, find $find_s s, ratio $(awk -v a="$ours_s" -v b="$find_s" 'BEGIN{printf "%.2f", a/b}')"
echo "scan-stall: ours $(awk -v s="$stall_ms" 'BEGIN{printf "%.1f", s}') ms, bound 100 ms, ratio $(awk -v s="$stall_ms" 'BEGIN{printf "%.2f", s/100}')"
