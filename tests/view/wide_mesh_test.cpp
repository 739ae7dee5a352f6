// tervox-view on grids whose mesh file needs more digits than its fixed
// fields hold: a survey in degrees and 100000 cells along x. The .vtr it
// writes must lie where tervox placed the grid, over the soundings.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/run_program.hpp"

namespace tervox_test {
namespace {

// The Float64 coordinate array `name` of a .vtr file as tervox-view writes
// it: appended raw data, each array a 64-bit byte count and its values.
std::vector<double> vtr_coordinates(const std::string& vtr, const std::string& name) {
  const std::string tag = "Name=\"" + name + "\" format=\"appended\" offset=\"";
  const std::size_t at = vtr.find(tag);
  const std::size_t data = vtr.find("<AppendedData encoding=\"raw\">\n   _");
  if (at == std::string::npos || data == std::string::npos)
    return {};
  const std::size_t offset = std::stoull(vtr.substr(at + tag.size()));
  const std::size_t base = vtr.find('_', data) + 1 + offset;
  std::uint64_t bytes = 0;
  std::memcpy(&bytes, vtr.data() + base, sizeof bytes);
  std::vector<double> v(bytes / sizeof(double));
  std::memcpy(v.data(), vtr.data() + base + sizeof bytes, bytes);
  return v;
}

TEST(view_wide_mesh, vtr_lies_where_tervox_placed_the_grid) {
  const struct {
    const char* what;
    std::string soundings;
    std::vector<std::string> sizes;
    float xmin, dx;
    int nx;
    double west, east;  // the soundings' extent along x
  } cases[] = {
      {"degrees",
       "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nlon lat rho\n"
       "-27.05 153.01 1\n-27.0 153.01 2\n-27.03 153.03 3\n",
       {"0.0005", "0.0005"},
       -27.0502f,
       0.0005f,
       100,
       -27.05,
       -27.0},
      {"100000 cells and one row",
       "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y rho\n"
       "0 0 1\n100000 0 2\n50000 0.5 3\n",
       {"1", "1"},
       -0.4f,
       1.0f,
       100000,
       0,
       100000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    write_file(dir / "in.txt", c.soundings);
    const tool_run grid = run_program(
        TERVOX_EXE, {"in.txt", "out.vol", c.sizes[0], c.sizes[1], "0"}, tool_options(dir.path()));
    ASSERT_EQ(grid.status, 0) << grid.err;
    const tool_run view =
        run_program(TERVOX_VIEW_EXE, {"vtr", "out.vol", "-o", "out.vtr"}, tool_options(dir.path()));
    ASSERT_EQ(view.status, 0) << view.err;
    EXPECT_EQ(view.err, "");
    const std::vector<double> x = vtr_coordinates(read_file(dir / "out.vtr"), "x");
    ASSERT_EQ(x.size(), static_cast<std::size_t>(c.nx) + 1);
    const double dx = static_cast<double>(c.dx);
    const double tenth = 0.1 * dx;
    EXPECT_NEAR(x.front(), static_cast<double>(c.xmin), tenth);
    EXPECT_NEAR(x.back(), static_cast<double>(c.xmin) + c.nx * dx, tenth);
    // The grid starts 0.4 cell before the first sounding and stops short of
    // the last by less than a cell.
    EXPECT_LT(x.front(), c.west);
    EXPECT_GT(x.back(), c.east - dx);
  }
}

}  // namespace
}  // namespace tervox_test
