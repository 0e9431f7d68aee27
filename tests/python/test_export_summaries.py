"""veldra_export's summaries, baselines, anomalies and tables of regions, end
to end: the files read back by xarray, CDO and GDAL, their values against
numpy over a small run whose values make every statistic exact, their names,
and the refusals with their exit status.
"""
import json
import os
import pathlib
import subprocess

import numpy as np
import pytest
import xarray as xr

from test_same_numbers import Model

EXPORT = os.environ["VELDRA_EXPORT"]
YEARS = (2000, 2002)
# Cell number, zone, column, row, range type: zone 1 on one row, zone 2 on two.
CELLS = [(7, 1, 10, 20, 1), (8, 1, 11, 20, 1), (9, 2, 200, 100, 3), (10, 2, 360, 180, 3)]


def run_values(offset=0.0):
    """Quarters and whole numbers: each month's value rises by 3 a year and
    varies with the month and cell, so every mean is exact in float32."""
    months = (YEARS[1] - YEARS[0] + 1) * 12
    t = np.arange(months)
    year, month = t // 12, t % 12
    values = 3.0 * year[:, None] + 0.25 * month[:, None] + np.array([1.0, 2.0, 4.0, 8.0]) + offset
    values[5, 2] = 40.0  # one month out of line
    return values.astype(np.float32)


def make_model(root, offset=0.0):
    model = Model(root, cells=CELLS, years=YEARS)
    model.variable("Precip", run_values(offset)[:, None, :])
    return model


@pytest.fixture
def runs(tmp_path, monkeypatch):
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    return make_model(tmp_path / "run"), make_model(tmp_path / "base", offset=-2.0), tmp_path / "out"


def export(model, out, *extra):
    return subprocess.run([EXPORT, "--model", str(model.root), "--variable", "Precip", "--out", str(out), "--quiet",
                           *map(str, extra)], capture_output=True, text=True)


def cell_values(path):
    """The values of the four cells, [time, cell], from the NetCDF file."""
    with xr.open_dataset(path) as ds:
        grid = ds["Precip"].values
    return np.stack([grid[:, row - 1, col - 1] for _, _, col, row, _ in CELLS], axis=1)


def annual(values):
    return values.reshape(-1, 12, values.shape[1]).mean(axis=1)


def test_annual_mean_netcdf_read_by_xarray_and_cdo(runs):
    model, _, out = runs
    done = export(model, out, "--format", "netcdf", "--summary", "annual-mean")
    assert done.returncode == 0, done.stderr
    path = out / "Precip_annual-mean.nc"
    np.testing.assert_array_equal(cell_values(path), annual(run_values()))
    with xr.open_dataset(path) as ds:
        assert ds["Precip"].attrs["cell_methods"] == "time: mean"
        assert ds["Precip"].attrs["long_name"] == "Precip, annual mean"
        assert [str(t)[:10] for t in ds["time"].values] == ["2000-07-02", "2001-07-02", "2002-07-02"]
        assert str(ds["time_bnds"].values[1, 0])[:10] == "2001-01-01"
    info = subprocess.run(["cdo", "-s", "info", str(path)], capture_output=True, text=True)
    assert info.returncode == 0, info.stderr
    assert "2002-07-02" in info.stdout


def test_climatology_is_cf_climatological_time(runs):
    model, _, out = runs
    assert export(model, out, "--format", "netcdf", "--summary", "climatology").returncode == 0
    path = out / "Precip_climatology.nc"
    expected = run_values().reshape(-1, 12, 4).mean(axis=0)
    np.testing.assert_array_equal(cell_values(path), expected)
    with xr.open_dataset(path, decode_times=False) as ds:
        assert ds["time"].attrs["climatology"] == "climatology_bnds"
        assert "bounds" not in ds["time"].attrs
        assert ds["Precip"].attrs["cell_methods"] == "time: mean within years time: mean over years"
        assert ds["climatology_bnds"].shape == (12, 2)
    assert subprocess.run(["cdo", "-s", "info", str(path)], capture_output=True).returncode == 0


