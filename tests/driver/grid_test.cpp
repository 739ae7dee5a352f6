#include "grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tervox_test {
using namespace tervox::driver;
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct axis_case {
  const char* what;
  std::vector<float> loc;
  float d;
  float min;  // expected origin (NaN: expected NaN)
  int count;
  bool fits;
};

const axis_case axis_cases[] = {
    {"0 to 1000, cell 100 (quotient 10.8)", {0, 1000, 500}, 100, -40, 10, true},
    {"scan takes the extremes wherever they are", {700, 1000, 0, 300}, 100, -40, 10, true},
    {"one location repeated (quotient 0.8)", {500, 500, 500}, 100, 460, 0, true},
    {"0 to 80, cell 100 (quotient 1.6)", {0, 80}, 100, -40, 1, true},
    {"single sounding", {7}, 10, 3, 0, true},
    {"zero cell size", {3, 9}, 0, 3, 0, true},
    {"negative cell size (quotient -9.2, truncated toward zero)", {0, 1000}, -100, 40, -9, true},
    {"infinite cell size", {0, 1000}, inf, -inf, 0, true},
    {"NaN cell size", {0, 1000}, nan, nan, 0, true},
    // The margin is 0.4f times the cell size: 0.4f + 0x1.99999 8p-3 + 0.4f is
    // exactly 1, where the decimal 0.4 would give 0.99999999404.
    {"margin uses the single-precision 0.4", {0, 0x1.999998p-3f}, 1, -0x1.99999ap-2f, 1, true},
    // The margin stays in double: rounded to single it would make the
    // quotient exactly 1 here instead of 0.9999999974.
    {"margin kept in double", {0, 0x1.1eb85p-3f}, 0.7f, -0x1.1eb852p-2f, 0, true},
    {"largest count that fits", {0, 2147483520.0f}, 1, -0.4f, 2147483520, true},
    {"count of 2^31 does not fit", {0, 2147483648.0f}, 1, -0.4f, 0, false},
    {"tiny cell size does not fit", {0, 1000}, 1e-7f, 0, 0, false},
    {"most negative count that fits", {0, 2147483648.0f}, -1, 0.4f, -2147483647, true},
    {"negative count beyond 32 bits", {0, 2147483904.0f}, -1, 0.4f, 0, false},
};

TEST(grid_test, places_one_axis) {
  for (const auto& c : axis_cases) {
    SCOPED_TRACE(c.what);
    const axis_placement a = place_axis(c.loc, c.d);
    EXPECT_EQ(a.fits, c.fits);
    if (!c.fits)
      continue;
    if (std::isnan(c.min)) {
      EXPECT_TRUE(std::isnan(a.min));
    } else {
      EXPECT_EQ(a.min, c.min);
    }
    EXPECT_EQ(a.count, c.count);
  }
}

TEST(grid_test, reports_the_quotient_that_does_not_fit) {
  const std::vector<float> x{0, 1000};
  const axis_placement a = place_axis(x, 1e-7f);
  EXPECT_FALSE(a.fits);
  EXPECT_GT(a.quotient, 9e9);
}

}  // namespace
}  // namespace tervox_test
