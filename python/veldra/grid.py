"""Values of the compact form (a ``cell`` dimension in the order of the cell
file) put back on the model's grid."""

import threading

import numpy as np
import xarray as xr

from ._veldra import cf
_CELL_COORDS = ("cell", cf.LAT, cf.LON, "zone", "range_type")


class _Places:
    """Where cells lie on a grid: the grid's latitudes (north first) and longitudes, the cells' lat and lon,
    and the cells that stand (``kept``: where two share a place, the later; None when every cell stands) with
    their places in the flattened grid."""

    def __init__(self, lat, lon, cell_lat, cell_lon):
        rows, cols = _positions(lat, cell_lat), _positions(lon, cell_lon)
        if not (np.array_equal(lat[rows], cell_lat) and np.array_equal(lon[cols], cell_lon)):
            raise ValueError("to_grid: the cells' lat and lon are not the centres of their grid")
        self.lat, self.lon = lat, lon
        self.cell_lat, self.cell_lon = cell_lat.copy(), cell_lon.copy()
        place = rows * len(lon) + cols
        if len(place) < 2 or (place[1:] > place[:-1]).all():  # ascending (cell files run north to south): no two share
            self.kept, self.place = None, place
        else:
            _, last = np.unique(place[::-1], return_index=True)
            self.kept = np.sort(len(place) - 1 - last)
            self.place = place[self.kept]
        for a in (self.lat, self.lon, self.cell_lat, self.cell_lon, self.place, self.kept):
            if a is not None:
                a.flags.writeable = False

    def fits(self, cell_lat, cell_lon):
        """Whether these are the places of cells at ``cell_lat``, ``cell_lon``: the lat and lon they were
        found from, each cell's row and column following from its own alone."""
        return np.array_equal(self.cell_lat, cell_lat) and np.array_equal(self.cell_lon, cell_lon)


# The places of the runs last put on a grid, by grid: a run's reductions and
# its reopenings find them here, checked against their cells' lat and lon.
_known = {}
_known_lock = threading.Lock()
_KNOWN_GRIDS = 2


def _grid_of(cell):
    """The grid's shape and edges and its cell size, from the attributes of a ``cell`` coordinate."""
    try:
        rows, cols = (int(v) for v in cell.attrs["grid_shape"])
        west, south, east, north = (float(v) for v in cell.attrs["grid_edges"])
        size = float(cell.attrs["grid_cell_size"])
    except KeyError as e:
        raise ValueError("to_grid needs the cell coordinate of veldra.open_model(..., grid=False), "
                         f"which says where the cells lie; this one has no {e.args[0]}") from None
    return rows, cols, west, south, east, north, size


def _positions(axis, values):
    """The position along ``axis`` (evenly spaced centres, ascending or descending) of each of ``values``:
    reckoned from the spacing, then searched for where that centre is not the value."""
    if len(axis) == 0:
        return np.zeros(len(values), dtype=np.intp)
    step = (axis[-1] - axis[0]) / (len(axis) - 1) if len(axis) > 1 else 1.0
    with np.errstate(invalid="ignore"):
        reckoned = np.rint((values - axis[0]) / step)
    found = np.clip(np.where(np.isfinite(reckoned), reckoned, 0), 0, len(axis) - 1).astype(np.intp)
    missed = np.flatnonzero(axis[found] != values)
    if len(missed):
        ascending = axis if len(axis) < 2 or axis[1] > axis[0] else -axis
        sign = 1 if ascending is axis else -1
        found[missed] = np.minimum(np.searchsorted(ascending, sign * values[missed]), len(axis) - 1)
    return found


def _places(obj):
    """The places of ``obj``'s cells, from its ``cell`` coordinate's grid and its cells' lat and lon."""
    grid = _grid_of(obj["cell"])
    cell_lat, cell_lon = obj[cf.LAT].values, obj[cf.LON].values
    with _known_lock:
        known = _known.get(grid)
    if known is not None and known.fits(cell_lat, cell_lon):
        return known
    rows, cols, west, south, east, north, size = grid
    lat, _ = cf.axis(south, north, rows, size, True)
    lon, _ = cf.axis(west, east, cols, size, False)
    places = _Places(lat, lon, cell_lat, cell_lon)
    with _known_lock:
        _known.pop(grid, None)
        _known[grid] = places
        while len(_known) > _KNOWN_GRIDS:
            del _known[next(iter(_known))]
    return places


def _array_to_grid(array, places):
    moved = array.transpose(..., "cell")
    values = np.asarray(moved.values)
    lead = values.shape[:-1]
    rows, cols = len(places.lat), len(places.lon)
    out = np.full(lead + (rows * cols,), np.nan, dtype=np.result_type(values.dtype, np.float32))
    out[..., places.place] = values if places.kept is None else values[..., places.kept]
    dims = moved.dims[:-1] + (cf.LAT, cf.LON)
    coords = {name: c for name, c in moved.coords.items() if "cell" not in c.dims}
    coords[cf.LAT] = xr.Variable(cf.LAT, places.lat.copy(), cf.latitude_attributes(False))
    coords[cf.LON] = xr.Variable(cf.LON, places.lon.copy(), cf.longitude_attributes(False))
    return xr.DataArray(out.reshape(lead + (rows, cols)), coords=coords, dims=dims, name=array.name,
                        attrs=array.attrs)


def to_grid(obj):
    """``obj`` (a DataArray or Dataset with a ``cell`` dimension, as ``veldra.open_model(..., grid=False)``
    gives it and any reduction over its other dimensions keeps it) on the model's grid: ``(..., lat, lon)``,
    north first, with the latitudes and longitudes of ``open_model``'s grid form; NaN where no cell lies.
    Where two cells share a place, the later one in the cell file stands, as in every grid of the tools.
    Variables of a Dataset without a ``cell`` dimension are kept as they are. Where a run's cells lie is
    found on the first call and kept (for the last two grids used), for the run's other reductions and
    reopenings: a call checks only that its cells' lat and lon are those the places were found from."""
    if "cell" not in obj.dims:
        raise ValueError("to_grid needs a cell dimension, as veldra.open_model(..., grid=False) gives it")
    places = _places(obj)
    if isinstance(obj, xr.DataArray):
        return _array_to_grid(obj, places)
    variables = {name: _array_to_grid(v, places) if "cell" in v.dims else v.drop_vars(
        [c for c in _CELL_COORDS if c in v.coords], errors="ignore") for name, v in obj.data_vars.items()}
    return xr.Dataset(variables, attrs=obj.attrs)
