#!/usr/bin/env python3
"""Writes the soundings of the golden cases whose cell sizes and origins are
not exact in single precision (12.3 and 0.7).

Besides scattered soundings, each survey has one hull edge, A-B with slope 1,
whose midpoint is exactly a cell centre: a centre on the hull is exterior, so
that cell must hold the fill value. The cell is one whose centre, evaluated in
single precision instead of double, would move off the edge into the hull.

    python3 tests/golden/make_uneven_cells.py
"""
import os
import random
import struct


def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


def centres(lo, d, count):
    """Origin and cell centres along one axis, as the README places them."""
    t = f32(0.4) * d
    cmin = f32(lo - t)
    right = [f32((i - 0.5) * d + cmin) for i in range(1, count + 1)]
    single = [f32(f32(f32(i - 0.5) * d) + cmin) for i in range(1, count + 1)]
    return right, single


def survey(d, scale, seed):
    rnd = random.Random(seed)
    d = f32(d)
    x0, y0 = f32(-17.3 * scale), f32(8.9 * scale)
    cx, sx = centres(x0, d, 40)
    cy, sy = centres(y0, d, 40)
    h = 4.0 if scale > 0.5 else 0.25
    # The hull lies above and to the left of the edge A-B: a centre moved
    # left or up, and not right or down, lands inside.
    pick = None
    for i in range(15, 22):
        for j in range(1, 6):
            left = sx[i] < cx[i] and sy[j] >= cy[j]
            up = sy[j] > cy[j] and sx[i] <= cx[i]
            if left or up:
                pick = (i, j)
                break
        if pick:
            break
    i, j = pick
    px, py = cx[i], cy[j]
    a = (px - h, py - h)
    b = (px + h, py + h)
    assert f32(a[0]) == a[0] and f32(a[1]) == a[1] and f32(b[0]) == b[0] and f32(b[1]) == b[1]
    k = py - px  # the edge's line: y - x = k; the hull has y - x > k
    top = f32(py + 230.0 * scale)
    pts = [(x0, y0), a, b, (b[0], f32(b[1] + 60.0 * scale)), (x0, top), (f32(x0 + 50 * scale), top)]
    assert y0 - x0 > k
    while len(pts) < 40:
        x = f32(round(rnd.uniform(x0, b[0]), 2))
        y = f32(round(rnd.uniform(y0, top), 2))
        if y - x > k + 3.0 * scale and (x, y) not in pts:
            pts.append((x, y))
    rows = []
    for x, y in pts:
        v1 = round(rnd.uniform(1.0, 900.0), 3)
        v2 = round(rnd.uniform(-300.0, 300.0), 3)
        v3 = round(rnd.uniform(0.5, 40.0), 4)
        rows.append("%r %r %r %r %r" % (x, y, v1, v2, v3))
    print("cell", d, "centre", i + 1, j + 1, (px, py), "single", (sx[i], sy[j]))
    return (
        "Number of layers 3\nLayer thicknesses (m) 3.5 7.25\nNumber of soundings %d\n"
        "x y rho1 rho2 rho3\n" % len(pts)
        + "\n".join(rows)
        + "\n"
    )


here = os.path.dirname(os.path.abspath(__file__))
for folder, d, scale, seed in (("cells_12_3", 12.3, 1.0, 5), ("cells_0_7", 0.7, 0.7 / 12.3, 6)):
    os.makedirs(os.path.join(here, folder), exist_ok=True)
    with open(os.path.join(here, folder, "soundings.txt"), "w") as f:
        f.write(survey(d, scale, seed))
