"""Veldra model runs in Python: ``veldra.open_model("run/")`` gives the run as an
xarray Dataset, read lazily from the model folder by the Veldra tools' own
readers; with ``chunks`` it is backed by Dask.

A malformed model file raises ``veldra.ModelError`` (a ``ValueError``), a file
that cannot be opened ``veldra.FileOpenError`` (also an ``OSError``); the text
names the file and says what was expected.
"""

import xarray as xr

from ._veldra import FileOpenError, ModelError
from .backend import ModelWarning, VeldraArray, VeldraBackend, variable_name
from .grid import to_grid

__all__ = ["open_model", "to_grid", "VeldraBackend", "VeldraArray", "ModelError", "FileOpenError", "ModelWarning",
           "variable_name"]


def open_model(folder, *, chunks=None, grid=True, bad_blocks="raise"):
    """The model run in ``folder`` (holding Parms/ and Output/) as an xarray Dataset.

    Every active variable of the output list whose file exists is a variable
    named as ``veldra_export --format netcdf`` names it, float32:

    - ``grid=True``: ``(time, layer, lat, lon)``, or ``(time, lat, lon)`` for a
      variable of one layer, north first; NaN where no rangeland cell lies
      (water and land alike: ``land_mask`` tells them apart) and where a cell
      holds the fill value -9999;
    - ``grid=False``: ``(time, layer, cell)`` in the order of the cell file,
      with ``lat``, ``lon``, ``zone`` and ``range_type`` as cell coordinates.

    ``time`` holds the mid-month dates of the run. Only the small text files
    are read here; values are read from the variable files block by block
    when used. ``chunks`` as for ``xarray.open_dataset``: ``{}`` gives Dask
    arrays of one block (a month of one layer) per chunk, ``{"time": 12}`` a
    year per chunk.

    Values outside the valid range of every Veldra tool (from -1e13 to 1e12,
    both excluded, in single precision) are NaN, as they are no data in the
    NetCDF and GeoTIFF exports. ``bad_blocks`` says what a block whose leading
    records (cell count, year, month) do not match does when read:
    ``"raise"`` (the default) raises ``ModelError``; ``"nan"`` makes that
    month NaN and warns (``ModelWarning``) naming the file, the record, the
    year and the month. A variable file too short for the run fails here,
    at open, either way.

    Cells that share a position of the grid, and variables of the output list
    that cannot be read (a name that leaves ``Output/``, no layer count), are
    told as ``ModelWarning``; such a variable is left out. A cell outside the
    grid, or a run before year 1, raises ``ModelError``.
    """
    return xr.open_dataset(folder, engine=VeldraBackend, chunks=chunks, grid=grid, bad_blocks=bad_blocks)
