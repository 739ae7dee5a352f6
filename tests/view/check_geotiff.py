#!/usr/bin/python3
"""The GeoTIFF files of tervox-view, read back by GDAL's own reader.

Usage: check_geotiff.py TERVOX TERVOX_VIEW SOURCE_DIR

For each whole-run case in tests/golden and for a grid several strips high
and wider than a tile (made by tervox), writes every layer and one layer as
GeoTIFF and compares what GDAL reads with the mesh and volume files parsed
here on their own: size, bands, north-up geotransform, nodata, the band
descriptions and every value (not-a-number exactly in filled cells and
where the volume holds no number), then the coordinate system given by
--crs. Prints one line per case and exits non-zero on the first mismatch.
"""
import math
import os
import sys
import tempfile

import numpy as np
from osgeo import gdal

from grid_files import GOLDEN_CASES, fail, placed, read_grid, run, same_values, survey_grid

gdal.UseExceptions()


def check_raster(path, g, layers, what):
    d = gdal.Open(path)
    if (d.RasterXSize, d.RasterYSize, d.RasterCount) != (g["nx"], g["ny"], len(layers)):
        fail(f"{what}: {d.RasterXSize} x {d.RasterYSize} x {d.RasterCount}")
    # North up: the top-left corner is (xmin, ymin + ny*dy) and rows go south.
    expected = (g["xmin"], g["dx"], 0.0, g["ymin"] + g["ny"] * g["dy"], 0.0, -g["dy"])
    if not np.allclose(d.GetGeoTransform(), expected, rtol=0, atol=1e-9):
        fail(f"{what}: geotransform {d.GetGeoTransform()}, expected {expected}")
    north_first = g["values"][::-1]
    for b, k in enumerate(layers, start=1):
        band = d.GetRasterBand(b)
        if band.DataType != gdal.GDT_Float32:
            fail(f"{what}: band {b} is {gdal.GetDataTypeName(band.DataType)}")
        if band.GetNoDataValue() is None or not math.isnan(band.GetNoDataValue()):
            fail(f"{what}: band {b} nodata is {band.GetNoDataValue()}")
        description = f"layer {k}, depth {g['depth'][k - 1]:.10g} to {g['depth'][k]:.10g}"
        if band.GetDescription() != description:
            fail(f"{what}: band {b} is described as {band.GetDescription()!r}, not {description!r}")
        if not same_values(band.ReadAsArray(), north_first[:, :, k - 1]):
            fail(f"{what}: band {b} (layer {k}) differs from the volume")
        # The filled cells, read through GDAL's own nodata mask.
        mask = band.GetMaskBand().ReadAsArray()
        if np.any(mask[g["filled"][::-1]] != 0):
            fail(f"{what}: a filled cell is not masked as nodata")
    return d


def check_case(view, folder, volume, work):
    g = read_grid(folder, volume)
    out = os.path.join(work, "out.tif")
    run([view, "geotiff", os.path.join(folder, volume), "--all-layers", "-o", out], volume)
    d = check_raster(out, g, list(range(1, g["nlayer"] + 1)), volume)
    layout = d.GetMetadataItem("LAYOUT", "IMAGE_STRUCTURE")
    compression = d.GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE")
    if layout != "COG" or compression != "DEFLATE":
        fail(f"{volume}: layout {layout}, compression {compression}")
    if d.GetSpatialRef() is not None:
        fail(f"{volume}: a coordinate system without --crs")
    last = g["nlayer"]
    run([view, "geotiff", os.path.join(folder, volume), "--layer", str(last), "-o", out], volume)
    check_raster(out, g, [last], f"{volume} layer {last}")
    print(f"ok: {volume}: {g['nx']} x {g['ny']} x {g['nlayer']}, {int(g['filled'].sum())} "
          f"filled cells, {int(np.isnan(g['values']).sum())} values without a number")


def check_crs(view, folder, volume, work):
    out = os.path.join(work, "out.tif")
    # Each grid where its system is meant to be used: elsewhere tervox-view
    # warns, and run() takes no word on standard error.
    for code, xmin, ymin, cell in (("32633", 500000, 5000000, None), ("4326", 15, 45, 0.01),
                                   ("2193", 1750000, 5430000, None)):
        where, name = placed(folder, volume, work, xmin, ymin, cell)
        run([view, "geotiff", os.path.join(where, name), "--layer", "1", "--crs",
             "EPSG:" + code, "-o", out], code)
        srs = gdal.Open(out).GetSpatialRef()
        if srs is None or srs.GetAuthorityCode(None) != code:
            fail(f"EPSG:{code}: GDAL reads the coordinate system as {srs}")
    print("ok: the coordinate systems given by --crs")

    # The description tervox writes beside a volume from a delivered file
    # gives the system without --crs; --crs wins over it.
    where, name = placed(folder, volume, work, 500000, 5000000)
    with open(os.path.join(where, name + ".json"), "w") as f:
        f.write('{"tervox_description": 1, "crs": {"epsg": 32633, "name": "WGS 84 / UTM zone 33N"}}\n')
    for extra, code in (([], "32633"), (["--crs", "EPSG:32634"], "32634")):
        run([view, "geotiff", os.path.join(where, name), "--layer", "1", "-o", out] + extra,
            f"a description and {extra}")
        srs = gdal.Open(out).GetSpatialRef()
        if srs is None or srs.GetAuthorityCode(None) != code:
            fail(f"a description and {extra}: GDAL reads the coordinate system as {srs}")
    os.remove(os.path.join(where, name + ".json"))
    print("ok: the coordinate system of the description file, and --crs over it")


def main():
    tervox, view, source = (os.path.abspath(a) for a in sys.argv[1:4])
    with tempfile.TemporaryDirectory(prefix="tervox-tif-") as work:
        for case, volume in GOLDEN_CASES:
            check_case(view, os.path.join(source, "tests", "golden", case), volume, work)
        check_case(view, *survey_grid(tervox, work), work)
        check_crs(view, os.path.join(source, "tests", "golden", "survey_linear"), "survey.vol",
                  work)


if __name__ == "__main__":
    main()
