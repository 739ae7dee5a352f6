// The pictures, drawn through cairo and read back: their size, no-data
// cells where the volume has filled cells or no number, north up, the colour
// scale and its range, the sounding dots, sections with every layer as tall
// as its thickness, and the texts of the SVG. Nothing here depends on the
// shapes of the font's letters, only on where the layout puts the cells.
#if TERVOX_VIEW_CAIRO
#  include <gtest/gtest.h>

#  include <cmath>
#  include <sstream>
#  include <string>
#  include <vector>

#  include "formats/description.hpp"
#  include "pictures.hpp"
#  include "support/run_program.hpp"
#  include "view/grid_fixture_support.hpp"
#  include "view_run.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
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
  void run_view(std::vector<std::string> args, const std::string& output) {
    args.insert(args.begin() + 1, (dir / "grid.vol").string());
    args.push_back("-o");
    args.push_back((dir / output).string());
    std::ostringstream out, err;
    const exit_status status = run(args, out, err);
    EXPECT_EQ(status, exit_status::success) << err.str();
    EXPECT_EQ(err.str(), "");
  }
  decoded_png draw(const std::vector<std::string>& args) {
    run_view(args, "out.png");
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
  const decoded_png png =
      draw({"slice", "--layer", "1", "--cell-pixels", std::to_string(n), "--scale", "linear"});
  const layout l = slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, n);
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

TEST_F(view_picture, slice_colour_scale_and_range) {
  struct case_ {
    std::vector<std::string> args;
    int row;
    std::vector<int> index;  // of ix = 1 to 6 in row `row`
  };
  const case_ cases[] = {
      // Layer 2 is 10^(ix-1): evenly spread on a logarithmic scale,
      // squeezed into the bottom of a linear one.
      {{"--layer", "2"}, 2, {0, 51, 102, 153, 204, 255}},
      {{"--layer", "2", "--scale", "log"}, 2, {0, 51, 102, 153, 204, 255}},
      {{"--layer", "2", "--scale", "linear"}, 2, {0, 0, 0, 2, 25, 255}},
      // Layer 1 alone (2 to 36) would suit a linear scale, but the volume
      // spans five decades: every layer of it gets a logarithmic one.
      // Row 1 holds 3 to 7 for ix = 2 to 6 (cell 1 is filled), in a layer
      // from 3 to 36.
      {{"--layer", "1"}, 1, {-1, 0, 29, 52, 71, 87}},
      {{"--layer", "1", "--scale", "linear"}, 1, {-1, 0, 7, 15, 23, 31}},
      // A fixed range: values beyond it take the colours of its ends.
      {{"--layer", "2", "--range", "10", "1000"}, 2, {0, 0, 128, 255, 255, 255}},
      {{"--layer", "2", "--range", "-10", "1000"}, 2, {2, 5, 27, 255, 255, 255}},
      {{"--layer", "2", "--range=10", "1000"}, 2, {}},
  };
  const int n = 3;
  for (const auto& c : cases) {
    std::vector<std::string> args{"slice", "--cell-pixels", "3"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    if (c.index.empty()) {
      std::ostringstream out, err;
      args.insert(args.begin() + 1, (dir / "grid.vol").string());
      args.insert(args.end(), {"-o", (dir / "out.png").string()});
      EXPECT_EQ(run(args, out, err), exit_status::usage);
      continue;
    }
    const decoded_png png = draw(args);
    const layout l = slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, n);
    for (int ix = 1; ix <= fixture.nx; ++ix) {
      const rgb colour = cell_colour(png, l, fixture.ny, n, ix, c.row);
      if (c.index[static_cast<std::size_t>(ix - 1)] < 0)
        EXPECT_EQ(colour, no_data_colour) << "ix " << ix;
      else
        EXPECT_EQ(map_index(colour), c.index[static_cast<std::size_t>(ix - 1)]) << "ix " << ix;
    }
  }
}

// Whether `c` is `under` darkened by a dot: darker in every channel.
bool darkened(rgb c, rgb under) {
  return c.r < under.r && c.g < under.g && c.b < under.b;
}

