// Grid placement: the origin lies 0.4 cell outside the outermost soundings
// and the cell counts are truncated, so the far edge may stop short of the
// last sounding.
//
// Cell (ix, iy), ix = 1..nx, iy = 1..ny, has its lower-left corner at
// (xmin + (ix-1)*dx, ymin + (iy-1)*dy) and its centre at
// px = (ix - 0.5)*dx + xmin, py = (iy - 0.5)*dy + ymin.
#pragma once

#include <span>

#include "formats/mesh_file.hpp"  // grid

namespace tervox::driver {

/// Origin and cell count along one axis.
struct axis_placement {
  float min = 0;        ///< lower edge of the first cell
  int count = 0;        ///< number of cells; zero or less means none
  double quotient = 0;  ///< the count before truncation (0 when not finite)
  bool fits = true;     ///< false when the truncated quotient is outside 32 bits
};

/// Places one axis from the sounding coordinates loc and the cell size d.
axis_placement place_axis(std::span<const float> loc, float d);

}  // namespace tervox::driver
