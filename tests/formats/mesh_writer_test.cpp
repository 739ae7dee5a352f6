#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "formats/mesh_file.hpp"

namespace tervox_test {
using namespace tervox;
namespace {

std::string text_of(grid g, float dx, float dy, const std::vector<float>& dz) {
  return mesh_text({g, dx, dy, static_cast<int>(dz.size()) + 1, dz});
}

TEST(mesh_test, worked_example_byte_for_byte) {
  EXPECT_EQ(text_of({-40, 960.5f, 10, 12}, 100, 50, {5, 12.25f}),
            "   10   12    3\n"
            "       -40.0       960.5 0.0\n"
            " 10*100.000\n"
            " 12*50.000\n"
            "    5.00   12.25   18.38\n");
}

struct mesh_case {
  const char* what;
  grid g;
  float dx, dy;
  std::vector<float> dz;
  std::string expected;
};

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

const mesh_case mesh_cases[] = {
    {"one layer: a single field of 1.00",
     {0, 0, 3, 4},
     1,
     1,
     {},
     "    3    4    1\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    1.00\n"},
    {"two layers: the thickness and 1.5 times it",
     {0, 0, 3, 4},
     1,
     1,
     {5},
     "    3    4    2\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    5.00    7.50\n"},
    {"no cells along x",
     {460, -40, 0, 10},
     100,
     100,
     {2},
     "    0   10    2\n       460.0       -40.0 0.0\n  0*100.000\n 10*100.000\n    2.00    3.00\n"},
    {"negative counts and sizes",
     {40, 40, -9, -9},
     -100,
     -0.5f,
     {2},
     "   -9   -9    2\n        40.0        40.0 0.0\n -9*-100.000\n -9*-0.500\n    2.00    3.00\n"},
    {"asterisks where values do not fit",
     {-1e12f, 0, 1000, 100000},
     10000,
     9999.999f,
     {100000, 1},
     " 1000*****    3\n************         0.0 0.0\n************\n****9999.999\n"
     "********    1.00    1.50\n"},
    // 1.5 * 1.91f = 2.86499995, formatted from double; rounded to single
    // first it would be 2.86500001 and give 2.87.
    {"last thickness formatted from double",
     {0, 0, 1, 1},
     1,
     1,
     {1.91f},
     "    1    1    2\n         0.0         0.0 0.0\n  1*1.000\n  1*1.000\n    1.91    2.86\n"},
    {"decimal ties go to the even digit",
     {0, 0, 1, 1},
     0.0625f,
     1,
     {0.125f},
     "    1    1    2\n         0.0         0.0 0.0\n  1*0.062\n  1*1.000\n    0.12    0.19\n"},
    {"negative zero origin written without sign",
     {-0.0f, -0.04f, 1, 1},
     1,
     1,
     {1},
     "    1    1    2\n         0.0        -0.0 0.0\n  1*1.000\n  1*1.000\n    1.00    1.50\n"},
    {"infinities and NaN",
     {-inf, nan, 0, 0},
     inf,
     nan,
     {nan},
     "    0    0    2\n   -Infinity         NaN 0.0\n  0*Infinity\n  0*NaN\n     NaN     NaN\n"},
    {"many layers on one line",
     {0, 0, 1, 1},
     1,
     1,
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
     "    1    1   12\n         0.0         0.0 0.0\n  1*1.000\n  1*1.000\n"
     "    1.00    2.00    3.00    4.00    5.00    6.00    7.00    8.00    9.00   10.00   11.00"
     "   16.50\n"},
};

TEST(mesh_test, field_layouts) {
  for (const auto& c : mesh_cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(text_of(c.g, c.dx, c.dy, c.dz), c.expected);
  }
}

}  // namespace
}  // namespace tervox_test
