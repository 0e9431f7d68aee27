"""One run, the same outcome in every tool: hostile model folders through
layer_exporter, veldra_export (each format), the viewer's start-up and
veldra.open_model, whose refusals, warnings and numbers are compared.

The model is a whole globe of 1-degree cells (so that every format, the
geographic lookup grids included, takes it), with a few rangeland cells and
the variables Precip (one layer) and Bio (two layers), 2000 to 2001.
"""
import json
import os
import pathlib
import subprocess
import warnings

import numpy as np
import pytest
import xarray as xr

import veldra

EXPORT = os.environ["VELDRA_EXPORT"]
LAYER_EXPORTER = os.environ.get("VELDRA_LAYER_EXPORTER")
VIEWER = os.environ.get("VELDRA_GUI")

# Cell number, zone, column, row, range type.
CELLS = [(7, 1, 10, 20, 1), (8, 1, 11, 20, 1), (9, 2, 200, 100, 3), (10, 2, 360, 180, 3)]


def list_line(name, layers, label="Layer", units="cm", active="1"):
    return f"{active:<4}{name:<36}{layers:<4}{label:<14}{units:<19}"


class Model:
    """A model folder written byte by byte as the model writes it."""

    def __init__(self, root, *, cells=CELLS, years=(2000, 2001), entries=None, header=None):
        self.root = root
        self.cells = list(cells)
        self.years = years
        (root / "Parms").mkdir(parents=True)
        (root / "Output").mkdir()
        entries = entries or [list_line("Precip", "1"), list_line("Bio", "2", "Facet", "g/m^2")]
        (root / "Parms" / "Output_List.vrl").write_bytes(
            ("Veldra output variables\r\n" + "".join(e + "\r\n" for e in entries)).encode())
        first, last = years
        top = header or f"{len(self.cells)} 360 180 -180 -90 180 90 1.0 {first} {last}"
        lines = [top] + [" ".join(map(str, c)) for c in self.cells]
        (root / "Output" / "Rng_Data.vrd").write_bytes(("\r\n".join(lines) + "\r\n").encode())
        globe = ["T" * 360 if 10 <= row < 170 else "F" * 360 for row in range(180)]
        (root / "Output" / "Globe.vrd").write_bytes(("\r\n".join(globe) + "\r\n").encode())

    def variable(self, name, values, layers=1):
        """values[month index, layer, cell] for every month of the run."""
        first, last = self.years
        n = len(self.cells)
        blocks = []
        for t in range(values.shape[0]):
            year, month = first + t // 12, t % 12 + 1
            for layer in range(layers):
                blocks.append(np.concatenate([[n, year, month], values[t, layer]]).astype("<f4"))
        (self.root / "Output" / (name + ".vrd")).write_bytes(b"".join(b.tobytes() for b in blocks))

    def months(self):
        return (self.years[1] - self.years[0] + 1) * 12

    @property
    def cell_file(self):
        return f"{self.root}/Output/Rng_Data.vrd"


@pytest.fixture
def tools_env(tmp_path, monkeypatch):
    # Lookup grids made on first use go to a cache of this test only.
    monkeypatch.setenv("XDG_CACHE_HOME", str(tmp_path / "cache"))
    monkeypatch.setenv("QT_QPA_PLATFORM", "offscreen")
    return tmp_path


def plain_values(model, layers=1):
    n = len(model.cells)
    t = np.arange(model.months(), dtype=np.float32)[:, None, None]
    k = np.arange(layers, dtype=np.float32)[None, :, None]
    i = np.arange(n, dtype=np.float32)[None, None, :]
    return t + 0.25 * k + 10 * i


def with_values(model):
    model.variable("Precip", plain_values(model))
    model.variable("Bio", plain_values(model, 2), layers=2)
    return model


def run(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=120)


def exports(model, out, *extra, formats=("grids", "netcdf", "gtiff")):
    """veldra_export of Precip in each format: {format: CompletedProcess}."""
    return {f: run(EXPORT, "--model", model.root, "--variable", "Precip", "--format", f, "--quiet",
                   "--out", out / f, *extra) for f in formats}


def viewer(model, out):
    """The viewer started on the model for a picture, as a script starts it."""
    return run(VIEWER, "--model", model.root, "--select", "Precip", "--screenshot", out / "viewer.png")


def opened(model, **kwargs):
    """veldra.open_model with its warnings: (dataset or the error, warning texts)."""
    with warnings.catch_warnings(record=True) as said:
        warnings.simplefilter("always")
        try:
            result = veldra.open_model(model.root, **kwargs)
        except veldra.ModelError as e:
            result = e
    return result, [str(w.message) for w in said if issubclass(w.category, veldra.ModelWarning)]


