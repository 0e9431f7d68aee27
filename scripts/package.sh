#!/usr/bin/env bash
# Builds the Debian package veldra_<version>_amd64.deb in build/ (or the
# folder given as BUILD_DIR) with cpack, and prints its path: the one line
# on standard output (the build's own lines go to standard error).
set -euo pipefail
exec 3>&1 1>&2
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build"
rm -f "$build"/veldra_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/veldra_*_amd64.deb >&3
