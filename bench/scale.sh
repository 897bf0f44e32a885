#!/usr/bin/env bash
# bench/scale.sh BUILD_DIR: how the cost grows with the work. At 10,000 rows and
# at each doubling up to 1,000,000: a disk scan of that many pictures into an
# empty _List.db, the start-up with that many rows in _List.db and _Link.db
# (median of 3), and the time of taking the next page and picture link when
# every row before it is handled. Ends with one line per measure, the cost
# per row (or per pick) at 1,000,000 beside that at 10,000:
#   scale-scan: ours <us> us/row, 10k-rows <us> us/row, ratio <1M/10k>
#   scale-startup: ours <ms> ms, 10k-rows <ms> ms, ratio <1M/10k>
#   scale-next: ours <us> us, 10k-rows <us> us, ratio <1M/10k>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/scale.sh BUILD_DIR}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
source bench/common/lib.sh
build_targets quillon-bench-scan quillon-bench-startup quillon-bench-scale quillon_template
TEMPLATE="$BUILD/bin/quillon-template.sqlite"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$TMP/settings"

printf '%10s %12s %12s %12s %12s\n' rows "scan s" "scan us/row" "start-up ms" "next us"
declare -A scan_us startup_ms next_us
for rows in 10000 20000 40000 80000 160000 320000 640000 1000000; do
  "$BUILD/bin/quillon-bench-scan" pictures "$TMP/tree" "$rows"
  read -r scan_s _ listed < <("$BUILD/bin/quillon-bench-scan" run "$TEMPLATE" "$TMP/tree" 1 2>/dev/null)
  rm -rf "$TMP/tree"
  [ "$listed" -eq "$rows" ] || { echo "the scan listed $listed rows, not $rows" >&2; exit 1; }

  mkdir -p "$TMP/start" "$TMP/queue"
  cp "$TEMPLATE" "$TMP/start/quillon-store.sqlite"
  "$BUILD/bin/quillon-bench-startup" fill "$TMP/start" "$rows"
  "$BUILD/bin/quillon-bench-startup" run "$TMP/start" >/dev/null 2>&1  # warm
  ms=$(for i in 1 2 3; do "$BUILD/bin/quillon-bench-startup" run "$TMP/start" 2>/dev/null; done | median)

  cp "$TEMPLATE" "$TMP/queue/quillon-store.sqlite"
  "$BUILD/bin/quillon-bench-scale" queue "$TMP/queue" "$rows"
  us=$("$BUILD/bin/quillon-bench-scale" next "$TMP/queue" 2>/dev/null)
  rm -rf "$TMP/start" "$TMP/queue"

  scan_us[$rows]=$(awk -v s="$scan_s" -v n="$rows" 'BEGIN{printf "%.2f", s*1e6/n}')
  startup_ms[$rows]=$ms
  next_us[$rows]=$us
  printf '%10d %12.3f %12s %12s %12s\n' "$rows" "$scan_s" "${scan_us[$rows]}" "$ms" "$us"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }
echo "scale-scan: ours ${scan_us[1000000]} us/row, 10k-rows ${scan_us[10000]} us/row, ratio $(ratio "${scan_us[1000000]}" "${scan_us[10000]}")"
echo "scale-startup: ours ${startup_ms[1000000]} ms, 10k-rows ${startup_ms[10000]} ms, ratio $(ratio "${startup_ms[1000000]}" "${startup_ms[10000]}")"
echo "scale-next: ours ${next_us[1000000]} us, 10k-rows ${next_us[10000]} us, ratio $(ratio "${next_us[1000000]}" "${next_us[10000]}")"
