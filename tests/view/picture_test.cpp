// The PNG pictures, decoded through libpng: their size, no-data cells where
// the volume has filled cells or no number, north up, the colour scale, the
// sounding dots, and sections with every layer as tall as its thickness.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "pictures.hpp"
#include "support/run_program.hpp"
#include "view/grid_fixture_support.hpp"
#include "view_run.hpp"

namespace tervox_test {
using namespace tervox;
using namespace tervox::view;
namespace {

// 6 x 4 cells of 10 x 10 from the origin, 3 layers 1, 3 and 4.5 thick.
// Layer 1 grows with x and y (2 to 36), layer 2 spans five decades along x
// (1 to 1e5), layer 3 is 300 + ix + iy. Three cells are filled, and
// layer 1 has no number in cell (4, 2).
grid_fixture example() {
  grid_fixture f;
  f.nx = 6;
  f.ny = 4;
  f.dx = 10;
  f.dy = 10;
  f.dz = {1, 3};
  f.value = [](int ix, int iy, int k) {
    switch (k) {
      case 1:
        return ix == 4 && iy == 2 ? std::nanf("") : static_cast<float>(1 + ix + 10 * (iy - 1));
      case 2:
        return static_cast<float>(std::pow(10.0, ix - 1));
      default:
        return static_cast<float>(300 + ix + iy);
    }
  };
  f.filled = [](int ix, int iy) {
    return (ix == 1 && iy == 1) || (ix == 6 && iy == 4) || (ix == 2 && iy == 3);
  };
  return f;
}

class view_picture : public ::testing::Test {
 protected:
  void SetUp() override { fixture.write(dir / "grid.vol"); }

  // Runs tervox-view with the volume and the output in the test's folder.
  decoded_png draw(std::vector<std::string> args) {
    args.insert(args.begin() + 1, (dir / "grid.vol").string());
    args.push_back("-o");
    args.push_back((dir / "out.png").string());
    std::ostringstream out, err;
    const exit_status status = run(args, out, err);
    EXPECT_EQ(status, exit_status::success) << err.str();
    EXPECT_EQ(err.str(), "");
    return read_png(dir / "out.png");
  }

