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
