// What the writers of the grid files (vtr_file, netcdf_file, geotiff_file)
// are given. They share one signature, so that the program picks a writer
// from its table of commands, whichever formats the build has. Each writer
// reads the volume file itself, front to back, and takes from the options
// what its format has room for.
#pragma once

#include <optional>
#include <string>

#include "crs.hpp"
#include "formats/mesh_file.hpp"

namespace tervox::view {

struct grid_options {
  int layer = 0;                ///< the one layer (from 1) to write, or 0 for all (GeoTIFF)
  std::string name = "value";   ///< the data variable, and its long_name (NetCDF)
  std::string long_name;        ///< the long_name where it differs from `name` (NetCDF)
  std::string units;            ///< the data's units; none when empty (NetCDF)
  std::optional<crs_info> crs;  ///< the coordinate system of x and y (NetCDF, GeoTIFF)
  std::string history;          ///< the command that made the file (NetCDF)
};

/// Writes the volume file at `volume`, laid out as `m` says, to `path`,
/// complete or not at all. Throws diagnostic_error.
using grid_writer = void (*)(const std::string& path, const std::string& volume,
                             const formats::mesh& m, const grid_options& o);

}  // namespace tervox::view
