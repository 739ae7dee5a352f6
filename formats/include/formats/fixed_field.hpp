// Fixed-width fields: a value right-aligned in a field of a given width, or
// the whole field filled with asterisks when the value does not fit.
#pragma once

#include <string>

namespace tervox::formats {

/// An integer right-aligned in `width` characters; asterisks if it needs more.
std::string fixed_int(long long value, int width);

/// A real in fixed-point with `decimals` digits after the point, right-aligned
/// in `width` characters:
///   * rounded to nearest from the exact binary value, an exact decimal tie
///     going to the even digit (0.125 with two decimals is 0.12);
///   * a minus sign only for negative values; a negative zero has none, while
///     a negative value that rounds to zero keeps it (-0.001 gives -0.00);
///   * a 0 before the point for magnitudes below 1 when the field has room,
///     and none when it has not (0.5 in 4 characters with 3 decimals: .500);
///   * infinities and not-a-number as Infinity, -Infinity and NaN;
///   * asterisks in the whole field when the text needs more than `width`.
std::string fixed_real(double value, int width, int decimals);

}  // namespace tervox::formats
