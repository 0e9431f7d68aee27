"""The floor of a table of regions: numpy reads a variable file whole and
averages the cells of each month, nothing more (no regions, no validity, no
text). bench_regions runs it beside the table of zones.

Usage: regions_numpy_limit.py VARIABLE_FILE CELLS MONTHS
Prints the seconds of the read and the means (after numpy's import).
"""
import sys
import time

import numpy as np


def main():
    path, cells, months = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    start = time.perf_counter()
    blocks = np.fromfile(path, dtype="<f4", count=months * (cells + 3)).reshape(months, cells + 3)
    means = blocks[:, 3:].mean(axis=1, dtype=np.float64)
    seconds = time.perf_counter() - start
    if means.shape != (months,):
        sys.exit("regions_numpy_limit: the file holds fewer months than asked for")
    print(f"{seconds:.6f}")


if __name__ == "__main__":
    main()
