// Coordinate reference systems named by their EPSG code ("EPSG:32633"),
// looked up in GDAL's copy of the PROJ database rather than in a table of
// our own: the database knows every code and keeps up with revisions.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tervox::view {

/// Where a system is meant to be used, in degrees of longitude and latitude
/// as the database gives it; `west` > `east` where it crosses 180 degrees.
struct area_of_use {
  double west = 0, south = 0, east = 0, north = 0;
  std::string name;  ///< "Australia - onshore and offshore between 138°E and 144°E"
};

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
  std::optional<area_of_use> area;  ///< none where the database gives none
};

/// Looks `epsg` up. Throws diagnostic_error when the database does not know it or
/// when it is not a horizontal system (a vertical or compound one, say).
crs_info look_up_crs(int epsg);

/// The grid's extent, in the units of its system.
struct extent {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

/// What is wrong with placing a grid of extent `e` in the system `c`, in
/// words, or empty: a grid that lies wholly outside the system's area of use
/// is most likely in another system, or has x and y swapped. The words name
/// the system, the grid's extent, the area of use and where the grid would
/// lie, and ask whether x and y are swapped, firmly when the grid with x and
/// y swapped would lie inside the area.
std::string placement_doubt(const crs_info& c, const extent& e);

}  // namespace tervox::view
