#!/usr/bin/python3
"""bench_export_summaries: veldra_export's summaries and table of zones end to
end, on the 1/12-degree run of 200,000 cells and 10 years that bench_fields
builds into build/bench/fields_model (run `build/bench/bench_fields --reps 1`
once first).

For each of annual-mean, climatology and trend, the best of --reps runs of
  (a) `veldra_export --summary S --format netcdf` (the whole program: reading
      the run, the summary, the NetCDF file written),
  (b) the numpy limit bench/fields_numpy_anchor.py (the variable file read
      whole and reduced; the whole program, and its own time from the read),
  (c) the CDO equivalent (`cdo yearmean`, `cdo ymonmean`, `cdo regres`) on the
      plain NetCDF export of the same run, made once and not counted;
then `--regions zone --format csv` against bench/regions_numpy_limit.py; then
the peak memory (/usr/bin/time's maximum resident set) of the annual-mean
NetCDF and of the zone table over 2 years and over 10.

Goals: (a) within 2x of (b), at least 30x faster than (c), memory the same
over 2 and 10 years.

Usage: bench_export_summaries.py [--build DIR] [--reps N]
"""
import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
CELLS, YEARS = 200_000, 10


def timed(command):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed: {done.stderr}")
    return seconds, done.stdout


def best(command, reps):
    return min(timed(command)[0] for _ in range(reps))


def peak_kib(command):
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *command], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed: {done.stderr}")
    return int(done.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(HERE.parent / "build"))
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    model = build / "bench" / "fields_model"
    export = build / "bin" / "veldra_export"
    variable_file = model / "Output" / "Fine.vrd"
    if not variable_file.exists():
        sys.exit(f"{variable_file} is missing: run {build}/bench/bench_fields --reps 1 first")
    first = int((model / "Output" / "Rng_Data.vrd").read_text().split()[8])
    work = pathlib.Path(tempfile.mkdtemp(prefix="veldra_bench_summaries_"))
    try:
        base = [str(export), "--model", str(model), "--variable", "Fine", "--quiet"]
        plain = work / "plain"
        subprocess.run(base + ["--format", "netcdf", "--out", str(plain)], check=True)
        cdo = {"annual-mean": "yearmean", "climatology": "ymonmean", "trend": "regres"}
        print(f"{'summary':<12} {'veldra_export':>13} {'numpy prog':>10} {'numpy own':>9} {'cdo':>8}"
              f" {'x numpy':>7} {'cdo / ours':>10}")
        for summary, operator in cdo.items():
            ours = best(base + ["--format", "netcdf", "--summary", summary, "--out", str(work / "s")], args.reps)
            anchor = [sys.executable, str(HERE / "fields_numpy_anchor.py"), str(variable_file), str(CELLS),
                      str(YEARS), summary, str(work / "numpy.f32")]
            runs = [timed(anchor) for _ in range(args.reps)]
            numpy_program = min(r[0] for r in runs)
            numpy_own = min(float(r[1].split()[0]) for r in runs)
            theirs = best(["cdo", "-s", "-O", operator, str(plain / "Fine.nc"), str(work / "cdo.nc")], 1)
            print(f"{summary:<12} {ours:>12.2f}s {numpy_program:>9.2f}s {numpy_own:>8.2f}s {theirs:>7.1f}s"
                  f" {ours / numpy_program:>7.2f} {theirs / ours:>10.1f}")
        zones = best(base + ["--format", "csv", "--regions", "zone", "--out", str(work / "t")], args.reps)
        limit = [sys.executable, str(HERE / "regions_numpy_limit.py"), str(variable_file), str(CELLS), str(YEARS * 12)]
        limit_program = min(timed(limit)[0] for _ in range(args.reps))
        print(f"zone table   {zones:>12.2f}s {limit_program:>9.2f}s {'':>9} {'':>8} {zones / limit_program:>7.2f}")
        for name, extra in (("annual-mean netcdf", ["--format", "netcdf", "--summary", "annual-mean"]),
                            ("zone table", ["--format", "csv", "--regions", "zone"])):
            two = peak_kib(base + extra + ["--to", str(first + 1), "--out", str(work / "m")])
            ten = peak_kib(base + extra + ["--out", str(work / "m")])
            print(f"peak memory of the {name}: {two / 1024:.0f} MiB over 2 years, {ten / 1024:.0f} MiB over 10")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
