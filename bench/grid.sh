#!/usr/bin/env bash
# bench/grid.sh BUILD_DIR: the multi-picture window filled from the image
# table of a store with sixty 12-megapixel JPEG pictures (4000 x 3000, about
# 2.7 MB each, generated deterministically), reading the blobs and decoding
# them into the sixty 100-pixel cells on both cores, beside vipsthumbnail
# making 100-pixel thumbnails of the same sixty files, two processes at a time
# with one worker thread each, so both use two cores. Median of 5 runs each,
# taken in turns, caches warm; our process's peak resident memory, the
# program's libraries included. Each of our runs starts without kept
# thumbnails; after it, the same fill again in a new process, from the
# thumbnails the first one kept. Ends with
#   grid-memory: ours <MB> MB, bound 300 MB, ratio <ours/300>
#   grid: ours <ms> ms, vipsthumbnail <ms> ms, ratio <ours/vipsthumbnail>
#   grid-warm: ours <ms> ms, vipsthumbnail <ms> ms, ratio <ours/vipsthumbnail>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/grid.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
. bench/common/lib.sh
need_tool vipsthumbnail libvips-tools
build_targets quillon-bench-grid
BIN="$BUILD/bin/quillon-bench-grid"
FILES="$TMP/files"
"$BIN" gen "$FILES" 60 2>/dev/null
"$BIN" store "$FILES" "$TMP/store" 2>/dev/null
echo "pictures: 60 x 4000 x 3000 JPEG, $(du -sm "$FILES" | cut -f1) MB in all"

peer() {
  rm -rf "$TMP/thumbs"
  mkdir -p "$TMP/thumbs"
  local t0 t1
  t0=$(date +%s%N)
  ls "$FILES"/*.jpg | VIPS_CONCURRENCY=1 xargs -P2 -n30 vipsthumbnail --size 100 -o "$TMP/thumbs/%s.jpg"
  t1=$(date +%s%N)
  [ "$(ls "$TMP/thumbs" | wc -l)" -eq 60 ] || { echo "vipsthumbnail made $(ls "$TMP/thumbs" | wc -l) thumbnails, not 60" >&2; exit 1; }
  echo $(((t1 - t0) / 1000000))
}

peer >/dev/null # warm the caches once
"$BIN" run "$TMP/store" >/dev/null 2>&1
ours=(); mem=(); peers=(); warm=()
for i in 1 2 3 4 5; do
  read -r ms mb filled < <("$BIN" run "$TMP/store" 2>/dev/null)
  if [ "$filled" -ne 60 ]; then
    echo "the run filled $filled cells, not 60" >&2
    exit 1
  fi
  ours+=("$ms"); mem+=("$mb")
  read -r ms mb filled < <("$BIN" warm "$TMP/store" 2>/dev/null)
  if [ "$filled" -ne 60 ]; then
    echo "the second fill filled $filled cells, not 60" >&2
    exit 1
  fi
  warm+=("$ms")
  peers+=("$(peer)")
done
o=$(printf '%s\n' "${ours[@]}" | median)
p=$(printf '%s\n' "${peers[@]}" | median)
m=$(printf '%s\n' "${mem[@]}" | sort -n | tail -1)
w=$(printf '%s\n' "${warm[@]}" | median)
echo "ours (ms): ${ours[*]}; peak resident (MB): ${mem[*]}"
echo "ours, filled again from the kept thumbnails (ms): ${warm[*]}"
echo "vipsthumbnail (ms): ${peers[*]}"
echo "grid-memory: ours $m MB, bound 300 MB, ratio $(awk -v a="$m" 'BEGIN{printf "%.2f", a/300}')"
echo "grid: ours $o ms, vipsthumbnail $p ms, ratio $(awk -v a="$o" -v b="$p" 'BEGIN{printf "%.2f", a/b}')"
echo "grid-warm: ours $w ms, vipsthumbnail $p ms, ratio $(awk -v a="$w" -v b="$p" 'BEGIN{printf "%.3f", a/b}')"
