#!/usr/bin/env python3
"""Exports a year of Precip of the sample model with veldra_export, as ASCII
grids and as GeoTIFF files, in the four projections, and opens both with
GDAL: the GeoTIFF month has the ASCII grid's size and geotransform, the
reference system of its projection (which is also the .prj's), NoData
(-9999) wherever the grid has -9999 or -255 and, elsewhere, the variable
file's own single-precision values where the grid has them rounded; the
statistics of `gdalinfo -stats` of the geographic month are those of the
month's rangeland cells. Every file passes
GDAL's check of the cloud-optimized layout (gdalinfo's LAYOUT=COG and the
validator of GDAL's samples). With --bands, the year's file holds the twelve
months, each band described by its month and equal to the month's file.

Usage: gdal_reads_gtiff_export.py VELDRA_EXPORT SAMPLE_MODEL_DIR WORK_DIR
"""
import os
import shutil
import struct
import subprocess
import sys

import numpy
from osgeo import gdal, osr

gdal.UseExceptions()

PROJECTIONS = [("geographic", "EPSG:4326"), ("robinson", "ESRI:54030"),
               ("eckert4", "ESRI:54012"), ("winkel", "ESRI:54042")]
YEAR, MONTH, DECIMALS = 2000, 7, 3


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def export(program, model, out, *options):
    run = subprocess.run([program, "--model", model, "--variable", "Precip", "--out", out, "--from", str(YEAR),
                          "--to", str(YEAR), "--quiet"] + list(options), capture_output=True, text=True)
    if run.returncode != 0 or run.stderr:
        fail("veldra_export %s exited %d: %s" % (" ".join(options), run.returncode, run.stderr))


def month_values(model):
    with open(os.path.join(model, "Output", "Rng_Data.vrd")) as f:
        head = f.readline().split()
    n, first_year = int(head[0]), int(head[8])
    with open(os.path.join(model, "Output", "Precip.vrd"), "rb") as f:
        f.seek((((YEAR - first_year) * 12 + MONTH - 1) * (n + 3) + 3) * 4)
        return numpy.frombuffer(f.read(n * 4), dtype="<f4")


def check_cog(path):
    info = subprocess.run(["gdalinfo", path], capture_output=True, text=True, check=True).stdout
    structure = info.split("Image Structure Metadata:")[1].split("Corner Coordinates:")[0].split()
    for item in ("LAYOUT=COG", "COMPRESSION=DEFLATE", "PREDICTOR=3"):
        if item not in structure:
            fail("%s: gdalinfo's image structure %s lacks %s" % (path, structure, item))
    try:
        from osgeo_utils.samples.validate_cloud_optimized_geotiff import validate
    except ImportError:
        return
    warnings, errors, _ = validate(path, full_check=True)
    if errors:
        fail("%s: not a valid cloud-optimized GeoTIFF: %s" % (path, errors))


def check_statistics(path, cells):
    """gdalinfo -stats of a geographic month: the count is not reported, but
    the minimum, maximum and mean are those of the rangeland cells."""
    info = subprocess.run(["gdalinfo", "-stats", path], capture_output=True, text=True, check=True).stdout
    stats = dict(line.strip().split("=", 1) for line in info.splitlines() if line.strip().startswith("STATISTICS_"))
    expected = {"STATISTICS_MINIMUM": float(cells.min()), "STATISTICS_MAXIMUM": float(cells.max()),
                "STATISTICS_MEAN": float(cells.astype(float).mean())}
    for key, value in expected.items():
        if key not in stats or abs(float(stats[key]) - value) > 1e-6 * max(1.0, abs(value)):
            fail("%s: gdalinfo -stats gives %s=%s, the rangeland cells' is %r" % (path, key, stats.get(key), value))
    print("%s: gdalinfo -stats: mean %s, the cells' mean" % (os.path.basename(path), stats["STATISTICS_MEAN"]))


