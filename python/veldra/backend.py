"""A model run as an xarray Dataset, read lazily from the model folder itself.

The model's text files (the output list, the cell file, the globe file) are
read at open by the readers of the Veldra tools; the values of a variable are
read from its file ``Output/<name>.vrd`` block by block when they are used.
The dataset has the form of what ``veldra_export --format netcdf`` writes:
the same names, coordinates, times and attributes, -9999 (the fill value) and
every position without a rangeland cell as NaN.
"""

import os
import warnings

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

from . import _veldra

FILL_VALUE = np.float32(-9999.0)

_TAKEN_NAMES = ("time", "time_bnds", "lat", "lat_bnds", "lon", "lon_bnds", "bnds", "layer", "layer_label",
                "land_mask", "crs")

_WGS84_WKT = (
    'GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],'
    'AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],'
    'UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AXIS["Latitude",NORTH],'
    'AXIS["Longitude",EAST],AUTHORITY["EPSG","4326"]]')

BAD_BLOCKS = ("raise", "nan")


class ModelWarning(UserWarning):
    """Something in a model's files that does not stop the reading: cells that share a position, a variable
    of the output list that cannot be read, a block whose values were read as NaN."""


def _warn(text):
    warnings.warn(text, ModelWarning, stacklevel=3)


# The value a NetCDF integer variable holds when nothing was written to it,
# as the export's crs variable does.
_NETCDF_INT_FILL = np.int32(-2147483647)


def variable_name(file_name):
    """The name the NetCDF export gives the variable of ``file_name``: byte by byte, letters, digits and
    "_.@+-" kept and anything else "_"."""
    name = "".join(chr(b) if chr(b).isascii() and (chr(b).isalnum() or chr(b) in "_.@+-") else "_"
                   for b in os.fsencode(file_name))
    if not name or not (name[0].isascii() and (name[0].isalpha() or name[0] == "_")):
        name = "v_" + name
    return name + "_value" if name in _TAKEN_NAMES else name


def _first_of_month(year, month):
    """Day number of the first of a month: Gregorian from 15 October 1582, Julian before."""
    if month > 12:
        year, month = year + 1, month - 12
    a = 1 if month <= 2 else 0
    y, m = year + 4800 - a, month + 12 * a - 3
    days = 1 + (153 * m + 2) // 5 + 365 * y + y // 4
    gregorian = year > 1582 or (year == 1582 and month > 10)
    return days - y // 100 + y // 400 - 32045 if gregorian else days - 32083


def _padded(value, width):
    digits = str(abs(value)).rjust(width, "0")
    return "-" + digits if value < 0 else digits


def _axis(low, high, count, cell_size, north_first):
    """Cell centres and bounds along one axis, as the NetCDF export computes them."""
    even = (high - low) / count
    step = even if abs(even - cell_size) <= 1e-5 * cell_size else cell_size
    middle, half = (low + high) / 2, count / 2
    offset = np.arange(count, dtype=np.float64) - half + 0.5
    sign = -1.0 if north_first else 1.0
    centres = middle - offset * step if north_first else middle + offset * step
    bounds = np.stack([centres - sign * step / 2, centres + sign * step / 2], axis=1)
    return centres, bounds


def _time_variables(first_year, last_year):
    """Mid-month times of the run with their bounds, decoded as xarray decodes the export's."""
    reference = _first_of_month(first_year, 1)
    starts = np.array([_first_of_month(y, m) - reference
                       for y in range(first_year, last_year + 1) for m in range(1, 13)] +
                      [_first_of_month(last_year + 1, 1) - reference], dtype=np.float64)
    raw = xr.Dataset({
        "time": ("time", (starts[:-1] + starts[1:]) / 2,
                 {"standard_name": "time", "long_name": "time", "units": f"days since {_padded(first_year, 4)}-01-01",
                  "calendar": "standard", "axis": "T", "bounds": "time_bnds"}),
        "time_bnds": (("time", "bnds"), np.stack([starts[:-1], starts[1:]], axis=1)),
    })
    decoded = xr.decode_cf(raw)
    return decoded["time"].variable, decoded["time_bnds"].variable


