#!/usr/bin/env bash
# Installs every Debian package that building, testing and the tools need.
# This is the one list of dependencies; CI runs it on a clean machine.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build
  # the viewer: Qt 6 widgets and charts
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  # the viewer's screenshot: a virtual display and a font
  xvfb xauth fonts-dejavu-core
  # tests: GoogleTest, and GDAL to read produced grids as a GIS user would
  googletest libgtest-dev libgmock-dev gdal-bin python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
