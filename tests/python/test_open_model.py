"""veldra.open_model on the sample model (Live_Biomass: 3 layers; Precip and
others: 1 layer; 2000-2004; 720 x 360 half-degree cells): values against the
variable files read with numpy, equality with veldra_export's NetCDF files,
laziness on a 10 GB sparse file, our messages for broken files, and a time
mean under dask.distributed with worker processes.

Run by ctest with VELDRA_SAMPLE_MODEL and VELDRA_EXPORT set and the built
package on PYTHONPATH.
"""
import os
import pathlib
import shutil
import subprocess
import time

import numpy as np
import pytest
import xarray as xr

import veldra

SAMPLE = pathlib.Path(os.environ["VELDRA_SAMPLE_MODEL"])
EXPORT = os.environ["VELDRA_EXPORT"]


def cell_table(model):
    out = model / "Output"
    n = int(out.joinpath("Rng_Data.vrd").read_text().split()[0])
    cells = np.loadtxt(out / "Rng_Data.vrd", skiprows=1, dtype=np.int64, ndmin=2)
    assert len(cells) == n
    return n, cells[:, 2] - 1, cells[:, 3] - 1  # count, column, row


def blocks(model, name, layers):
    """The variable file as (month, layer, cell), read without the package."""
    n, _, _ = cell_table(model)
    records = np.fromfile(model / "Output" / (name + ".vrd"), dtype="<f4").reshape(-1, layers, n + 3)
    assert (records[:, :, 0] == n).all()
    return records[:, :, 3:]


def copy_model(tmp_path, *, values=True):
    model = tmp_path / "model"
    others = shutil.ignore_patterns("Live_Biomass.vrd", "max_temp.vrd", "min_temp.vrd", "Snow_Depth.vrd")
    shutil.copytree(SAMPLE, model, ignore=None if values else others)
    return model


def read_bytes():
    """Bytes this process has read so far, less what reading /proc/self/io took."""
    def rchar():
        return int(pathlib.Path("/proc/self/io").read_text().split("rchar:")[1].split()[0])
    first, second = rchar(), rchar()
    read_bytes.own += 2 * (second - first)
    return second - read_bytes.own


read_bytes.own = 0


def test_values_are_those_of_the_variable_files():
    ds = veldra.open_model(SAMPLE)
    compact = veldra.open_model(SAMPLE, grid=False)
    values = blocks(SAMPLE, "Live_Biomass", 3)
    n, cols, rows = cell_table(SAMPLE)
    v = ds.Live_Biomass
    assert (v.dims, v.dtype, v.attrs["units"]) == (("time", "layer", "lat", "lon"), np.float32, "g/m^2")
    assert ds.Precip.dims == ("time", "lat", "lon")

    # Whole months of one layer, as grids: the cells at their places, NaN elsewhere.
    for month, layer in [(0, 0), (13, 2), (59, 1)]:
        grid = np.full((360, 720), np.nan, dtype=np.float32)
        grid[rows, cols] = values[month, layer]
        np.testing.assert_array_equal(v[month, layer].values, grid)
    # Series of single cells, a window, and positions picked out of order.
    for i in [0, 1234, n - 1]:
        np.testing.assert_array_equal(v.isel(lat=rows[i], lon=cols[i], layer=1).values, values[:, 1, i])
        np.testing.assert_array_equal(compact.Live_Biomass.isel(cell=i).values, values[:, :, i])
    window = v.isel(time=slice(5, 9), lat=slice(rows[100] - 3, rows[100] + 4), lon=[cols[100], 3, cols[100]])
    assert window.shape == (4, 3, 7, 3) and (window.values[:, :, 3, 0] == values[5:9, :, 100]).all()
    np.testing.assert_array_equal(window.values[:, :, :, 0], window.values[:, :, :, 2])
    picked = [n - 1, 7, 7, 2]
    np.testing.assert_array_equal(compact.Live_Biomass.isel(time=[3, 0], cell=picked).values,
                                  values[[3, 0]][:, :, picked])
    np.testing.assert_array_equal(compact.Precip.isel(time=-1).values, blocks(SAMPLE, "Precip", 1)[-1, 0])
    assert (compact.lat.values[:3] == 89.75 - 0.5 * rows[:3]).all() and (compact.cell.values[:3] == [1, 2, 3]).all()
    assert set(compact.Live_Biomass.coords) >= {"lat", "lon", "zone", "range_type", "layer_label"}


def test_equal_to_the_netcdf_export(tmp_path):
    ds = veldra.open_model(SAMPLE)
    for name in ["Live_Biomass", "Precip"]:
        subprocess.run([EXPORT, "--model", str(SAMPLE), "--out", str(tmp_path), "--format", "netcdf", "--quiet",
                        "--variable", name], check=True)
        nc = xr.open_dataset(tmp_path / (name + ".nc"))
        ours = ds[list(nc.data_vars)]
        xr.testing.assert_allclose(ours, nc)
        assert ours.coords.keys() == nc.coords.keys()
        for var in list(nc.variables):
            assert ours[var].attrs.keys() == nc[var].attrs.keys(), var
            for key, value in nc[var].attrs.items():
                np.testing.assert_array_equal(ours[var].attrs[key], value, err_msg=f"{var}.{key}")
        for key in ["units", "calendar"]:
            assert ds.time.encoding[key] == nc.time.encoding[key]
        assert ds[name].encoding["_FillValue"] == nc[name].encoding["_FillValue"]
        assert {k: ds.attrs[k] for k in ["Conventions", "comment"]} == {k: nc.attrs[k] for k in ["Conventions",
                                                                                               "comment"]}


