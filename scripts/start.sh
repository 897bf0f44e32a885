#!/usr/bin/env bash
# Sets everything up (see setup.sh) and starts Quillon.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "start: no display; running under Xvfb" >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/quillon
fi
exec build/bin/quillon
