"""A model run as an xarray Dataset, read lazily from the model folder itself.

The model's text files (the output list, the cell file, the globe file) are
read at open by the readers of the Veldra tools; the values of a variable are
read from its file ``Output/<name>.vrd`` block by block when they are used.
The dataset has the form of what ``veldra_export --format netcdf`` writes:
the same names, coordinates, times and attributes, -9999 (the fill value) and
every position without a rangeland cell as NaN. The names, axes, times and
attributes come from the export's own CF layout (``_veldra.cf``).
"""

import functools
import os
import warnings

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

from . import _veldra
from ._veldra import cf

FILL_VALUE = np.float32(cf.FILL_VALUE)

BAD_BLOCKS = ("raise", "nan")


class ModelWarning(UserWarning):
    """Something in a model's files that does not stop the reading: cells that share a position, a variable
    of the output list that cannot be read, a block whose values were read as NaN."""


def _warn(text):
    warnings.warn(text, ModelWarning, stacklevel=3)


def variable_name(file_name):
    """The name the NetCDF export gives the variable of ``file_name``: byte by byte, letters, digits and
    "_.@+-" kept and anything else "_"."""
    return cf.variable_name(os.fsencode(file_name))


@functools.lru_cache(maxsize=16)
def _decoded_times(first_year, last_year):
    middles, bounds = cf.time_axis(first_year, last_year)
    raw = xr.Dataset({
        cf.TIME: (cf.TIME, middles, cf.time_attributes(first_year)),
        cf.TIME_BNDS: ((cf.TIME, cf.BNDS), bounds),
    })
    decoded = xr.decode_cf(raw)
    return decoded[cf.TIME].variable, decoded[cf.TIME_BNDS].variable


def _time_variables(first_year, last_year):
    """Mid-month times of the run with their bounds, decoded as xarray decodes the export's: decoded once
    for a span of years, and each dataset given copies of its own."""
    return tuple(xr.Variable(v.dims, v.values.copy(), dict(v.attrs), dict(v.encoding))
                 for v in _decoded_times(first_year, last_year))


def _indices(key, size):
    """The positions an integer, slice or integer array picks from ``size``, and whether it is a scalar."""
    if isinstance(key, (int, np.integer)):
        return np.array([key % size if key < 0 else key], dtype=np.int64), True
    return np.arange(size, dtype=np.int64)[key], False


def _run(key, size):
    """(first, count) of the consecutive positions a slice of step 1 picks from ``size``; None for any
    other key."""
    if isinstance(key, slice):
        start, stop, step = key.indices(size)
        if step == 1:
            return start, max(stop - start, 0)
    return None


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
            run = _run(rest[0], self.cell_count)
            if run is not None:
                # A run of cells (all of them, as a reduction takes them): one read into the array.
                out = self._span_values(years, months, numbers, *run)
            else:
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

    def _span_values(self, years, months, numbers, first, count):
        """Cells first .. first + count - 1 of the compact form."""
        if count == 0 or len(years) == 0:
            return np.empty((len(years), len(numbers), count), dtype=np.float32)
        return self._read_span(years, months, numbers, first, count)

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
            seen[kind] = cf.LAYER if not seen else cf.LAYER + "_" + variable_name(entry["file_name"])
        dims[entry["file_name"]] = seen[kind]
    return dims, {dim: kind for kind, dim in seen.items()}


