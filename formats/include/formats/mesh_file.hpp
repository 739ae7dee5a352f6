// The mesh file: five lines that describe the grid the volume is laid on.
// tervox writes it beside every volume file; tervox-view reads it back.
//
//   1  nx, ny, nlayer                      three 5-character integers
//   2  xmin, ymin, 0.0                     two 12-character reals (1 decimal),
//                                          then 0.0 in 4 characters
//   3  nx*dx                               nx in 3 characters, "*", the text of
//   4  ny*dy                               the size: 8 characters, 3 decimals,
//                                          leading blanks removed
//   5  dz(1) .. dz(nlayer-1), 1.5*dz(nlayer-1)
//                                          nlayer 8-character reals (2 decimals)
//                                          on one line; the last one is the
//                                          last layer's own thickness where
//                                          the survey file gives its bottom
//
// Values too wide for their fields are written as asterisks. The reader cuts
// fields at their columns, not at blanks: a wide thickness fills its 8
// characters and runs into the next one. Line 1 alone gives the counts; the
// repeat counts of lines 3 and 4 must agree with it where they fit their
// field.
//
// Where a field of lines 1 to 4 would misdescribe the grid, it is written
// with the digits it needs instead (the shortest text that reads back as the
// same single-precision value), set off from its neighbours by a blank: a
// count of 100000 or more on line 1, an origin that 1 decimal moves by more
// than a tenth of a cell, a cell size whose 3 decimals move the far edge
// (count times size) by more than a tenth of a cell. Grids in degrees, or of
// very many cells, need this; the reader takes lines 1 and 2 longer than
// their fields as values separated by blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"  // diagnostic_error

namespace tervox::formats {

/// The fields of the mesh file, for the writer and the reader alike.
namespace mesh_fields {
struct field {
  std::size_t width;
  int decimals;
};
inline constexpr field count{5, 0};      ///< line 1: nx, ny, nlayer
inline constexpr field origin{12, 1};    ///< line 2: xmin, ymin
inline constexpr field origin_z{4, 1};   ///< line 2: the constant 0.0
inline constexpr field repeat{3, 0};     ///< lines 3 and 4: the count before "*"
inline constexpr field cell_size{8, 3};  ///< lines 3 and 4: the size, leading blanks removed
inline constexpr field thickness{8, 2};  ///< line 5: one per layer, side by side
}  // namespace mesh_fields

/// The grid tervox lays the volume on, in the single precision it computes
/// in: cell (ix, iy), ix = 1..nx, iy = 1..ny, has its lower-left corner at
/// (xmin + (ix-1)*dx, ymin + (iy-1)*dy).
struct grid {
  float xmin = 0, ymin = 0;
  int nx = 0, ny = 0;
  float dx = 0, dy = 0;  ///< cell sizes
};

/// What tervox writes.
struct mesh_description {
  grid g;
  int nlayer = 1;             ///< at least 1
  std::span<const float> dz;  ///< nlayer-1 thicknesses as read
  /// The last layer's thickness where the survey file gives its bottom;
  /// otherwise it is drawn 1.5 times as thick as the one above (1 with one
  /// layer).
  std::optional<float> last_dz = {};
};

/// The five lines of the mesh file, each ending with a line end.
std::string mesh_text(const mesh_description& m);

/// What tervox-view reads: the grid as the file describes it, in double
/// precision as printed (a field written with the digits it needs holds more
/// than a float).
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

/// The mesh in `text`; `path` names it in diagnostics. Throws diagnostic_error.
mesh parse_mesh(std::string_view text, const std::string& path);

/// Reads the mesh file at `path`. Throws diagnostic_error.
mesh read_mesh(const std::string& path);

/// The nlayer+1 depths of the layer boundaries, from 0 at the surface down
/// to the bottom of the last layer. Throws diagnostic_error when a thickness
/// is unknown or negative, or when all of them are zero.
std::vector<double> layer_depths(const mesh& m);

}  // namespace tervox::formats
