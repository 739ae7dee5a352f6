#!/usr/bin/python3
"""The benchmark's yardstick from the Python world: the same gridding job done
with scipy's LinearNDInterpolator (all layers at once), written in the same
volume format (layer fastest, then x, then y; long form, or the short form
where the cell lies outside the hull). Grid placement and the cell centres
follow tervox; the numbers agree with tervox's to rounding, not to the bit.

Usage: scipy_grid.py infile outfile dx dy log
"""
import sys

import numpy as np
from scipy.interpolate import LinearNDInterpolator


def main():
    infile, outfile = sys.argv[1], sys.argv[2]
    dx, dy, log = np.float32(sys.argv[3]), np.float32(sys.argv[4]), int(sys.argv[5])
    with open(infile) as f:
        nlayer = int(f.readline().split()[3])
        f.readline()
        f.readline()
        f.readline()
        data = np.loadtxt(f, dtype=np.float64, usecols=range(2 + nlayer), ndmin=2)
    x = data[:, 0].astype(np.float32)
    y = data[:, 1].astype(np.float32)
    values = data[:, 2:].astype(np.float32).astype(np.float64)
    fill = np.log(np.float64(np.float32(1e-10))) if log == 1 else -100.0
    if log == 1:
        with np.errstate(divide="ignore", invalid="ignore"):
            values = np.log(values)

    def place(loc, d):
        t = np.float64(np.float32(0.4)) * np.float64(d)
        lo = np.float32(np.float64(loc.min()) - t)
        n = int((t + np.float64(loc.max()) - np.float64(lo)) / np.float64(d))
        return lo, n

    xmin, nx = place(x, dx)
    ymin, ny = place(y, dy)
    px = ((np.arange(1, nx + 1) - 0.5) * np.float64(dx) + np.float64(xmin)).astype(np.float32)
    py = ((np.arange(1, ny + 1) - 0.5) * np.float64(dy) + np.float64(ymin)).astype(np.float32)
    interp = LinearNDInterpolator(np.column_stack([x, y]).astype(np.float64), values, fill_value=fill)

    with open(outfile, "w") as out:
        for iy in range(ny):
            row = interp(np.column_stack([px, np.full(nx, py[iy])]).astype(np.float64))
            outside = row[:, 0] == fill
            if log == 1:
                row = np.exp(row)
            lines = []
            for ix in range(nx):
                fmt = "%8.1E\n" if outside[ix] else "%11.4E\n"
                lines.append("".join(fmt % v for v in row[ix]))
            out.write("".join(lines))


if __name__ == "__main__":
    main()
