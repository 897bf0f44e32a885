#!/usr/bin/env bash
# bench/similar.sh BUILD_DIR: near-duplicate pictures. The set: the five JPEG
# wallpapers of Debian's ukui-wallpapers (3840 x 2400 and 3640 x 2400), each
# with its half, quarter, quality-40 and 3 %-cropped copies (a different edge
# for each picture), 25 files; the expected pairs are the 10 within each
# picture's family, 50 in all. Ours fingerprints the files on all cores and
# groups them within 10 bits, in a process of its own; Debian's findimagedupes
# compares the same files at its default threshold. Best of 3 each, process
# start included. Then the grouping alone: 1,000,000 hashes, a tenth of them
# planted within 10 bits of another, median of 5, every planted pair checked.
# Ends with
#   similar: ours <s> s, findimagedupes <s> s, ratio <ours/theirs>
#   similar-recall: ours <found>/<expected> pairs, findimagedupes <found>/<expected> pairs, ratio <ours/theirs>
#   similar-scale: ours <ms> ms for 1,000,000 hashes
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/similar.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
. bench/common/lib.sh
need_tool findimagedupes findimagedupes
if [ ! -f /usr/share/backgrounds/the-mouse.jpg ]; then
  echo "bench: installing ukui-wallpapers" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends ukui-wallpapers; } >/dev/null
fi
build_targets quillon-bench-similar
BIN="$BUILD/bin/quillon-bench-similar"
SET="$TMP/set"
"$BIN" gen "$SET" /usr/share/backgrounds
EXPECTED=50

# best_of_3 OUT COMMAND...: the best wall time of three runs in seconds; the
# last run's output in OUT.
best_of_3() {
  local out=$1 best="" start ns
  shift
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" >"$out" 2>/dev/null
    ns=$(( $(date +%s%N) - start ))
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
  done
  awk -v t="$best" 'BEGIN{printf "%.2f", t/1e9}'
}

ours_s=$(best_of_3 "$TMP/ours.txt" "$BIN" run "$SET")
theirs_s=$(best_of_3 "$TMP/theirs.txt" findimagedupes "$SET")
read -r ours_found _ ours_false < <("$BIN" pairs $EXPECTED <"$TMP/ours.txt")
read -r theirs_found _ theirs_false < <("$BIN" pairs $EXPECTED <"$TMP/theirs.txt")
echo "ours: $(wc -l <"$TMP/ours.txt") groups, $ours_found of $EXPECTED pairs, $ours_false false pairs; findimagedupes: $(wc -l <"$TMP/theirs.txt") groups, $theirs_found of $EXPECTED pairs, $theirs_false false pairs"
sed "s|$SET/||g; s|^|  ours: |" "$TMP/ours.txt"
sed "s|$SET/||g; s|^|  findimagedupes: |" "$TMP/theirs.txt"
echo "similar: ours $ours_s s, findimagedupes $theirs_s s, ratio $(awk -v a="$ours_s" -v b="$theirs_s" 'BEGIN{printf "%.3f", a/b}')"
echo "similar-recall: ours $ours_found/$EXPECTED pairs, findimagedupes $theirs_found/$EXPECTED pairs, ratio $(awk -v a="$ours_found" -v b="$theirs_found" 'BEGIN{if (b == 0) print "inf"; else printf "%.2f", a/b}')"

read -r scale_ms planted apart < <("$BIN" scale 1000000 5 2>"$TMP/scale.log")
echo "grouping: $(cat "$TMP/scale.log")"
[ "$apart" -eq 0 ] || { echo "similar-scale: $apart of $planted planted pairs not grouped" >&2; exit 1; }
echo "similar-scale: ours $scale_ms ms for 1,000,000 hashes"
