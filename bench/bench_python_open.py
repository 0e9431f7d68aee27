#!/usr/bin/python3
"""bench_python_open: a run opened in Python from its model folder against the
same run converted to NetCDF first, on a synthetic 1/12-degree run
(4320 x 2160 positions, 200,000 cells, 10 years, one layer):

  (a) veldra.open_model(folder, chunks={"time": -1, "lat": 30}) and the time
      mean of the variable, computed by Dask on a LocalCluster of 2 worker
      processes: each task reads the whole run of a band of 30 rows (the
      cells of the band, month by month) and averages it;
  (b) veldra_export --format netcdf of the run (default deflate level 4), then
      xarray.open_dataset(file, chunks={}) (the file's own chunks, a month
      each) and the same mean on such a cluster.

Each side runs as its own process under /usr/bin/time -v, one after the
other. Printed for each: the seconds of the steps and in all (without the
cluster's start, shown apart), the peak resident memory of the whole process
tree (the program and its workers, sampled every 50 ms) and the largest
single process (from /usr/bin/time). Then the ratio (b)/(a) of the times
(goal: at least 5) and whether both means equal numpy's mean of the
variable file.

The model is made in numpy from the sample model's half-degree globe, each
of its cells 6 x 6 positions, the 200,000 cells spread evenly over the land in
row order, the values a smooth seasonal field with a little noise.

Usage: bench_python_open.py [--build DIR] [--work DIR] [--keep] [--only a|b]

--build is the build folder (default: build/ beside bench/), which holds
bin/veldra_export, python/ and sample_model/. The work folder (default $TMPDIR
or /tmp, then veldra_bench_python_<pid>) holds the model (about 100 MB) and
the NetCDF file; both are removed at the end unless --keep.
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

COLS, ROWS, CELLS, YEARS, FIRST_YEAR = 4320, 2160, 200_000, 10, 2000

SIDE_A = r"""
import sys, time, numpy as np, distributed, veldra
folder, result = sys.argv[1], sys.argv[2]
t0 = time.monotonic()
with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
        distributed.Client(cluster):
    t1 = time.monotonic()
    ds = veldra.open_model(folder, chunks={"time": -1, "lat": 30})
    t2 = time.monotonic()
    mean = ds.Fine.mean("time").compute()
    t3 = time.monotonic()
np.save(result, mean.values)
print(f"cluster {t1 - t0:.2f} open {t2 - t1:.3f} mean {t3 - t2:.2f}")
"""

SIDE_B = r"""
import subprocess, sys, time, numpy as np, distributed, xarray as xr
tool, folder, out, result = sys.argv[1:5]
t0 = time.monotonic()
with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
        distributed.Client(cluster):
    t1 = time.monotonic()
    subprocess.run([tool, "--model", folder, "--variable", "Fine", "--out", out, "--format", "netcdf", "--quiet"],
                   check=True)
    t2 = time.monotonic()
    ds = xr.open_dataset(out + "/Fine.nc", chunks={})
    t3 = time.monotonic()
    mean = ds.Fine.mean("time").compute()
    t4 = time.monotonic()
