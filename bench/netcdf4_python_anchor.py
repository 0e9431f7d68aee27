#!/usr/bin/python3
"""The NetCDF export as a user would write it with numpy and netCDF4-python:
the variable file memory-mapped, every month and layer placed on a grid of
-9999 and written as one chunk (zlib, shuffle), with the same dimensions,
coordinates, chunks and level as veldra_export --format netcdf. The anchor of
bench_netcdf_export.

Usage: netcdf4_python_anchor.py MODEL VARIABLE OUT_FILE FIRST_YEAR LAST_YEAR [LEVEL]
"""
import sys

import netCDF4
import numpy as np


def main():
    model, name, out = sys.argv[1], sys.argv[2], sys.argv[3]
    first, last = int(sys.argv[4]), int(sys.argv[5])
    level = int(sys.argv[6]) if len(sys.argv) > 6 else 4
    header = open(f"{model}/Output/Rng_Data.vrd").readline().split()
    n, cols, rows = int(header[0]), int(header[1]), int(header[2])
    west, south, east, north, size = map(float, header[3:8])
    model_first = int(header[8])
    cells = np.loadtxt(f"{model}/Output/Rng_Data.vrd", skiprows=1, dtype=np.int64, ndmin=2, max_rows=n)
    x, y = cells[:, 2] - 1, cells[:, 3] - 1
    with open(f"{model}/Output/Globe.vrd", "rb") as f:
        globe = [line.rstrip(b"\r\n").ljust(cols, b"F")[:cols] for line in f.readlines()[:rows]]
    mask = (np.frombuffer(b"".join(globe), dtype=np.uint8).reshape(rows, cols) == ord("T")).astype(np.int8)
    mask[y, x] = 2
    values = np.memmap(f"{model}/Output/{name}.vrd", dtype="<f4", mode="r")
    layers = next(int(line.split()[2]) for line in open(f"{model}/Parms/Output_List.vrl").readlines()[2:]
                  if line.split()[1:2] == [name])
    values = values[:values.size // (layers * (n + 3)) * layers * (n + 3)].reshape(-1, layers, n + 3)

    ds = netCDF4.Dataset(out, "w", format="NETCDF4")
    ds.createDimension("time", None)
    if layers > 1:
        ds.createDimension("layer", layers)
    ds.createDimension("lat", rows)
    ds.createDimension("lon", cols)
    ds.createDimension("bnds", 2)
    starts = np.arange(f"{first}-01", f"{last + 1}-02", dtype="datetime64[M]").astype("datetime64[D]")
    days = (starts - np.datetime64(f"{first}-01-01")).astype(np.float64)
    time = ds.createVariable("time", "f8", ("time",))
    time.setncatts({"standard_name": "time", "units": f"days since {first:04d}-01-01", "calendar": "standard",
                    "axis": "T", "bounds": "time_bnds"})
    time[:] = (days[:-1] + days[1:]) / 2
    ds.createVariable("time_bnds", "f8", ("time", "bnds"))[:] = np.stack([days[:-1], days[1:]], axis=1)
    for axis, dim, low, high, count, units in (("Y", "lat", south, north, rows, "degrees_north"),
                                                ("X", "lon", west, east, cols, "degrees_east")):
        step = (high - low) / count
        centres = low + (np.arange(count) + 0.5) * step
        centres = centres[::-1] if dim == "lat" else centres
        v = ds.createVariable(dim, "f8", (dim,))
        v.setncatts({"units": units, "axis": axis, "bounds": dim + "_bnds"})
        v[:] = centres
        half = -step / 2 if dim == "lat" else step / 2
        ds.createVariable(dim + "_bnds", "f8", (dim, "bnds"))[:] = np.stack([centres - half, centres + half], 1)
    crs = ds.createVariable("crs", "i4", ())
    crs.setncatts({"grid_mapping_name": "latitude_longitude", "semi_major_axis": 6378137.0,
                   "inverse_flattening": 298.257223563})
    land = ds.createVariable("land_mask", "i1", ("lat", "lon"), zlib=level > 0, shuffle=level > 0,
                             complevel=max(level, 1))
    land[:] = mask
    dims = ("time", "layer", "lat", "lon") if layers > 1 else ("time", "lat", "lon")
    chunks = (1, 1, rows, cols) if layers > 1 else (1, rows, cols)
    var = ds.createVariable(name, "f4", dims, zlib=level > 0, shuffle=level > 0, complevel=max(level, 1),
                            chunksizes=chunks, fill_value=np.float32(-9999))
    var.setncatts({"long_name": name, "grid_mapping": "crs", "cell_methods": "time: mean"})
    ds.Conventions = "CF-1.8"
    grid = np.full((rows, cols), -9999, dtype=np.float32)
    for t, block in enumerate(values[(first - model_first) * 12:(last - model_first + 1) * 12]):
        for layer in range(layers):
            grid[y, x] = block[layer, 3:]
            if layers > 1:
                var[t, layer] = grid
            else:
                var[t] = grid
    ds.close()


if __name__ == "__main__":
    main()