TEST_F(view_picture, slice_draws_soundings_as_small_dots_over_the_colours) {
  // A sounding at the centre of cell (2, 3) (filled) and of cell (5, 1), and
  // one far off the grid, which is left out.
  tervox_test::write_file(dir / "soundings.txt",
                          "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\n"
                          "x y rho\n15 25 1\n45 5 1\n9000 9000 1\n");
  const int n = 8;
  const decoded_png plain = draw({"slice", "--layer", "3", "--cell-pixels", "8"});
  const decoded_png png = draw({"slice", "--layer", "3", "--cell-pixels", "8", "--soundings",
                                (dir / "soundings.txt").string()});
  const layout l = slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, n);
  const auto at = [&](const decoded_png& p, int ix, int iy, int dx, int dy) {
    return p.at(l.plot_x + (ix - 1) * n + dx, l.plot_y + (fixture.ny - iy) * n + dy);
  };
  EXPECT_TRUE(darkened(at(png, 2, 3, 4, 4), no_data_colour));
  EXPECT_TRUE(darkened(at(png, 5, 1, 4, 4), at(plain, 5, 1, 4, 4)));
  // The dots are small: the corners of their cells keep their colour, and
  // so does every other cell.
  int changed = 0;
  for (int y = l.plot_y; y < l.plot_y + l.plot_h; ++y) {
    for (int x = l.plot_x; x < l.plot_x + l.plot_w; ++x)
      changed += !(png.at(x, y) == plain.at(x, y));
  }
  EXPECT_GT(changed, 0);
  // At most the square around each disc of radius 2.5 and its smoothed edge.
  EXPECT_LE(changed, 2 * 7 * 7);
  for (const auto& [dx, dy] :
       {std::pair{0, 0}, std::pair{7, 0}, std::pair{0, 7}, std::pair{7, 7}}) {
    EXPECT_EQ(at(png, 2, 3, dx, dy), no_data_colour);
    EXPECT_EQ(at(png, 5, 1, dx, dy), at(plain, 5, 1, dx, dy));
  }
}

TEST_F(view_picture, dense_soundings_stay_dots_instead_of_a_bar) {
  // 400 soundings along the middle of row 2, 0.15 apart in cells of 10:
  // 0.12 pixels apart. Drawn as before they covered the row as one black
  // bar; now they are the thinnest of lines and the row keeps its colours.
  std::string text = "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 400\nx y v\n";
  for (int i = 0; i < 400; ++i) text += std::to_string(0.5 + 0.15 * i) + " 15 1\n";
  write_file(dir / "line.txt", text);
  const int n = 8;
  const decoded_png plain = draw({"slice", "--layer", "3", "--cell-pixels", "8"});
  const decoded_png png = draw(
      {"slice", "--layer", "3", "--cell-pixels", "8", "--soundings", (dir / "line.txt").string()});
  const layout l = slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, n);
  int changed = 0;
  for (int y = l.plot_y; y < l.plot_y + l.plot_h; ++y) {
    for (int x = l.plot_x; x < l.plot_x + l.plot_w; ++x) {
      if (png.at(x, y) == plain.at(x, y))
        continue;
      ++changed;
      // Only the two rows of pixels around the line's y.
      const int row_centre = l.plot_y + (fixture.ny - 2) * n + n / 2;
      EXPECT_LE(std::abs(y - row_centre), 1) << "x " << x << " y " << y;
    }
  }
  EXPECT_GT(changed, 0);
}

