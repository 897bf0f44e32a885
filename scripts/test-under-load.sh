#!/usr/bin/env bash
# Runs the test suite of build/ three times while both cores are kept busy
# with a parallel build of the program from scratch (in build-load/), and
# says how many of the runs passed. The tests wait for events with generous
# limits, so a loaded machine must not make them fail.
#   scripts/test-under-load.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-3}
export QT_QPA_PLATFORM=offscreen
scripts/setup.sh --tests build >/dev/null
cmake -S . -B build-load -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_TESTS=OFF >/dev/null

# The load: build everything again and again until the runs are done. It
# runs in a session of its own, so that the build under way ends with it.
setsid bash -c '
  while true; do
    cmake --build build-load --target clean >/dev/null 2>&1 || true
    cmake --build build-load -j"$(nproc)" >/dev/null 2>&1 || true
  done' &
LOAD=$!
trap 'kill -- -"$LOAD" 2>/dev/null || true' EXIT

passed=0
for i in $(seq 1 "$RUNS"); do
  if (cd build && ctest -j2 --output-on-failure >"/tmp/quillon-load-run-$i.log" 2>&1); then
    passed=$((passed + 1))
    echo "run $i: $(grep -E 'tests passed' "/tmp/quillon-load-run-$i.log")"
  else
    echo "run $i failed:"
    grep -E 'Failed|\*\*\*' "/tmp/quillon-load-run-$i.log" || true
  fi
done
echo "under-load: $passed/$RUNS runs of the whole suite passed while a parallel build kept both cores busy"
[ "$passed" -eq "$RUNS" ]
