#!/usr/bin/python3
"""The .vtr files of tervox-view, read back by VTK's own XML reader.

Usage: check_vtr.py TERVOX_VIEW SOURCE_DIR

For each whole-run case in tests/golden, writes the .vtr of its volume and
compares what VTK reads with the mesh and volume files parsed here on their
own: dimensions, coordinates, values (not-a-number in filled cells and for
values without a number), the filled array, and that VTK locates every cell
centre in the cell that holds its value. Then runs the numpy lines of the
README on the example survey and compares their arrays with the same grid.
Prints one line per case and exits non-zero on the first mismatch.
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkIOXML import vtkXMLRectilinearGridReader

from grid_files import (GOLDEN_CASES as CASES, fail, parse_mesh, parse_volume, readme_python,
                        run_in, same_values)


def read_vtr(path):
    reader = vtkXMLRectilinearGridReader()
    reader.SetFileName(path)
    reader.Update()
    if reader.GetErrorCode() != 0:
        fail(f"{path}: VTK cannot read it")
    return reader.GetOutput()


def check_case(exe, folder, volume, work):
    nx, ny, nlayer, xmin, ymin, dx, dy, dz = parse_mesh(os.path.join(folder, volume + ".mesh"))
    values, filled = parse_volume(os.path.join(folder, volume), nx, ny, nlayer)
    out = os.path.join(work, "out.vtr")
    run = subprocess.run([exe, "vtr", os.path.join(folder, volume), "-o", out],
                         capture_output=True, text=True)
    if run.returncode != 0 or run.stdout or run.stderr:
        fail(f"{volume}: exit {run.returncode}: {run.stderr}")
    grid = read_vtr(out)

    if grid.GetDimensions() != (nx + 1, ny + 1, nlayer + 1):
        fail(f"{volume}: dimensions {grid.GetDimensions()}")
    x = vtk_to_numpy(grid.GetXCoordinates())
    y = vtk_to_numpy(grid.GetYCoordinates())
    z = vtk_to_numpy(grid.GetZCoordinates())
    depth = np.concatenate(([0.0], np.cumsum(dz)))
    if not np.allclose(x, xmin + dx * np.arange(nx + 1), rtol=0, atol=1e-9):
        fail(f"{volume}: x coordinates {x}")
    if not np.allclose(y, ymin + dy * np.arange(ny + 1), rtol=0, atol=1e-9):
        fail(f"{volume}: y coordinates {y}")
    # z points up: the surface at 0, the bottom of the last layer first.
    if not np.allclose(z, -depth[::-1], rtol=0, atol=1e-9):
        fail(f"{volume}: z coordinates {z}, depths {depth}")

    cells = grid.GetCellData()
    value = vtk_to_numpy(cells.GetArray("value"))
    flag = vtk_to_numpy(cells.GetArray("filled"))
    if cells.GetArray("value").GetDataTypeAsString() != "float":
        fail(f"{volume}: value is {cells.GetArray('value').GetDataTypeAsString()}")
    if cells.GetArray("filled").GetDataTypeAsString() != "unsigned char":
        fail(f"{volume}: filled is {cells.GetArray('filled').GetDataTypeAsString()}")
    # VTK's cell order: x fastest, then y, then z upwards (the last layer first).
    expected = np.transpose(values, (2, 0, 1))[::-1]
    if not same_values(value.reshape(nlayer, ny, nx), expected):
        fail(f"{volume}: cell values differ")
    if not np.array_equal(flag.reshape(nlayer, ny, nx), np.broadcast_to(filled, (nlayer, ny, nx))):
        fail(f"{volume}: the filled array differs")

    # VTK must find each cell centre in the cell that holds its value: it
    # can only with increasing coordinates.
    for iy in range(ny):
        for ix in range(nx):
            for k in range(nlayer):
                centre = [xmin + (ix + 0.5) * dx, ymin + (iy + 0.5) * dy,
                          -(depth[k] + depth[k + 1]) / 2]
                ijk, pcoords = [0, 0, 0], [0.0, 0.0, 0.0]
                if dz[k] == 0 or not grid.ComputeStructuredCoordinates(centre, ijk, pcoords):
                    fail(f"{volume}: VTK does not find the centre {centre}")
                got = value[grid.ComputeCellId(ijk)]
                want = values[iy, ix, k]
                if not (got == want or (math.isnan(got) and math.isnan(want))):
                    fail(f"{volume}: at {centre} VTK finds {got}, the volume has {want}")
    print(f"ok: {volume}: {nx} x {ny} x {nlayer}, {int(filled.sum())} filled cells, "
          f"{int(np.isnan(values).sum())} values without a number")
    return grid


def check_readme(source, work):
    folder = os.path.join(source, "tests", "golden", "survey_linear")
    for name in ("survey.vol", "survey.vol.mesh"):
        shutil.copy(os.path.join(folder, name), work)
    nx, ny, nlayer, xmin, ymin, dx, dy, dz = parse_mesh(os.path.join(work, "survey.vol.mesh"))
    values, filled = parse_volume(os.path.join(work, "survey.vol"), nx, ny, nlayer)
    lines = readme_python(source, "### The volume in numpy")
    names = run_in(work, lines)
    v = names["values"]
    if v.shape != (ny, nx, nlayer) or not same_values(v.astype(np.float32), values):
        fail("README numpy lines: values differ")
    if not np.array_equal(names["filled"], filled):
        fail("README numpy lines: filled differs")
    if not np.allclose(names["x"], xmin + dx * (np.arange(nx) + 0.5)):
        fail("README numpy lines: x differs")
    if not np.allclose(names["y"], ymin + dy * (np.arange(ny) + 0.5)):
        fail("README numpy lines: y differs")
    if not np.allclose(names["top"], np.concatenate(([0.0], np.cumsum(dz)[:-1]))):
        fail("README numpy lines: top differs")
    print("ok: the README's numpy lines")


def main():
    exe, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory(prefix="tervox-vtr-") as work:
        for case, volume in CASES:
            check_case(exe, os.path.join(source, "tests", "golden", case), volume, work)
        check_readme(source, work)


if __name__ == "__main__":
    main()
