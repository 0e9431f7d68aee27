#!/usr/bin/env bash
# Derives the coastlines and national borders the viewer can draw over its
# map from the GSHHG crude-resolution shorelines and the WDBII borders
# (LGPL-3+, Debian packages gmt and gmt-gshhg-low). Run once by hand; the
# result is committed and compiled into the viewer, so that the build never
# needs GMT.
#
# Output: tools/data/map_lines.txt. Lines starting with "#" are comments. A
# line ">C" starts a coastline and ">B" a border; each following line is one
# point of it, "longitude latitude" in degrees with two decimals.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out="$here/data/map_lines.txt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Level 1 shorelines (land against the sea) and level 1 borders (countries).
gmt coast -R-180/180/-90/90 -Dc -W1 -M > "$tmp/coast.txt"
gmt coast -R-180/180/-90/90 -Dc -N1 -M > "$tmp/borders.txt"

# Two decimals, written from whole hundredths so that no locale touches the
# text; a point equal to the one before it is left out, and so is a line left
# with fewer than two points.
compact() {
  LC_ALL=C awk -v kind="$1" '
    function hundredths(x,   v) {
      v = int((x < 0 ? -x : x) * 100 + 0.5)
      return (x < 0 && v > 0 ? "-" : "") int(v / 100) "." substr(v % 100 + 100, 2)
    }
    function flush() { if (n >= 2) { print ">" kind; for (i = 1; i <= n; ++i) print pt[i] } n = 0; prev = "" }
    /^>/ { flush(); next }
    NF >= 2 { p = hundredths($1) " " hundredths($2); if (p != prev) { pt[++n] = p; prev = p } }
    END { flush() }' "$2"
}
{
  echo "# Coastlines (>C) and national borders (>B): GSHHG 2.3 crude resolution, via GMT"
  echo "# (Debian gmt-gshhg-low), LGPL-3.0-or-later; see README.map_lines. Made by tools/make_map_lines.sh."
  compact C "$tmp/coast.txt"
  compact B "$tmp/borders.txt"
} | sed 's/-0\.00/0.00/g' > "$tmp/lines.txt"
mv "$tmp/lines.txt" "$out"
echo "wrote $out"
