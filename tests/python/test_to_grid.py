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
