#!/usr/bin/env bash
# Derives the land/water mask of the sample model from the GSHHG low-resolution
# shorelines (LGPL-3+, Debian packages gmt and gmt-gshhg-low). Run once by hand;
# the result is committed so that the build never needs GMT.
#
# Output: tools/data/land_mask_720x360.txt, 360 lines of 720 characters, the
# first line the northernmost row (89.5N..90N), the first character of a line
# the westernmost column (180W..179.5W); "T" is land, "F" is water.
# Lakes and ponds count as water, islands in lakes as land.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out="$here/data/land_mask_720x360.txt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

gmt grdlandmask -R-180/180/-90/90 -I0.5 -r -Dl -N0/1/0/1/0 -G"$tmp/mask.nc"
# -ZTLa: rows from the top (north) down, each from the left (west), one value a line.
gmt grd2xyz "$tmp/mask.nc" -ZTLa |
  awk '{ line = line ($1 + 0 >= 0.5 ? "T" : "F") }
       NR % 720 == 0 { print line; line = "" }' > "$tmp/mask.txt"

lines=$(wc -l < "$tmp/mask.txt")
[ "$lines" -eq 360 ] || { echo "expected 360 rows, got $lines" >&2; exit 1; }
mv "$tmp/mask.txt" "$out"
echo "wrote $out"
