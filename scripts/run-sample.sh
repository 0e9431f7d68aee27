#!/usr/bin/env bash
# Exports the precipitation of the bundled sample model, one grid per month of
# 2000, into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p out
build/exporter/layer_exporter build/sample_model/Output/ Precip.vrd out/precip 2000 2000 1
ls -l out/precip_2000_*_1.asc
