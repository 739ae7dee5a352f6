// What a reader sees of the pictures' layout, checked on the figure itself
// rather than on the letters' pixels: the placed label boxes never overlap
// or touch, on survey coordinates in the millions as on small ones, on
// flat and narrow drawings and on a grid of one row or column; a map is to
// scale whatever its cells' sides; the SVG keeps its cells square.
#if TERVOX_VIEW_CAIRO
#  include <gtest/gtest.h>

#  include <cmath>
#  include <string>
#  include <vector>

#  include "base/diagnostic.hpp"
#  include "pictures.hpp"
#  include "support/run_program.hpp"
#  include "view/grid_fixture_support.hpp"

namespace tervox_test {
using namespace tervox::formats;
using namespace tervox::view;
namespace {

struct grid_case {
  const char* what;
  int nx, ny;
  double xmin, ymin, dx, dy;
  int cell_pixels;  // 0: the default size
};

// Airborne surveys in a projected system (eastings near 460000, northings
// near 7 million), small local grids, cells not square, a single flight
// line and a single column, at the default size and at few pixels per cell.
const grid_case grid_cases[] = {
    {"survey in MGA54, 400 x 100 m cells", 100, 40, 460000, 7000000, 400, 100, 0},
    {"survey, 2 pixels per cell", 100, 40, 460000, 7000000, 400, 100, 2},
    {"survey, 1 pixel per cell", 60, 30, 460000, 7000000, 100, 100, 1},
    {"survey, tall", 20, 300, 460000, 7000000, 100, 100, 0},
    {"northings in the millions, fine cells", 300, 20, 460000.5, 7004950.25, 0.5, 0.25, 0},
    {"small coordinates", 6, 4, 0, 0, 10, 10, 3},
    {"small coordinates, default", 6, 4, 0, 0, 10, 10, 0},
    {"negative coordinates", 30, 30, -1500, -250, 100, 10, 4},
    {"one flight line", 120, 1, 460000, 7000000, 25, 25, 0},
    {"one flight line, 16 pixels per cell", 60, 1, 460000, 7000000, 25, 25, 16},
    {"one column", 1, 120, 460000, 7000000, 25, 25, 0},
    {"one cell", 1, 1, 460000, 7000000, 25, 25, 0},
};

mesh mesh_of(const grid_case& g) {
  mesh m;
  m.path = "grid.mesh";
  m.nx = g.nx;
  m.ny = g.ny;
  m.nlayer = 4;
  m.xmin = g.xmin;
  m.ymin = g.ymin;
  m.dx = g.dx;
  m.dy = g.dy;
  m.dz = {2, 5, 12.5, 30};
  return m;
}

// Value sets of a layer: spanning five decades (a logarithmic colour
// bar), a few units (a linear one), one value throughout.
enum class values_kind { decades, linear, constant };

std::vector<float> values_of(values_kind kind, std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double f = n > 1 ? double(i) / double(n - 1) : 0;
    v[i] = kind == values_kind::decades  ? static_cast<float>(std::pow(10.0, 5 * f))
           : kind == values_kind::linear ? static_cast<float>(12.5 + 3 * f)
                                         : 42.0f;
  }
  return v;
}

// Fails for each pair of the figure's texts whose boxes overlap or touch.
void expect_labels_apart(const figure& fig) {
  const std::vector<text_box>& b = fig.text_boxes();
  for (std::size_t i = 0; i < b.size(); ++i) {
    for (std::size_t j = i + 1; j < b.size(); ++j) {
      const bool apart =
          b[i].x1 < b[j].x0 || b[j].x1 < b[i].x0 || b[i].y1 < b[j].y0 || b[j].y1 < b[i].y0;
      EXPECT_TRUE(apart) << "'" << b[i].text << "' at (" << b[i].x0 << ", " << b[i].y0 << ")-("
                         << b[i].x1 << ", " << b[i].y1 << ") and '" << b[j].text << "' at ("
                         << b[j].x0 << ", " << b[j].y0 << ")-(" << b[j].x1 << ", " << b[j].y1
                         << ")";
    }
  }
}

// The labels below the plot, between its bottom and the axis's name.
int labels_under(const figure& fig, const layout& l) {
  int count = 0;
  for (const text_box& b : fig.text_boxes()) {
    count += b.y0 > l.plot_y + l.plot_h && b.y0 < l.plot_y + l.plot_h + l.tick + l.line &&
             b.x1 < l.bar_x;
  }
  return count;
}

TEST(view_layout, labels_never_touch_on_axes_and_colour_bar) {
  for (const grid_case& g : grid_cases) {
    for (const values_kind kind :
         {values_kind::decades, values_kind::linear, values_kind::constant}) {
      SCOPED_TRACE(std::string(g.what) + ", values " + std::to_string(int(kind)));
      const mesh m = mesh_of(g);
      picture_options o;
      o.cell_pixels = g.cell_pixels;
      o.units = "ohm m";
      // Half the cases with the axes' unit and the coordinate system named.
      if (kind != values_kind::linear) {
        o.length_unit = "m";
        o.crs_name = "GDA94 / MGA zone 54";
      }
      o.scale = kind == values_kind::decades ? scale_kind::log : scale_kind::linear;
      const std::vector<float> map = values_of(kind, static_cast<std::size_t>(m.cells()));
      const auto slice = draw_slice(m, 2, map, {}, o);
      expect_labels_apart(*slice);
      // A drawing wide enough keeps a scale to read: two labels or more.
      const layout l = slice_layout(m.nx, m.ny, m.dx, m.dy, g.cell_pixels, true, o.length_unit);
      EXPECT_EQ(slice->width(), l.width);
      if (l.plot_w >= 300) {
        EXPECT_GE(labels_under(*slice, l), 2);
      }
      for (const bool along_row : {true, false}) {
        const int cells = along_row ? m.nx : m.ny;
        const std::vector<float> v = values_of(kind, static_cast<std::size_t>(cells * m.nlayer));
        const auto section = draw_section(m, along_row, 1, v, o);
        SCOPED_TRACE(along_row ? "section along row 1" : "section along column 1");
        expect_labels_apart(*section);
        const layout s = section_layout(cells, g.cell_pixels, o.height, true, o.length_unit);
        if (s.plot_w >= 300) {
          EXPECT_GE(labels_under(*section, s), 2);
        }
      }
      // A section along the grid's diagonal, and a map asked for at a depth
      // (its title longer, naming the depth).
      const std::vector<std::pair<double, double>> line{{m.x_edge(0), m.y_edge(0)},
                                                        {m.x_edge(m.nx), m.y_edge(m.ny)}};
      const std::vector<line_sample> samples = line_samples(m, line);
      const std::vector<float> v =
          values_of(kind, samples.size() * static_cast<std::size_t>(m.nlayer));
      const auto along_line = draw_line_section(m, line, samples, v, o);
      SCOPED_TRACE("section along the diagonal");
      expect_labels_apart(*along_line);
      const layout s = section_layout(static_cast<int>(samples.size()), g.cell_pixels, o.height,
                                      true, o.length_unit);
      EXPECT_EQ(along_line->width(), s.width);
      if (s.plot_w >= 300) {
        EXPECT_GE(labels_under(*along_line, s), 2);
      }
      picture_options at_depth = o;
      at_depth.depth = 12.25;
      expect_labels_apart(*draw_slice(m, layer_at_depth(m, 12.25), map, {}, at_depth));
    }
  }
}

TEST(view_layout, maps_are_to_scale_whatever_the_cells_sides) {
  struct shape {
    int nx, ny;
    double dx, dy;
  };
  const shape shapes[] = {
      {100, 40, 400, 100}, {40, 100, 100, 400}, {50, 50, 25, 25},  {73, 80, 25, 25},
      {7, 30, 10, 3},      {30, 7, 3, 10},      {200, 60, 50, 60}, {3, 2, 1000, 1},
  };
  for (const shape& s : shapes) {
    for (const int cell_pixels : {0, 1, 4}) {
      SCOPED_TRACE(std::to_string(s.nx) + " x " + std::to_string(s.ny) + " cells of " +
                   std::to_string(s.dx) + " x " + std::to_string(s.dy) + ", cell pixels " +
                   std::to_string(cell_pixels));
      const layout l = slice_layout(s.nx, s.ny, s.dx, s.dy, cell_pixels);
      const double width = s.nx * s.dx, height = s.ny * s.dy;
      // Drawings below the shortest side are stretched to it: not these.
      if (cell_pixels == 0 && std::min(l.plot_w, l.plot_h) <= min_plot_pixels)
        continue;
      EXPECT_NEAR(l.plot_h, l.plot_w * height / width, 1.0);
      if (cell_pixels == 0) {
        EXPECT_EQ(std::max(l.plot_w, l.plot_h), default_plot_pixels);
      } else {
        EXPECT_EQ(l.plot_w, s.nx * cell_pixels);
      }
    }
  }
}

// The layer of a depth: the depth's own layer inside it and at its top, the
// deeper one on a boundary, layers of no thickness passed over; depths
// above the surface or at and below the last bottom refused, naming the
// depth and the volume's depths.
TEST(view_layout, a_depth_picks_the_layer_holding_it) {
  mesh m = mesh_of(grid_cases[0]);  // boundaries at 0, 2, 7, 19.5, 49.5
  const std::pair<double, int> cases[] = {
      {0, 1}, {1, 1}, {1.999, 1}, {2, 2}, {6.999, 2}, {7, 3}, {19.5, 4}, {49.49, 4},
  };
  for (const auto& [depth, layer] : cases)
    EXPECT_EQ(layer_at_depth(m, depth), layer) << "depth " << depth;
  for (const double outside : {-0.001, -5.0, 49.5, 60.0}) {
    try {
      layer_at_depth(m, outside, "grid.vol: ");
      ADD_FAILURE() << "depth " << outside << " taken";
    } catch (const tervox::base::diagnostic_error& e) {
      const std::string message = e.details().message();
      EXPECT_TRUE(message.starts_with("grid.vol: depth ")) << message;
      EXPECT_NE(message.find("from depth 0 down to 49.5"), std::string::npos) << message;
    }
  }
  m.nlayer = 3;
  m.dz = {2, 0, 5};  // the second layer has no thickness
  EXPECT_EQ(layer_at_depth(m, 2), 3);
  EXPECT_EQ(layer_at_depth(m, 1.5), 1);
}

// The samples of a section along a line, against positions and cells
// worked out by hand: a cell size of 10 x 5 samples every 5 along the line.
TEST(view_layout, a_line_is_sampled_every_cell_size_in_the_cells_it_crosses) {
  mesh m;
  m.nx = 4;
  m.ny = 6;
  m.xmin = 0;
  m.ymin = 0;
  m.dx = 10;
  m.dy = 5;
  m.nlayer = 1;
  m.dz = {1};
  struct line_case {
    const char* what;
    std::vector<std::pair<double, double>> points;
    std::vector<line_sample> expected;  // distance, x, y, ix, iy
  };
  const line_case cases[] = {
      // 32 across and 24 up: 40 long, each step of 5 moves 4 across, 3 up.
      // (5, 5) lies on a boundary between rows: the upper row takes it.
      {"diagonal",
       {{1, 2}, {33, 26}},
       {{0, 1, 2, 1, 1},
        {5, 5, 5, 1, 2},
        {10, 9, 8, 1, 2},
        {15, 13, 11, 2, 3},
        {20, 17, 14, 2, 3},
        {25, 21, 17, 3, 4},
        {30, 25, 20, 3, 5},
        {35, 29, 23, 3, 5},
        {40, 33, 26, 4, 6}}},
      // 20 along y = 2.5 from off the grid, then 17 up x = 13: 37 long, the
      // last sample at 35; the corner itself is a sample.
      {"two segments, starting off the grid",
       {{-7, 2.5}, {13, 2.5}, {13, 19.5}},
       {{0, -7, 2.5, 0, 0},
        {5, -2, 2.5, 0, 0},
        {10, 3, 2.5, 1, 1},
        {15, 8, 2.5, 1, 1},
        {20, 13, 2.5, 2, 1},
        {25, 13, 7.5, 2, 2},
        {30, 13, 12.5, 2, 3},
        {35, 13, 17.5, 2, 4}}},
      // Corner to corner, 50 long: the far corner takes the last cell.
      {"corner to corner",
       {{0, 0}, {40, 30}},
       {{0, 0, 0, 1, 1},
        {5, 4, 3, 1, 1},
        {10, 8, 6, 1, 2},
        {15, 12, 9, 2, 2},
        {20, 16, 12, 2, 3},
        {25, 20, 15, 3, 4},
        {30, 24, 18, 3, 4},
        {35, 28, 21, 3, 5},
        {40, 32, 24, 4, 5},
        {45, 36, 27, 4, 6},
        {50, 40, 30, 4, 6}}},
  };
  for (const line_case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<line_sample> got = line_samples(m, c.points);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE("sample " + std::to_string(i));
      EXPECT_NEAR(got[i].distance, c.expected[i].distance, 1e-9);
      EXPECT_NEAR(got[i].x, c.expected[i].x, 1e-9);
      EXPECT_NEAR(got[i].y, c.expected[i].y, 1e-9);
      EXPECT_EQ(got[i].ix, c.expected[i].ix);
      EXPECT_EQ(got[i].iy, c.expected[i].iy);
    }
  }

