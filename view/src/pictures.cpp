#include "pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "formats/diagnostic.hpp"

namespace tervox::view {
namespace {

constexpr rgb white{255, 255, 255};
constexpr rgb black{0, 0, 0};
// Tick labels are at most this long (tick_label keeps them so).
constexpr int label_chars = 10;

std::string short_number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

layout make_layout(int plot_w, int plot_h, int side_name_chars) {
  layout l;
  l.text.scale = plot_w >= 600 || plot_h >= 300 ? 2 : 1;
  const int s = l.text.scale;
  l.pad = 4 * s;
  l.tick = 4 * s;
  const int label_w = label_chars * l.text.advance();
  l.plot_w = plot_w;
  l.plot_h = plot_h;
  l.plot_x = l.pad + side_name_chars * l.text.advance() + 2 * l.pad + label_w + l.tick;
  l.plot_y = l.pad + l.text.height() + 3 * l.pad;
  l.bar_x = l.plot_x + plot_w + 4 * l.pad;
  l.bar_w = 12 * s;
  l.width = l.bar_x + l.bar_w + l.tick + l.pad + label_w + l.pad;
  l.height =
      l.plot_y + plot_h + l.tick + l.pad + l.text.height() + 2 * l.pad + l.text.height() + l.pad;
  return l;
}

// Labels of a horizontal axis, centred under their ticks but kept inside
// the picture.
void horizontal_axis(image& img, const layout& l, double lo, double hi, const std::string& name) {
  const int count = std::clamp(l.plot_w / (8 * l.text.advance()), 2, 8);
  const std::vector<double> t = axis_ticks(lo, hi, count);
  const double spacing = t.size() >= 2 ? t[1] - t[0] : std::abs(hi - lo);
  const int y = l.plot_y + l.plot_h;
  for (const double v : t) {
    const int x = l.plot_x + static_cast<int>(std::lround((v - lo) / (hi - lo) * l.plot_w));
    img.fill(x, y + 1, x + 1, y + 1 + l.tick, black);
    const std::string label = tick_label(v, spacing);
    const int w = l.text.width(label);
    const int left = std::clamp(x - w / 2, 0, img.width() - w);
    draw_text(img, l.text, left, y + 1 + l.tick + l.pad, label, black);
  }
  const int name_y = y + 1 + l.tick + 2 * l.pad + l.text.height();
  draw_text(img, l.text, l.plot_x + (l.plot_w - l.text.width(name)) / 2, name_y, name, black);
}

// `downwards`: the axis value grows from the top of the plot (depth) rather
// than from its bottom (y).
void vertical_axis(image& img, const layout& l, double lo, double hi, bool downwards,
                   const std::string& name) {
  const int count = std::clamp(l.plot_h / (4 * l.text.height()), 2, 8);
  const std::vector<double> t = axis_ticks(lo, hi, count);
  const double spacing = t.size() >= 2 ? t[1] - t[0] : std::abs(hi - lo);
  const int right = l.plot_x - 1 - l.tick - l.pad;
  int widest = 0;
  for (const double v : t) {
    const double f = (v - lo) / (hi - lo);
    const int y = l.plot_y + static_cast<int>(std::lround((downwards ? f : 1 - f) * l.plot_h));
    img.fill(l.plot_x - 1 - l.tick, y, l.plot_x - 1, y + 1, black);
    const std::string label = tick_label(v, spacing);
    const int top = std::clamp(y - l.text.height() / 2, 0, img.height() - l.text.height());
    draw_text(img, l.text, right - l.text.width(label), top, label, black);
    widest = std::max(widest, l.text.width(label));
  }
  // The name beside the labels as they came out, not at the picture's edge.
  const int name_x = std::max(l.pad, right - widest - 2 * l.pad - l.text.width(name));
  const int name_y = l.plot_y + (l.plot_h - l.text.height()) / 2;
  draw_text(img, l.text, name_x, name_y, name, black);
}

void colour_bar(image& img, const layout& l, const colour_scale& s) {
  const auto& map = colour_map();
  for (int r = 0; r < l.plot_h; ++r) {
    const rgb c =
        s.empty ? no_data_colour
                : map[static_cast<std::size_t>(std::min(255, (l.plot_h - 1 - r) * 256 / l.plot_h))];
    img.fill(l.bar_x, l.plot_y + r, l.bar_x + l.bar_w, l.plot_y + r + 1, c);
  }
  img.frame(l.bar_x, l.plot_y, l.bar_x + l.bar_w, l.plot_y + l.plot_h, black);

  const std::vector<double> t = ticks(s);
  const bool equal_steps = !s.log && t.size() >= 2;
  const int x = l.bar_x + l.bar_w + 1;
  for (const double v : t) {
    const int y = l.plot_y + static_cast<int>(std::lround((1 - s.fraction(v)) * (l.plot_h - 1)));
    img.fill(x, y, x + l.tick, y + 1, black);
    // On a logarithmic scale each label is its own round number.
    const std::string label = tick_label(v, equal_steps ? t[1] - t[0] : std::abs(v));
    const int top = std::clamp(y - l.text.height() / 2, 0, img.height() - l.text.height());
    draw_text(img, l.text, x + l.tick + l.pad, top, label, black);
  }

  // The key to the grey of cells without a value.
  const int key_y = l.plot_y + l.plot_h + 1 + l.tick + 2 * l.pad + l.text.height();
  const int side = l.text.height();
  img.fill(l.bar_x, key_y, l.bar_x + side, key_y + side, no_data_colour);
  img.frame(l.bar_x, key_y, l.bar_x + side, key_y + side, black);
  draw_text(img, l.text, l.bar_x + side + l.pad, key_y, "NO DATA", black);
}

rgb colour_of(const colour_scale& s, float v) {
  if (std::isnan(v))
    return no_data_colour;
  return colour_map()[static_cast<std::size_t>(s.index(static_cast<double>(v)))];
}

int cell_pixels_or_default(int asked, int cells) {
  return asked > 0 ? asked : default_cell_pixels(cells);
}

// A drawing larger than this along either side would need gigabytes of
// memory for the picture alone; it is refused before any is taken.
constexpr std::int64_t max_side = 16384;

void check_size(std::int64_t width, std::int64_t height, const std::string& what) {
  if (width > max_side || height > max_side) {
    throw diagnostic_error(what + "the drawing would be " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels, more than " +
                           std::to_string(max_side) +
                           " along a side; ask for fewer pixels per cell or a smaller height");
  }
}

}  // namespace

int default_cell_pixels(int cells) {
  return std::clamp(600 / std::max(cells, 1), 1, 16);
}

layout slice_layout(int nx, int ny, int cell_pixels) {
  return make_layout(nx * cell_pixels, ny * cell_pixels, 1);
}

layout section_layout(int cells, int cell_pixels, int height) {
  return make_layout(cells * cell_pixels, height, 5);
}

image draw_slice(const mesh& m, int layer, std::span<const float> values,
                 std::span<const std::pair<double, double>> dots, const picture_options& o) {
  const int n = cell_pixels_or_default(o.cell_pixels, std::max(m.nx, m.ny));
  check_size(std::int64_t{m.nx} * n, std::int64_t{m.ny} * n, o.what);
  const layout l = slice_layout(m.nx, m.ny, n);
  const colour_scale s = choose_scale(values, o.scale, o.what);
  image img(l.width, l.height, white);

  for (int iy = 1; iy <= m.ny; ++iy) {
    const int y0 = l.plot_y + (m.ny - iy) * n;  // north up
    for (int ix = 1; ix <= m.nx; ++ix) {
      const float v = values[static_cast<std::size_t>(iy - 1) * static_cast<std::size_t>(m.nx) +
                             static_cast<std::size_t>(ix - 1)];
      const int x0 = l.plot_x + (ix - 1) * n;
      img.fill(x0, y0, x0 + n, y0 + n, colour_of(s, v));
    }
  }
  // All rings first, then all dots, so that a ring never hides a
  // neighbour's dot.
  const double radius = std::max(1.5, 0.3 * n);
  for (const double r : {radius + 1, radius}) {
    for (const auto& [x, y] : dots) {
      const double px = l.plot_x + (x - m.xmin) / m.dx * n;
      const double py = l.plot_y + l.plot_h - (y - m.ymin) / m.dy * n;
      if (px >= l.plot_x && px <= l.plot_x + l.plot_w && py >= l.plot_y &&
          py <= l.plot_y + l.plot_h)
        img.disc(px, py, r, r == radius ? black : white);
    }
  }
  img.frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  horizontal_axis(img, l, m.x_edge(0), m.x_edge(m.nx), "X");
  vertical_axis(img, l, m.y_edge(0), m.y_edge(m.ny), false, "Y");
  colour_bar(img, l, s);

  std::string title = "LAYER " + std::to_string(layer) + " OF " + std::to_string(m.nlayer);
  double top = 0;
  for (int k = 1; k < layer; ++k) top += m.dz[static_cast<std::size_t>(k - 1)];
  const double bottom = top + m.dz[static_cast<std::size_t>(layer - 1)];
  if (std::isfinite(bottom))
    title += ", DEPTH " + short_number(top) + " TO " + short_number(bottom);
  draw_text(img, l.text, l.plot_x, l.pad, title, black);
  return img;
}

image draw_section(const mesh& m, bool along_row, int index, std::span<const float> values,
                   const picture_options& o) {
  const std::vector<double> depth = layer_depths(m);
  const int cells = along_row ? m.nx : m.ny;
  const int n = cell_pixels_or_default(o.cell_pixels, cells);
  check_size(std::int64_t{cells} * n, o.height, o.what);
  const layout l = section_layout(cells, n, o.height);
  const colour_scale s = choose_scale(values, o.scale, o.what);
  image img(l.width, l.height, white);

  const double total = depth.back();
  const auto row_of = [&](double d) {
    return l.plot_y + static_cast<int>(std::lround(d / total * l.plot_h));
  };
  const auto layers = static_cast<std::size_t>(m.nlayer);
  for (int i = 0; i < cells; ++i) {
    const int x0 = l.plot_x + i * n;
    for (std::size_t k = 0; k < layers; ++k) {
      const float v = values[static_cast<std::size_t>(i) * layers + k];
      img.fill(x0, row_of(depth[k]), x0 + n, row_of(depth[k + 1]), colour_of(s, v));
    }
  }
  img.frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  if (along_row)
    horizontal_axis(img, l, m.x_edge(0), m.x_edge(m.nx), "X");
  else
    horizontal_axis(img, l, m.y_edge(0), m.y_edge(m.ny), "Y");
  vertical_axis(img, l, 0, total, true, "DEPTH");
  colour_bar(img, l, s);

  const std::string title =
      along_row ? "ROW " + std::to_string(index) + ", Y " + short_number(m.y_centre(index))
                : "COLUMN " + std::to_string(index) + ", X " + short_number(m.x_centre(index));
  draw_text(img, l.text, l.plot_x, l.pad, title, black);
  return img;
}

}  // namespace tervox::view
