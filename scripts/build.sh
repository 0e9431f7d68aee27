#!/usr/bin/env bash
# Configures and builds everything (programs, sample model, tests, benchmark) in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