def test_a_cell_outside_the_grid_is_refused_by_every_tool(tools_env):
    model = with_values(Model(tools_env / "m", cells=CELLS[:1] + [(8, 1, 361, 1, 1)] + CELLS[2:]))
    said = f"{model.cell_file}: line 3: cell 2 at column 361, row 1 lies outside the grid of 360 columns and 180 rows"

    for f, done in exports(model, tools_env).items():
        assert (done.returncode, done.stderr) == (1, f"veldra_export: {said}\n"), f
    result, _ = opened(model)
    assert isinstance(result, veldra.ModelError) and str(result) == said
    if LAYER_EXPORTER:
        done = run(LAYER_EXPORTER, f"{model.root}/Output/", "Precip.vrd", tools_env / "p", 2000, 2000, 1)
        assert done.returncode != 0 and said in done.stderr and not list(tools_env.glob("p_*"))
    if VIEWER:
        done = viewer(model, tools_env)
        assert done.returncode == 1 and said in done.stderr


def test_cells_at_one_place_are_a_warning_and_the_later_one_stands(tools_env):
    cells = CELLS + [(11, 3, 11, 20, 2), (12, 3, 10, 20, 2)]  # 11 stands on 8, 12 on 7
    model = with_values(Model(tools_env / "m", cells=cells))
    said = [f"{model.cell_file}: cells 8 and 11 lie at the same place (column 11, row 20); "
            "the values of cell 11, the later one, stand there",
            f"{model.cell_file}: cells 7 and 12 lie at the same place (column 10, row 20); "
            "the values of cell 12, the later one, stand there"]

    for f, done in exports(model, tools_env).items():
        assert done.returncode == 0, (f, done.stderr)
        assert done.stderr == "".join(f"veldra_export: {w}\n" for w in said), f  # also with --quiet
    ds, told = opened(model)
    assert told == said
    values = plain_values(model)
    # Row 20, columns 10 and 11 (from 1): cells 12 and 11, the later ones.
    np.testing.assert_array_equal(ds.Precip.isel(lat=19, lon=[9, 10]).values, values[:, 0, [5, 4]])
    nc = xr.open_dataset(tools_env / "netcdf" / "Precip.nc")
    np.testing.assert_array_equal(nc.Precip.isel(lat=19, lon=[9, 10]).values, values[:, 0, [5, 4]])
    if LAYER_EXPORTER:
        done = run(LAYER_EXPORTER, f"{model.root}/Output/", "Precip.vrd", tools_env / "p", 2000, 2000, 1)
        assert done.stderr == "".join(f"layer_exporter: {w}\n" for w in said)
    if VIEWER:
        done = viewer(model, tools_env)
        assert all(f"Veldra_GUI: {w}\n" in done.stderr for w in said)

    # Beyond ten, the rest are counted in one line.
    many = CELLS + [(100 + k, 1, 10, 20, 1) for k in range(12)]
    _, told = opened(with_values(Model(tools_env / "many", cells=many)))
    assert len(told) == 11 and told[-1] == f"{tools_env}/many/Output/Rng_Data.vrd: 2 more cells lie where an " \
                                           "earlier cell lies"


def test_values_outside_the_valid_range_are_no_data_in_every_format(tools_env):
    model = Model(tools_env / "m")
    values = plain_values(model)
    # January 2000: two real values and two that no tool counts.
    values[0, 0] = [1.0, 3.0, 1e12, -1e13]
    # The edge: just below 1e12 counts, in single precision.
    values[1, 0] = [np.nextafter(np.float32(1e12), np.float32(0)), 1.0, 2.0, 3.0]
    model.variable("Precip", values)
    model.variable("Bio", plain_values(model, 2), layers=2)

    done = exports(model, tools_env, "--from", "2000", "--to", "2000", formats=("netcdf", "gtiff"))
    assert all(d.returncode == 0 for d in done.values()), {f: d.stderr for f, d in done.items()}
    ds, _ = opened(model)
    compact, _ = opened(model, grid=False)
    nc = xr.open_dataset(tools_env / "netcdf" / "Precip.nc")
    for month in ds.Precip[:1], compact.Precip[:1], nc.Precip[:1]:
        assert float(month.mean()) == 2.0
    np.testing.assert_array_equal(compact.Precip[0].values, [1, 3, np.nan, np.nan])
    assert float(compact.Precip[1, 0]) == np.nextafter(np.float32(1e12), np.float32(0))

    # GDAL's statistics of the geographic GeoTIFF: the mean of the cells' real values.
    stats = run("gdalinfo", "-stats", "-json", tools_env / "gtiff" / "Precip_2000_01.tif")
    assert stats.returncode == 0, stats.stderr
    band = json.loads(stats.stdout)["bands"][0]
    assert (band["minimum"], band["maximum"], band["mean"]) == (1.0, 3.0, 2.0)