  struct refused_case {
    std::vector<std::pair<double, double>> points;
    const char* message;
  };
  const refused_case refused[] = {
      {{{1, 1}}, "a line needs two points or more, got 1"},
      {{{3, 4}, {3, 4}}, "the line has no length: its points are all at 3, 4"},
      {{{50, 0}, {60, 40}, {45, 35}},
       "the line from 50, 0 to 45, 35 lies wholly outside the grid (x 0 to 40, y 0 to 30)"},
  };
  for (const refused_case& r : refused) {
    try {
      line_samples(m, r.points, "grid.vol: ");
      ADD_FAILURE() << r.message;
    } catch (const tervox::base::diagnostic_error& e) {
      EXPECT_EQ(e.details().message(), std::string("grid.vol: ") + r.message);
    }
  }
}

// Lengths of the runs of one colour along a line of pixels.
std::vector<int> runs(const decoded_png& png, int x0, int y0, int dx, int dy, int n) {
  std::vector<int> out{1};
  for (int i = 1; i < n; ++i) {
    if (png.at(x0 + i * dx, y0 + i * dy) == png.at(x0 + (i - 1) * dx, y0 + (i - 1) * dy))
      ++out.back();
    else
      out.push_back(1);
  }
  return out;
}

TEST(view_layout, cells_fill_the_drawing_each_its_share_of_the_extent) {
  // 6 x 4 cells of 400 x 100 m: 1000 x 167 pixels, each cell 166 or 167
  // pixels wide and 41 or 42 tall. Every cell its own colour.
  temp_folder dir;
  const grid_case g{"", 6, 4, 460000, 7000000, 400, 100, 0};
  const mesh m = mesh_of(g);
  std::vector<float> v(24);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i);
  picture_options o;
  o.scale = scale_kind::linear;
  draw_slice(m, 1, v, {}, o)->save((dir / "map.png").string());
  const decoded_png png = read_png(dir / "map.png");
  const layout l = slice_layout(6, 4, 400, 100, 0);
  ASSERT_EQ(l.plot_w, 1000);
  ASSERT_EQ(l.plot_h, 167);
  const std::vector<int> across = runs(png, l.plot_x, l.plot_y + 5, 1, 0, l.plot_w);
  const std::vector<int> down = runs(png, l.plot_x + 5, l.plot_y, 0, 1, l.plot_h);
  ASSERT_EQ(across.size(), 6u);
  ASSERT_EQ(down.size(), 4u);
  for (const int r : across) EXPECT_TRUE(r == 166 || r == 167) << r;
  for (const int r : down) EXPECT_TRUE(r == 41 || r == 42) << r;
  // The frame just outside the drawing, the cells just inside.
  EXPECT_EQ(png.at(l.plot_x - 1, l.plot_y + 5), (rgb{0, 0, 0}));
  EXPECT_EQ(png.at(l.plot_x + l.plot_w, l.plot_y + 5), (rgb{0, 0, 0}));
  EXPECT_EQ(png.at(l.plot_x + 5, l.plot_y + l.plot_h), (rgb{0, 0, 0}));
  EXPECT_GE(map_index(png.at(l.plot_x + l.plot_w - 1, l.plot_y + l.plot_h - 1)), 0);
}