def test_trend_per_decade_of_the_annual_means(runs):
    model, _, out = runs
    assert export(model, out, "--format", "netcdf", "--summary", "trend").returncode == 0
    means = annual(run_values().astype(np.float64))
    slopes = np.polyfit(np.arange(YEARS[0], YEARS[1] + 1), means, 1)[0] * 10
    np.testing.assert_allclose(cell_values(out / "Precip_trend.nc")[0], slopes, rtol=1e-6)
    with xr.open_dataset(out / "Precip_trend.nc") as ds:
        assert ds["Precip"].attrs["units"] == "cm per decade"


def test_baseline_difference_and_its_attribute(runs):
    model, base, out = runs
    done = export(model, out, "--format", "netcdf", "--summary", "annual-mean", "--baseline", base.root)
    assert done.returncode == 0, done.stderr
    path = out / "Precip_annual-mean_difference.nc"
    np.testing.assert_array_equal(cell_values(path), annual(run_values()) - annual(run_values(-2.0)))
    with xr.open_dataset(path) as ds:
        assert ds["Precip"].attrs["baseline"] == str(base.root)


def test_anomaly_of_a_baseline_period_then_annual_means(runs):
    model, _, out = runs
    done = export(model, out, "--format", "netcdf", "--summary", "annual-mean", "--baseline-period", "2000-2001")
    assert done.returncode == 0, done.stderr
    values = run_values()
    normal = values[:24].reshape(2, 12, 4).mean(axis=0)
    anomalies = values - np.tile(normal, (3, 1))
    np.testing.assert_allclose(cell_values(out / "Precip_annual-mean_anomaly.nc"), annual(anomalies), atol=1e-5)


def test_grids_and_geotiffs_of_summaries_are_named_by_their_periods(runs):
    model, _, out = runs
    assert export(model, out, "--summary", "annual-mean").returncode == 0
    assert export(model, out, "--summary", "climatology", "--format", "gtiff").returncode == 0
    assert export(model, out, "--summary", "run-mean").returncode == 0
    names = sorted(p.name for p in out.iterdir())
    assert [n for n in names if n.endswith(".asc")] == [
        "Precip_annual-mean_2000.asc", "Precip_annual-mean_2001.asc", "Precip_annual-mean_2002.asc",
        "Precip_run-mean_2000-2002.asc"]
    assert [n for n in names if n.endswith(".tif")] == [f"Precip_climatology_{m:02d}.tif" for m in range(1, 13)]
    from osgeo import gdal
    tif = gdal.Open(str(out / "Precip_climatology_03.tif"))
    band = tif.GetRasterBand(1).ReadAsArray()
    assert band[20 - 1, 10 - 1] == run_values().reshape(-1, 12, 4).mean(axis=0)[2, 0]


def read_table(path):
    lines = path.read_bytes().decode().split("\r\n")
    assert lines[0] == "time,region,cells,mean,area_mean,min,max,sd" and lines[-1] == ""
    return [line.split(",") for line in lines[1:-1]]


def check_rows(rows, times, regions, values):
    """rows against numpy: values[time] holds the cells of each region."""
    assert [(r[0], r[1]) for r in rows] == [(t, name) for t in times for name, _ in regions]
    for row in rows:
        t = times.index(row[0])
        members = dict(regions)[row[1]]
        v = values[t][members].astype(np.float64)
        assert int(row[2]) == len(members)
        assert float(row[3]) == v.mean()
        # min and max as the single-precision values they are
        assert np.float32(row[5]) == np.float32(v.min()) and np.float32(row[6]) == np.float32(v.max())
        assert float(row[7]) == pytest.approx(v.std(), rel=1e-12)


