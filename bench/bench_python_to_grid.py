#!/usr/bin/python3
"""bench_python_to_grid: the time mean of a run as a map, through the compact
form and veldra.to_grid, side by side with numpy reading the variable file,
on the synthetic 1/12-degree run of bench_python_open (4320 x 2160 positions,
200,000 cells, 10 years, one layer, a 96 MB variable file):

  numpy:   np.fromfile of the variable file, the mean of each cell over the
           months, scattered onto the grid (the limit);
  to_grid: veldra.to_grid(veldra.open_model(run, grid=False).Fine.mean("time"));
  the same, places unknown: to_grid having forgotten where the cells of the
           runs it has seen lie, as on its first call for a run (it finds
           them from the cells' lat and lon);
  the same with mean("time", skipna=False): xarray's mean that skips NaN
           (its default for floats) takes about half the time of to_grid;
  grid:    veldra.open_model(run).Fine.mean("time"), the grid form.

Every side runs in one process after its imports (imports are not timed),
the file in the page cache (a first read warms it); the best and the median
of --rounds rounds are printed, the ratio of the medians to numpy's, and
whether the maps are equal.

xarray's mean is numpy's nanmean whether or not bottleneck is installed
(xarray 2023.01, Debian 12's, takes bottleneck for min, max, median, std and
var, not for mean); --no-bottleneck sets use_bottleneck=False all the same,
as on a machine without python3-bottleneck. --no-grid-form leaves out the
grid form, which takes tens of seconds a round.

Usage: bench_python_to_grid.py [--build DIR] [--work DIR] [--rounds N] [--keep] [--no-bottleneck]
                               [--no-grid-form]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

import numpy as np
import xarray as xr

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from bench_python_open import CELLS, COLS, ROWS, make_run  # noqa: E402


def numpy_map(folder):
    cells = np.loadtxt(folder / "Output/Rng_Data.vrd", skiprows=1, dtype=np.int64, usecols=(2, 3))
    values = np.fromfile(folder / "Output/Fine.vrd", dtype="<f4").reshape(-1, CELLS + 3)[:, 3:]
    grid = np.full((ROWS, COLS), np.nan, dtype=np.float32)
    grid[cells[:, 1] - 1, cells[:, 0] - 1] = values.mean(axis=0)
    return grid


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(HERE.parent / "build"))
    parser.add_argument("--work", default=None)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--no-bottleneck", action="store_true")
    parser.add_argument("--no-grid-form", action="store_true")
    args = parser.parse_args()
    if args.no_bottleneck:
        xr.set_options(use_bottleneck=False)
    sys.path.insert(0, str(pathlib.Path(args.build) / "python"))
    import veldra

    work = pathlib.Path(args.work or tempfile.gettempdir()) / f"veldra_bench_to_grid_{os.getpid()}"
    folder = work / "run"
    try:
        started = time.monotonic()
        make_run(pathlib.Path(args.build) / "sample_model", folder)
        print(f"made the run in {time.monotonic() - started:.1f} s")
        sides = {
            "numpy": lambda: numpy_map(folder),
            "to_grid": lambda: veldra.to_grid(veldra.open_model(folder, grid=False).Fine.mean("time")).values,
            "to_grid, places unknown": lambda: (getattr(veldra.grid, "_known", {}).clear(), veldra.to_grid(
                veldra.open_model(folder, grid=False).Fine.mean("time")).values)[1],
            "to_grid, skipna=False": lambda: veldra.to_grid(
                veldra.open_model(folder, grid=False).Fine.mean("time", skipna=False)).values,
            "grid form": lambda: veldra.open_model(folder).Fine.mean("time").values,
        }
        if args.no_grid_form:
            del sides["grid form"]
        try:
            import bottleneck
            have = bottleneck.__version__ + " installed"
        except ImportError:
            have = "not installed"
        print(f"bottleneck {have}, use_bottleneck={xr.get_options()['use_bottleneck']}")
        results, times = {}, {name: [] for name in sides}
        numpy_map(folder)  # the page cache
        for _ in range(args.rounds):
            for name, side in sides.items():
                t0 = time.perf_counter()
                results[name] = side()
                times[name].append(time.perf_counter() - t0)
        base = statistics.median(times["numpy"])
        for name, seconds in times.items():
            median = statistics.median(seconds)
            print(f"{name:24s} median {median:6.3f} s  best {min(seconds):6.3f} s  "
                  f"{median / base:5.2f} x numpy")
        equal = all(np.allclose(results["numpy"], r, rtol=1e-6, equal_nan=True) for r in results.values())
        print("the maps are equal" if equal else "THE MAPS DIFFER")
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