def open_run(folder, *, grid=True, drop_variables=None, bad_blocks="raise"):
    """The Dataset of a model folder; see veldra.open_model."""
    if bad_blocks not in BAD_BLOCKS:
        raise ValueError(f"bad_blocks must be one of {', '.join(map(repr, BAD_BLOCKS))}, not {bad_blocks!r}")
    folder = os.fspath(folder)
    model = _veldra.load_model(os.fsencode(folder), land=grid)
    for text in model["warnings"]:
        _warn(text)
    info = model["grid"]
    first_year, last_year = info["first_year"], info["last_year"]
    rows, cols = model["shape"]
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
    lat, lat_bnds = cf.axis(info["south"], info["north"], rows, info["cell_size"], True)
    lon, lon_bnds = cf.axis(info["west"], info["east"], cols, info["cell_size"], False)
    coords = {cf.TIME: time}
    data_vars = {cf.TIME_BNDS: time_bnds}
    for dim, (count, label) in layer_kinds.items():
        suffix = dim[len(cf.LAYER):]
        coords[dim] = xr.Variable(dim, np.arange(1, count + 1, dtype=np.int32), cf.layer_attributes())
        labels = np.array([cf.layer_label(os.fsencode(label), k) for k in range(1, count + 1)], dtype=object)
        coords[cf.LAYER_LABEL + suffix] = xr.Variable(dim, labels, cf.layer_label_attributes())

    placed = None
    if grid:
        coords[cf.LAT] = xr.Variable(cf.LAT, lat, cf.latitude_attributes(True))
        coords[cf.LON] = xr.Variable(cf.LON, lon, cf.longitude_attributes(True))
        data_vars[cf.LAT_BNDS] = xr.Variable((cf.LAT, cf.BNDS), lat_bnds)
        data_vars[cf.LON_BNDS] = xr.Variable((cf.LON, cf.BNDS), lon_bnds)
        kept, cell_row, cell_col = _placed_cells(cells["x"], cells["y"], cols, rows)
        placed = (rows, cols, kept.astype(np.int64), cell_row, cell_col)
    else:
        inside = (cells["x"] >= 1) & (cells["x"] <= cols) & (cells["y"] >= 1) & (cells["y"] <= rows)
        if inside.all():  # the loader refuses a cell outside the grid
            cell_lat, cell_lon = lat[cells["y"] - 1], lon[cells["x"] - 1]
        else:
            cell_lat = np.where(inside, lat[np.clip(cells["y"] - 1, 0, max(rows - 1, 0))], np.nan) if rows else \
                np.full(n, np.nan)
            cell_lon = np.where(inside, lon[np.clip(cells["x"] - 1, 0, max(cols - 1, 0))], np.nan) if cols else \
                np.full(n, np.nan)
        # The grid the cells lie on, for veldra.to_grid after any reduction.
        coords["cell"] = xr.Variable("cell", cells["number"], {
            "long_name": "cell number", "grid_shape": np.array([rows, cols], dtype=np.int64),
            "grid_edges": np.array([info["west"], info["south"], info["east"], info["north"]], dtype=np.float64),
            "grid_cell_size": np.float64(info["cell_size"])})
        coords[cf.LAT] = xr.Variable("cell", cell_lat, cf.latitude_attributes(False))
        coords[cf.LON] = xr.Variable("cell", cell_lon, cf.longitude_attributes(False))
        coords["zone"] = xr.Variable("cell", cells["zone"], {"long_name": "zone"})
        coords["range_type"] = xr.Variable("cell", cells["range_type"], {"long_name": "range type"})

    data_vars[cf.CRS] = xr.Variable((), np.int32(cf.CRS_VALUE), cf.crs_attributes())
    if grid:
        mask = model["land"].astype(np.int8)
        mask[placed[3], placed[4]] = 2
        data_vars[cf.LAND_MASK] = xr.Variable((cf.LAT, cf.LON), mask, cf.land_mask_attributes())

    space = (cf.LAT, cf.LON) if grid else ("cell",)
    for entry in entries:
        layers = entry["layer_count"]
        _veldra.check_variable_file(os.fsencode(entry["path"]), first_year, last_year, layers, n)
        dims = (cf.TIME,) + ((layer_dims[entry["file_name"]],) if layers > 1 else ()) + space
        array = VeldraArray(entry["path"], first_year, months, layers, n, placed, bad_blocks)
        attrs = cf.data_attributes(os.fsencode(entry["file_name"]), os.fsencode(entry["units"]), layers > 1)
        # xarray names a variable's coordinates itself, as it does on reading
        # the export's file: layer_label is one of the dataset's.
        attrs.pop("coordinates", None)
        preferred = {cf.TIME: 1, dims[1]: 1} if layers > 1 else {cf.TIME: 1}
        encoding = {"dtype": np.dtype(np.float32), "_FillValue": FILL_VALUE, "source": entry["path"],
                    "preferred_chunks": preferred}
        data_vars[variable_name(entry["file_name"])] = xr.Variable(
            dims, indexing.LazilyIndexedArray(array), attrs, encoding)

    source = os.path.join(os.path.abspath(model["folder"]), "")
    return xr.Dataset(data_vars, coords,
                      attrs=cf.global_attributes(os.fsencode(source), first_year, last_year, grid))


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
