#include "support/exact_predicates.hpp"

#include <gmpxx.h>

#include <cmath>
#include <cstddef>

namespace tervox_test {
namespace {

// Unit roundoff of double precision and the static error bounds of the
// classic filtered predicates: when the double-precision determinant exceeds
// the bound in magnitude its sign is the exact sign. The inputs are floats, so
// no product of up to four coordinate differences overflows or underflows.
constexpr double epsilon = 0x1p-53;
constexpr double orientation_bound = (3.0 + 16.0 * epsilon) * epsilon;
constexpr double incircle_bound = (10.0 + 96.0 * epsilon) * epsilon;

// 2^149 times any float is an integer (the smallest subnormal is 2^-149), and
// the product is exact in double precision.
mpz_class scaled(float v) {
  return mpz_class(static_cast<double>(v) * 0x1p149);
}

int sign_of(const mpz_class& v) {
  return sgn(v);
}

struct incircle_terms {
  double det;
  double permanent;
};

incircle_terms incircle_double(float ax, float ay, float bx, float by, float cx, float cy, float dx,
                               float dy) {
  const double adx = static_cast<double>(ax) - static_cast<double>(dx);
  const double ady = static_cast<double>(ay) - static_cast<double>(dy);
  const double bdx = static_cast<double>(bx) - static_cast<double>(dx);
  const double bdy = static_cast<double>(by) - static_cast<double>(dy);
  const double cdx = static_cast<double>(cx) - static_cast<double>(dx);
  const double cdy = static_cast<double>(cy) - static_cast<double>(dy);
  const double bdxcdy = bdx * cdy;
  const double cdxbdy = cdx * bdy;
  const double cdxady = cdx * ady;
  const double adxcdy = adx * cdy;
  const double adxbdy = adx * bdy;
  const double bdxady = bdx * ady;
  const double alift = adx * adx + ady * ady;
  const double blift = bdx * bdx + bdy * bdy;
  const double clift = cdx * cdx + cdy * cdy;
  const double det =
      alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
  return {det, permanent};
}

}  // namespace

int orientation(float ax, float ay, float bx, float by, float cx, float cy) {
  const double left = (static_cast<double>(ax) - static_cast<double>(cx)) *
                      (static_cast<double>(by) - static_cast<double>(cy));
  const double right = (static_cast<double>(ay) - static_cast<double>(cy)) *
                       (static_cast<double>(bx) - static_cast<double>(cx));
  const double det = left - right;
  if (std::fabs(det) > orientation_bound * (std::fabs(left) + std::fabs(right))) {
    return det > 0.0 ? 1 : -1;
  }
  const mpz_class exact = (scaled(ax) - scaled(cx)) * (scaled(by) - scaled(cy)) -
                          (scaled(ay) - scaled(cy)) * (scaled(bx) - scaled(cx));
  return sign_of(exact);
}

int incircle(float ax, float ay, float bx, float by, float cx, float cy, float dx, float dy) {
  const incircle_terms t = incircle_double(ax, ay, bx, by, cx, cy, dx, dy);
  if (std::fabs(t.det) > incircle_bound * t.permanent) {
    return t.det > 0.0 ? 1 : -1;
  }
  const mpz_class adx = scaled(ax) - scaled(dx);
  const mpz_class ady = scaled(ay) - scaled(dy);
  const mpz_class bdx = scaled(bx) - scaled(dx);
  const mpz_class bdy = scaled(by) - scaled(dy);
  const mpz_class cdx = scaled(cx) - scaled(dx);
  const mpz_class cdy = scaled(cy) - scaled(dy);
  const mpz_class alift = adx * adx + ady * ady;
  const mpz_class blift = bdx * bdx + bdy * bdy;
  const mpz_class clift = cdx * cdx + cdy * cdy;
  const mpz_class det = alift * (bdx * cdy - cdx * bdy) + blift * (cdx * ady - adx * cdy) +
                        clift * (adx * bdy - bdx * ady);
  return sign_of(det);
}

double incircle_relative(float ax, float ay, float bx, float by, float cx, float cy, float dx,
                         float dy) {
  const incircle_terms t = incircle_double(ax, ay, bx, by, cx, cy, dx, dy);
  return t.permanent > 0.0 ? t.det / t.permanent : 0.0;
}

bool all_collinear(std::span<const float> x, std::span<const float> y) {
  // Find two distinct points; every other point must be on their line.
  std::size_t b = 1;
  while (b < x.size() && x[b] == x[0] && y[b] == y[0]) {
    ++b;
  }
  for (std::size_t c = b + 1; c < x.size(); ++c) {
    if (orientation(x[0], y[0], x[b], y[b], x[c], y[c]) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace tervox_test