  tervox_test::temp_folder dir;
  grid_fixture fixture = example();
};

// The colour of a slice's cell (ix, iy), checked to be the same over the
// whole square of the cell.
rgb cell_colour(const decoded_png& png, const layout& l, int ny, int n, int ix, int iy) {
  const int x0 = l.plot_x + (ix - 1) * n;
  const int y0 = l.plot_y + (ny - iy) * n;  // north up: row 1 at the bottom
  const rgb c = png.at(x0, y0);
  for (int y = y0; y < y0 + n; ++y) {
    for (int x = x0; x < x0 + n; ++x) {
      if (!(png.at(x, y) == c)) {
        ADD_FAILURE() << "cell (" << ix << ", " << iy << ") is not one colour";
        return c;
      }
    }
  }
  return c;
}

TEST_F(view_picture, slice_shows_filled_cells_and_missing_values_as_no_data) {
  const int n = 5;
  const decoded_png png = draw({"slice", "--layer", "1", "--cell-pixels", std::to_string(n)});
  const layout l = slice_layout(fixture.nx, fixture.ny, n);
  ASSERT_EQ(png.width, l.width);
  ASSERT_EQ(png.height, l.height);
  ASSERT_GE(l.plot_x, 1);
  ASSERT_LE(l.plot_x + l.plot_w, png.width);

  // Values grow with x and with y, so their colours do too, from the first
  // entry of the map at the smallest value to the last at the largest.
  int smallest = 256, largest = -1;
  for (int iy = 1; iy <= fixture.ny; ++iy) {
    for (int ix = 1; ix <= fixture.nx; ++ix) {
      SCOPED_TRACE("cell (" + std::to_string(ix) + ", " + std::to_string(iy) + ")");
      const rgb c = cell_colour(png, l, fixture.ny, n, ix, iy);
      if (fixture.filled(ix, iy) || std::isnan(fixture.value(ix, iy, 1))) {
        EXPECT_EQ(c, no_data_colour);
        continue;
      }
      const int index = map_index(c);
      ASSERT_GE(index, 0) << "not a colour of the map";
      smallest = std::min(smallest, index);
      largest = std::max(largest, index);
      for (const auto& [jx, jy] : {std::pair{ix - 1, iy}, std::pair{ix, iy - 1}}) {
        if (jx < 1 || jy < 1 || fixture.filled(jx, jy) || std::isnan(fixture.value(jx, jy, 1)))
          continue;
        EXPECT_LT(map_index(cell_colour(png, l, fixture.ny, n, jx, jy)), index);
      }
    }
  }
  EXPECT_EQ(smallest, 0);
  EXPECT_EQ(largest, 255);
}

TEST_F(view_picture, slice_colour_scale) {
  // Layer 2 is 10^(ix-1): evenly spread on a logarithmic scale, squeezed
  // into the bottom of a linear one.
  struct case_ {
    const char* scale;
    std::vector<int> index;  // of ix = 1 to 6
  };
  const case_ cases[] = {
      {"auto", {0, 51, 102, 153, 204, 255}},
      {"log", {0, 51, 102, 153, 204, 255}},
      {"linear", {0, 0, 0, 2, 25, 255}},
  };
  const int n = 3;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    const decoded_png png =
        draw({"slice", "--layer", "2", "--scale", c.scale, "--cell-pixels", "3"});
    const layout l = slice_layout(fixture.nx, fixture.ny, n);
    for (int ix = 1; ix <= fixture.nx; ++ix) {
      EXPECT_EQ(map_index(cell_colour(png, l, fixture.ny, n, ix, 2)), c.index[ix - 1])
          << "ix " << ix;
    }
  }
}

TEST_F(view_picture, slice_draws_soundings_as_dots) {
  // A sounding at the centre of cell (2, 3) (filled) and of cell (5, 1), and
  // one far off the grid, which is left out.
  tervox_test::write_file(dir / "soundings.txt",
                          "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\n"
                          "x y rho\n15 25 1\n45 5 1\n9000 9000 1\n");
  const int n = 8;
  const decoded_png png = draw({"slice", "--layer", "3", "--cell-pixels", "8", "--soundings",
                                (dir / "soundings.txt").string()});
  const layout l = slice_layout(fixture.nx, fixture.ny, n);
  const rgb black{0, 0, 0};
  const auto centre = [&](int ix, int iy) {
    return png.at(l.plot_x + (ix - 1) * n + n / 2, l.plot_y + (fixture.ny - iy) * n + n / 2);
  };
  EXPECT_EQ(centre(2, 3), black);
  EXPECT_EQ(centre(5, 1), black);
  EXPECT_NE(map_index(centre(4, 3)), -1);
  EXPECT_NE(map_index(centre(5, 2)), -1);
  // Only the two dots are black within the plot.
  int black_pixels = 0;
  for (int y = l.plot_y; y < l.plot_y + l.plot_h; ++y) {
    for (int x = l.plot_x; x < l.plot_x + l.plot_w; ++x) black_pixels += png.at(x, y) == black;
  }
  EXPECT_GT(black_pixels, 0);
  EXPECT_LE(black_pixels, 2 * n * n / 2);
}

struct section_case {
  const char* what;
  std::vector<std::string> args;
  int cells;                        // across the section
  std::function<bool(int)> filled;  // cell i (from 1) across
};

TEST_F(view_picture, section_draws_each_layer_as_tall_as_its_thickness) {
  const section_case cases[] = {
      {"row 3", {"--row", "3"}, 6, [](int i) { return i == 2; }},
      {"column 2", {"--column", "2"}, 4, [](int i) { return i == 3; }},
      {"column 6", {"--column", "6"}, 4, [](int i) { return i == 4; }},
  };
  // Thicknesses 1, 3 and 4.5 in 85 pixels: layer 1 is 10 rows, layer 2 30
  // and layer 3 45.
  const int bands[] = {0, 10, 40, 85};
  const int n = 4;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args{"section", "--height", "85", "--cell-pixels", "4"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const decoded_png png = draw(args);
    const layout l = section_layout(c.cells, n, 85);
    ASSERT_EQ(png.width, l.width);
    ASSERT_EQ(png.height, l.height);
    for (int i = 1; i <= c.cells; ++i) {
      SCOPED_TRACE("cell " + std::to_string(i));
      // One colour down each layer's band, another in the next band.
      rgb previous = no_data_colour;
      for (int k = 0; k < 3; ++k) {
        const int x = l.plot_x + (i - 1) * n;
        const rgb band = png.at(x, l.plot_y + bands[k]);
        for (int y = bands[k]; y < bands[k + 1]; ++y) {
          for (int dx = 0; dx < n; ++dx) ASSERT_EQ(png.at(x + dx, l.plot_y + y), band) << y;
        }
        if (c.filled(i)) {
          EXPECT_EQ(band, no_data_colour);
          continue;
        }
        EXPECT_GE(map_index(band), 0);
        EXPECT_NE(band, previous) << "layer " << k + 1;
        previous = band;
      }
    }
  }
}

}  // namespace
}  // namespace tervox_test