def test_table_of_zones_by_year(runs):
    model, _, out = runs
    done = export(model, out, "--format", "csv", "--regions", "zone", "--summary", "annual-mean")
    assert done.returncode == 0, done.stderr
    rows = read_table(out / "Precip_annual-mean_zone.csv")
    check_rows(rows, ["2000", "2001", "2002"], [("1", [0, 1]), ("2", [2, 3])], annual(run_values()))
    assert all(r[4] == r[3] for r in rows if r[1] == "1")  # one row of the grid: every cell weighs the same


def test_table_of_boxes_by_month(runs):
    model, _, out = runs
    done = export(model, out, "--format", "csv", "--regions", "box:-180,-90,0,90", "--regions", "box:-180,-90,180,90")
    assert done.returncode == 0, done.stderr
    months = [f"{y}-{m:02d}" for y in range(2000, 2003) for m in range(1, 13)]
    check_rows(read_table(out / "Precip_box.csv"), months, [("box1", [0, 1]), ("box2", [0, 1, 2, 3])],
               run_values())


def test_table_of_a_geojson_of_two_boxes(runs):
    model, _, out = runs
    def box(name, west, east):
        ring = [[west, -90], [east, -90], [east, 90], [west, 90], [west, -90]]
        return {"type": "Feature", "properties": {"name": name}, "geometry": {"type": "Polygon", "coordinates": [ring]}}
    halves = out.parent / "halves.geojson"
    halves.write_text(json.dumps({"type": "FeatureCollection", "features": [box("west", -180, 0), box("east", 0, 180)]}))
    done = export(model, out, "--format", "csv", "--regions", f"{halves}:name", "--summary", "climatology")
    assert done.returncode == 0, done.stderr
    check_rows(read_table(out / "Precip_climatology_halves.csv"), [f"{m:02d}" for m in range(1, 13)],
               [("west", [0, 1]), ("east", [2, 3])], run_values().reshape(-1, 12, 4).mean(axis=0))
    no_field = export(model, out, "--format", "csv", "--regions", f"{halves}:label")
    assert no_field.returncode == 2 and "label" in no_field.stderr


@pytest.mark.parametrize("args, status, message", [
    (["--summary", "median"], 2, "--summary: annual-mean, annual-sum, annual-min, annual-max, climatology, "
                                 "run-mean, run-sd or trend, not median"),
    (["--format", "netcdf", "--regions", "zone"], 2, "--regions applies to --format csv only"),
    (["--format", "csv"], 2, "--format csv needs --regions"),
    (["--format", "csv", "--regions", "zone", "--regions", "box:0,0,1,1"], 2, "kinds of regions are not mixed"),
    (["--format", "csv", "--regions", "missing.geojson"], 1, "missing.geojson"),
    (["--compare", "ratio"], 2, "--compare: a comparison with --baseline only"),
    (["--baseline-period", "2001"], 2, "--baseline-period: two years Y0-Y1"),
    (["--baseline-period", "1990-2000"], 1, "year 1990 of 1990 to 2000 is not among them"),
    (["--baseline", "nowhere"], 1, "nowhere/Parms/Output_List.vrl"),
    (["--format", "csv", "--regions", "box:1,2", "--baseline", "nowhere"], 2, "--regions"),
    (["--summary", "annual-mean", "--bands", "--format", "gtiff"], 2, "--bands"),
])
def test_refusals(runs, args, status, message):
    model, _, out = runs
    done = export(model, out, *args)
    assert done.returncode == status, done.stderr
    assert message in done.stderr
    assert done.stderr.startswith("veldra_export: ")


def test_a_baseline_of_other_cells_is_refused(runs, tmp_path):
    model, _, out = runs
    other = Model(tmp_path / "other", cells=CELLS[:3], years=YEARS)
    other.variable("Precip", run_values()[:, None, :3])
    done = export(model, out, "--baseline", other.root, "--summary", "annual-mean")
    assert done.returncode == 1
    assert "Rng_Data.vrd" in done.stderr
