#!/usr/bin/env bash
# Sets everything up (see setup.sh) and runs the whole test suite: once on the
# normal build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

scripts/check-layers.sh
scripts/setup.sh --tests build
(cd build && ctest --output-on-failure -j2)
scripts/package.sh build

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ctest --output-on-failure -j2)
