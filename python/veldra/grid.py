"""Values of the compact form (a ``cell`` dimension in the order of the cell
file) put back on the model's grid."""

import numpy as np
import xarray as xr

from ._veldra import cf
_CELL_COORDS = ("cell", cf.LAT, cf.LON, "zone", "range_type")


def _grid_of(cell):
    """The grid's latitudes (north first) and longitudes, from the attributes of a ``cell`` coordinate."""
    try:
        rows, cols = (int(v) for v in cell.attrs["grid_shape"])
        west, south, east, north = (float(v) for v in cell.attrs["grid_edges"])
        size = float(cell.attrs["grid_cell_size"])
    except KeyError as e:
        raise ValueError("to_grid needs the cell coordinate of veldra.open_model(..., grid=False), "
                         f"which says where the cells lie; this one has no {e.args[0]}") from None
    lat, _ = cf.axis(south, north, rows, size, True)
    lon, _ = cf.axis(west, east, cols, size, False)
    return lat, lon


def _positions(obj, lat, lon):
    """Row and column of each cell, and the cells that stand there: where two share a place, the later."""
    rows = np.searchsorted(-lat, -obj["lat"].values)
    cols = np.searchsorted(lon, obj["lon"].values)
    rows = np.minimum(rows, len(lat) - 1)
    cols = np.minimum(cols, len(lon) - 1)
    if not (np.array_equal(lat[rows], obj["lat"].values) and np.array_equal(lon[cols], obj["lon"].values)):
        raise ValueError("to_grid: the cells' lat and lon are not the centres of their grid")
    place = rows.astype(np.int64) * len(lon) + cols
    _, last = np.unique(place[::-1], return_index=True)
    kept = np.sort(len(place) - 1 - last)
    return rows[kept], cols[kept], kept


def _array_to_grid(array, lat, lon, where):
    rows, cols, kept = where
    moved = array.transpose(..., "cell")
    values = np.asarray(moved.values)
    out = np.full(values.shape[:-1] + (len(lat), len(lon)), np.nan,
                  dtype=np.result_type(values.dtype, np.float32))
    out[..., rows, cols] = values[..., kept]
    dims = moved.dims[:-1] + ("lat", "lon")
    coords = {name: c for name, c in moved.coords.items() if "cell" not in c.dims}
    coords[cf.LAT] = xr.Variable(cf.LAT, lat, cf.latitude_attributes(False))
    coords[cf.LON] = xr.Variable(cf.LON, lon, cf.longitude_attributes(False))
    return xr.DataArray(out, coords=coords, dims=dims, name=array.name, attrs=array.attrs)


def to_grid(obj):
    """``obj`` (a DataArray or Dataset with a ``cell`` dimension, as ``veldra.open_model(..., grid=False)``
    gives it and any reduction over its other dimensions keeps it) on the model's grid: ``(..., lat, lon)``,
    north first, with the latitudes and longitudes of ``open_model``'s grid form; NaN where no cell lies.
    Where two cells share a place, the later one in the cell file stands, as in every grid of the tools.
    Variables of a Dataset without a ``cell`` dimension are kept as they are."""
    if "cell" not in obj.dims:
        raise ValueError("to_grid needs a cell dimension, as veldra.open_model(..., grid=False) gives it")
    lat, lon = _grid_of(obj["cell"])
    where = _positions(obj, lat, lon)
    if isinstance(obj, xr.DataArray):
        return _array_to_grid(obj, lat, lon, where)
    variables = {name: _array_to_grid(v, lat, lon, where) if "cell" in v.dims else v.drop_vars(
        [c for c in _CELL_COORDS if c in v.coords], errors="ignore") for name, v in obj.data_vars.items()}
    return xr.Dataset(variables, attrs=obj.attrs)
