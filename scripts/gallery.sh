#!/usr/bin/env bash
# Photographs every window of the program under Xvfb at 96 DPI, at scale 1
# (the help's pictures, data/help/) and at scale 2 (docs/gallery/scale2/).
#   scripts/gallery.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" --target quillon-gallery quillon_help >/dev/null

DISPLAY_NUMBER=${GALLERY_DISPLAY:-93}
Xvfb ":$DISPLAY_NUMBER" -screen 0 1600x1400x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'kill $XVFB 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=":$DISPLAY_NUMBER" QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
unset QT_QPA_PLATFORM

shoot() {  # shoot SCALE OUTDIR
  rm -rf "$2" && mkdir -p "$2"
  QT_SCALE_FACTOR=$1 "$BUILD/bin/quillon-gallery" "$2" "$BUILD/bin/quillon.HLP" 2>/dev/null
  for png in "$2"/*.png; do  # smaller files, same pixels
    convert "$png" -strip -define png:compression-level=9 "$png"
  done
}
shoot 1 data/help
shoot 2 docs/gallery/scale2
# The README's and the software centre's picture of the main window.
cp data/help/main-filelist.png docs/mainwindow.png
echo "gallery: $(ls data/help/*.png | wc -l) windows at scale 1 in data/help, $(ls docs/gallery/scale2/*.png | wc -l) at scale 2 in docs/gallery/scale2"
