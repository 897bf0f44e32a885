#!/usr/bin/env bash
# bench/links.sh BUILD_DIR: throughput of ExtractLinks over a generated 10 MB
# page of 100,000 tags, beside grep pulling href/src values out of the same
# file (best of 5 each), and our time on 1, 2, 5 and 10 MB pages to show that
# it grows linearly. Ends with
#   links: ours <MB/s> MB/s, grep <MB/s> MB/s, ratio <ours/grep>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/links.sh BUILD_DIR}

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
fi
cmake --build "$BUILD" --target quillon-bench-links >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
BIN="$BUILD/bin/quillon-bench-links"
for mb in 1 2 5 10; do
  "$BIN" gen "$TMP/page-$mb.html" "$mb"
done

ours_mbps=
for mb in 1 2 5 10; do
  read -r secs mbps links < <("$BIN" run "$TMP/page-$mb.html" 5)
  echo "ours, $mb MB page: best of 5 $(awk -v s="$secs" 'BEGIN{printf "%.1f", s*1000}') ms, $mbps MB/s, $links links"
  ours_mbps=$mbps
done

# grep in the C locale: bytes, as our functions read them. Its matches go to a
# file: with standard output on /dev/null grep stops at the first match.
PAGE="$TMP/page-10.html"
best_ns=
for i in 1 2 3 4 5; do
  t0=$(date +%s%N)
  LC_ALL=C grep -oiE '(href|src)=[^ >]+' "$PAGE" >"$TMP/grep.out" || [ $? -eq 1 ]
  t1=$(date +%s%N)
  ns=$((t1 - t0))
  if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
done
bytes=$(stat -c %s "$PAGE")
grep_mbps=$(awk -v b="$bytes" -v ns="$best_ns" 'BEGIN{printf "%.1f", b / 1e6 / (ns / 1e9)}')
echo "grep -oiE over the 10 MB page: best of 5 $(awk -v ns="$best_ns" 'BEGIN{printf "%.1f", ns/1e6}') ms, $grep_mbps MB/s"
echo "links: ours $ours_mbps MB/s, grep $grep_mbps MB/s, ratio $(awk -v a="$ours_mbps" -v b="$grep_mbps" 'BEGIN{printf "%.2f", a/b}')"
