#!/usr/bin/env python3
"""Exports July of a year of the sample model in the four projections and
opens each grid with GDAL, as a GIS user would: size, corner and cell size
from the lookup grid, the spatial reference from the .prj beside it, and the
values GDAL finds at the projected centres of rangeland cells against the
variable file.

Usage: gdal_reads_projected_grids.py EXPORT_SAMPLE_GRIDS SAMPLE_MODEL_DIR LOOKUP_DIR WORK_DIR
"""
import os
import shutil
import struct
import subprocess
import sys

from osgeo import gdal, osr

gdal.UseExceptions()

PROJECTIONS = [  # index, lookup id grid, name of the spatial reference
    (0, "zone_ids_0p5.asc", "WGS 84"),
    (1, "robinson_ids_0p5.asc", "World_Robinson"),
    (2, "eckert4_ids_0p5.asc", "World_Eckert_IV"),
    (3, "winkel_ids_0p5.asc", "World_Winkel_Tripel_NGS"),
]
YEAR, MONTH = 2000, 7


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def header_of(path):
    with open(path) as f:
        lines = [f.readline() for _ in range(6)]
    return {line[:14].strip(): float(line[14:]) for line in lines}


def main():
    driver, model, lookup, work = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    run = subprocess.run([driver, model, lookup, work, str(YEAR)], capture_output=True, text=True)
    if run.returncode != 0:
        fail("export_sample_grids exited %d: %s" % (run.returncode, run.stderr))

    with open(os.path.join(model, "Output", "Rng_Data.vrd")) as f:
        head = f.readline().split()
        n, first_year = int(head[0]), int(head[8])
        cells = [tuple(int(v) for v in f.readline().split()[:5]) for _ in range(n)]
    with open(os.path.join(model, "Output", "Precip.vrd"), "rb") as f:
        f.seek(((YEAR - first_year) * 12 + MONTH - 1) * (n + 3) * 4)
        block = struct.unpack("<%df" % (n + 3), f.read((n + 3) * 4))
    value_at = {(c[2], c[3]): round(block[3 + i], 3) for i, c in enumerate(cells)}
    # Cells amid other cells: where a projected cell is wider than a
    # geographic one, GDAL's place and the lookup's may differ by a
    # neighbour or two, so the whole 5 x 5 block around each is known.
    around = [(dx, dy) for dx in range(-2, 3) for dy in range(-2, 3)]
    chosen = [(x, y) for (x, y) in sorted(value_at)[:: max(1, n // 400)]
              if all((x + dx, y + dy) in value_at for dx, dy in around) and 40 < y < 320]
    if len(chosen) < 50:
        fail("only %d cells to check" % len(chosen))

    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    wgs84.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    for index, id_grid, srs_name in PROJECTIONS:
        grid = os.path.join(work, "precip_%d_%d_%02d.asc" % (index, YEAR, MONTH))
        ds = gdal.Open(grid)
        h = header_of(os.path.join(lookup, id_grid))
        cols, rows, cell = int(h["ncols"]), int(h["nrows"]), h["cellsize"]
        if (ds.RasterXSize, ds.RasterYSize) != (cols, rows):
            fail("%s: size %dx%d, the lookup grid has %dx%d" % (grid, ds.RasterXSize, ds.RasterYSize, cols, rows))
        expected_gt = (h["xllcorner"], cell, 0.0, h["yllcorner"] + rows * cell, 0.0, -cell)
        if any(abs(a - b) > 1e-6 * max(1.0, abs(b)) for a, b in zip(ds.GetGeoTransform(), expected_gt)):
            fail("%s: geotransform %s, expected %s" % (grid, ds.GetGeoTransform(), expected_gt))
        srs = ds.GetSpatialRef()
        if srs is None or srs.GetName() != srs_name or srs.IsGeographic() != (index == 0):
            fail("%s: spatial reference %s" % (grid, srs.GetName() if srs else None))
        band = ds.GetRasterBand(1)
        if band.GetNoDataValue() != -9999:
            fail("%s: NODATA %s" % (grid, band.GetNoDataValue()))
        data = band.ReadAsArray()
        if index != 0 and data[0][0] != -9999:
            fail("%s: the corner outside the outline reads %r" % (grid, data[0][0]))

        to_grid = osr.CoordinateTransformation(wgs84, srs)
        exact = 0
        for x, y in chosen:
            lon, lat = -180 + (x - 0.5) * 0.5, 90 - (y - 0.5) * 0.5
            px, py = to_grid.TransformPoint(lon, lat)[:2]
            col, row = int((px - expected_gt[0]) / cell), int((expected_gt[3] - py) / cell)
            got = float(data[row][col])
            near = [value_at[(x, y)]] if index == 0 else [value_at[(x + dx, y + dy)] for dx, dy in around]
            if min(abs(got - v) for v in near) > 0.0006:
                fail("%s: at %.2f, %.2f (cell %d, %d) GDAL reads %r, the model holds %r" %
                     (grid, lon, lat, x, y, got, near))
            exact += abs(got - value_at[(x, y)]) <= 0.0006
        if exact < 0.6 * len(chosen):
            fail("%s: only %d of %d places hold their own cell's value" % (grid, exact, len(chosen)))
        print("GDAL read %s: %d x %d, %s, %d cell values checked, %d exactly at their place" %
              (os.path.basename(grid), cols, rows, srs_name, len(chosen), exact))


if __name__ == "__main__":
    main()
