"""The mesh and volume files of tervox parsed on their own, in plain Python,
for the checks that compare what other programs read from tervox-view's
files with the grid itself.
"""
import math
import os
import re
import subprocess
import sys

import numpy as np

# Whole-run cases of tests/golden: (folder, volume file).
GOLDEN_CASES = [
    ("survey_linear", "survey.vol"),  # 73 x 80 cells, 12 layers, filled cells
    ("survey_log", "survey.vol"),  # log mode: 1.0E-10 in filled cells
    ("three_soundings", "three.vol"),  # long-form -100 in layer 2 is a value
    ("log_nonpositive", "nonpositive.vol"),  # NaN in long-form cells
    ("hull_boundary", "boundary.vol"),
    ("single_layer", "single.vol"),  # one layer, 1.00 thick
]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def parse_mesh(path):
    """The five fixed-width lines: counts, origin, cell sizes, thicknesses."""
    with open(path) as f:
        lines = f.read().split("\n")
    nx, ny, nlayer = (int(lines[0][i : i + 5]) for i in (0, 5, 10))
    xmin, ymin = float(lines[1][0:12]), float(lines[1][12:24])
    dx, dy = float(lines[2][4:]), float(lines[3][4:])
    dz = [float(lines[4][i : i + 8]) for i in range(0, 8 * nlayer, 8)]
    return nx, ny, nlayer, xmin, ymin, dx, dy, dz


def parse_volume(path, nx, ny, nlayer):
    """values[iy, ix, k] (not-a-number where there is none) and filled[iy, ix]."""
    with open(path) as f:
        lines = f.read().split("\n")
    if lines[-1] != "" or len(lines) - 1 != nx * ny * nlayer:
        fail(f"{path}: {len(lines) - 1} lines for {nx} x {ny} x {nlayer}")
    lines.pop()
    filled = np.array([len(l) == 8 for l in lines[::nlayer]]).reshape(ny, nx)
    values = np.empty(len(lines), dtype=np.float32)
    for i, l in enumerate(lines):
        v = math.nan if "*" in l else float(l)
        values[i] = v if math.isfinite(v) else math.nan
    values = values.reshape(ny, nx, nlayer)
    values[filled] = np.nan
    return values, filled


def read_grid(folder, volume):
    """The mesh's numbers and the volume's arrays, as a dict."""
    nx, ny, nlayer, xmin, ymin, dx, dy, dz = parse_mesh(os.path.join(folder, volume + ".mesh"))
    values, filled = parse_volume(os.path.join(folder, volume), nx, ny, nlayer)
    return dict(nx=nx, ny=ny, nlayer=nlayer, xmin=xmin, ymin=ymin, dx=dx, dy=dy, dz=dz,
                depth=np.concatenate(([0.0], np.cumsum(dz))), values=values, filled=filled)


def same_values(got, expected):
    """Equal shapes, not-a-number in the same places, equal numbers elsewhere."""
    return got.shape == expected.shape and np.array_equal(
        np.isnan(got), np.isnan(expected)
    ) and np.array_equal(got[~np.isnan(got)], expected[~np.isnan(expected)])


def readme_python(source, heading):
    """The first python block of the README after `heading`."""
    with open(os.path.join(source, "README.md")) as f:
        text = f.read()
    section = text[text.index(heading):]
    match = re.search(r"```python\n(.*?)```", section, re.S)
    if not match:
        fail(f"README.md: no python block under {heading!r}")
    return match.group(1)


def run_in(folder, code):
    """Runs python lines in `folder`; returns the names they set."""
    here = os.getcwd()
    os.chdir(folder)
    try:
        names = {}
        exec(code, names)
    finally:
        os.chdir(here)
    return names


def run(args, what):
    """Runs a program that must succeed without a word."""
    r = subprocess.run(args, capture_output=True, text=True)
    if r.returncode != 0 or r.stdout or r.stderr:
        fail(f"{what}: exit {r.returncode}: {r.stdout}{r.stderr}")


def placed(folder, volume, work, xmin, ymin, cell=None):
    """The grid of `volume` moved to the corner (xmin, ymin) and given cells
    of `cell` (its own when None), so that it lies where a coordinate system
    is meant to be used: (folder, volume) of a copy in `work`."""
    nx, ny, _, _, _, dx, dy, _ = parse_mesh(os.path.join(folder, volume + ".mesh"))
    with open(os.path.join(folder, volume + ".mesh")) as f:
        lines = f.read().split("\n")
    lines[1] = f"{xmin:12.1f}{ymin:12.1f} 0.0"
    if cell is not None:
        lines[2], lines[3] = f"{nx:3d}*{cell:.3f}", f"{ny:3d}*{cell:.3f}"
    name = f"at_{xmin:g}_{ymin:g}_{volume}"
    with open(os.path.join(work, name + ".mesh"), "w") as f:
        f.write("\n".join(lines))
    target = os.path.join(work, name)
    if not os.path.lexists(target):
        os.symlink(os.path.abspath(os.path.join(folder, volume)), target)
    return work, name


def survey_grid(tervox, work, nx_target=600):
    """A grid wider than one chunk or tile and several bands of rows high,
    made by tervox from soundings on flight lines: (folder, volume)."""
    soundings = os.path.join(work, "lines.txt")
    rng = np.random.default_rng(7)
    points = []
    for line in range(8):
        y = 1000.0 + line * 130.0 + rng.uniform(-20, 20)
        for x in np.arange(0.0, nx_target * 10.0, 23.0):
            points.append((x + rng.uniform(-5, 5), y + rng.uniform(-5, 5)))
    with open(soundings, "w") as f:
        f.write("Number of layers 3\nLayer thicknesses (m)\n2.5 7.5\n")
        f.write(f"Number of soundings {len(points)}\nx y v1 v2 v3\n")
        for i, (x, y) in enumerate(points):
            f.write(f"{x:.2f} {y:.2f} {10 + x / 100:.3f} {1 + y / 100:.3f} {1000 + i % 97}\n")
    run([tervox, soundings, os.path.join(work, "lines.vol"), "10", "10", "0"], "tervox")
    return work, "lines.vol"
