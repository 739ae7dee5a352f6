#!/usr/bin/env python3
"""Writes examples/survey.txt: a small synthetic resistivity survey.

Nine flight lines run north along y over a 2 km square. The aircraft drifts a
little, so x wanders along each line, and two lines have gaps where the
system was switched off. Each sounding is a 12-layer model: a resistive
cover, a conductive clay layer that deepens and thickens towards the east,
and resistive bedrock, with values that vary smoothly along the lines.

The random generator has a fixed seed, so the file is the same on every run:
    python3 examples/make_survey.py > examples/survey.txt
"""

import math
import random

THICKNESSES = [2.0, 2.5, 3.0, 3.5, 4.0, 5.0, 6.0, 7.0, 8.5, 10.0, 12.0]
NLAYER = len(THICKNESSES) + 1
LINE_SPACING = 225.0
STATION_SPACING = 40.0
FIRST_LINE = 100.0
NLINES = 9
# Line number (from 0) and the stretch of y (m) flown without recording.
GAPS = [(3, 800.0, 1000.0), (6, 1400.0, 1560.0)]


def layer_log10(k, x, y, rng):
    """log10 of the resistivity (ohm-m) of layer k (from 0) at (x, y)."""
    depth = sum(THICKNESSES[:k]) + 0.5 * (THICKNESSES[k] if k < len(THICKNESSES) else 12.0)
    clay_top = 10.0 + 8.0 * x / 2000.0 + 3.0 * math.sin(y / 350.0)
    clay_bottom = clay_top + 12.0 + 10.0 * x / 2000.0
    if depth < clay_top:
        base = 2.2 + 0.3 * math.sin(x / 500.0 + y / 700.0)  # dry sand and gravel
    elif depth < clay_bottom:
        base = 0.4 + 0.3 * math.cos(y / 450.0)  # clay
    else:
        base = 2.6 + 0.3 * math.sin(y / 600.0 - x / 800.0)  # bedrock
    value = base + rng.gauss(0.0, 0.05)
    return min(3.0, max(0.0, value))


def main():
    rng = random.Random(20240611)
    soundings = []
    for line in range(NLINES):
        x0 = FIRST_LINE + LINE_SPACING * line
        phase = rng.uniform(0.0, 2.0 * math.pi)
        y = rng.uniform(0.0, 20.0)
        while y <= 2000.0:
            in_gap = any(g == line and lo <= y <= hi for g, lo, hi in GAPS)
            if not in_gap:
                x = x0 + 12.0 * math.sin(y / 300.0 + phase) + rng.gauss(0.0, 1.5)
                values = [10.0 ** layer_log10(k, x, y, rng) for k in range(NLAYER)]
                soundings.append((x, y, values))
            y += STATION_SPACING + rng.uniform(-4.0, 4.0)

    print(f"Number of layers {NLAYER}")
    print("Layer thicknesses (m) " + " ".join(f"{t:.1f}" for t in THICKNESSES))
    print(f"Number of soundings {len(soundings)}")
    print("x(m) y(m) " + " ".join(f"rho{k + 1}(ohm-m)" for k in range(NLAYER)))
    for x, y, values in soundings:
        print(f"{x:.1f} {y:.1f} " + " ".join(f"{v:.4g}" for v in values))


if __name__ == "__main__":
    main()
