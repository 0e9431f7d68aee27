"""The numpy limit of bench_fields: a summary of a variable file of one layer
read whole with np.fromfile and reduced with whole-array operations.

    fields_numpy_anchor.py VARIABLE_FILE CELLS YEARS SUMMARY OUT

SUMMARY is annual-mean, climatology or trend (as bench_fields names them);
the fields are written to OUT as little-endian float32, one after another,
for bench_fields to compare with its own. Prints the seconds from the read to
the last field (the interpreter and numpy's import not counted).
"""
import sys
import time

import numpy as np


def main():
    path, cells, years, summary, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
    start = time.perf_counter()
    months = np.fromfile(path, dtype="<f4", count=years * 12 * (cells + 3)).reshape(years * 12, cells + 3)[:, 3:]
    valid = (months > -1e13) & (months < 1e12)  # NaN is neither
    values = np.where(valid, months, 0).astype(np.float64)
    with np.errstate(invalid="ignore", divide="ignore"):
        if summary == "climatology":
            result = values.reshape(years, 12, cells).sum(0) / valid.reshape(years, 12, cells).sum(0)
        else:
            counts = valid.reshape(years, 12, cells).sum(1)
            means = values.reshape(years, 12, cells).sum(1) / counts  # NaN where a year has no value
            if summary == "annual-mean":
                result = means
            else:  # trend: least squares over the years with a mean, per decade
                has = counts > 0
                t = np.arange(years, dtype=np.float64)[:, None] * has
                y = np.where(has, means, 0)
                n = has.sum(0)
                st, stt, sy, sty = t.sum(0), (t * t).sum(0), y.sum(0), (t * y).sum(0)
                result = 10 * (n * sty - st * sy) / (n * stt - st * st)
                result[n < 3] = np.nan
    result = result.astype("<f4")
    seconds = time.perf_counter() - start
    result.tofile(out)
    print(f"{seconds:.6f}")


if __name__ == "__main__":
    main()