np.save(result, mean.values)
print(f"cluster {t1 - t0:.2f} export {t2 - t1:.2f} open {t3 - t2:.3f} mean {t4 - t3:.2f}")
"""


def make_run(sample, folder):
    """The synthetic run in `folder`, from the sample model's globe file."""
    lines = (sample / "Output/Globe.vrd").read_text().split("\n")[:360]
    coarse = np.array([[c == "T" for c in line.rstrip("\r").ljust(720, "F")[:720]] for line in lines])
    land = np.repeat(np.repeat(coarse, 6, axis=0), 6, axis=1)
    (folder / "Parms").mkdir(parents=True)
    (folder / "Output").mkdir()
    (folder / "Parms/Output_List.vrl").write_text(
        "Veldra output variables\r\nOn  File name                           L   Label         Units\r\n"
        "1   Fine                                1   Layer         cm\r\n", newline="")
    globe = np.where(land, b"T", b"F").view("S1").reshape(ROWS, COLS)
    with open(folder / "Output/Globe.vrd", "wb") as f:
        for row in globe:
            f.write(row.tobytes() + b"\r\n")
    positions = np.flatnonzero(land.ravel())
    cells = positions[np.arange(CELLS, dtype=np.int64) * len(positions) // CELLS]
    x, y = cells % COLS + 1, cells // COLS + 1
    with open(folder / "Output/Rng_Data.vrd", "w", newline="") as f:
        f.write(f"{CELLS} {COLS} {ROWS} -180 -90 180 90 0.0833333 {FIRST_YEAR} {FIRST_YEAR + YEARS - 1}\r\n")
        f.write("".join(f"{i + 1} 1 {a} {b} 1\r\n" for i, (a, b) in enumerate(zip(x, y))))
    lat, lon = 90 - (y - 0.5) / 12, -180 + (x - 0.5) / 12
    noise = np.random.default_rng(7)
    with open(folder / "Output/Fine.vrd", "wb") as f:
        for year in range(FIRST_YEAR, FIRST_YEAR + YEARS):
            for month in range(1, 13):
                season = np.cos((month - 1 + lon / 30) * np.pi / 6) * np.sin(np.radians(lat))
                values = np.maximum(0, 8 + 6 * season + 0.5 * noise.random(CELLS))
                f.write(np.concatenate([[CELLS, year, month], values]).astype("<f4").tobytes())


def reference_mean(folder):
    """The time mean of the run as a grid, from the variable file with numpy alone."""
    cells = np.loadtxt(folder / "Output/Rng_Data.vrd", skiprows=1, dtype=np.int64)
    values = np.fromfile(folder / "Output/Fine.vrd", dtype="<f4").reshape(-1, CELLS + 3)[:, 3:]
    grid = np.full((ROWS, COLS), np.nan, dtype=np.float32)
    grid[cells[:, 3] - 1, cells[:, 2] - 1] = values.mean(axis=0)
    return grid


def tree_rss(pid):
    """Resident bytes of a process and its descendants, from /proc."""
    children = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry.name))
            except OSError:
                continue
    total, todo = 0, [pid]
    while todo:
        p = todo.pop()
        todo += children.get(p, [])
        try:
            total += int(pathlib.Path(f"/proc/{p}/statm").read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")
        except OSError:
            pass
    return total


def run_side(args, env):
    """Runs one side under /usr/bin/time -v: its output, seconds, tree peak and largest process."""
    start = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-v", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=env)
    peak = [0]

    def sample():
        while proc.poll() is None:
            peak[0] = max(peak[0], tree_rss(proc.pid))
            time.sleep(0.05)

    sampler = threading.Thread(target=sample)
    sampler.start()
    out, err = proc.communicate()
    sampler.join()
    seconds = time.monotonic() - start
    if proc.returncode != 0:
        sys.exit(f"bench_python_open: {args[0]} failed:\n{err}")
    largest = next(int(line.split(":")[1]) * 1024 for line in err.splitlines() if "Maximum resident" in line)
    return out.strip(), seconds, peak[0], largest


def work_seconds(steps):
    """The seconds of a side's steps ("cluster 1.2 open 0.1 mean 3.4"), but for the cluster's start."""
    words = steps.split()
    return sum(float(v) for k, v in zip(words[::2], words[1::2]) if k != "cluster")


def main():
    here = pathlib.Path(__file__).resolve().parent
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", type=pathlib.Path, default=here.parent / "build")
    parser.add_argument("--work", type=pathlib.Path,
                        default=pathlib.Path(tempfile.gettempdir()) / f"veldra_bench_python_{os.getpid()}")
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--only", choices=["a", "b"])
    opts = parser.parse_args()
    build = opts.build.resolve()
    work = opts.work.resolve()
    folder, out = work / "model", work / "netcdf"
    env = dict(os.environ, PYTHONPATH=str(build / "python"))
    try:
        start = time.monotonic()
        make_run(build / "sample_model", folder)
        out.mkdir()
        print(f"run: 1/12 degree ({COLS} x {ROWS}), {CELLS:,} cells, {YEARS} years, 1 layer, in {folder} "
              f"(made in {time.monotonic() - start:.1f} s)")
        sides = {
            "a": ("(a) open_model + mean", [sys.executable, "-c", SIDE_A, str(folder), str(work / "a.npy")]),
            "b": ("(b) export + open + mean", [sys.executable, "-c", SIDE_B, str(build / "bin/veldra_export"),
                                               str(folder), str(out), str(work / "b.npy")]),
        }
        expected = reference_mean(folder)
        mb, seconds, equal = 1 << 20, {}, True
        for key in [opts.only] if opts.only else ["a", "b"]:
            name, args = sides[key]
            steps, whole, tree, largest = run_side(args, env)
            seconds[key] = work_seconds(steps)
            same = np.allclose(np.load(work / (key + ".npy")), expected, rtol=1e-5, equal_nan=True)
            equal = equal and same
            print(f"{name:26s} {seconds[key]:7.2f} s   [{steps}]   whole process {whole:.2f} s,"
                  f" peak memory {tree / mb:.0f} MB (tree), {largest / mb:.0f} MB (largest process);"
                  f" the mean {'is' if same else 'is NOT'} numpy's")
        if len(seconds) == 2:
            print(f"(b)/(a): {seconds['b'] / seconds['a']:.1f} (goal: at least 5); "
                  f"NetCDF file {os.path.getsize(out / 'Fine.nc') / mb:.0f} MB")
        return 0 if equal else 1
    finally:
        if not opts.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