TEST(view_dots, radius_follows_the_spacing) {
  struct case_ {
    std::vector<std::pair<double, double>> dots;
    double radius;
  };
  std::vector<std::pair<double, double>> line, lines_apart, repeated;
  for (int i = 0; i < 50; ++i) {
    line.emplace_back(i * 2.0, 5);          // 2 pixels apart
    lines_apart.emplace_back(i * 4.0, 0);   // 4 apart along lines
    lines_apart.emplace_back(i * 4.0, 50);  // 50 between lines
    repeated.emplace_back(i * 6.0, 0);
    repeated.emplace_back(i * 6.0, 0);  // every location twice
  }
  const case_ cases[] = {
      {{}, 2.5},   {{{3, 3}}, 2.5},  // alone: the largest
      {line, 0.5}, {lines_apart, 1.0}, {repeated, 1.5},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(dot_radius(c.dots), c.radius) << c.dots.size();
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

// A map at a depth is the map of the layer holding it, a depth on a
// boundary taking the deeper layer; a depth off the volume is refused with
// the volume's depths.
TEST_F(view_picture, slice_at_a_depth_shows_the_layer_holding_it) {
  // Layers 1, 3 and 4.5 thick: boundaries at 0, 1, 4 and 8.5.
  const std::pair<const char*, const char*> cases[] = {
      {"0", "1"}, {"0.5", "1"}, {"1", "2"}, {"3.99", "2"}, {"4", "3"}, {"8.49", "3"},
  };
  const int n = 4;
  const layout l = slice_layout(6, 4, 10, 10, n);
  for (const auto& [depth, layer] : cases) {
    SCOPED_TRACE(std::string("depth ") + depth);
    const decoded_png at_depth = draw({"slice", "--cell-pixels", "4", "--depth", depth});
    const decoded_png of_layer = draw({"slice", "--cell-pixels", "4", "--layer", layer});
    for (int iy = 1; iy <= 4; ++iy) {
      for (int ix = 1; ix <= 6; ++ix)
        EXPECT_EQ(cell_colour(at_depth, l, 4, n, ix, iy), cell_colour(of_layer, l, 4, n, ix, iy));
    }
  }
  for (const char* outside : {"8.5", "20", "-0.5"}) {
    std::ostringstream out, err;
    const std::vector<std::string> args{"slice", (dir / "grid.vol").string(),   "--depth", outside,
                                        "-o",    (dir / "refused.png").string()};
    EXPECT_EQ(run(args, out, err), exit_status::failure);
    EXPECT_NE(err.str().find(std::string("depth ") + outside + " is outside the volume"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("from depth 0 down to 8.5"), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.png"));
  }
}

// A section along a line down the middle of row 3 draws, in each column of
// pixels, the cell of the sample nearest to that column's distance along
// the line: the row's own section, each cell's colours; off the grid, no
// data.
TEST_F(view_picture, section_along_a_line_takes_the_cells_of_its_samples) {
  const int n = 4;
  const decoded_png row = draw({"section", "--height", "85", "--cell-pixels", "4", "--row", "3"});
  struct line_case {
    const char* line;
    double start;  // the line's x at its start
    int samples;   // every 10 from the start
  };
  // 50 long from the first cell's centre; 70 long from 20 west of the grid.
  const line_case cases[] = {{"5,25,55,25", 5, 6}, {"-15,25,55,25", -15, 8}};
  for (const line_case& c : cases) {
    SCOPED_TRACE(c.line);
    const decoded_png line =
        draw({"section", "--height", "85", "--cell-pixels", "4", "--line", c.line});
    const layout l = section_layout(c.samples, n, 85);
    const layout r = section_layout(6, n, 85);
    ASSERT_EQ(line.width, l.width);
    const double length = 10.0 * (c.samples - 1);
    for (int p = 0; p < l.plot_w; ++p) {
      const double d = (p + 0.5) / l.plot_w * length;
      const int sample = static_cast<int>(std::floor(d / 10 + 0.5));
      const double x = c.start + 10 * sample;
      for (int y = 0; y < 85; ++y) {
        const rgb got = line.at(l.plot_x + p, l.plot_y + y);
        if (x < 0) {
          ASSERT_EQ(got, no_data_colour) << "pixel column " << p;
        } else {
          const int ix = static_cast<int>(x / 10) + 1;
          ASSERT_EQ(got, row.at(r.plot_x + (ix - 1) * n, r.plot_y + y))
              << "pixel column " << p << ", cell " << ix << ", row " << y;
        }
      }
    }
  }
}

// The text between <tag> and </tag> in an SVG.
std::string element(const std::string& svg, const std::string& tag) {
  const auto open = svg.find("<" + tag + ">");
  const auto close = svg.find("</" + tag + ">");
  if (open == std::string::npos || close == std::string::npos)
    return {};
  return svg.substr(open + tag.size() + 2, close - open - tag.size() - 2);
}

TEST_F(view_picture, format_follows_the_extension_and_svg_holds_the_texts) {
  // Far from the origin, as surveys in a projected system are.
  fixture.xmin = 512300;
  fixture.ymin = 7004900;
  fixture.dx = 100;
  fixture.dy = 100;
  fixture.write(dir / "grid.vol");
  struct case_ {
    std::vector<std::string> args;
    const char* output;
    std::string magic;
    std::vector<std::string> texts;  // in the SVG's title and desc
  };
  const case_ cases[] = {
      {{"section", "--row", "1", "--units", "ohm m"}, "out.png", "\x89PNG", {}},
      {{"section", "--row", "1", "--units", "ohm m"}, "out.PDF", "%PDF-", {}},
      {{"section", "--row", "1", "--units", "ohm m"},
       "out.svg",
       "<?xml",
       {"Row 1, Y 7004950", "ohm m", "Depth", "X", "no data", "512400", "8"}},
      {{"slice", "--layer", "2", "--units", "S/m & more"},
       "out.svg",
       "<?xml",
       {"Layer 2 of 3, depth 1 to 4", "S/m &amp; more", "7005000", "512600", "100000"}},
      {{"section", "--column", "3"}, "out.svg", "<?xml", {"Column 3, X 512550"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.output);
    run_view(c.args, c.output);
    const std::string bytes = read_file(dir / c.output);
    EXPECT_EQ(bytes.substr(0, c.magic.size()), c.magic);
    if (c.texts.empty())
      continue;
    const std::string words = element(bytes, "title") + "\n" + element(bytes, "desc");
    for (const std::string& t : c.texts) EXPECT_NE(words.find(t), std::string::npos) << words;
    // Coordinates as plain numbers, never in exponent form.
    EXPECT_EQ(words.find("E+06"), std::string::npos) << words;
  }
  // The same drawing in each format: the SVG is as large as the PNG.
  run_view({"slice", "--layer", "1"}, "same.png");
  run_view({"slice", "--layer", "1"}, "same.svg");
  const decoded_png png = read_png(dir / "same.png");
  const std::string svg = read_file(dir / "same.svg");
  EXPECT_NE(svg.find("width=\"" + std::to_string(png.width) + "pt\""), std::string::npos);
  EXPECT_NE(svg.find("height=\"" + std::to_string(png.height) + "pt\""), std::string::npos);
}

TEST_F(view_picture, axes_take_their_unit_and_the_title_the_system_from_the_description) {
  struct case_ {
    std::vector<std::string> args;
    std::vector<std::string> with, without;  // in the SVG's texts
  };
  const case_ cases[] = {
      {{"slice", "--layer", "2"},
       {"X (m)", "Y (m)", "Layer 2 of 3, depth 1 to 4 m, GDA94 / MGA zone 54"},
       {"X\n", "Y\n", "Layer 2 of 3, depth 1 to 4\n"}},
      {{"section", "--row", "2"},
       {"X (m)", "Depth (m)", "Row 2, Y 15 m, GDA94 / MGA zone 54"},
       {"X\n", "Depth\n", "Row 2, Y 15\n"}},
      {{"slice", "--depth", "2.5"},
       {"X (m)", "Depth 2.5 m, in layer 2 of 3 (1 to 4 m), GDA94 / MGA zone 54"},
       {"Depth 2.5, in layer 2 of 3 (1 to 4)\n"}},
      {{"section", "--line", "5,5,55,35,20,38"},
       {"Distance along the line (m)", "Depth (m)",
        "Line from 5, 5 through 1 more points to 20, 38, GDA94 / MGA zone 54"},
       {"Distance along the line\n", "Line from 5, 5 through 1 more points to 20, 38\n"}},
  };
  description d;
  d.epsg = 28354;
  d.crs_name = "GDA94 / MGA zone 54";
  d.length_unit = "m";
  for (const bool described : {true, false}) {
    if (described)
      write_file(dir / "grid.vol.json", description_text(d));
    else
      std::filesystem::remove(dir / "grid.vol.json");
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.args) + (described ? " described" : ""));
      run_view(c.args, "out.svg");
      const std::string svg = read_file(dir / "out.svg");
      const std::string words = element(svg, "title") + "\n" + element(svg, "desc");
      for (const std::string& t : described ? c.with : c.without)
        EXPECT_NE(words.find(t), std::string::npos) << t << " in\n" << words;
      if (!described) {
        EXPECT_EQ(words.find("(m)"), std::string::npos) << words;
        EXPECT_EQ(words.find("MGA"), std::string::npos) << words;
      }
    }
  }
}

TEST_F(view_picture, units_make_room_beside_the_colour_bar) {
  const decoded_png without = draw({"slice", "--layer", "1", "--cell-pixels", "4"});
  const decoded_png with =
      draw({"slice", "--layer", "1", "--cell-pixels", "4", "--units", "ohm m"});
  EXPECT_EQ(without.width, slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, 4).width);
  EXPECT_EQ(with.width,
            slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, 4, true).width);
  EXPECT_GT(with.width, without.width);
  // Something is written in the room made, right of the colour bar.
  const layout l = slice_layout(fixture.nx, fixture.ny, fixture.dx, fixture.dy, 4, true);
  const auto dark = [&](const decoded_png& png) {
    int count = 0;
    for (int y = l.plot_y; y < l.plot_y + l.bar_h; ++y) {
      for (int x = l.bar_x + l.bar_w + 1; x < png.width; ++x) {
        const rgb c = png.at(x, y);
        count += c.r < 128 && c.g < 128 && c.b < 128;
      }
    }
    return count;
  };
  EXPECT_GT(dark(with), dark(without) + 5);
}

