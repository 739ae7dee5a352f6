#!/usr/bin/python3
"""The NetCDF files of tervox-view, read back by xarray (netCDF4 engine),
by ncdump and by GDAL.

Usage: check_netcdf.py TERVOX TERVOX_VIEW SOURCE_DIR

For each whole-run case in tests/golden and for a grid of several chunks
along x and several bands of rows (made by tervox), writes the NetCDF file
and compares what xarray reads with the mesh and volume files parsed here on
their own: dimensions, cell-centre coordinates and bounds, layer mid-depths,
values (not-a-number exactly in filled cells and where the volume holds no
number) and the filled array. ncdump shows the CF attributes, the chunking
and the compression; the coordinate system given by --crs reaches xarray's
grid mapping and GDAL's reading of the file. Prints one line per case and
exits non-zero on the first mismatch.
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import xarray as xr
from osgeo import gdal, osr

from grid_files import (GOLDEN_CASES, fail, placed, read_grid, readme_python, run, run_in,
                        same_values, survey_grid)


def check_case(view, folder, volume, work, extra, name="value"):
    g = read_grid(folder, volume)
    out = os.path.join(work, "out.nc")
    run([view, "netcdf", os.path.join(folder, volume), "-o", out] + extra, volume)
    with xr.open_dataset(out) as ds:
        v = ds[name]
        if v.dims != ("depth", "y", "x") or v.shape != (g["nlayer"], g["ny"], g["nx"]):
            fail(f"{volume}: {name} has dimensions {v.dims} {v.shape}")
        if v.dtype != np.float32:
            fail(f"{volume}: {name} is {v.dtype}")
        x_edges = g["xmin"] + g["dx"] * np.arange(g["nx"] + 1)
        y_edges = g["ymin"] + g["dy"] * np.arange(g["ny"] + 1)
        depth = g["depth"]
        for axis, edges in (("x", x_edges), ("y", y_edges), ("depth", depth)):
            centre = (edges[:-1] + edges[1:]) / 2
            if not np.allclose(ds[axis].values, centre, rtol=0, atol=1e-9):
                fail(f"{volume}: {axis} is {ds[axis].values}, not {centre}")
            bounds = ds[ds[axis].attrs["bounds"]].values
            if not np.allclose(bounds, np.stack([edges[:-1], edges[1:]], axis=1), rtol=0, atol=1e-9):
                fail(f"{volume}: {axis} bounds {bounds}")
        # xarray turns the _FillValue into NaN: the values must be the
        # volume's, with not-a-number exactly where it has none.
        expected = np.transpose(g["values"], (2, 0, 1))
        if not same_values(v.values, expected):
            fail(f"{volume}: the values differ")
        filled = ds["filled"].values
        if not np.array_equal(filled, g["filled"].astype(filled.dtype)):
            fail(f"{volume}: filled differs")
        # Not-a-number in filled cells in every layer.
        if not np.isnan(v.values[:, g["filled"]]).all():
            fail(f"{volume}: a filled cell holds a number")
    print(f"ok: {volume}: {g['nx']} x {g['ny']} x {g['nlayer']}, {int(g['filled'].sum())} "
          f"filled cells, {int(np.isnan(g['values']).sum())} values without a number")
    return out


def ncdump_header(path):
    return subprocess.run(["ncdump", "-hs", path], capture_output=True, text=True,
                          check=True).stdout


def check_attributes(view, folder, volume, work):
    """The CF attributes, the chunks and the compression, as ncdump shows them;
    each grid lies where its system is meant to be used (elsewhere tervox-view
    warns, and run() takes no word on standard error)."""
    source = (folder, volume)
    folder, volume = placed(*source, work, 500000, 5000000)
    out = check_case(view, folder, volume, work,
                     ["--crs", "EPSG:32633", "--name", "resistivity", "--units", "ohm m"],
                     name="resistivity")
    header = ncdump_header(out)
    for line in [
        ':Conventions = "CF-1.8"',
        "float resistivity(depth, y, x)",
        "resistivity:_FillValue = NaNf",
        'resistivity:units = "ohm m"',
        'resistivity:long_name = "resistivity"',
        'resistivity:grid_mapping = "crs"',
        'resistivity:_Storage = "chunked"',
        "resistivity:_DeflateLevel = 1",
        'x:standard_name = "projection_x_coordinate"',
        'x:bounds = "x_bounds"',
        'x:units = "m"',
        'y:standard_name = "projection_y_coordinate"',
        'y:units = "m"',
        'depth:positive = "down"',
        'depth:units = "m"',
        "byte filled(y, x)",
        "filled:flag_values = 0b, 1b",
        'crs:grid_mapping_name = "transverse_mercator"',
        "crs:longitude_of_central_meridian = 15.",
        "crs:false_easting = 500000.",
        ':_Format = "netCDF-4"',
    ]:
        if line not in header:
            fail(f"ncdump -hs lacks {line!r}:\n{header}")
    with xr.open_dataset(out) as ds:
        wkt = ds["crs"].attrs["crs_wkt"]
        if osr.SpatialReference(wkt=wkt).GetAuthorityCode(None) != "32633":
            fail(f"crs_wkt is not EPSG:32633: {wkt}")
    # GDAL (and QGIS through it) finds the grid in its coordinate system.
    g = read_grid(folder, volume)
    d = gdal.Open(f'NETCDF:"{out}":resistivity')
    srs = d.GetSpatialRef()
    if srs is None or srs.GetAuthorityCode(None) != "32633":
        fail(f"GDAL reads the coordinate system as {srs}")
    t = d.GetGeoTransform()
    expected = (g["xmin"], g["dx"], g["ymin"], g["dy"])
    got = (t[0], t[1], t[3] + (t[5] * g["ny"] if t[5] < 0 else 0), abs(t[5]))
    if not np.allclose(got, expected, rtol=0, atol=1e-6):
        fail(f"GDAL's geotransform {t} for origin and cell sizes {expected}")
    print("ok: the CF attributes, the grid mapping and GDAL's reading")

    # The unit of x and y: the system's, where CF has a name for it; in
    # words otherwise; none claimed without a system, whose x and y may be
    # metres, feet or degrees.
    units_cases = [
        ("epsg:4326", placed(*source, work, 15, 45, 0.01),
         ['x:standard_name = "longitude"', 'x:units = "degrees_east"',
          'y:standard_name = "latitude"', 'y:units = "degrees_north"',
          'crs:grid_mapping_name = "latitude_longitude"'], []),
        ("EPSG:2277", placed(*source, work, 3100000, 10070000),
         ['x:standard_name = "projection_x_coordinate"',
          'x:long_name = "x of the cell centre (US survey foot)"',
          'y:long_name = "y of the cell centre (US survey foot)"'], ["x:units", "y:units"]),
        (None, source,
         ['x:long_name = "x of the cell centre"', 'y:long_name = "y of the cell centre"',
          'x:axis = "X"'],
         ["x:units", "y:units", "x:standard_name", "y:standard_name", "int crs", "grid_mapping",
          "value:units"]),
    ]
    for crs, (where, name), present, absent in units_cases:
        run([view, "netcdf", os.path.join(where, name), "-o", out] +
            (["--crs", crs] if crs else []), crs or "no crs")
        header = ncdump_header(out)
        for line in present:
            if line not in header:
                fail(f"{crs}: ncdump -hs lacks {line!r}:\n{header}")
        for word in absent:
            if word in header:
                fail(f"{crs}: ncdump -hs shows {word!r}:\n{header}")
    print("ok: the units of x and y with a geographic system, a system in feet and none")

    # The description beside the volume gives the system, the property and
    # its unit; the options win over each.
    where, name = placed(*source, work, 500000, 5000000)
    with open(os.path.join(where, name + ".json"), "w") as f:
        f.write('{"tervox_description": 1, "crs": {"epsg": 32633}, '
                '"property": {"name": "apparent resistivity", "unit": "ohm m"}}\n')
    described = ['float apparent_resistivity(depth, y, x)',
                 'apparent_resistivity:long_name = "apparent resistivity"',
                 'apparent_resistivity:units = "ohm m"',
                 'apparent_resistivity:grid_mapping = "crs"', 'x:units = "m"']
    given = ['float rho(depth, y, x)', 'rho:long_name = "rho"', 'rho:units = "S/m"',
             'crs:longitude_of_central_meridian = 21.']
    for extra, present in (([], described),
                           (["--name", "rho", "--units", "S/m", "--crs", "EPSG:32634"], given)):
        run([view, "netcdf", os.path.join(where, name), "-o", out] + extra,
            f"a description and {extra}")
        header = ncdump_header(out)
        for line in present:
            if line not in header:
                fail(f"a description and {extra}: ncdump -hs lacks {line!r}:\n{header}")
        with xr.open_dataset(out) as ds:
            code = osr.SpatialReference(wkt=ds["crs"].attrs["crs_wkt"]).GetAuthorityCode(None)
            if code != ("32634" if extra else "32633"):
                fail(f"a description and {extra}: crs_wkt is EPSG:{code}")
    os.remove(os.path.join(where, name + ".json"))
    print("ok: the coordinate system, property and unit of the description file, and the "
          "options over them")


def check_readme(view, source, work):
    """The README's xarray lines, run on the example survey's NetCDF file
    made as the README makes it; skipped without matplotlib, which plots."""
    try:
        import matplotlib
        matplotlib.use("Agg")
    except ImportError:
        print("skipped: the README's xarray lines (no matplotlib)")
        return
    code = readme_python(source, "### Python: NetCDF and xarray")
    folder = os.path.join(source, "tests", "golden", "survey_linear")
    run([view, "netcdf", os.path.join(folder, "survey.vol"), "--name", "resistivity", "--units",
         "ohm m", "-o", os.path.join(work, "survey.nc")], "README")
    names = run_in(work, code)
    g = read_grid(folder, "survey.vol")
    if not same_values(names["rho"].values, np.transpose(g["values"], (2, 0, 1))):
        fail("README xarray lines: the values differ")
    names["ds"].close()
    print("ok: the README's xarray lines")


def main():
    tervox, view, source = (os.path.abspath(a) for a in sys.argv[1:4])
    with tempfile.TemporaryDirectory(prefix="tervox-nc-") as work:
        for case, volume in GOLDEN_CASES:
            check_case(view, os.path.join(source, "tests", "golden", case), volume, work, [])
        check_case(view, *survey_grid(tervox, work), work, [])
        check_attributes(view, os.path.join(source, "tests", "golden", "survey_linear"),
                         "survey.vol", work)
        check_readme(view, source, work)


if __name__ == "__main__":
    main()
