// When the construction's arithmetic decides exactly on a point set. Shared by
// the whole-run fuzz target and the geometry stress tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>

namespace tervox_test {

/// True when a - b is a float: exact in double, and representable in single.
inline bool exact_difference(float a, float b) {
  const double x = static_cast<double>(a);
  const double y = -static_cast<double>(b);
  const double sum = x + y;
  const double y_part = sum - x;  // with the line below, the sum's error exactly
  const double error = (x - (sum - y_part)) + (y - y_part);
  return error == 0.0 && static_cast<double>(static_cast<float>(sum)) == sum;
}

/// True when the construction's tests decide exactly on these coordinates
/// (one axis): every difference of two of them is a float, so no difference
/// is rounded, and no coordinate is so small that a product of differences
/// could underflow to zero (differences are multiples of the smallest ulp,
/// 2^-73 at worst, so their products stay above 2^-149). Where this holds
/// for x and for y, whatever the construction reports as built must be a
/// valid triangulation, and it must never report a broken one.
///
/// A set spread wider than single precision spans (1e-6 beside 1e6, say) has
/// rounded differences; the construction rounds them to single precision
/// while it looks for the first node off the line of the leading nodes, and
/// can then take three nodes for collinear that are not.
inline bool exact_arithmetic(std::span<const float> v) {
  constexpr float smallest = 0x1p-50f;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != 0.0f && std::fabs(v[i]) < smallest)
      return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (!exact_difference(v[i], v[j]))
        return false;
    }
  }
  return true;
}

}  // namespace tervox_test
