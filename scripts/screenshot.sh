#!/usr/bin/env bash
# Writes docs/screenshot.png: the viewer on the sample model, with a variable
# (Precip unless named as the first argument) drawn for January of the first
# year, and the monthly series of a cell (in the pampas unless "LON,LAT" is
# the second argument). Builds nothing: run scripts/build.sh first. Uses a virtual X display
# when xvfb-run is there, else Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/gui/Veldra_GUI
model=build/sample_model
if [ ! -x "$exe" ] || [ ! -d "$model" ]; then
  echo "screenshot: $exe or $model missing; run scripts/build.sh first" >&2
  exit 1
fi
mkdir -p docs
# A cell query in the pampas shows the chart below the map.
args=(--model "$model" --select "${1:-Precip}" --query "${2:--62.25,-34.75}" --screenshot docs/screenshot.png)
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" "$exe" "${args[@]}"
else
  QT_QPA_PLATFORM=offscreen timeout 120 "$exe" "${args[@]}"
fi
echo "screenshot: wrote docs/screenshot.png"
