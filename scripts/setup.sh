#!/usr/bin/env bash
# Installs what Quillon needs from Debian's packages and builds it. Safe to run
# again: it only does what is missing. The program makes its Photo store
# itself, from the template, at its first start.
#   scripts/setup.sh [--tests] [build-dir] [extra cmake options...]
# --tests also installs what only the tests use.
set -euo pipefail
cd "$(dirname "$0")/.."

WITH_TESTS=0
if [ "${1:-}" = "--tests" ]; then
  WITH_TESTS=1
  shift
fi
BUILD_DIR=${1:-build}
shift || true

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libpq-dev qt6-qpa-plugins libturbojpeg0-dev
  qt6-image-formats-plugins libwebp-dev libavif-dev
  fonts-ipafont-gothic xvfb x11-apps imagemagick
  dpkg-dev file desktop-file-utils appstream
)
# ffmpeg writes the clips that the AVI reader is tested on.
TEST_PACKAGES=(ffmpeg)
# libxslt1-dev ships libxslt's HTML documentation, a real site the crawl is tested on.
TEST_PACKAGES+=(libxslt1-dev)
# ukui-wallpapers ships five large JPEG wallpapers, real pictures the perceptual hash is tested on.
TEST_PACKAGES+=(ukui-wallpapers)
# postgresql-15 is the server the shared picture databases are tested on; the
# program itself only ever connects to a server, never runs one.
TEST_PACKAGES+=(postgresql-15)
[ "$WITH_TESTS" -eq 0 ] || PACKAGES+=("${TEST_PACKAGES[@]}")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
