#!/usr/bin/env python3
"""Writes the soundings files of the end-to-end benchmarks, from fixed seeds.

  S  20,000 soundings at random, 30 layers
  L  100,000 soundings on jittered flight lines, 30 layers
  T  1,000,000 soundings on flight lines sharing x exactly, 20 layers
  T100k  the same survey shape with 100,000 soundings (growth check)
  A  a survey at full scale: 601 flight lines 200 m apart, 100 km long,
     a sounding every 20 m with 3 m of jitter, UTM coordinates, 5 layers
     (3,005,000 soundings, about 230 MB), gridded at 200 m in log mode
  A1M  the same survey with 201 lines (1,005,000 soundings)

Usage: make_bench_data.py OUTDIR [NAME...]
Each file is written once; an existing file is kept. Prints, per file, the
cell size that gives the benchmark's grid and the log switch of its run (see
bench/volume_bench.sh).
"""
import math
import os
import random
import sys

WIDTH = 20000.0  # survey extent in metres, both axes


def airborne_lines(rng, lines):
    """North-south lines from a UTM origin: across the lines x grows, so the
    construction takes the survey line after line."""
    east, north = 420000.0, 6150000.0
    pts = []
    for i in range(lines):
        x0 = east + 200.0 * i
        for j in range(5000):
            pts.append((x0 + rng.uniform(-3, 3), north + 20.0 * j + rng.uniform(-3, 3)))
    return pts


def layer_model(rng, nlayer):
    """A smooth resistivity-like column, 1 to 1000 ohm-m."""
    base = rng.uniform(0.5, 2.5)
    return [10 ** max(0.0, min(3.0, base + 0.6 * math.sin(0.7 * k + base) + rng.gauss(0, 0.05)))
            for k in range(nlayer)]


def random_points(rng, n):
    return [(rng.uniform(0, WIDTH), rng.uniform(0, WIDTH)) for _ in range(n)]


def jittered_lines(rng, n):
    lines = int(math.sqrt(n))
    per_line = n // lines
    pts = []
    for i in range(lines):
        x0 = (i + 0.5) * WIDTH / lines
        for j in range(per_line):
            pts.append((x0 + rng.gauss(0, 0.08 * WIDTH / lines),
                        (j + 0.5 + rng.uniform(-0.3, 0.3)) * WIDTH / per_line))
    return pts


def shared_x_lines(rng, n):
    lines = int(round(math.sqrt(n)))
    per_line = n // lines
    pts = []
    for i in range(lines):
        x0 = round((i + 0.5) * WIDTH / lines, 1)
        for j in range(per_line):
            pts.append((x0, round((j + 0.5) * WIDTH / per_line + rng.uniform(-1, 1), 2)))
    return pts


SETS = {
    # name: (points, count, layers, cells per axis or a cell size in metres
    #        (a float), log switch)
    "S": (random_points, 20000, 30, 1000, 0),
    "L": (jittered_lines, 100000, 30, 2000, 0),
    "T": (shared_x_lines, 1000000, 20, 1000, 0),
    "T100k": (shared_x_lines, 100000, 20, 1000, 0),
    "A": (airborne_lines, 601, 5, 200.0, 1),
    "A1M": (airborne_lines, 201, 5, 200.0, 1),
}

# Values written with more digits than the default "%.4g", as inversion
# software writes them: the full-scale survey's text is as large as a real one.
VALUE_FORMAT = {"A": "%.6f", "A1M": "%.6f"}


def cell_size(pts, cells):
    """A cell size whose grid has exactly `cells` cells on the wider axis."""
    span = max(max(p[0] for p in pts) - min(p[0] for p in pts),
               max(p[1] for p in pts) - min(p[1] for p in pts))
    return span / (cells - 0.3)


def write_set(outdir, name):
    make, count, nlayer, cells, log = SETS[name]
    path = os.path.join(outdir, name + ".txt")
    rng = random.Random(1000 + sum(map(ord, name)))
    pts = make(rng, count)
    size = cells if isinstance(cells, float) else cell_size(pts, cells)
    fmt = VALUE_FORMAT.get(name, "%.4g")
    if not os.path.exists(path):
        with open(path + ".part", "w") as f:
            f.write("Number of layers %d\n" % nlayer)
            f.write("Layer thicknesses (m) " +
                    " ".join("%.2f" % (2.0 * 1.1 ** k) for k in range(nlayer - 1)) + "\n")
            f.write("Number of soundings %d\n" % len(pts))
            f.write("x y " + " ".join("rho%d" % (k + 1) for k in range(nlayer)) + "\n")
            for x, y in pts:
                f.write("%.2f %.2f %s\n" % (x, y, " ".join(fmt % v for v in layer_model(rng, nlayer))))
        os.replace(path + ".part", path)
    print("%s %s %.6f %d" % (name, path, size, log))


if __name__ == "__main__":
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name in sys.argv[2:] or SETS:
        write_set(outdir, name)
