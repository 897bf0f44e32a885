#!/usr/bin/env bash
# bench/preview.sh BUILD_DIR: the preview of a 24-megapixel JPEG (6000 x 4000,
# generated deterministically) in the 273 x 288 record box: our loader, which
# decodes at a reduced scale, beside a full-size decode followed by scaling.
# Each way runs in a process of its own, best of 5 for the time, the process's
# peak resident memory above what it held before decoding for the memory.
# The limit: libjpeg-turbo's own djpeg decoding the same file at 1/8 scale,
# best of 5 too (its process start included, a millisecond or two).
# Then the same picture as a WebP (Qt's writer, quality 90) and as an AVIF
# (libavif's encoder, 8-bit 4:2:0): our loader beside libwebp's dwebp scaling
# to the size shown as it decodes, and beside libavif's avifdec decoding the
# file (its YUV output thrown away, so only the decode counts), best of 5.
# Ends with
#   preview: ours <ms> ms, full-decode <ms> ms, ratio <ours/full>
#   preview-memory: ours <MB> MB, full-decode <MB> MB, ratio <ours/full>
#   preview-limit: ours <ms> ms, djpeg-1/8 <ms> ms, ratio <ours/djpeg>
#   preview-warm: ours <ms> ms, djpeg-1/8 <ms> ms, ratio <ours/djpeg>
#     (the same preview shown again, from the file's shared thumbnail; the
#     runs above read no thumbnail, and this one starts from an empty cache)
#   preview-webp: ours <ms> ms, dwebp <ms> ms, ratio <ours/dwebp>
#   preview-avif: ours <ms> ms, avifdec <ms> ms, ratio <ours/avifdec>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/preview.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
source bench/common/lib.sh
need_tool djpeg libjpeg-turbo-progs
need_tool dwebp webp
need_tool avifdec libavif-bin

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

# best_of_5 COMMAND...: the best wall time of five runs in ms, process start included.
best_of_5() {
  local best="" start ms
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    ms=$(( ($(date +%s%N) - start) / 100000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  awk -v t="$best" 'BEGIN{printf "%.1f", t/10}'
}

djpeg_ms=$(best_of_5 djpeg -scale 1/8 -outfile /dev/null "$PICTURE")
echo "preview-limit: ours $ours_ms ms, djpeg-1/8 $djpeg_ms ms, ratio $(awk -v a="$ours_ms" -v b="$djpeg_ms" 'BEGIN{printf "%.2f", a/b}')"

mkdir "$TMP/thumbnails"
read -r warm_ms _ _ warm_size < <("$BIN" warm "$PICTURE" 5 "$TMP/thumbnails" 2>/dev/null)
echo "second preview from the shared thumbnail: best of 5 $warm_ms ms, preview $warm_size"
echo "preview-warm: ours $warm_ms ms, djpeg-1/8 $djpeg_ms ms, ratio $(awk -v a="$warm_ms" -v b="$djpeg_ms" 'BEGIN{printf "%.2f", a/b}')"

WEBP="$TMP/picture.webp"
AVIF="$TMP/picture.avif"
"$BIN" gen "$WEBP" 2>/dev/null
"$BIN" gen "$AVIF" 2>/dev/null
read -r webp_ms webp_mb webp_base webp_size < <("$BIN" ours "$WEBP" 5 2>/dev/null)
dwebp_ms=$(best_of_5 dwebp -scale "${webp_size%x*}" "${webp_size#*x}" "$WEBP" -ppm -o /dev/null)
echo "webp: $(stat -c %s "$WEBP") bytes; ours best of 5 $webp_ms ms, peak $webp_mb MB (before decoding $webp_base MB), preview $webp_size; dwebp -scale ${webp_size%x*} ${webp_size#*x} best of 5 $dwebp_ms ms"
echo "preview-webp: ours $webp_ms ms, dwebp $dwebp_ms ms, ratio $(awk -v a="$webp_ms" -v b="$dwebp_ms" 'BEGIN{printf "%.2f", a/b}')"

# avifdec picks its output format by the name's extension.
ln -s /dev/null "$TMP/discard.y4m"
read -r avif_ms avif_mb avif_base avif_size < <("$BIN" ours "$AVIF" 5 2>/dev/null)
avifdec_ms=$(best_of_5 avifdec "$AVIF" "$TMP/discard.y4m")
echo "avif: $(stat -c %s "$AVIF") bytes; ours best of 5 $avif_ms ms, peak $avif_mb MB (before decoding $avif_base MB), preview $avif_size; avifdec best of 5 $avifdec_ms ms"
echo "preview-avif: ours $avif_ms ms, avifdec $avifdec_ms ms, ratio $(awk -v a="$avif_ms" -v b="$avifdec_ms" 'BEGIN{printf "%.2f", a/b}')"