def _indices(key, size):
    """The positions an integer, slice or integer array picks from ``size``, and whether it is a scalar."""
    if isinstance(key, (int, np.integer)):
        return np.array([key % size if key < 0 else key], dtype=np.int64), True
    return np.arange(size, dtype=np.int64)[key], False


class VeldraArray(BackendArray):
    """One variable of a run, read from its file when indexed.

    Holds only what a task needs, so that it pickles for Dask workers in
    other processes: the file's path, where the run stands in it, and, for
    the grid, where each cell lies. Each read opens the file anew.
    """

    def __init__(self, path, first_year, months, layers, cell_count, grid=None, bad_blocks="raise"):
        self.path = path
        self.bad_blocks = bad_blocks
        self.first_year = first_year
        self.layers = layers
        self.cell_count = cell_count
        # grid: (rows, cols, cell, row, col), each cell at its position
        # (cell-file indices, ascending; where two share one, the later).
        self.grid = grid
        shape = [months] + ([layers] if layers > 1 else [])
        shape += [grid[0], grid[1]] if grid is not None else [cell_count]
        self.shape = tuple(shape)
        self.dtype = np.dtype(np.float32)

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(key, self.shape, indexing.IndexingSupport.OUTER, self._read)

    def _read(self, key):
        key = tuple(key)
        times, drop_time = _indices(key[0], self.shape[0])
        rest = key[1:]
        if self.layers > 1:
            layers, drop_layer = _indices(rest[0], self.layers)
            rest = rest[1:]
        else:
            layers, drop_layer = np.zeros(1, dtype=np.int64), True
        years = (self.first_year + times // 12).astype(np.int32)
        months = (times % 12 + 1).astype(np.int32)
        numbers = (layers + 1).astype(np.int32)

        if self.grid is None:
            cells, drop_cell = _indices(rest[0], self.cell_count)
            out = self._values(years, months, numbers, cells)
            if drop_cell:
                out = out[:, :, 0]
        else:
            rows, drop_row = _indices(rest[0], self.grid[0])
            cols, drop_col = _indices(rest[1], self.grid[1])
            out = self._grid_values(years, months, numbers, rows, cols)
            if drop_col:
                out = out[:, :, :, 0]
            if drop_row:
                out = out[:, :, 0]
        if drop_layer:
            out = out[:, 0]
        if drop_time:
            out = out[0]
        return out

    def _read_span(self, years, months, numbers, first, count):
        values, notes = _veldra.read_values(os.fsencode(self.path), self.first_year, self.layers,
                                            self.cell_count, years, months, numbers, int(first), int(count),
                                            self.bad_blocks == "nan")
        for note in notes:
            _warn(note + " Its values are NaN.")
        return values

    def _values(self, years, months, numbers, cells):
        """Cells of the compact form: one read of the span of cells the selection covers."""
        if len(cells) == 0 or len(years) == 0:
            return np.empty((len(years), len(numbers), len(cells)), dtype=np.float32)
        first, last = int(cells.min()), int(cells.max())
        values = self._read_span(years, months, numbers, first, last - first + 1)
        contiguous = len(cells) == values.shape[2] and (np.diff(cells) == 1).all()
        return values if contiguous else values[:, :, cells - first]

    def _grid_values(self, years, months, numbers, rows, cols):
        """Positions of the grid: the cells inside the selection, NaN elsewhere."""
        _, _, cell, cell_row, cell_col = self.grid
        rows_u, cols_u = np.unique(rows), np.unique(cols)
        out = np.full((len(years), len(numbers), len(rows_u), len(cols_u)), np.nan, dtype=np.float32)
        if len(rows_u) and len(cols_u) and len(years) and len(cell):
            r = np.minimum(np.searchsorted(rows_u, cell_row), len(rows_u) - 1)
            c = np.minimum(np.searchsorted(cols_u, cell_col), len(cols_u) - 1)
            inside = np.flatnonzero((rows_u[r] == cell_row) & (cols_u[c] == cell_col))
            if len(inside):
                picked = cell[inside]
                first, last = int(picked[0]), int(picked[-1])
                values = self._read_span(years, months, numbers, first, last - first + 1)
                out[:, :, r[inside], c[inside]] = values[:, :, picked - first]
        if not np.array_equal(rows_u, rows):
            out = out[:, :, np.searchsorted(rows_u, rows)]
        if not np.array_equal(cols_u, cols):
            out = out[:, :, :, np.searchsorted(cols_u, cols)]
        return out


def _placed_cells(x, y, cols, rows):
    """The cells that stand at a grid position: inside the grid, the last of each position."""
    inside = np.flatnonzero((x >= 1) & (x <= cols) & (y >= 1) & (y <= rows))
    position = (y[inside].astype(np.int64) - 1) * cols + (x[inside] - 1)
    # The last cell of a position stands: unique keeps the first of the reversed order.
    _, last = np.unique(position[::-1], return_index=True)
    kept = np.sort(inside[len(inside) - 1 - last])
    return kept, (y[kept] - 1).astype(np.int32), (x[kept] - 1).astype(np.int32)


def _layer_coordinates(entries):
    """The layer dimension of each layered variable: "layer" for the first
    layer count and label, "layer_<name>" for another."""
    dims, seen = {}, {}
    for entry in entries:
        if entry["layer_count"] <= 1:
            continue
        kind = (entry["layer_count"], entry["layer_label"])
        if kind not in seen:
            seen[kind] = "layer" if not seen else "layer_" + variable_name(entry["file_name"])
        dims[entry["file_name"]] = seen[kind]
    return dims, {dim: kind for kind, dim in seen.items()}


def open_run(folder, *, grid=True, drop_variables=None, bad_blocks="raise"):
    """The Dataset of a model folder; see veldra.open_model."""
    if bad_blocks not in BAD_BLOCKS:
        raise ValueError(f"bad_blocks must be one of {', '.join(map(repr, BAD_BLOCKS))}, not {bad_blocks!r}")
    folder = os.fspath(folder)
    model = _veldra.load_model(os.fsencode(folder))
    for text in model["warnings"]:
        _warn(text)
    info = model["grid"]
    first_year, last_year = info["first_year"], info["last_year"]
    land = model["land"]
    rows, cols = land.shape
    cells = model["cells"]
    n = len(cells["x"])
    drop = set([drop_variables] if isinstance(drop_variables, str) else drop_variables or ())

    months = (last_year - first_year + 1) * 12
    for entry in model["entries"]:
        if entry["fault"] is not None:
            _warn(entry["fault"] + "; it is left out")
    entries = [e for e in model["entries"] if e["fault"] is None and os.path.isfile(e["path"])
               and variable_name(e["file_name"]) not in drop]
    layer_dims, layer_kinds = _layer_coordinates(entries)

    time, time_bnds = _time_variables(first_year, last_year)
    lat, lat_bnds = _axis(info["south"], info["north"], rows, info["cell_size"], True)
    lon, lon_bnds = _axis(info["west"], info["east"], cols, info["cell_size"], False)
    coords = {"time": time}
    data_vars = {"time_bnds": time_bnds}
    for dim, (count, label) in layer_kinds.items():
        suffix = dim[len("layer"):]
        coords[dim] = xr.Variable(dim, np.arange(1, count + 1, dtype=np.int32), {"long_name": "layer number"})
        labels = np.array([f"{label} {k}" for k in range(1, count + 1)], dtype=object)
        coords["layer_label" + suffix] = xr.Variable(dim, labels, {"long_name": "layer"})

    lat_attrs = {"standard_name": "latitude", "long_name": "latitude", "units": "degrees_north", "axis": "Y"}
    lon_attrs = {"standard_name": "longitude", "long_name": "longitude", "units": "degrees_east", "axis": "X"}
    placed = None
    if grid:
        coords["lat"] = xr.Variable("lat", lat, dict(lat_attrs, bounds="lat_bnds"))
        coords["lon"] = xr.Variable("lon", lon, dict(lon_attrs, bounds="lon_bnds"))
        data_vars["lat_bnds"] = xr.Variable(("lat", "bnds"), lat_bnds)
        data_vars["lon_bnds"] = xr.Variable(("lon", "bnds"), lon_bnds)
        kept, cell_row, cell_col = _placed_cells(cells["x"], cells["y"], cols, rows)
        placed = (rows, cols, kept.astype(np.int64), cell_row, cell_col)
    else:
        inside = (cells["x"] >= 1) & (cells["x"] <= cols) & (cells["y"] >= 1) & (cells["y"] <= rows)
        cell_lat = np.where(inside, lat[np.clip(cells["y"] - 1, 0, max(rows - 1, 0))], np.nan) if rows else \
            np.full(n, np.nan)
        cell_lon = np.where(inside, lon[np.clip(cells["x"] - 1, 0, max(cols - 1, 0))], np.nan) if cols else \
            np.full(n, np.nan)
        # The grid the cells lie on, for veldra.to_grid after any reduction.
        coords["cell"] = xr.Variable("cell", cells["number"], {
            "long_name": "cell number", "grid_shape": np.array([rows, cols], dtype=np.int64),
            "grid_edges": np.array([info["west"], info["south"], info["east"], info["north"]], dtype=np.float64),
            "grid_cell_size": np.float64(info["cell_size"])})
        coords["lat"] = xr.Variable("cell", cell_lat, lat_attrs)
        coords["lon"] = xr.Variable("cell", cell_lon, lon_attrs)
        coords["zone"] = xr.Variable("cell", cells["zone"], {"long_name": "zone"})
        coords["range_type"] = xr.Variable("cell", cells["range_type"], {"long_name": "range type"})

    data_vars["crs"] = xr.Variable((), _NETCDF_INT_FILL, {
        "grid_mapping_name": "latitude_longitude", "longitude_of_prime_meridian": 0.0,
        "semi_major_axis": 6378137.0, "inverse_flattening": 298.257223563, "crs_wkt": _WGS84_WKT})
    if grid:
        mask = land.astype(np.int8)
        mask[placed[3], placed[4]] = 2
        data_vars["land_mask"] = xr.Variable(("lat", "lon"), mask, {
            "long_name": "water, land and rangeland cells", "flag_values": np.array([0, 1, 2], dtype=np.int8),
            "flag_meanings": "water land rangeland", "grid_mapping": "crs"})

    space = ("lat", "lon") if grid else ("cell",)
    for entry in entries:
        layers = entry["layer_count"]
        _veldra.check_variable_file(os.fsencode(entry["path"]), first_year, last_year, layers, n)
        dims = ("time",) + ((layer_dims[entry["file_name"]],) if layers > 1 else ()) + space
        array = VeldraArray(entry["path"], first_year, months, layers, n, placed, bad_blocks)
        attrs = {"long_name": entry["file_name"], "units": entry["units"], "cell_methods": "time: mean",
                 "grid_mapping": "crs"}
        preferred = {"time": 1, dims[1]: 1} if layers > 1 else {"time": 1}
        encoding = {"dtype": np.dtype(np.float32), "_FillValue": FILL_VALUE, "source": entry["path"],
                    "preferred_chunks": preferred}
        data_vars[variable_name(entry["file_name"])] = xr.Variable(
            dims, indexing.LazilyIndexedArray(array), attrs, encoding)

    source = os.path.abspath(model["folder"])
    ds = xr.Dataset(data_vars, coords, attrs={
        "Conventions": "CF-1.8",
        "title": f"Veldra model run, {first_year} to {last_year}",
        "source": f"Veldra model run in {os.path.join(source, '')}",
        "comment": "Water and land without a rangeland cell hold the fill value -9999; land_mask tells them apart."
        if grid else "Values of the rangeland cells in the order of the cell file; -9999 is the fill value.",
    })
    return ds


class VeldraBackend(BackendEntrypoint):
    """xarray's engine "veldra": a model folder (holding Parms/ and Output/) as a Dataset."""

    open_dataset_parameters = ("filename_or_obj", "drop_variables", "grid", "bad_blocks")
    description = "Open a Veldra model run (a folder with Parms/ and Output/) lazily from its own files"

    def open_dataset(self, filename_or_obj, *, drop_variables=None, grid=True, bad_blocks="raise"):
        return open_run(filename_or_obj, grid=grid, drop_variables=drop_variables, bad_blocks=bad_blocks)

    def guess_can_open(self, filename_or_obj):
        try:
            folder = os.fspath(filename_or_obj)
        except TypeError:
            return False
        return os.path.isfile(os.path.join(folder, "Parms", "Output_List.vrl"))