// The colours of the cells in a picture's plot: every pixel that is a
// colour of the map or the no-data grey, and -2 for the others (dots).
std::vector<int> plot_colours(const decoded_png& png, const layout& l) {
  std::vector<int> out;
  for (int y = l.plot_y; y < l.plot_y + l.plot_h; ++y) {
    for (int x = l.plot_x; x < l.plot_x + l.plot_w; ++x) {
      const rgb c = png.at(x, y);
      out.push_back(c == no_data_colour ? 256 : map_index(c) >= 0 ? map_index(c) : -2);
    }
  }
  return out;
}

// The README shows these pictures of the example survey; their cells must
// be what tervox-view draws now. Letters and the edges of the dots may come
// out otherwise with another version of the font or of cairo, so those are
// left out of the comparison.
TEST(view_examples, readme_pictures_are_current) {
  temp_folder dir;
  const std::string source = TERVOX_SOURCE_DIR;
  const std::string survey = source + "/examples/survey.txt";
  const std::string lshaped = source + "/examples/lshaped.txt";
  const tool_options in_dir(dir.path());
  const std::vector<std::string> runs[] = {
      {survey, "survey.vol", "25", "25", "1"},
      {lshaped, "lshaped.vol", "25", "25", "1"},
      {"--max-distance", "60", lshaped, "masked.vol", "25", "25", "1"},
      {"--doi", lshaped, "doi.vol", "25", "25", "1"},
  };
  for (const auto& run : runs) ASSERT_EQ(run_program(TERVOX_EXE, run, in_dir).status, 0);
  struct example {
    std::vector<std::string> args;
    layout l;
  };
  const example examples[] = {
      {{"slice", "survey.vol", "--layer", "6", "--units", "ohm m", "--soundings", survey, "-o",
        "survey_slice.png"},
       slice_layout(73, 80, 25, 25, 0, true)},
      {{"section", "survey.vol", "--row", "40", "--units", "ohm m", "-o", "survey_section.png"},
       section_layout(73, 0, 300, true)},
      {{"slice", "lshaped.vol", "--layer", "3", "--units", "ohm m", "--soundings", lshaped, "-o",
        "lshaped_slice.png"},
       slice_layout(81, 80, 25, 25, 0, true)},
      {{"slice", "masked.vol", "--layer", "3", "--units", "ohm m", "--soundings", lshaped, "-o",
        "lshaped_masked.png"},
       slice_layout(81, 80, 25, 25, 0, true)},
      {{"section", "doi.vol", "--column", "20", "--units", "ohm m", "-o", "lshaped_doi.png"},
       section_layout(80, 0, 300, true)},
  };
  for (const auto& e : examples) {
    const std::string& name = e.args.back();
    SCOPED_TRACE(name);
    const tool_run r = run_program(TERVOX_VIEW_EXE, e.args, in_dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto drawn = read_png(dir / name);
    const auto committed = read_png(source + "/examples/" + name);
    std::string command = "tervox-view";
    for (const std::string& a : e.args)
      command += " " + (a == survey             ? "examples/survey.txt"
                        : a == lshaped          ? "examples/lshaped.txt"
                        : a.find(' ') != a.npos ? "'" + a + "'"
                                                : a);
    const std::string remake = "examples/" + name +
                               " is not what tervox-view draws now; make it again with the "
                               "README's commands:\n  " +
                               command;
    ASSERT_EQ(drawn.width, e.l.width);
    ASSERT_EQ(drawn.height, e.l.height);
    EXPECT_EQ(committed.width, drawn.width) << remake;
    EXPECT_EQ(committed.height, drawn.height) << remake;
    if (committed.width != drawn.width || committed.height != drawn.height)
      continue;
    const std::vector<int> a = plot_colours(drawn, e.l), b = plot_colours(committed, e.l);
    std::size_t compared = 0, differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] == -2 || b[i] == -2)
        continue;
      ++compared;
      differ += a[i] != b[i];
    }
    EXPECT_EQ(differ, 0u) << remake;
    EXPECT_GT(compared, a.size() * 3 / 4) << "most of the plot is cells";
  }
}

}  // namespace
}  // namespace tervox_test
#endif
