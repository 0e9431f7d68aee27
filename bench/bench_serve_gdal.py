"""A yardstick for veldra_serve's tile, called from bench_serve.py: the same
tiles drawn in one process by GDAL (a library we already depend on) from our
own GeoTIFF export of the same months.

For every tile: gdal.Warp of the month's GeoTIFF (EPSG:4326) to a 256 x 256
EPSG:3857 grid in memory, a colour ramp (gdal.DEMProcessing color-relief with
an alpha for no data) and the PNG bytes (gdal.Translate to /vsimem). No HTTP,
no process start-up: the median of this is what a tile costs a general raster
library, and ours, HTTP included, should not cost more.
"""
import math
import os
import shutil
import statistics
import subprocess
import tempfile
import time

HALF = math.pi * 6378137.0  # half the width of the Web Mercator square, m


def tile_box(z, x, y):
    size = 2 * HALF / 2 ** z
    return (-HALF + x * size, HALF - (y + 1) * size, -HALF + (x + 1) * size, HALF - y * size)


def timed_draws(draw, year, tile_paths):
    """Each month drawn once to warm it, then every tile timed: (median, p99, count) in ms."""
    for m in range(1, 13):
        draw(f"/tiles/Precip/1/{year}-{m:02d}/0/0/0.png")
    ms = []
    for path in tile_paths:
        t = time.perf_counter()
        draw(path)
        ms.append((time.perf_counter() - t) * 1000)
    ms.sort()
    return statistics.median(ms), ms[int(len(ms) * 0.99) - 1], len(ms)


def gdal_figures(build, model, year, tile_paths, ours_median):
    """tile_paths: /tiles/Precip/1/YYYY-MM/z/x/y.png as timed against veldra_serve."""
    try:
        from osgeo import gdal
    except ImportError:
        print("GDAL in-process tile: skipped (the Python GDAL bindings, python3-gdal, are not importable "
              "by this interpreter; run with /usr/bin/python3)")
        return
    gdal.UseExceptions()
    tmp = tempfile.mkdtemp(prefix="bench_serve_gdal_")
    try:
        subprocess.run([os.path.join(build, "bin", "veldra_export"), "--model", model, "--variable", "Precip",
                        "--from", str(year), "--to", str(year), "--format", "gtiff", "--out", tmp, "--quiet"],
                       check=True, timeout=300)
        ramp = os.path.join(tmp, "ramp.txt")
        with open(ramp, "w") as f:  # value R G B A, blue to red; no data transparent
            f.write("nv 0 0 0 0\n0 49 54 149 255\n5 116 173 209 255\n10 255 255 191 255\n"
                    "15 244 109 67 255\n20 165 0 38 255\n")
        months = {}
        for m in range(1, 13):
            path = os.path.join(tmp, f"Precip_{year}_{m:02d}.tif")
            months[f"{year}-{m:02d}"] = gdal.Open(path)

        def draw(path):
            month, z, x, y = path.split("/")[4:8]
            minx, miny, maxx, maxy = tile_box(int(z), int(x), int(y.split(".")[0]))
            warped = gdal.Warp("", months[month], format="MEM", dstSRS="EPSG:3857",
                               outputBounds=(minx, miny, maxx, maxy), width=256, height=256,
                               resampleAlg="near", dstNodata=-9999)
            coloured = gdal.DEMProcessing("", warped, "color-relief", format="MEM", colorFilename=ramp,
                                          addAlpha=True)
            gdal.Translate("/vsimem/tile.png", coloured, format="PNG")
            f = gdal.VSIFOpenL("/vsimem/tile.png", "rb")
            gdal.VSIFSeekL(f, 0, 2)
            n = gdal.VSIFTellL(f)
            gdal.VSIFSeekL(f, 0, 0)
            data = gdal.VSIFReadL(1, n, f)
            gdal.VSIFCloseL(f)
            gdal.Unlink("/vsimem/tile.png")
            return data, coloured

        # Once, untimed: the drawing must hold data, not an empty picture.
        data, coloured = draw(f"/tiles/Precip/1/{year}-01/1/1/0.png")
        alpha = coloured.GetRasterBand(4).ReadRaster()
        opaque = sum(1 for b in alpha if b)
        assert data[:8] == b"\x89PNG\r\n\x1a\n" and opaque > 1000, ("empty GDAL tile", opaque)
        median, p99, count = timed_draws(draw, year, tile_paths)
        print(f"GDAL in-process tile (warp, colour ramp, PNG; same {count} tiles from our GeoTIFF export): "
              f"median {median:.2f} ms, p99 {p99:.2f} ms; ours (HTTP included) median {ours_median:.2f} ms = "
              f"{ours_median / median:.2f} of the in-process median (goal <= 1)")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
