#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "formats/mesh_file.hpp"

namespace tervox_test {
using namespace tervox::formats;
namespace {

std::string text_of(grid g, const std::vector<float>& dz) {
  return mesh_text({g, static_cast<int>(dz.size()) + 1, dz});
}

TEST(mesh_test, worked_example_byte_for_byte) {
  EXPECT_EQ(text_of({-40, 960.5f, 10, 12, 100, 50}, {5, 12.25f}),
            "   10   12    3\n"
            "       -40.0       960.5 0.0\n"
            " 10*100.000\n"
            " 12*50.000\n"
            "    5.00   12.25   18.38\n");
}

struct mesh_case {
  const char* what;
  grid g;
  std::vector<float> dz;
  std::string expected;
};

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

const mesh_case mesh_cases[] = {
    {"one layer: a single field of 1.00",
     {0, 0, 3, 4, 1, 1},
     {},
     "    3    4    1\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    1.00\n"},
    {"two layers: the thickness and 1.5 times it",
     {0, 0, 3, 4, 1, 1},
     {5},
     "    3    4    2\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    5.00    7.50\n"},
    {"no cells along x",
     {460, -40, 0, 10, 100, 100},
     {2},
     "    0   10    2\n       460.0       -40.0 0.0\n  0*100.000\n 10*100.000\n    2.00    3.00\n"},
    {"negative counts and sizes",
     {40, 40, -9, -9, -100, -0.5f},
     {2},
     "   -9   -9    2\n        40.0        40.0 0.0\n -9*-100.000\n -9*-0.500\n    2.00    3.00\n"},
    // Counts of 1000 or more in 3 characters and a thickness of 100000 or
    // more stay asterisks; line 1 gives the counts, and the grid is placed
    // without the thicknesses.
    {"asterisks where values do not fit",
     {-1e12f, 0, 1000, 1000, 1e6f, 9999.999f},
     {100000, 1},
     " 1000 1000    3\n      -1e+12         0.0 0.0\n****1e+06\n****9999.999\n"
     "********    1.00    1.50\n"},
    // 1.5 * 1.91f = 2.86499995, formatted from double; rounded to single
    // first it would be 2.86500001 and give 2.87.
    {"last thickness formatted from double",
     {0, 0, 1, 1, 1, 1},
     {1.91f},
     "    1    1    2\n         0.0         0.0 0.0\n  1*1.000\n  1*1.000\n    1.91    2.86\n"},
    {"decimal ties go to the even digit",
     {0, 0, 1, 1, 0.0625f, 1},
     {0.125f},
     "    1    1    2\n         0.0         0.0 0.0\n  1*0.062\n  1*1.000\n    0.12    0.19\n"},
    {"negative zero origin written without sign",
     {-0.0f, -0.04f, 1, 1, 1, 1},
     {1},
     "    1    1    2\n         0.0        -0.0 0.0\n  1*1.000\n  1*1.000\n    1.00    1.50\n"},
    {"infinities and NaN",
     {-inf, nan, 0, 0, inf, nan},
     {nan},
     "    0    0    2\n   -Infinity         NaN 0.0\n  0*Infinity\n  0*NaN\n     NaN     NaN\n"},
    {"many layers on one line",
     {0, 0, 1, 1, 1, 1},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
     "    1    1   12\n         0.0         0.0 0.0\n  1*1.000\n  1*1.000\n"
     "    1.00    2.00    3.00    4.00    5.00    6.00    7.00    8.00    9.00   10.00   11.00"
     "   16.50\n"},
};

TEST(mesh_test, field_layouts) {
  for (const auto& c : mesh_cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(text_of(c.g, c.dz), c.expected);
  }
}

// A delivered file may give the last layer's bottom: its thickness is then
// written as it is, in place of 1.5 times the one above (or 1 for a single
// layer); every other byte stays.
TEST(mesh_test, last_thickness_given_by_the_file) {
  const grid g{0, 0, 3, 4, 1, 1};
  const std::vector<float> two = {5};
  EXPECT_EQ(
      mesh_text({g, 2, two, 12.0f}),
      "    3    4    2\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    5.00   12.00\n");
  EXPECT_EQ(mesh_text({g, 1, {}, 2.5f}),
            "    3    4    1\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    2.50\n");
  // Formatted from the single-precision value, widened exactly.
  EXPECT_EQ(
      mesh_text({g, 2, two, 2.865f}),
      "    3    4    2\n         0.0         0.0 0.0\n  3*1.000\n  4*1.000\n    5.00    2.87\n");
}

// Where a fixed field would move the grid, it is written with the digits it
// needs; where it would not, it stays as it is, to the byte.
const mesh_case describing_cases[] = {
    {"a survey in degrees: origin and size with their digits",
     {-27.0502f, 153.0251f, 37, 41, 0.0005f, 0.0005f},
     {1},
     "   37   41    2\n    -27.0502    153.0251 0.0\n 37*0.0005\n 41*0.0005\n    1.00    1.50\n"},
    {"100000 cells along x and one row",
     {0, 0, 100000, 1, 1, 1},
     {1},
     " 100000    1    2\n         0.0         0.0 0.0\n****1.000\n  1*1.000\n    1.00    1.50\n"},
    {"99999 cells still fit line 1",
     {0, 0, 99999, 10000, 1, 1},
     {1},
     "9999910000    2\n         0.0         0.0 0.0\n****1.000\n****1.000\n    1.00    1.50\n"},
    {"100000 cells beside a full field: each count set off by a blank",
     {0, 0, 100000, 10000, 1, 1},
     {1},
     " 100000 10000    2\n         0.0         0.0 0.0\n****1.000\n****1.000\n    1.00    1.50\n"},
    {"origin moved by less than a tenth of a cell stays",
     {100.04f, 0, 10, 10, 1, 1},
     {1},
     "   10   10    2\n       100.0         0.0 0.0\n 10*1.000\n 10*1.000\n    1.00    1.50\n"},
    {"origin moved by more than a tenth of a cell",
     {100.04f, 0, 10, 10, 0.3f, 1},
     {1},
     "   10   10    2\n      100.04         0.0 0.0\n 10*0.300\n 10*1.000\n    1.00    1.50\n"},
    {"far edge moved by more than a tenth of a cell",
     {0, 0, 20, 1, 0.0625f, 0.0625f},
     {1},
     "   20    1    2\n         0.0         0.0 0.0\n 20*0.0625\n  1*0.062\n    1.00    1.50\n"},
    {"origin beyond its field",
     {-1.5e10f, 7.5e10f, 3, 3, 1e6f, 1e6f},
     {1},
     "    3    3    2\n    -1.5e+10     7.5e+10 0.0\n  3*1e+06\n  3*1e+06\n    1.00    1.50\n"},
};

TEST(mesh_test, fields_that_would_misdescribe_the_grid) {
  for (const auto& c : describing_cases) {
    SCOPED_TRACE(c.what);
    const std::string text = text_of(c.g, c.dz);
    EXPECT_EQ(text, c.expected);
    const mesh m = parse_mesh(text, "case.mesh");
    EXPECT_EQ(m.nx, c.g.nx);
    EXPECT_EQ(m.ny, c.g.ny);
    EXPECT_EQ(m.nlayer, 2);
  }
}

// Whatever the grid, the mesh read back places it within a tenth of a cell:
// origin, far edge and counts.
TEST(mesh_test, read_back_places_the_grid_within_a_tenth_of_a_cell) {
  std::mt19937 gen(2024);
  const auto log_uniform = [&](double lo, double hi) {
    return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(gen));
  };
  for (int i = 0; i < 20000; ++i) {
    const float dx = static_cast<float>(log_uniform(1e-6, 1e5));
    const float dy = static_cast<float>(log_uniform(1e-6, 1e5));
    const auto origin = [&] {
      const double v = log_uniform(1e-4, 1e9);
      return static_cast<float>(gen() % 2 == 0 ? v : -v);
    };
    const grid g{origin(),
                 origin(),
                 static_cast<int>(log_uniform(1, 3e6)),
                 static_cast<int>(log_uniform(1, 3e6)),
                 dx,
                 dy};
    const std::string text = text_of(g, {1});
    SCOPED_TRACE(text);
    const mesh m = parse_mesh(text, "random.mesh");
    ASSERT_EQ(m.nx, g.nx);
    ASSERT_EQ(m.ny, g.ny);
    const double ddx = static_cast<double>(dx);
    const double ddy = static_cast<double>(dy);
    EXPECT_LE(std::fabs(m.xmin - static_cast<double>(g.xmin)), 0.1 * ddx);
    EXPECT_LE(std::fabs(m.ymin - static_cast<double>(g.ymin)), 0.1 * ddy);
    EXPECT_LE(std::fabs(g.nx * (m.dx - ddx)), 0.1 * ddx);
    EXPECT_LE(std::fabs(g.ny * (m.dy - ddy)), 0.1 * ddy);
  }
}

}  // namespace
}  // namespace tervox_test