def main():
    program, model, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    held = set(month_values(model).tolist())
    for name, code in PROJECTIONS:
        folder = os.path.join(work, name)
        export(program, model, folder, "--projection", name, "--decimals", str(DECIMALS))
        export(program, model, folder, "--projection", name, "--format", "gtiff")
        stem = os.path.join(folder, "Precip_%d_%02d" % (YEAR, MONTH))
        grid, tif = gdal.Open(stem + ".asc"), gdal.Open(stem + ".tif")
        if (tif.RasterXSize, tif.RasterYSize, tif.RasterCount) != (grid.RasterXSize, grid.RasterYSize, 1):
            fail("%s.tif: %d x %d x %d, the grid is %d x %d" % (stem, tif.RasterXSize, tif.RasterYSize,
                                                                 tif.RasterCount, grid.RasterXSize, grid.RasterYSize))
        if any(abs(a - b) > 1e-9 * max(1.0, abs(b)) for a, b in zip(tif.GetGeoTransform(), grid.GetGeoTransform())):
            fail("%s.tif: geotransform %s, the grid's %s" % (stem, tif.GetGeoTransform(), grid.GetGeoTransform()))
        expected = osr.SpatialReference()
        expected.SetFromUserInput(code)
        srs = tif.GetSpatialRef()
        same = ["IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES"]
        if srs is None or not srs.IsSame(expected, same) or not srs.IsSame(grid.GetSpatialRef(), same + ["CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS"]):
            fail("%s.tif: reference system %s, not %s" % (stem, srs.GetName() if srs else None, code))
        band = tif.GetRasterBand(1)
        if (gdal.GetDataTypeName(band.DataType), band.GetNoDataValue(), band.GetBlockSize()) != ("Float32", -9999, [256, 256]):
            fail("%s.tif: %s, NoData %s, blocks %s" % (stem, gdal.GetDataTypeName(band.DataType),
                                                        band.GetNoDataValue(), band.GetBlockSize()))
        if band.GetOverviewCount() < 1:
            fail("%s.tif: no overviews" % stem)

        values, text = band.ReadAsArray(), grid.GetRasterBand(1).ReadAsArray()
        marks = (text == -9999) | (text == -255)
        if (values[marks] != -9999).any() or numpy.isin(values[~marks], [-9999, -255]).any():
            fail("%s.tif: NoData stands elsewhere than where the grid has -9999 or -255" % stem)
        cells = values[~marks]
        worst = numpy.abs(cells.astype(float) - text[~marks].astype(float)).max()
        if cells.size < 1000 or worst > 0.5 * 10 ** -DECIMALS * 1.001:
            fail("%s.tif: %d values, up to %g from the grid's" % (stem, cells.size, worst))
        strangers = set(cells.tolist()) - held
        if strangers:
            fail("%s.tif: %d values are not the variable file's, e.g. %r" % (stem, len(strangers), min(strangers)))
        check_cog(stem + ".tif")
        if name == "geographic":
            check_statistics(stem + ".tif", month_values(model))
        print("%s: %d x %d, %s, %d cells equal to the variable file's values, within %.1e of the grid's" %
              (os.path.basename(stem) + ".tif", tif.RasterXSize, tif.RasterYSize, code, cells.size, worst))

    folder = os.path.join(work, "winkel")
    export(program, model, folder, "--projection", "winkel", "--format", "gtiff", "--bands", "--root", "year")
    path = os.path.join(folder, "year_%d.tif" % YEAR)
    check_cog(path)
    year = gdal.Open(path)
    if year.RasterCount != 12:
        fail("%s: %d bands" % (path, year.RasterCount))
    for month in range(1, 13):
        band = year.GetRasterBand(month)
        one = gdal.Open(os.path.join(folder, "Precip_%d_%02d.tif" % (YEAR, month)))  # kept while its band is read
        if band.GetDescription() != "%d-%02d" % (YEAR, month) or band.GetNoDataValue() != -9999:
            fail("%s: band %d is described %r, NoData %s" % (path, month, band.GetDescription(), band.GetNoDataValue()))
        if not numpy.array_equal(band.ReadAsArray(), one.GetRasterBand(1).ReadAsArray()):
            fail("%s: band %d differs from the month's file" % (path, month))
    print("%s: 12 bands, each its month's file" % os.path.basename(path))


if __name__ == "__main__":
    main()
