#!/usr/bin/env bash
# Exports the precipitation of the bundled sample model, one grid per month of
# 2000, into out/; then, when a display is there, opens the viewer on the
# sample model.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p out
build/bin/layer_exporter build/sample_model/Output/ Precip.vrd out/precip 2000 2000 1
ls -l out/precip_2000_*_1.asc
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/bin/Veldra_GUI --model build/sample_model
else
  echo "No display: to see the viewer, run build/bin/Veldra_GUI --model build/sample_model on a desktop."
fi