TEST(view_layout, one_row_and_one_column_stay_readable) {
  // Neither side of a default drawing is thinner than the least, and the
  // colour bar keeps room for several labels however flat the plot.
  for (const grid_case& g : grid_cases) {
    SCOPED_TRACE(g.what);
    const layout l = slice_layout(g.nx, g.ny, g.dx, g.dy, g.cell_pixels);
    if (g.cell_pixels == 0) {
      EXPECT_GE(l.plot_w, min_plot_pixels);
      EXPECT_GE(l.plot_h, min_plot_pixels);
    }
    EXPECT_GE(l.bar_h, 8 * l.line);
    EXPECT_GE(l.bar_h, l.plot_h);
    const mesh m = mesh_of(g);
    picture_options o;
    o.cell_pixels = g.cell_pixels;
    o.scale = scale_kind::log;
    const auto fig = draw_slice(
        m, 1, values_of(values_kind::decades, static_cast<std::size_t>(m.cells())), {}, o);
    // The colour bar's labels: right of the bar; five decades show at
    // least three of them.
    int bar_labels = 0;
    for (const text_box& b : fig->text_boxes())
      bar_labels += b.x0 > l.bar_x + l.bar_w && b.y0 < l.plot_y + l.bar_h;
    if (m.cells() > 1) {
      EXPECT_GE(bar_labels, 3);
    }
  }
}

