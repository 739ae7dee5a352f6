// Coordinate reference systems named by their EPSG code ("EPSG:32633"),
// looked up in GDAL's copy of the PROJ database rather than in a table of
// our own: the database knows every code and keeps up with revisions.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tervox::view {

struct crs_info {
  int epsg = 0;
  std::string name;  ///< "WGS 84 / UTM zone 33N"
  std::string wkt;   ///< OGC WKT, the form GIS software and CF readers take
  bool geographic = false;
  /// The CF grid mapping: its name and numeric parameters. Empty for a
  /// projection CF has no name for; the WKT alone then describes it.
  std::string grid_mapping_name;
  std::vector<std::pair<std::string, double>> parameters;
};

/// Looks `epsg` up. Throws diagnostic_error when the database does not know it or
/// when it is not a horizontal system (a vertical or compound one, say).
crs_info look_up_crs(int epsg);

}  // namespace tervox::view