def test_the_fill_value_and_minus_255_in_a_cell(tools_env):
    model = Model(tools_env / "m")
    values = plain_values(model)
    values[:, 0, 1] = -9999.0  # cannot be told from water: NaN
    values[:, 0, 2] = -255.0   # a value like any other
    model.variable("Precip", values)
    model.variable("Bio", plain_values(model, 2), layers=2)
    ds, _ = opened(model)
    compact, _ = opened(model, grid=False)
    np.testing.assert_array_equal(compact.Precip[3].values, [3, np.nan, -255, values[3, 0, 3]])
    assert np.isnan(ds.Precip[3, 19, 10]) and float(ds.Precip[3, 99, 199]) == -255


def test_a_run_before_year_1_is_refused_by_netcdf_and_python(tools_env):
    model = with_values(Model(tools_env / "m", years=(-1, 1)))
    said = f"{model.cell_file}: line 1: the run starts in year -1 (header value 9); the CF calendar of NetCDF " \
           "and xarray counts years from 1"
    done = exports(model, tools_env, formats=("netcdf",))["netcdf"]
    assert (done.returncode, done.stderr) == (1, f"veldra_export: {said}\n")
    assert not (tools_env / "netcdf" / "Precip.nc").exists()
    result, _ = opened(model)
    assert isinstance(result, veldra.ModelError) and str(result) == said


def test_years_that_run_backwards_are_a_fault_of_the_cell_file(tools_env):
    model = with_values(Model(tools_env / "m", header=f"{len(CELLS)} 360 180 -180 -90 180 90 1.0 2001 2000"))
    said = f"{model.cell_file}: line 1: the last year 2000 (header value 10) comes before the first year 2001 " \
           "(header value 9)"
    for f, done in exports(model, tools_env).items():
        assert (done.returncode, done.stderr) == (1, f"veldra_export: {said}\n"), f
    result, _ = opened(model)
    assert str(result) == said


@pytest.mark.parametrize("entry, name, fault", [
    (list_line("../Output/Precip", "1"), "../Output/Precip",
     'the variable "../Output/Precip" is not a file name in Output/: expected a name without "/" or "\\"'),
    (list_line("Bio", " "), "Bio", 'the variable "Bio" has no layer count: expected a digit 1 to 9 in column 41'),
])
def test_a_variable_the_list_cannot_give(tools_env, entry, name, fault):
    model = Model(tools_env / "m", entries=[list_line("Precip", "1"), entry])
    model.variable("Precip", plain_values(model))
    model.variable("Bio", plain_values(model, 2), layers=2)
    said = f"{model.root}/Parms/Output_List.vrl: line 3: {fault}"

    for f in ("grids", "netcdf", "gtiff"):
        done = run(EXPORT, "--model", model.root, "--variable", name, "--format", f, "--out", tools_env / f)
        assert (done.returncode, done.stderr) == (1, f"veldra_export: {said}\n"), f
    ds, told = opened(model)
    assert told == [said + "; it is left out"]
    assert list(ds.data_vars) == ["time_bnds", "lat_bnds", "lon_bnds", "crs", "land_mask", "Precip"]


def test_command_line_faults(tools_env):
    model = with_values(Model(tools_env / "m"))
    done = run(EXPORT, "--model", "", "--variable", "Precip", "--out", tools_env / "o")
    assert (done.returncode, done.stderr) == (2, "veldra_export: --model: the model folder is empty; see --help\n")
    out = tools_env / "deep" / "out"
    for root in ["../escaped", "a/b", "..", "a\\b"]:
        done = run(EXPORT, "--model", model.root, "--variable", "Precip", "--format", "netcdf", "--root", root,
                   "--out", out)
        assert done.returncode == 2 and f"--root: {root} is not a file-name root" in done.stderr, root
    assert not list((tools_env / "deep").rglob("*.nc"))


