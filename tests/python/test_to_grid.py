"""veldra.to_grid: anything with a cell dimension back on the model's grid,
equal to the grid form of open_model."""
import numpy as np
import pytest
import xarray as xr

import veldra
from test_same_numbers import CELLS, Model, opened, plain_values, with_values


def test_reductions_of_the_compact_form_equal_those_of_the_grid_form(tmp_path):
    model = with_values(Model(tmp_path / "m"))
    compact, _ = opened(model, grid=False)
    grid, _ = opened(model)
    for name in ["Precip", "Bio"]:
        for reduce in [lambda v: v.mean("time"), lambda v: v.max("time"), lambda v: v.isel(time=7), lambda v: v]:
            placed = veldra.to_grid(reduce(compact[name]))
            expected = reduce(grid[name])
            assert placed.dims == expected.dims
            np.testing.assert_array_equal(placed.lat, grid.lat)
            np.testing.assert_array_equal(placed.lon, grid.lon)
            np.testing.assert_array_equal(placed.values, expected.values)
    whole = veldra.to_grid(compact)
    assert set(whole.data_vars) == set(compact.data_vars)
    np.testing.assert_array_equal(whole.Bio.values, grid.Bio.values)


def test_the_later_of_two_cells_at_one_place_stands(tmp_path):
    model = with_values(Model(tmp_path / "m", cells=CELLS + [(11, 3, 10, 20, 2)]))
    compact, told = opened(model, grid=False)
    assert len(told) == 1
    placed = veldra.to_grid(compact.Precip.isel(time=3))
    assert float(placed.isel(lat=19, lon=9)) == plain_values(model)[3, 0, 4]
    assert int(np.isfinite(placed.values).sum()) == len(CELLS)


def test_without_the_cells_grid_it_says_what_it_needs(tmp_path):
    model = with_values(Model(tmp_path / "m"))
    compact, _ = opened(model, grid=False)
    with pytest.raises(ValueError, match="needs a cell dimension"):
        veldra.to_grid(compact.Precip.mean("cell"))
    bare = compact.Precip.assign_coords(cell=compact.cell.values)
    with pytest.raises(ValueError, match="has no grid_shape"):
        veldra.to_grid(bare)


def test_runs_on_one_grid_each_stand_at_their_own_places(tmp_path):
    # to_grid keeps where a run's cells lie: runs on the same grid with as
    # many cells elsewhere, two cells at one place, or a selection of the
    # cells, each find their own places, whatever came before.
    elsewhere = [(7, 1, 12, 20, 1), (8, 1, 11, 21, 1), (9, 2, 200, 100, 3), (10, 2, 1, 1, 3)]
    models = [with_values(Model(tmp_path / "a")), with_values(Model(tmp_path / "b", cells=elsewhere)),
              with_values(Model(tmp_path / "c", cells=CELLS + [(11, 3, 10, 20, 2)]))]
    opened_models = [(model, opened(model, grid=False)[0], opened(model)[0]) for model in models]
    for _ in range(2):
        for model, compact, grid in opened_models:
            np.testing.assert_array_equal(veldra.to_grid(compact.Precip.mean("time")).values,
                                          grid.Precip.mean("time").values)
        for model, compact, grid in opened_models:
            picked = veldra.to_grid(compact.Bio.isel(time=5, cell=[2, 0]))
            expected = np.full(grid.Bio.shape[1:], np.nan, dtype=np.float32)
            for i in [2, 0]:
                _, _, col, row, _ = model.cells[i]
                expected[:, row - 1, col - 1] = plain_values(model, 2)[5, :, i]
            np.testing.assert_array_equal(picked.values, expected)


def test_no_data_across_the_reads_of_many_cells(tmp_path):
    # More cells than the reader takes at once (32768): values that are no
    # data at the edges of its pieces are NaN, and only they.
    n = 40_000
    cells = [(i + 1, 1, i % 360 + 1, i // 360 + 1, 1) for i in range(n)]
    model = Model(tmp_path / "m", cells=cells)
    values = plain_values(model)
    odd = {0: -9999.0, 32767: 1e12, 32768: -1e13, 32769: np.inf, 32770: np.nan, n - 1: -9999.0, 5: -255.0}
    for i, v in odd.items():
        values[3, 0, i] = v
    values[7, 0, 32768] = np.nextafter(np.float32(1e12), np.float32(0))
    model.variable("Precip", values)
    model.variable("Bio", plain_values(model, 2), layers=2)

    compact, _ = opened(model, grid=False)
    expected = values[:, 0].copy()
    expected[3, [i for i, v in odd.items() if v != -255.0]] = np.nan
    np.testing.assert_array_equal(compact.Precip.values, expected)
    grid, _ = opened(model)
    np.testing.assert_array_equal(veldra.to_grid(compact.Precip.mean("time")).values,
                                  grid.Precip.mean("time").values)


def test_cells_off_the_centres_of_their_grid_are_refused(tmp_path):
    model = with_values(Model(tmp_path / "m"))
    compact, _ = opened(model, grid=False)
    mean = compact.Precip.mean("time")
    veldra.to_grid(mean)  # where these cells lie is now known
    for moved in [mean.assign_coords(lat=mean.lat + 0.25), mean.assign_coords(lon=mean.lon.where(mean.cell != 9)),
                  mean.assign_coords(lat=mean.lat + 1000)]:
        with pytest.raises(ValueError, match="the cells' lat and lon are not the centres of their grid"):
            veldra.to_grid(moved)
    np.testing.assert_array_equal(veldra.to_grid(mean.assign_coords(lat=mean.lat + 1)).isel(lat=18, lon=9).values,
                                  mean.isel(cell=0).values)
