#!/usr/bin/env python3
"""Writes examples/lshaped.txt: an L-shaped survey with gaps, for masking.

Flight lines run north along y, 100 m apart. The eastern lines stop at
y = 900 m, so the flown ground is an L; its convex hull also covers the
empty north-east quarter. One line has a 500 m gap and another stops short,
as happens when a system is switched off or a line is not finished. Each
sounding is an 8-layer model (a resistive cover over a conductor over
resistive bedrock) and carries a ninth value after its last layer: the depth
of investigation, shallower where the ground is conductive.

The random generator has a fixed seed, so the file is the same on every run:
    python3 examples/make_lshaped_survey.py > examples/lshaped.txt
"""

import math
import random

THICKNESSES = [4.0, 6.0, 8.0, 10.0, 12.0, 15.0, 20.0]
NLAYER = len(THICKNESSES) + 1
LINE_SPACING = 100.0
STATION_SPACING = 30.0
NLINES = 21
# Line number (from 0) and the stretch of y (m) flown without recording.
GAPS = [(5, 700.0, 1200.0), (13, 500.0, 900.0)]


def line_top(line):
    """The northern end of a line: the eastern half of the survey is short."""
    return 2000.0 if line <= 9 else 900.0


def layer_log10(k, x, y, rng):
    """log10 of the resistivity (ohm-m) of layer k (from 0) at (x, y)."""
    depth = sum(THICKNESSES[:k]) + 0.5 * (THICKNESSES[k] if k < len(THICKNESSES) else 30.0)
    conductor_top = 12.0 + 10.0 * math.sin(x / 600.0) + 6.0 * math.cos(y / 500.0)
    conductor_bottom = conductor_top + 20.0 + 10.0 * x / 2000.0
    if depth < conductor_top:
        base = 2.3 + 0.2 * math.sin(x / 400.0 + y / 700.0)
    elif depth < conductor_bottom:
        base = 0.6 + 0.3 * math.cos(y / 450.0)
    else:
        base = 2.8 + 0.2 * math.sin(y / 600.0 - x / 800.0)
    return min(3.2, max(0.0, base + rng.gauss(0.0, 0.04)))


def main():
    rng = random.Random(20261210)
    soundings = []
    for line in range(NLINES):
        x0 = LINE_SPACING * line
        y = rng.uniform(0.0, 10.0)
        while y <= line_top(line):
            if not any(g == line and lo <= y <= hi for g, lo, hi in GAPS):
                x = x0 + rng.gauss(0.0, 2.0)
                values = [10.0 ** layer_log10(k, x, y, rng) for k in range(NLAYER)]
                # The signal dies out some way into the conductor.
                top = 12.0 + 10.0 * math.sin(x / 600.0) + 6.0 * math.cos(y / 500.0)
                doi = top + 22.0 + 12.0 * (values[0] / 200.0) ** 0.5 + rng.gauss(0.0, 2.0)
                soundings.append((x, y, values, doi))
            y += STATION_SPACING + rng.uniform(-3.0, 3.0)

    print(f"Number of layers {NLAYER}")
    print("Layer thicknesses (m) " + " ".join(f"{t:.1f}" for t in THICKNESSES))
    print(f"Number of soundings {len(soundings)}")
    print("x(m) y(m) " + " ".join(f"rho{k + 1}(ohm-m)" for k in range(NLAYER)) + " doi(m)")
    for x, y, values, doi in soundings:
        print(f"{x:.1f} {y:.1f} " + " ".join(f"{v:.4g}" for v in values) + f" {doi:.1f}")


if __name__ == "__main__":
    main()