def test_opening_reads_only_the_text_files(tmp_path):
    model = copy_model(tmp_path)
    n = cell_table(model)[0]
    subprocess.run(["truncate", "-s", "10G", str(model / "Output/Live_Biomass.vrd")], check=True)
    before, start = read_bytes(), time.monotonic()
    ds = veldra.open_model(model)
    seconds, read = time.monotonic() - start, read_bytes() - before
    text = sum(os.path.getsize(model / f) for f in ["Parms/Output_List.vrl", "Output/Rng_Data.vrd",
                                                    "Output/Globe.vrd"])
    assert seconds < 0.5 and read < text + 100_000, (seconds, read, text)
    assert ds.Live_Biomass.shape == (60, 3, 360, 720)

    # A month of one layer reads its block; a cell's series its leading
    # records and its value, month by month.
    ds.Live_Biomass[0, 0].values
    before = read_bytes()
    ds.Live_Biomass[7, 2].values
    assert read_bytes() - before == 4 * (n + 3)
    compact = veldra.open_model(model, grid=False)
    before = read_bytes()
    series = compact.Live_Biomass.isel(cell=500, layer=0).values
    assert read_bytes() - before == 60 * (12 + 4)
    np.testing.assert_array_equal(series, blocks(SAMPLE, "Live_Biomass", 3)[:, 0, 500])


def broken(model, name, offset_or_text):
    path = model / name
    if isinstance(offset_or_text, str):
        path.write_text(offset_or_text)
    elif isinstance(offset_or_text, int) and offset_or_text < 0:
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) + offset_or_text)
    else:
        with open(path, "r+b") as f:
            f.seek(offset_or_text)
            f.write(np.float32(5).tobytes())


# Each broken model: the file, what is done to it, the exception, and when it shows.
BROKEN = [
    ("Output/Rng_Data.vrd", "49216 720 360 -180 -90 180 90 x 2000 2004\n", veldra.ModelError, "open"),
    ("Output/Globe.vrd", "TTT\n", veldra.ModelError, "open"),
    ("Parms/Output_List.vrl", None, veldra.FileOpenError, "open"),
    ("Output/Precip.vrd", -4, veldra.ModelError, "open"),
    # The month record of the block of 2000-03: records 2 * (49216 + 3) + 3.
    ("Output/Precip.vrd", 4 * (2 * 49219 + 2), veldra.ModelError, "read"),
]


@pytest.mark.parametrize("name,change,error,when", BROKEN, ids=[f"{b[0]}-{b[3]}" for b in BROKEN])
def test_a_broken_file_gives_our_message(tmp_path, name, change, error, when):
    model = copy_model(tmp_path, values=False)
    if change is None:
        (model / name).unlink()
    else:
        broken(model, name, change)
    exported = subprocess.run([EXPORT, "--model", str(model), "--out", str(tmp_path / "out"), "--format", "netcdf",
                               "--quiet", "--variable", "Precip"], capture_output=True, text=True)
    assert exported.returncode == 1
    message = exported.stderr.strip().removeprefix("veldra_export: ")
    with pytest.raises(error) as raised:
        ds = veldra.open_model(model)
        assert when == "read"
        ds.Precip.mean().values
    assert str(raised.value) == message
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, OSError) == (error is veldra.FileOpenError)


def test_time_mean_on_worker_processes():
    distributed = pytest.importorskip("distributed")
    expected = blocks(SAMPLE, "Live_Biomass", 3).mean(axis=0)
    _, cols, rows = cell_table(SAMPLE)
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with cluster, distributed.Client(cluster):
        ds = veldra.open_model(SAMPLE, chunks={"time": 12})
        assert ds.Live_Biomass.data.npartitions == 5 * 3
        mean = ds.Live_Biomass.mean("time").compute()
        compact = veldra.open_model(SAMPLE, chunks={}, grid=False).Live_Biomass.mean("time").compute()
    np.testing.assert_allclose(mean.values[:, rows, cols], expected, rtol=1e-6)
    assert np.isnan(mean.values).sum() == 3 * (360 * 720 - len(np.unique(rows * 720 + cols)))
    np.testing.assert_allclose(compact.values, expected, rtol=1e-6)


def test_installed_package_is_the_engine_veldra(tmp_path):
    """What cmake --install puts under a prefix is found by Debian's python3
    as the package and as xarray's engine "veldra"."""
    subprocess.run([os.environ["VELDRA_CMAKE"], f"-DCMAKE_INSTALL_PREFIX={tmp_path}", "-P",
                    os.environ["VELDRA_PYTHON_INSTALL_SCRIPT"]], check=True, capture_output=True)
    site = tmp_path / os.environ["VELDRA_PYTHON_INSTALL_DIR"]
    script = ("import sys, xarray as xr, veldra\n"
              "assert veldra.__file__.startswith(sys.argv[1]), veldra.__file__\n"
              "ds = xr.open_dataset(sys.argv[2], engine='veldra')\n"
              "print(ds.Live_Biomass.shape, float(ds.Precip[0].sum()))\n")
    env = dict(os.environ, PYTHONPATH=str(site))
    out = subprocess.run(["/usr/bin/python3", "-c", script, str(site), str(SAMPLE)], env=env, check=True,
                         capture_output=True, text=True, cwd=tmp_path).stdout
    expected = float(np.float32(blocks(SAMPLE, "Precip", 1)[0, 0].sum(dtype=np.float32)))
    shape, total = out.rsplit(" ", 1)
    assert shape == "(60, 3, 360, 720)" and np.isclose(float(total), expected, rtol=1e-5)
