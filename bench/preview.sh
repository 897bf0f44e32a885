#!/usr/bin/env bash
# bench/preview.sh BUILD_DIR: the preview of a 24-megapixel JPEG (6000 x 4000,
# generated deterministically) in the 273 x 288 record box: our loader, which
# decodes at a reduced scale, beside a full-size decode followed by scaling.
# Each way runs in a process of its own, best of 5 for the time, the process's
# peak resident memory above what it held before decoding for the memory.
# The limit: libjpeg-turbo's own djpeg decoding the same file at 1/8 scale,
# best of 5 too (its process start included, a millisecond or two).
# Ends with
#   preview: ours <ms> ms, full-decode <ms> ms, ratio <ours/full>
#   preview-memory: ours <MB> MB, full-decode <MB> MB, ratio <ours/full>
#   preview-limit: ours <ms> ms, djpeg-1/8 <ms> ms, ratio <ours/djpeg>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/preview.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
source bench/common/lib.sh
need_tool djpeg libjpeg-turbo-progs

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
fi
cmake --build "$BUILD" --target quillon-bench-preview >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }
BIN="$BUILD/bin/quillon-bench-preview"

# For reference: a smoother picture of the same size, with less entropy-coded
# data for the scaled decode to read, shows how the gain depends on it.
SMOOTH="$TMP/smooth.jpg"
"$BIN" gen "$SMOOTH" 2 2>/dev/null
read -r s_ours_ms _ < <("$BIN" ours "$SMOOTH" 5 2>/dev/null)
read -r s_full_ms _ < <("$BIN" full "$SMOOTH" 5 2>/dev/null)
echo "reference, smoother picture ($(stat -c %s "$SMOOTH") bytes): ours $s_ours_ms ms, full-decode $s_full_ms ms, ratio $(awk -v a="$s_ours_ms" -v b="$s_full_ms" 'BEGIN{printf "%.3f", a/b}')"

PICTURE="$TMP/picture.jpg"
"$BIN" gen "$PICTURE" 2>/dev/null
echo "picture: 6000 x 4000, noise +-16, $(stat -c %s "$PICTURE") bytes"

read -r ours_ms ours_mb ours_base ours_size < <("$BIN" ours "$PICTURE" 5 2>/dev/null)
read -r full_ms full_mb full_base full_size < <("$BIN" full "$PICTURE" 5 2>/dev/null)
echo "ours (scaled decode): best of 5 $ours_ms ms, peak $ours_mb MB (before decoding $ours_base MB), preview $ours_size"
echo "full decode then scaling: best of 5 $full_ms ms, peak $full_mb MB (before decoding $full_base MB), preview $full_size"
echo "preview: ours $ours_ms ms, full-decode $full_ms ms, ratio $(awk -v a="$ours_ms" -v b="$full_ms" 'BEGIN{printf "%.3f", a/b}')"
# The memory a way needs is its peak above what the process held before the
# first decode (the program's libraries alone take some 40 MB).
ours_need=$(awk -v a="$ours_mb" -v b="$ours_base" 'BEGIN{printf "%.1f", a-b}')
full_need=$(awk -v a="$full_mb" -v b="$full_base" 'BEGIN{printf "%.1f", a-b}')
echo "preview-memory: ours $ours_need MB, full-decode $full_need MB, ratio $(awk -v a="$ours_need" -v b="$full_need" 'BEGIN{printf "%.3f", a/b}')"

best=""
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  djpeg -scale 1/8 -outfile /dev/null "$PICTURE"
  ms=$(( ($(date +%s%N) - start) / 100000 ))
  [ -z "$best" ] || [ "$ms" -lt "$best" ] && best=$ms
done
djpeg_ms=$(awk -v t="$best" 'BEGIN{printf "%.1f", t/10}')
echo "preview-limit: ours $ours_ms ms, djpeg-1/8 $djpeg_ms ms, ratio $(awk -v a="$ours_ms" -v b="$djpeg_ms" 'BEGIN{printf "%.2f", a/b}')"
