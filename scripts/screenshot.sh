#!/usr/bin/env bash
# Writes docs/screenshot.png: the viewer on the sample model, with a variable
# (Precip unless named as the first argument) drawn for January of the first
# year, and the monthly series of a cell (in the pampas unless "LON,LAT" is
# the second argument). Then docs/screenshot_zoomed.png: the shrubs of
# July 2001 zoomed four times over southern Africa, with a queried cell in
# Angola, its chart and the value under the pointer in the status line.
# Builds nothing: run scripts/build.sh first ($VELDRA_GUI and
# $VELDRA_SAMPLE_MODEL name another program and model). Uses a virtual X
# display when xvfb-run is there, else Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${VELDRA_GUI:-build/bin/Veldra_GUI}
model=${VELDRA_SAMPLE_MODEL:-build/sample_model}
if [ ! -x "$exe" ] || [ ! -d "$model" ]; then
  echo "screenshot: $exe or $model missing; run scripts/build.sh first" >&2
  exit 1
fi
mkdir -p docs

run_viewer() {
  if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s "-screen 0 1280x1000x24" "$exe" "$@"
  else
    QT_QPA_PLATFORM=offscreen timeout 120 "$exe" "$@"
  fi
}

# A cell query in the pampas shows the chart below the map.
run_viewer --model "$model" --select "${1:-Precip}" --query "${2:--62.25,-34.75}" --screenshot docs/screenshot.png
echo "screenshot: wrote docs/screenshot.png"

run_viewer --model "$model" --select Live_Biomass --layer 2 --year 2001 --month 7 \
  --query 20.25,-12.75 --zoom 4 --screenshot docs/screenshot_zoomed.png
echo "screenshot: wrote docs/screenshot_zoomed.png"
