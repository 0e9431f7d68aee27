#!/usr/bin/env bash
# Writes docs/screenshot.png: the viewer on the sample model, with a variable
# (Precip unless named as the first argument) drawn for January of the first
# year, and the monthly series of a cell (in the pampas unless "LON,LAT" is
# the second argument). Then docs/screenshot_zoomed.png: the shrubs of
# July 2001 zoomed four times over southern Africa with the borders, a
# queried cell in Angola, its chart and the value under the pointer in the
# status line. Then docs/screenshot_scale.png (July 2000's precipitation on
# a fixed logarithmic scale in viridis), docs/screenshot_difference.png (July
# 2001 minus July 2000), docs/screenshot_guides.png (coastlines, borders and
# the graticule over July 2000), docs/screenshot_trend.png (the trend per
# decade of precipitation over the run) and, where Xvfb, xdotool and ffmpeg are
# there, the two dialogs of the Map menu opened by their keys:
# docs/colour_scale.png (the ends from the month's percentiles) and
# docs/difference_dialog.png, and docs/video_frame.png: the seventh frame of
# the video that Ctrl+Shift+S writes of 2000 (Return taken for the span and
# for the file name the viewer proposes).
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
  --query 20.25,-12.75 --zoom 4 --borders --screenshot docs/screenshot_zoomed.png
echo "screenshot: wrote docs/screenshot_zoomed.png"

run_viewer --model "$model" --select Precip --month 7 --scale 1,50 --log-scale --colour-map Viridis \
  --screenshot docs/screenshot_scale.png
echo "screenshot: wrote docs/screenshot_scale.png"

run_viewer --model "$model" --select Precip --year 2001 --month 7 --difference 2000 --query 20.25,-12.75 \
  --screenshot docs/screenshot_difference.png
echo "screenshot: wrote docs/screenshot_difference.png"

run_viewer --model "$model" --select Precip --month 7 --borders --graticule --query 20.25,-12.75 \
  --screenshot docs/screenshot_guides.png
echo "screenshot: wrote docs/screenshot_guides.png"

run_viewer --model "$model" --select Precip --show trend --borders --query 20.25,-12.75 \
  --screenshot docs/screenshot_trend.png
echo "screenshot: wrote docs/screenshot_trend.png"

for tool in Xvfb xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshot: no $tool, so no pictures of the dialogs" >&2; exit 0; }
done
# A dialog as a user opens it: its key pressed in the main window, then
# `clicks` (x,y within the dialog, or key:KEYS to type), then the dialog's
# pixels off the screen.
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null' EXIT
sleep 1
shoot_dialog() {
  local key=$1 title=$2 out=$3
  shift 3
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$exe" --model "$model" --select Precip --month 7 >/dev/null 2>&1 &
  local viewer=$!
  sleep 4
  local main dialog
  main=$(DISPLAY=$display xdotool search --onlyvisible --name "Veldra" | head -1)
  DISPLAY=$display xdotool windowfocus "$main" key --window "$main" "$key"
  sleep 1.5
  dialog=$(DISPLAY=$display xdotool search --onlyvisible --name "^$title\$" | head -1)
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(DISPLAY=$display xdotool getwindowgeometry --shell "$dialog")"
  for click in "$@"; do
    case $click in
      key:*) DISPLAY=$display xdotool key ${click#key:} ;;
      *) DISPLAY=$display xdotool mousemove --window "$dialog" "${click%,*}" "${click#*,}" click 1 ;;
    esac
    sleep 0.5
  done
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${WIDTH}x${HEIGHT}" -i "$display+$X,$Y" -frames:v 1 "$out"
  kill "$viewer"
  echo "screenshot: wrote $out"
}
# "Percentiles 2 to 98" chosen in the list, then "From this month" fills the ends.
shoot_dialog ctrl+k "Colour scale" docs/colour_scale.png 260,101 "key:Down Down Return" 90,129
shoot_dialog ctrl+d "Show difference to" docs/difference_dialog.png

videos=$(mktemp -d)
abs_exe=$(realpath "$exe")
abs_model=$(realpath "$model")
(
  cd "$videos"
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$abs_exe" --model "$abs_model" --select Precip >/dev/null 2>&1 &
  viewer=$!
  sleep 4
  main=$(DISPLAY=$display xdotool search --onlyvisible --name "Veldra" | head -1)
  DISPLAY=$display xdotool windowfocus "$main" key --window "$main" ctrl+shift+s
  sleep 1.5
  DISPLAY=$display xdotool key Return
  sleep 1.5
  DISPLAY=$display xdotool key Return
  for _ in $(seq 60); do [ -f Precip_2000_01-2000_12.mp4 ] && break; sleep 0.5; done
  kill "$viewer"
)
ffmpeg -loglevel error -y -i "$videos/Precip_2000_01-2000_12.mp4" -vf "select=eq(n\,6)" -frames:v 1 docs/video_frame.png
rm -rf "$videos"
echo "screenshot: wrote docs/video_frame.png"
