// Exact geometric predicates on single-precision coordinates, for the
// checkers. Every finite float is a dyadic rational, so the signs below are the
// signs of the true determinants: a double-precision evaluation decides when
// its error bound allows, and integer arithmetic (GMP) decides the rest.
#pragma once

#include <span>

namespace tervox_test {

/// +1 when a, b, c turn counterclockwise, -1 clockwise, 0 when collinear.
int orientation(float ax, float ay, float bx, float by, float cx, float cy);

/// For a counterclockwise triangle a, b, c: +1 when d lies strictly inside its
/// circumcircle, -1 strictly outside, 0 on it. The sign flips for a clockwise
/// triangle.
int incircle(float ax, float ay, float bx, float by, float cx, float cy, float dx, float dy);

/// The incircle determinant divided by the sum of the magnitudes of its terms,
/// in double precision: how far from cocircular the four points are, for
/// messages (about 1e-7 and below is within single-precision rounding).
double incircle_relative(float ax, float ay, float bx, float by, float cx, float cy, float dx,
                         float dy);

/// True when all the points (x[i], y[i]) lie on one line (or coincide).
bool all_collinear(std::span<const float> x, std::span<const float> y);

}  // namespace tervox_test
