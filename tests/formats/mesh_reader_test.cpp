// The mesh file as tervox writes it, read back: counts, origin, cell sizes
// and thicknesses, whatever their fields hold, and clear failures for files
// that are not a mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/mesh_file.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
namespace {

struct round_trip_case {
  const char* what;
  grid g;
  std::vector<float> dz;  // as a soundings file gives them: nlayer-1
  double xmin, ymin;      // as the file's one decimal gives them back
};

const round_trip_case round_trip_cases[] = {
    {"the example survey", {74.9f, -5.0f, 73, 80, 25, 25}, {2, 2.5f, 3, 3.5f}, 74.9, -5.0},
    // From 1000 cells on the repeat count no longer fits its 3 characters.
    {"counts of 1000 and more", {-12.34f, 600000.5f, 2000, 1999, 0.5f, 1}, {10}, -12.3, 600000.5},
    // 100000 and more does not fit 8 characters with 2 decimals; 12345.67
    // fills its field and runs into the next.
    {"thicknesses too wide and run together", {0, 0, 3, 2, 100, 50}, {12345.67f, 250000, 1}, 0, 0},
    {"one layer", {1, 2, 4, 5, 9999.5f, 7}, {}, 1, 2},
};

TEST(view_mesh_file, reads_what_tervox_writes) {
  for (const auto& c : round_trip_cases) {
    SCOPED_TRACE(c.what);
    const mesh_description d{c.g, static_cast<int>(c.dz.size()) + 1, c.dz};
    const mesh m = parse_mesh(mesh_text(d), "grid.mesh");
    EXPECT_EQ(m.nx, c.g.nx);
    EXPECT_EQ(m.ny, c.g.ny);
    EXPECT_EQ(m.nlayer, d.nlayer);
    EXPECT_DOUBLE_EQ(m.xmin, c.xmin);
    EXPECT_DOUBLE_EQ(m.ymin, c.ymin);
    EXPECT_DOUBLE_EQ(m.dx, static_cast<double>(c.g.dx));
    EXPECT_DOUBLE_EQ(m.dy, static_cast<double>(c.g.dy));
    ASSERT_EQ(m.dz.size(), static_cast<std::size_t>(d.nlayer));
    for (std::size_t k = 0; k < c.dz.size(); ++k) {
      if (c.dz[k] >= 100000)
        EXPECT_TRUE(std::isnan(m.dz[k])) << "layer " << k + 1;
      else
        EXPECT_NEAR(m.dz[k], static_cast<double>(c.dz[k]), 0.005) << "layer " << k + 1;
    }
    // The last layer is half as thick again as the one above it, or 1.
    const double last = c.dz.empty() ? 1.0 : 1.5 * static_cast<double>(c.dz.back());
    EXPECT_NEAR(m.dz.back(), last, 0.005);
  }
}

TEST(view_mesh_file, accepts_crlf_line_ends_and_trailing_blank_lines) {
  const mesh m = parse_mesh(
      "    2    3    2\r\n         0.0        10.0 0.0\r\n  2*5.000\r\n  3*5.000\r\n"
      "    1.00    1.50\r\n\r\n",
      "grid.mesh");
  EXPECT_EQ(m.nx, 2);
  EXPECT_EQ(m.ny, 3);
  EXPECT_DOUBLE_EQ(m.ymin, 10.0);
  EXPECT_DOUBLE_EQ(m.dz[1], 1.5);
}

struct bad_case {
  const char* what;
  std::string text;
  const char* where;  // file and line the message starts with
  const char* reason;
};

const std::string line1 = "    2    3    2\n";
const std::string line2 = "         0.0        10.0 0.0\n";
const std::string line34 = "  2*5.000\n  3*5.000\n";
const std::string line5 = "    1.00    1.50\n";

const bad_case bad_cases[] = {
    {"an empty file", "", "grid.mesh:1: ", "ends before line 1"},
    {"a volume file given as mesh", " 1.2346E+02\n 1.2346E+02\n",
     "grid.mesh:1: ", "expected the number of cells along x in columns 1-5"},
    {"no layers", "    2    3    0\n" + line2 + line34 + line5,
     "grid.mesh:1: ", "the number of layers must be at least 1, got 0"},
    {"a count too large for its field", "*****    3    2\n" + line2 + line34 + line5,
     "grid.mesh:1: ", "too large for its field"},
    {"an origin too wide for its field", line1 + "************        10.0 0.0\n" + line34 + line5,
     "grid.mesh:2: ", "xmin is too wide"},
    {"stops after line 3", line1 + line2 + "  2*5.000\n", "grid.mesh:4: ", "ends before line 4"},
    {"a repeat count that disagrees with line 1", line1 + line2 + "  4*5.000\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "4 cells along x, but line 1 gives 2"},
    {"asterisks for fewer than 1000 cells", line1 + line2 + "****5.000\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "is '***', but line 1 gives 2"},
    {"a cell size too wide for its field", line1 + line2 + "  2*5.000\n  3*********\n" + line5,
     "grid.mesh:4: ", "the cell size along y is too wide"},
    {"a cell size of 0", line1 + line2 + "  2*0.000\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "must be positive"},
    {"no '*' in line 3", line1 + line2 + "  2 5.000\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "expected nx*dx"},
    {"a repeat count that is no number", line1 + line2 + " x2*5.000\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "the number of cells in columns 1-3, got ' x2'"},
    {"a cell size that is no number", line1 + line2 + "  2*5.0x0\n  3*5.000\n" + line5,
     "grid.mesh:3: ", "the cell size along x after the '*', got '5.0x0'"},
    // A line longer than its fields is split at blanks, and must hold its
    // three values.
    {"a wide line 1 of four values", " 100000    3    2    7\n" + line2 + line34 + line5,
     "grid.mesh:1: ", "3 values separated by blanks"},
    {"fewer thicknesses than layers", line1 + line2 + line34 + "    1.00\n",
     "grid.mesh:5: ", "expected 2 thicknesses of 8 characters (16 characters), got 8"},
    {"a thickness that is no number", line1 + line2 + line34 + "    1.00    1.x0\n",
     "grid.mesh:5: ", "expected the thickness of layer 2 in columns 9-16"},
    {"more thicknesses than layers", line1 + line2 + line34 + "    1.00    1.50    2.25\n",
     "grid.mesh:5: ", "unexpected text after column 16"},
    {"text after line 5", line1 + line2 + line34 + line5 + "more\n",
     "grid.mesh:6: ", "expected nothing after line 5"},
};

TEST(view_mesh_file, reports_the_line_and_the_reason) {
  for (const auto& c : bad_cases) {
    SCOPED_TRACE(c.what);
    try {
      (void)parse_mesh(c.text, "grid.mesh");
      ADD_FAILURE() << "no error";
    } catch (const diagnostic_error& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message.starts_with(c.where)) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
  }
}

TEST(view_mesh_file, layer_depths_add_up_the_thicknesses) {
  const mesh m = parse_mesh(line1 + line2 + line34 + line5, "grid.mesh");
  EXPECT_EQ(layer_depths(m), (std::vector<double>{0, 1, 2.5}));

  struct case_ {
    const char* line5;
    const char* reason;
  };
  for (const auto& c : {case_{"********    1.50\n", "layer 1 is too wide for its field"},
                        case_{"    1.00   -1.50\n", "layer 2 is negative"},
                        case_{"    0.00    0.00\n", "every layer is 0 thick"}}) {
    SCOPED_TRACE(c.line5);
    const mesh bad = parse_mesh(line1 + line2 + line34 + c.line5, "grid.mesh");
    try {
      (void)layer_depths(bad);
      ADD_FAILURE() << "no error";
    } catch (const diagnostic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_TRUE(std::string(e.what()).starts_with("grid.mesh:5: ")) << e.what();
    }
  }
}

}  // namespace
}  // namespace tervox_test
