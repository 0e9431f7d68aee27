#!/usr/bin/python3
"""NetCDF files of the sample model (Live_Biomass, 3 layers, 2000-2004; Precip,
2001-2002) opened by xarray and netCDF4 (dimensions, coordinates, times,
attributes, every value), gdalinfo (geotransform, spatial reference) and CDO
(timmean gives the mean of the months).

Usage: netcdf_readers_open_export.py VELDRA_EXPORT SAMPLE_MODEL WORK_FOLDER
"""
import json
import pathlib
import shutil
import subprocess
import sys

import netCDF4
import numpy as np
import xarray as xr


def model_files(model):
    out = model / "Output"
    header = out.joinpath("Rng_Data.vrd").read_text().split("\n")[0].split()
    n, first_year = int(header[0]), int(header[8])
    cells = np.loadtxt(out / "Rng_Data.vrd", skiprows=1, dtype=np.int64, ndmin=2)
    assert len(cells) == n
    globe = [line.rstrip("\r") for line in out.joinpath("Globe.vrd").read_text().split("\n")[:360]]
    land = np.array([[c == "T" for c in line.ljust(720)[:720]] for line in globe])
    return n, first_year, cells[:, 2] - 1, cells[:, 3] - 1, land


def expected_grids(model, name, n, first_year, layers, years, cols, rows):
    """Grids (month, layer, row, col) from the variable file, NaN off the cells."""
    records = np.fromfile(model / "Output" / (name + ".vrd"), dtype="<f4").reshape(-1, layers, n + 3)
    months = records[(years[0] - first_year) * 12:(years[1] - first_year + 1) * 12]
    assert (months[:, :, 0] == n).all()
    grids = np.full((len(months), layers, 360, 720), np.nan, dtype=np.float32)
    grids[:, :, rows, cols] = months[:, :, 3:]
    return grids


def main():
    tool, model, work = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    for args in (["Live_Biomass", "--institution", "Range Lab"], ["Precip", "--from", "2001", "--to", "2002",
                                                                "--deflate", "1"]):
        subprocess.run([tool, "--model", str(model), "--out", str(work), "--format", "netcdf", "--quiet",
                        "--variable", *args], check=True)
    assert sorted(p.name for p in work.iterdir()) == ["Live_Biomass.nc", "Precip.nc"]
    n, first_year, cols, rows, land = model_files(model)

    # xarray: dimensions, coordinates, times and attributes.
    ds = xr.open_dataset(work / "Live_Biomass.nc")
    v = ds["Live_Biomass"]
    assert v.dims == ("time", "layer", "lat", "lon"), v.dims
    assert dict(ds.sizes) == {"time": 60, "layer": 3, "lat": 360, "lon": 720, "bnds": 2}, dict(ds.sizes)
    assert v.dtype == np.float32 and v.encoding["_FillValue"] == -9999 and v.encoding["complevel"] == 4
    assert v.encoding["chunksizes"] == (1, 1, 360, 720) and v.encoding["zlib"] and v.encoding["shuffle"]
    assert (v.attrs["units"], v.attrs["long_name"]) == ("g/m^2", "Live_Biomass")
    assert (v.attrs["cell_methods"], v.attrs["grid_mapping"]) == ("time: mean", "crs")
    assert np.allclose(ds.lat, 89.75 - 0.5 * np.arange(360)) and np.allclose(ds.lon, -179.75 + 0.5 * np.arange(720))
    assert np.allclose(ds.lat_bnds[0], [90, 89.5]) and np.allclose(ds.lon_bnds[-1], [179.5, 180])
    assert (ds.lat.attrs["units"], ds.lon.attrs["units"]) == ("degrees_north", "degrees_east")
    assert list(ds.layer.values) == [1, 2, 3] and list(ds.layer_label.values) == ["Facet 1", "Facet 2", "Facet 3"]
    assert ds.time.encoding["units"] == "days since 2000-01-01" and ds.time.encoding["calendar"] == "standard"
    starts = np.array([np.datetime64(f"{2000 + m // 12}-{m % 12 + 1:02d}-01", "ns") for m in range(61)])
    assert (ds.time_bnds[:, 0].values == starts[:-1]).all() and (ds.time_bnds[:, 1].values == starts[1:]).all()
    assert (ds.time.values == starts[:-1] + (starts[1:] - starts[:-1]) / 2).all()
    assert str(ds.time.values[1]) == "2000-02-15T12:00:00.000000000"  # 29 days
    assert ds.crs.attrs["grid_mapping_name"] == "latitude_longitude"
    assert ds.attrs["Conventions"] == "CF-1.8" and ds.attrs["institution"] == "Range Lab"
    assert "Live_Biomass.vrd" in ds.attrs["source"] and "veldra_export --model" in ds.attrs["history"]
    assert (list(ds.land_mask.attrs["flag_values"]), ds.land_mask.attrs["flag_meanings"]) == \
        ([0, 1, 2], "water land rangeland")

    # Every value, and the land mask.
    expected = expected_grids(model, "Live_Biomass", n, first_year, 3, (2000, 2004), cols, rows)
    np.testing.assert_array_equal(v.values, expected)
    mask = land.astype(np.int8)
    mask[rows, cols] = 2
    np.testing.assert_array_equal(ds.land_mask.values, mask)

    precip = xr.open_dataset(work / "Precip.nc")
    assert precip["Precip"].dims == ("time", "lat", "lon") and "layer" not in precip.dims
    assert precip.time.encoding["units"] == "days since 2001-01-01" and precip["Precip"].encoding["complevel"] == 1
    expected_precip = expected_grids(model, "Precip", n, first_year, 1, (2001, 2002), cols, rows)[:, 0]
    np.testing.assert_array_equal(precip["Precip"].values, expected_precip)
    with netCDF4.Dataset(work / "Precip.nc") as nc:  # water is masked by the fill value
        assert nc["Precip"][0, 0, 0] is np.ma.masked

    # GDAL: a north-up grid of half a degree from (-180, 90), one band per month and layer, WGS 84.
    info = json.loads(subprocess.run(["gdalinfo", "-json", f"NETCDF:{work / 'Live_Biomass.nc'}:Live_Biomass"],
                                     check=True, capture_output=True, text=True).stdout)
    assert info["size"] == [720, 360], info["size"]
    assert np.allclose(info["geoTransform"], [-180, 0.5, 0, 90, 0, -0.5]), info["geoTransform"]
    assert len(info["bands"]) == 180 and info["bands"][0]["noDataValue"] == -9999
    assert 'ID["EPSG",4326]' in info["coordinateSystem"]["wkt"]

    # CDO: the mean over time of each file.
    for name, grids in (("Precip", expected_precip[:, None]), ("Live_Biomass", expected)):
        mean_path = work / (name + "_mean.nc")
        subprocess.run(["cdo", "-s", "timmean", str(work / (name + ".nc")), str(mean_path)], check=True)
        with netCDF4.Dataset(mean_path) as nc:
            mean = nc[name][:].reshape(grids.shape[1:])
        want = np.mean(grids, axis=0, dtype=np.float64)
        np.testing.assert_array_equal(np.ma.getmaskarray(mean), np.isnan(want))
        assert np.allclose(mean.compressed(), want[~np.isnan(want)], rtol=1e-5, atol=1e-5)
    print("netcdf_readers_open_export: xarray, netCDF4, gdalinfo and CDO read both files as exported")


if __name__ == "__main__":
    main()
