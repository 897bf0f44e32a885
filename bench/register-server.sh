#!/usr/bin/env bash
# bench/register-server.sh BUILD_DIR: registering the registration benchmark's
# 200 marked 12-megapixel JPEG files (bench/register.sh) from the file list
# into the import-mode database Sample kept on a PostgreSQL 15 server, as
# "登録(&I)" does it, beside the same into the local store, in one process:
# the server is started in a temporary directory (the tests' server: no fsync,
# where the local store syncs each record of a registration) and stopped at
# the end; every run starts on a fresh server database and a fresh local store,
# and each run's writes are settled on disk before the next. Median of 3 runs
# each, taken in turns, until the run returned. Ends with
#   register-server: ours <ms> ms, sqlite-local <ms> ms, ratio <ours/local>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:?usage: bench/register-server.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
. bench/common/lib.sh
build_targets quillon-bench-server quillon-bench-register quillon_template
FILES="$TMP/files"
"$BUILD/bin/quillon-bench-register" gen "$FILES" 200 2>/dev/null
if ! "$BUILD/bin/quillon-bench-server" register "$BUILD/bin/quillon-template.sqlite" "$FILES" 3 >"$TMP/out" 2>"$TMP/err"; then
  cat "$TMP/err" >&2
  exit 1
fi
if awk '$3 != 200 || $4 != 200 {bad = 1} END {exit !bad}' "$TMP/out"; then
  echo "a run registered other than 200 records (server, local per run):" >&2
  awk '{print $3, $4}' "$TMP/out" >&2
  exit 1
fi
o=$(awk '{print $1}' "$TMP/out" | median)
p=$(awk '{print $2}' "$TMP/out" | median)
echo "server (ms): $(awk '{printf "%s ", $1}' "$TMP/out"); longest stall (ms): $(awk '{printf "%s ", $5}' "$TMP/out")"
echo "local (ms): $(awk '{printf "%s ", $2}' "$TMP/out"); longest stall (ms): $(awk '{printf "%s ", $6}' "$TMP/out")"
echo "register-server: ours $o ms, sqlite-local $p ms, ratio $(awk -v a="$o" -v b="$p" 'BEGIN{printf "%.2f", a/b}')"
