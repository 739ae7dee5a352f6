#include "grid.hpp"

#include <cmath>
#include <limits>

namespace tervox::driver {

axis_placement place_axis(std::span<const float> loc, float d) {
  // The margin is 0.4 in single precision (0.4000000059604645) times the
  // cell size in double, and stays in double: only the origin is rounded.
  const double t = static_cast<double>(0.4f) * static_cast<double>(d);

  // Starting from the largest finite values makes the scans yield a value
  // for any non-empty set, whatever its range.
  float lo = std::numeric_limits<float>::max();
  float hi = -std::numeric_limits<float>::max();
  for (const float v : loc) {
    if (v < lo)
      lo = v;
    if (v > hi)
      hi = v;
  }

  axis_placement a;
  a.min = static_cast<float>(static_cast<double>(lo) - t);
  // The quotient uses the rounded origin, so the count matches the origin
  // that the mesh file records.
  const double q =
      (t + static_cast<double>(hi) - static_cast<double>(a.min)) / static_cast<double>(d);
  if (!std::isfinite(q)) {
    a.quotient = 0;
    a.count = 0;
    return a;
  }
  a.quotient = q;
  // The count is the quotient truncated toward zero, not rounded: the output
  // bytes depend on it, since it sets the number of cells written to the
  // mesh and volume files, and the far edge may stop short of the last
  // sounding. grid_test.places_one_axis pins it, with the golden file
  // no_cells (a quotient below 1). Truncation keeps a value inside the 32-bit
  // range exactly when it lies strictly between -2^31 - 1 and 2^31
  // (grid_test.reports_the_quotient_that_does_not_fit).
  a.fits = q > -2147483649.0 && q < 2147483648.0;
  a.count = a.fits ? static_cast<int>(q) : 0;
  return a;
}

}  // namespace tervox::driver
