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
  /// The unit of x and y: its name as the database gives it ("metre",
  /// "US survey foot", "degree"), and whether it is the metre (of a
  /// projected system) or the degree (of a geographic one), the units a
  /// file may then claim for them.
  std::string unit_name;
  bool in_metres = false, in_degrees = false;
  /// The CF grid mapping: its name and numeric parameters. Empty for a
  /// projection CF has no name for; the WKT alone then describes it.
  std::string grid_mapping_name;
  std::vector<std::pair<std::string, double>> parameters;
};

/// Looks `epsg` up. Throws diagnostic_error when the database does not know it or
/// when it is not a horizontal system (a vertical or compound one, say).
crs_info look_up_crs(int epsg);

}  // namespace tervox::view
