#!/usr/bin/env python3
"""Exports one year of the sample model and opens a grid with GDAL, as a GIS
user would: size, corner, cell size, NODATA value and values at known cells.

Usage: gdal_reads_grid.py LAYER_EXPORTER SAMPLE_MODEL_DIR WORK_DIR
"""
import json
import os
import shutil
import struct
import subprocess
import sys


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def main():
    exporter, model, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    output = os.path.join(model, "Output") + "/"
    run = subprocess.run([exporter, output, "Precip.vrd", os.path.join(work, "precip"), "2000", "2000", "1"],
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail("layer_exporter exited %d: %s" % (run.returncode, run.stderr))
    grid = os.path.join(work, "precip_2000_07_1.asc")

    info = json.loads(subprocess.run(["gdalinfo", "-json", grid], capture_output=True, text=True,
                                     check=True).stdout)
    if info["driverShortName"] != "AAIGrid":
        fail("read by driver " + info["driverShortName"])
    if info["size"] != [720, 360]:
        fail("size %s" % info["size"])
    if [round(v, 9) for v in info["geoTransform"]] != [-180.0, 0.5, 0.0, 90.0, 0.0, -0.5]:
        fail("geotransform %s" % info["geoTransform"])
    band = info["bands"][0]
    if band.get("noDataValue") != -9999:
        fail("NODATA %s" % band.get("noDataValue"))

    with open(os.path.join(model, "Output", "Rng_Data.vrd")) as f:
        header = f.readline().split()
        n = int(header[0])
        cells = [tuple(int(v) for v in f.readline().split()[:5]) for _ in range(n)]
    with open(os.path.join(model, "Output", "Globe.vrd")) as f:
        globe = [line.rstrip("\r\n") for line in f]

    # July of the first year, one layer: block 6.
    with open(os.path.join(model, "Output", "Precip.vrd"), "rb") as f:
        f.seek(6 * (n + 3) * 4)
        block = struct.unpack("<%df" % (n + 3), f.read((n + 3) * 4))
    if block[:3] != (float(n), 2000.0, 7.0):
        fail("unexpected block head %s" % (block[:3],))

    def value_at(col, row):  # 1-based column and row, as the cell file counts them
        out = subprocess.run(["gdallocationinfo", "-valonly", grid, str(col - 1), str(row - 1)],
                             capture_output=True, text=True, check=True).stdout
        return float(out.split()[0])

    checked = 0
    for i in (0, n // 3, n // 2, n - 1):
        _, _, x, y, _ = cells[i]
        expected = block[3 + i]
        got = value_at(x, y)
        if abs(got - expected) > 1e-5 * max(1.0, abs(expected)):
            fail("cell %d at (%d, %d): GDAL read %r, the model holds %r" % (i + 1, x, y, got, expected))
        checked += 1

    cell_positions = {(c[2], c[3]) for c in cells}
    water = next((c, r) for r in range(1, 361) for c in range(1, 721)
                 if globe[r - 1][c - 1] != "T" and (c, r) not in cell_positions)
    land = next((c, r) for r in range(1, 361) for c in range(1, 721)
                if globe[r - 1][c - 1] == "T" and (c, r) not in cell_positions)
    if value_at(*water) != -9999.0:
        fail("water at %s reads %r" % (water, value_at(*water)))
    if value_at(*land) != -255.0:
        fail("land without a cell at %s reads %r" % (land, value_at(*land)))

    print("GDAL read %s: 720 x 360, corner -180 -90, cell 0.5, NODATA -9999, %d cell values, "
          "water and land checked" % (os.path.basename(grid), checked))


if __name__ == "__main__":
    main()