def test_bad_blocks_raise_or_become_nan_with_one_warning(tools_env):
    model = Model(tools_env / "m")
    values = plain_values(model, 2)
    model.variable("Precip", plain_values(model))
    model.variable("Bio", values, layers=2)
    n = len(CELLS)
    # The month record of March 2000, layer 2 says 4.
    path = model.root / "Output" / "Bio.vrd"
    data = np.fromfile(path, dtype="<f4")
    record = ((2 * 2 + 1) * (n + 3)) + 3  # 1-based: the block's third record
    data[record - 1] = 4
    data.tofile(path)
    said = f"{path}: record {record} holds 4 as the month of the block of year 2000, month 3, layer 2; expected 3."

    ds, _ = opened(model)
    with pytest.raises(veldra.ModelError) as raised:
        ds.Bio.mean("time").values
    assert str(raised.value) == said

    for ds in [opened(model, bad_blocks="nan")[0],
               xr.open_dataset(model.root, engine=veldra.VeldraBackend, bad_blocks="nan", grid=False)]:
        with warnings.catch_warnings(record=True) as told:
            warnings.simplefilter("always")
            mean = ds.Bio.mean("time").values
        assert [str(w.message) for w in told] == [said + " Its values are NaN."]
        assert np.isfinite(mean).sum() == 2 * n
        march = ds.Bio.isel(time=2).values
        assert np.isnan(march[1]).all() and not np.isnan(march[0]).all()
    with pytest.raises(ValueError, match="bad_blocks must be one of 'raise', 'nan', not 'skip'"):
        veldra.open_model(model.root, bad_blocks="skip")


def test_a_short_last_month_of_the_last_layer_fails_at_open(tools_env):
    model = Model(tools_env / "m")
    model.variable("Precip", plain_values(model))
    model.variable("Bio", plain_values(model, 2), layers=2)
    path = model.root / "Output" / "Bio.vrd"
    n = len(CELLS)
    path.write_bytes(path.read_bytes()[:-4 * (n + 3) + 8])  # layer 1 of December 2001 is whole
    result, _ = opened(model)
    assert isinstance(result, veldra.ModelError) and str(result).startswith(f"{path}: record ")


def test_a_selection_that_repeats_cells(tools_env):
    model = with_values(Model(tools_env / "m"))
    compact, _ = opened(model, grid=False)
    values = plain_values(model)
    for picked in [[0, 0, 2], [3, 1, 1], [2, 2]]:
        np.testing.assert_array_equal(compact.Precip.isel(time=5, cell=picked).values, values[5, 0, picked])


def test_netcdf_times_count_from_the_first_year_exported(tools_env):
    model = with_values(Model(tools_env / "m"))
    done = run(EXPORT, "--model", model.root, "--variable", "Precip", "--format", "netcdf", "--from", "2001",
               "--threads", "256", "--quiet", "--out", tools_env / "nc")
    assert done.returncode == 0, done.stderr
    nc = xr.open_dataset(tools_env / "nc" / "Precip.nc")
    assert str(nc.time.values[0])[:19] == "2001-01-16T12:00:00"
    assert str(nc.time.values[-1])[:19] == "2001-12-16T12:00:00"
    np.testing.assert_array_equal(nc.Precip.isel(lat=19, lon=9).values, plain_values(model)[12:, 0, 0])
    done = run(EXPORT, "--model", model.root, "--variable", "Precip", "--format", "netcdf", "--threads", "257",
               "--out", tools_env / "nc")
    assert (done.returncode, done.stderr) == (2, "veldra_export: --threads: a whole number from 1 to 256; see --help\n")


def test_a_cell_in_the_last_column_of_a_sixth_of_a_degree_globe_is_in_every_grid(tools_env):
    # 0.1666667 in single precision lies a hair above 1/6: the globe file's
    # mask comes out 2159 x 1079, the resolution's grid is 2160 x 1080.
    cells = [(1, 1, 1, 1, 1), (2, 1, 2160, 1080, 1)]
    model = Model(tools_env / "m", cells=cells, years=(2000, 2000),
                  header="2 2160 1080 -180 -90 180 90 0.1666667 2000 2000")
    (model.root / "Output" / "Globe.vrd").write_bytes(("F" * 2160 + "\r\n").encode() * 1080)
    values = plain_values(model)
    model.variable("Precip", values)
    model.variable("Bio", plain_values(model, 2), layers=2)

    done = exports(model, tools_env, formats=("netcdf",))["netcdf"]
    assert done.returncode == 0, done.stderr
    nc = xr.open_dataset(tools_env / "netcdf" / "Precip.nc")
    ds, _ = opened(model)
    compact, _ = opened(model, grid=False)
    for grid in nc, ds:
        assert (grid.sizes["lat"], grid.sizes["lon"]) == (1080, 2160)
        np.testing.assert_array_equal(grid.Precip.isel(lat=1079, lon=2159).values, values[:, 0, 1])
        np.testing.assert_array_equal(grid.Precip.isel(lat=0, lon=0).values, values[:, 0, 0])
    assert int((nc.land_mask == 2).sum()) == 2 and int((ds.land_mask == 2).sum()) == 2
    np.testing.assert_allclose([float(compact.lat[1]), float(compact.lon[1])], [-90 + 1 / 12, 180 - 1 / 12])
