#!/usr/bin/env bash
# Sets everything up (see setup.sh) and runs the whole test suite: twice on the
# normal build (the second time with the clocks of the scan and the crawler
# made instant), once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

scripts/check-layers.sh
scripts/setup.sh --tests build
(cd build && ctest --output-on-failure -j2)
# Once more as on a machine so fast that no time bound ever ends a slice of
# work: a test that needs work still running or cut up must not rely on the clock.
(cd build && QUILLON_TEST_INSTANT_CLOCKS=1 ctest --output-on-failure -j2)
scripts/package.sh build

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ctest --output-on-failure -j2)
