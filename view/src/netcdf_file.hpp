// The grid as a NetCDF-4 file following the CF conventions (1.8), which
// xarray, QGIS, Panoply and GDAL open directly:
//
//   dimensions  depth = nlayer, y = ny, x = nx, bnds = 2
//   x(x), y(y)          cell centres, with x_bounds(x, bnds), y_bounds(y, bnds)
//   depth(depth)        the middle of each layer, positive down, with
//                       depth_bounds(depth, bnds) from the mesh's thicknesses
//   NAME(depth, y, x)   float, _FillValue NaN: filled cells and values the
//                       volume holds no number for
//   filled(y, x)        byte, 1 in filled cells
//   crs                 the grid mapping, when a coordinate system is given
//
// y increases with the index, as the volume's rows do (row 1 is the
// southernmost). The data is chunked one layer by a band of rows and
// deflate-compressed, and written band by band as the volume is read, so the
// memory taken is that of one band of rows in every layer, whatever the size
// of the volume.
#pragma once

#include <string>

#include "formats/mesh_file.hpp"
#include "grid_file.hpp"

namespace tervox::view {

/// Writes the volume file at `volume`, laid out as `m` says, to `path`,
/// complete or not at all: every layer, with the options' name, units,
/// coordinate system and history. Throws diagnostic_error.
void write_netcdf(const std::string& path, const std::string& volume, const formats::mesh& m,
                  const grid_options& o);

}  // namespace tervox::view
