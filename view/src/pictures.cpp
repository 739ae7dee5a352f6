#include "pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "base/diagnostic.hpp"

namespace tervox::view {

using base::diagnostic_error;
using formats::layer_depths;
using formats::mesh;

namespace {

constexpr rgb white{255, 255, 255};
constexpr rgb black{0, 0, 0};
// Tick labels are at most this long (tick_label and plain_number keep them so).
constexpr int label_chars = 10;

layout make_layout(int plot_w, int plot_h, int side_name_chars, bool units) {
  layout l;
  l.text_size = plot_w >= 600 || plot_h >= 300 ? 15 : 11;
  const double s = l.text_size;
  // DejaVu Sans's digits are 0.64 of the text size wide, its letters less.
  l.char_w = static_cast<int>(std::ceil(0.64 * s));
  l.line = static_cast<int>(std::ceil(1.25 * s));
  l.pad = static_cast<int>(std::lround(s / 3));
  l.tick = l.pad;
  const int label_w = label_chars * l.char_w;
  l.plot_w = plot_w;
  l.plot_h = plot_h;
  l.plot_x = l.pad + side_name_chars * l.char_w + 2 * l.pad + label_w + l.tick;
  l.plot_y = l.pad + l.line + 2 * l.pad;
  l.bar_x = l.plot_x + plot_w + 4 * l.pad;
  l.bar_w = static_cast<int>(std::lround(s));
  l.width = l.bar_x + l.bar_w + l.tick + l.pad + label_w + l.pad + (units ? l.line + l.pad : 0);
  l.height = l.plot_y + plot_h + l.tick + l.pad + l.line + l.pad + l.line + l.pad;
  return l;
}

// Labels of a horizontal axis, centred under their ticks but kept inside
// the picture.
void horizontal_axis(figure& fig, const layout& l, double lo, double hi, const std::string& name) {
  const int count = std::clamp(l.plot_w / (8 * l.char_w), 2, 8);
  const std::vector<double> t = axis_ticks(lo, hi, count);
  const double spacing = t.size() >= 2 ? t[1] - t[0] : std::abs(hi - lo);
  const int y = l.plot_y + l.plot_h;
  for (const double v : t) {
    const double x = l.plot_x + std::round((v - lo) / (hi - lo) * l.plot_w);
    fig.fill(x, y + 1, x + 1, y + 1 + l.tick, black);
    const std::string label = plain_number(v, spacing);
    const double w = fig.text_width(label, l.text_size);
    const double left = std::clamp(x - w / 2, 0.0, std::max(0.0, fig.width() - w));
    fig.text(left, y + 1 + l.tick, label, l.text_size, align::left);
  }
  const int name_y = y + 1 + l.tick + l.line + l.pad;
  fig.text(l.plot_x + l.plot_w / 2.0, name_y, name, l.text_size, align::centre);
}

// `downwards`: the axis value grows from the top of the plot (depth) rather
// than from its bottom (y).
void vertical_axis(figure& fig, const layout& l, double lo, double hi, bool downwards,
                   const std::string& name) {
  const int count = std::clamp(l.plot_h / (4 * l.line), 2, 8);
  const std::vector<double> t = axis_ticks(lo, hi, count);
  const double spacing = t.size() >= 2 ? t[1] - t[0] : std::abs(hi - lo);
  const double right = l.plot_x - 1 - l.tick - l.pad;
  double widest = 0;
  for (const double v : t) {
    const double f = (v - lo) / (hi - lo);
    const double y = l.plot_y + std::round((downwards ? f : 1 - f) * l.plot_h);
    fig.fill(l.plot_x - 1 - l.tick, y, l.plot_x - 1, y + 1, black);
    const std::string label = plain_number(v, spacing);
    const double top = std::clamp(y - l.line / 2.0, 0.0, double(fig.height() - l.line));
    fig.text(right, top, label, l.text_size, align::right);
    widest = std::max(widest, fig.text_width(label, l.text_size));
  }
  // The name beside the labels as they came out, not at the picture's edge.
  const double name_x =
      std::max<double>(l.pad, right - widest - 2 * l.pad - fig.text_width(name, l.text_size));
  fig.text(name_x, l.plot_y + (l.plot_h - l.line) / 2.0, name, l.text_size, align::left);
}

void colour_bar(figure& fig, const layout& l, const colour_scale& s, const std::string& units) {
  const auto& map = colour_map();
  std::vector<rgb> bar(static_cast<std::size_t>(l.plot_h));
  for (int r = 0; r < l.plot_h; ++r) {
    bar[static_cast<std::size_t>(r)] =
        s.empty ? no_data_colour
                : map[static_cast<std::size_t>(std::min(255, (l.plot_h - 1 - r) * 256 / l.plot_h))];
  }
  fig.cells(bar, 1, l.plot_h, l.bar_x, l.plot_y, l.bar_w, 1);
  fig.frame(l.bar_x, l.plot_y, l.bar_x + l.bar_w, l.plot_y + l.plot_h, black);

  const std::vector<double> t = ticks(s);
  const bool equal_steps = !s.log && t.size() >= 2;
  const int x = l.bar_x + l.bar_w + 1;
  double widest = 0;
  for (const double v : t) {
    const double y = l.plot_y + std::round((1 - s.fraction(v)) * (l.plot_h - 1));
    fig.fill(x, y, x + l.tick, y + 1, black);
    // On a logarithmic scale each label is its own round number.
    const std::string label = tick_label(v, equal_steps ? t[1] - t[0] : std::abs(v));
    const double top = std::clamp(y - l.line / 2.0, 0.0, double(fig.height() - l.line));
    fig.text(x + l.tick + l.pad, top, label, l.text_size, align::left);
    widest = std::max(widest, fig.text_width(label, l.text_size));
  }
  if (!units.empty()) {
    const double label_x = x + l.tick + l.pad + std::max(widest, 2.0 * l.char_w) + l.pad;
    fig.upright_text(label_x, l.plot_y + l.plot_h / 2.0, units, l.text_size);
  }

  // The key to the grey of cells without a value.
  const int key_y = l.plot_y + l.plot_h + 1 + l.tick + l.line + l.pad;
  const int side = l.line - 2;
  fig.fill(l.bar_x, key_y, l.bar_x + side, key_y + side, no_data_colour);
  fig.frame(l.bar_x, key_y, l.bar_x + side, key_y + side, black);
  fig.text(l.bar_x + side + l.pad, key_y, "no data", l.text_size, align::left);
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

// A coordinate or depth in a title: as it is, to the millimetre, without
// trailing zeros ("7004950", "982.5").
std::string exact_number(double v) {
  std::string text = plain_number(v, 0.001);
  if (text.find('.') != std::string::npos) {
    while (text.ends_with('0')) text.pop_back();
    if (text.ends_with('.'))
      text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

}  // namespace

int default_cell_pixels(int cells) {
  return std::clamp(600 / std::max(cells, 1), 1, 16);
}

layout slice_layout(int nx, int ny, int cell_pixels, bool units) {
  return make_layout(nx * cell_pixels, ny * cell_pixels, 1, units);
}

layout section_layout(int cells, int cell_pixels, int height, bool units) {
  return make_layout(cells * cell_pixels, height, 5, units);
}

double dot_radius(std::span<const std::pair<double, double>> pixels) {
  // Each dot's nearest neighbour within `reach` pixels, found through a grid
  // of buckets of that size; the median of those distances is the spacing.
  constexpr double reach = 10;
  constexpr double largest = 2.5, smallest = 0.5;
  std::unordered_map<std::int64_t, std::vector<std::size_t>> buckets;
  const auto key = [](std::int64_t bx, std::int64_t by) { return bx * 1000003 + by; };
  const auto bucket_of = [&](double v) { return static_cast<std::int64_t>(std::floor(v / reach)); };
  for (std::size_t i = 0; i < pixels.size(); ++i)
    buckets[key(bucket_of(pixels[i].first), bucket_of(pixels[i].second))].push_back(i);
  std::vector<double> nearest;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const auto [x, y] = pixels[i];
    double best = reach;
    for (std::int64_t bx = bucket_of(x) - 1; bx <= bucket_of(x) + 1; ++bx) {
      for (std::int64_t by = bucket_of(y) - 1; by <= bucket_of(y) + 1; ++by) {
        const auto b = buckets.find(key(bx, by));
        if (b == buckets.end())
          continue;
        for (const std::size_t j : b->second) {
          const double d = std::hypot(pixels[j].first - x, pixels[j].second - y);
          if (j != i && d > 0)  // a repeated location is no neighbour
            best = std::min(best, d);
        }
      }
    }
    nearest.push_back(best);
  }
  if (nearest.empty())
    return largest;
  std::nth_element(nearest.begin(),
                   nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2),
                   nearest.end());
  return std::clamp(nearest[nearest.size() / 2] / 4, smallest, largest);
}

std::unique_ptr<figure> draw_slice(const mesh& m, int layer, std::span<const float> values,
                                   std::span<const std::pair<double, double>> dots,
                                   const picture_options& o) {
  const int n = cell_pixels_or_default(o.cell_pixels, std::max(m.nx, m.ny));
  check_size(std::int64_t{m.nx} * n, std::int64_t{m.ny} * n, o.what);
  const layout l = slice_layout(m.nx, m.ny, n, !o.units.empty());
  const colour_scale s = choose_scale(values, o.scale, o.what, o.range);
  auto fig = std::make_unique<figure>(l.width, l.height, o.format);
  fig->fill(0, 0, l.width, l.height, white);

  std::vector<rgb> colours(values.size());
  const auto nx = static_cast<std::size_t>(m.nx);
  for (std::size_t iy = 0; iy < static_cast<std::size_t>(m.ny); ++iy) {
    const std::size_t row = static_cast<std::size_t>(m.ny) - 1 - iy;  // north up
    for (std::size_t ix = 0; ix < nx; ++ix)
      colours[row * nx + ix] = colour_of(s, values[iy * nx + ix]);
  }
  fig->cells(colours, m.nx, m.ny, l.plot_x, l.plot_y, n, n);

  std::vector<std::pair<double, double>> pixels;
  for (const auto& [x, y] : dots) {
    const double px = l.plot_x + (x - m.xmin) / m.dx * n;
    const double py = l.plot_y + l.plot_h - (y - m.ymin) / m.dy * n;
    if (px >= l.plot_x && px <= l.plot_x + l.plot_w && py >= l.plot_y && py <= l.plot_y + l.plot_h)
      pixels.emplace_back(px, py);
  }
  const double radius = dot_radius(pixels);
  for (const auto& [px, py] : pixels) fig->disc(px, py, radius, black, 0.7);
  fig->frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  horizontal_axis(*fig, l, m.x_edge(0), m.x_edge(m.nx), "X");
  vertical_axis(*fig, l, m.y_edge(0), m.y_edge(m.ny), false, "Y");
  colour_bar(*fig, l, s, o.units);

  std::string title = "Layer " + std::to_string(layer) + " of " + std::to_string(m.nlayer);
  double top = 0;
  for (int k = 1; k < layer; ++k) top += m.dz[static_cast<std::size_t>(k - 1)];
  const double bottom = top + m.dz[static_cast<std::size_t>(layer - 1)];
  if (std::isfinite(bottom))
    title += ", depth " + exact_number(top) + " to " + exact_number(bottom);
  fig->text(l.plot_x, l.pad, title, l.text_size * 1.1, align::left);
  fig->set_title(title);
  return fig;
}

std::unique_ptr<figure> draw_section(const mesh& m, bool along_row, int index,
                                     std::span<const float> values, const picture_options& o) {
  const std::vector<double> depth = layer_depths(m);
  const int cells = along_row ? m.nx : m.ny;
  const int n = cell_pixels_or_default(o.cell_pixels, cells);
  check_size(std::int64_t{cells} * n, o.height, o.what);
  const layout l = section_layout(cells, n, o.height, !o.units.empty());
  const colour_scale s = choose_scale(values, o.scale, o.what, o.range);
  auto fig = std::make_unique<figure>(l.width, l.height, o.format);
  fig->fill(0, 0, l.width, l.height, white);

  // One column of pixels per cell, one row per pixel of depth.
  const double total = depth.back();
  const auto row_of = [&](double d) { return static_cast<int>(std::lround(d / total * l.plot_h)); };
  const auto layers = static_cast<std::size_t>(m.nlayer);
  const auto across = static_cast<std::size_t>(cells);
  std::vector<rgb> colours(across * static_cast<std::size_t>(l.plot_h), no_data_colour);
  for (std::size_t i = 0; i < across; ++i) {
    for (std::size_t k = 0; k < layers; ++k) {
      const rgb c = colour_of(s, values[i * layers + k]);
      for (int r = row_of(depth[k]); r < row_of(depth[k + 1]); ++r)
        colours[static_cast<std::size_t>(r) * across + i] = c;
    }
  }
  fig->cells(colours, cells, l.plot_h, l.plot_x, l.plot_y, n, 1);
  fig->frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  if (along_row)
    horizontal_axis(*fig, l, m.x_edge(0), m.x_edge(m.nx), "X");
  else
    horizontal_axis(*fig, l, m.y_edge(0), m.y_edge(m.ny), "Y");
  vertical_axis(*fig, l, 0, total, true, "Depth");
  colour_bar(*fig, l, s, o.units);

  const std::string title =
      along_row ? "Row " + std::to_string(index) + ", Y " + exact_number(m.y_centre(index))
                : "Column " + std::to_string(index) + ", X " + exact_number(m.x_centre(index));
  fig->text(l.plot_x, l.pad, title, l.text_size * 1.1, align::left);
  fig->set_title(title);
  return fig;
}

}  // namespace tervox::view
