// Reading the mesh file that tervox writes beside every volume file: five
// lines of fixed-width fields.
//
//   1  nx ny nlayer                     5 characters each
//   2  xmin ymin 0.0                    12, 12 and 4 characters
//   3  nx*dx                            nx in 3 characters ("***" from 1000
//   4  ny*dy                            on), "*", the size as long as it needs
//   5  dz(1) .. dz(nlayer)              8 characters each, side by side
//
// Fields are cut at their columns, not at blanks: a wide thickness fills its
// 8 characters and runs into the next one. A field the writer could not fit
// is all asterisks. Line 1 alone gives the counts; the repeat counts of lines
// 3 and 4 must agree with it where they fit their field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tervox::view {

struct mesh {
  std::string path;  ///< the file the mesh came from, for messages
  int nx = 0, ny = 0, nlayer = 1;
  double xmin = 0, ymin = 0;  ///< lower-left corner of cell (1, 1)
  double dx = 0, dy = 0;
  /// nlayer thicknesses; not-a-number where the field was all asterisks
  /// (a thickness of 100000 or more). Only depths need them.
  std::vector<double> dz;

  std::int64_t cells() const { return std::int64_t{nx} * ny; }
  std::int64_t values() const { return cells() * nlayer; }
  /// Edge i of the cells along x or y, i = 0 (the origin) to nx or ny.
  double x_edge(int i) const { return xmin + i * dx; }
  double y_edge(int i) const { return ymin + i * dy; }
  /// Centre of cell ix or iy, counted from 1.
  double x_centre(int ix) const { return xmin + (ix - 0.5) * dx; }
  double y_centre(int iy) const { return ymin + (iy - 0.5) * dy; }
};

/// The mesh in `text`; `path` names it in messages. Throws view_error.
mesh parse_mesh(std::string_view text, const std::string& path);

/// Reads the mesh file at `path`. Throws view_error.
mesh read_mesh(const std::string& path);

/// The nlayer+1 depths of the layer boundaries, from 0 at the surface down
/// to the bottom of the last layer. Throws view_error when a thickness is
/// unknown or negative, or when all of them are zero.
std::vector<double> layer_depths(const mesh& m);

}  // namespace tervox::view
