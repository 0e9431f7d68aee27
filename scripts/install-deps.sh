#!/usr/bin/env bash
# Installs every Debian package that building, testing and the tools need.
# This is the one list of dependencies; CI runs it on a clean machine.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build
  # the viewer: Qt 6 widgets and charts
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  # the command lines of veldra_export, the viewer and veldra_serve: CLI11 (header-only)
  libcli11-dev
  # the viewer's screenshot: a virtual display and a font
  xvfb xauth fonts-dejavu-core
  # pictures of the viewer's dialogs: keys and clicks sent to the virtual display
  xdotool
  # tests: GoogleTest, and GDAL to read produced grids as a GIS user would
  googletest libgtest-dev libgmock-dev gdal-bin python3 python3-gdal
  # the export's projection lookup grids, made with PROJ
  libproj-dev
  # the NetCDF export, and the readers that check its files
  libnetcdf-dev libhdf5-dev pkg-config python3-netcdf4 python3-xarray cdo
  # the NetCDF export's parallel chunk compression; zlib's inflate reads its chunks back in the tests
  libdeflate-dev zlib1g-dev
  # the GeoTIFF export, through GDAL
  libgdal-dev
  # the Python package: bindings of the model-file readers, an xarray backend, Dask
  python3-dev pybind11-dev python3-numpy python3-dask python3-distributed python3-pytest
  # the Debian package and its man pages
  dpkg-dev file help2man
  # the viewer's movies
  ffmpeg
  # fuzz targets: clang and its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # veldra_serve: HTTP, PNG and Leaflet for its page; its tests' WMS client and its load test
  libcpp-httplib-dev libspng-dev libjs-leaflet python3-owslib wrk
  # the load test's yardstick: the same tiles drawn by MapServer, in process and as a CGI
  cgi-mapserver python3-mapscript
  # veldra_serve's page tested in a headless browser
  chromium chromium-driver python3-selenium
  # the tests' second run under a comma-decimal locale (de_DE.UTF-8)
  locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
have_locale=false
locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8' && have_locale=true
if [ ${#missing[@]} -eq 0 ] && $have_locale; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
if [ ${#missing[@]} -ne 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! $have_locale; then
  "${sudo[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen
fi