TEST(view_layout, svg_cells_keep_square_in_renderers) {
  // Renderers smooth a scaled image unless told not to: the cells' image,
  // and the colour bar's, carry the hint in CSS and as an attribute.
  temp_folder dir;
  const grid_case g{"", 6, 4, 460000, 7000000, 400, 100, 0};
  const mesh m = mesh_of(g);
  picture_options o;
  o.format = figure_format::svg;
  draw_slice(m, 1, values_of(values_kind::linear, 24), {}, o)->save((dir / "map.svg").string());
  draw_section(m, true, 2, values_of(values_kind::linear, 24), o)
      ->save((dir / "section.svg").string());
  for (const char* name : {"map.svg", "section.svg"}) {
    SCOPED_TRACE(name);
    const std::string svg = read_file(dir / name);
    int images = 0;
    bool cells = false;
    for (auto at = svg.find("<image "); at != std::string::npos; at = svg.find("<image ", at + 1)) {
      const std::string element = svg.substr(at, svg.find('>', at) - at);
      ++images;
      cells = cells || element.find(" width=\"6\" height=\"4\"") != std::string::npos ||
              element.find(" width=\"6\" height=\"300\"") != std::string::npos;
      EXPECT_NE(element.find("style=\"image-rendering:pixelated\""), std::string::npos)
          << element.substr(0, 120);
      EXPECT_NE(element.find("image-rendering=\"optimizeSpeed\""), std::string::npos)
          << element.substr(0, 120);
    }
    EXPECT_EQ(images, 2) << "the cells and the colour bar";
    EXPECT_TRUE(cells) << "the cells, one pixel each";
  }
}

}  // namespace
}  // namespace tervox_test
#endif
