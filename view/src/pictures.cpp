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
  // Below the title by half a line more than the pad: the labels of the
  // ticks at the top, centred on them, stay clear of a long title.
  l.plot_y = l.pad + l.line + 2 * l.pad + l.line / 2;
  // However narrow the plot, room under it for one label of its axis.
  l.bar_x = l.plot_x + std::max(plot_w, label_w) + 4 * l.pad;
  l.bar_w = static_cast<int>(std::lround(s));
  // Room for a few labels along the bar, however flat the plot.
  l.bar_h = std::max(plot_h, 8 * l.line);
  l.width = l.bar_x + l.bar_w + l.tick + l.pad + label_w + l.pad + (units ? l.line + l.pad : 0);
  l.height = l.plot_y + l.bar_h + l.tick + l.pad + l.line + l.pad + l.line + l.pad;
  return l;
}

// Labels of an axis or the colour bar are kept this far apart at least:
// across, the width of a wide letter; up and down, a pad between lines.
double across_gap(const layout& l) {
  return l.text_size;
}

// The ticks to label: the first of the candidate lists, densest first, whose
// labels placed by `place` (text and tick -> its start along the axis and
// its extent) keep `gap` apart; a single tick when none does.
template <class Place>
std::vector<double> spaced_ticks(const std::vector<std::vector<double>>& candidates, double gap,
                                 Place place) {
  for (const std::vector<double>& t : candidates) {
    std::vector<std::pair<double, double>> spans;
    for (const double v : t) spans.push_back(place(t, v));
    std::sort(spans.begin(), spans.end());
    bool apart = true;
    for (std::size_t i = 1; i < spans.size() && apart; ++i)
      apart = spans[i].first >= spans[i - 1].second + gap;
    if (apart)
      return t;
  }
  for (const std::vector<double>& t : candidates) {
    if (!t.empty())
      return {t.front()};
  }
  return {};
}

// Tick lists from about `most` ticks down to one.
std::vector<std::vector<double>> tick_candidates(double lo, double hi, int most) {
  std::vector<std::vector<double>> out;
  for (int count = most; count >= 1; --count) out.push_back(axis_ticks(lo, hi, count));
  return out;
}

double spacing_of(const std::vector<double>& t, double lo, double hi) {
  return t.size() >= 2 ? t[1] - t[0] : std::abs(hi - lo);
}

// Labels of a horizontal axis, centred under their ticks but kept clear of
// the vertical axis's labels and left of the colour bar, as many as stay
// apart.
void horizontal_axis(figure& fig, const layout& l, double lo, double hi, const std::string& name) {
  const double least = l.plot_x - l.tick, limit = l.bar_x - l.pad;
  const auto left_of = [&](double x, double w) {
    return std::clamp(x - w / 2, least, std::max(least, limit - w));
  };
  const auto x_of = [&](double v) {
    return l.plot_x + std::round((v - lo) / (hi - lo) * l.plot_w);
  };
  const std::vector<double> t = spaced_ticks(
      tick_candidates(lo, hi, std::clamp(l.plot_w / (8 * l.char_w), 2, 8)), across_gap(l),
      [&](const std::vector<double>& all, double v) {
        const double w = fig.text_width(plain_number(v, spacing_of(all, lo, hi)), l.text_size);
        const double left = left_of(x_of(v), w);
        return std::pair{left, left + w};
      });
  const double spacing = spacing_of(t, lo, hi);
  const int y = l.plot_y + l.plot_h;
  for (const double v : t) {
    const double x = x_of(v);
    fig.fill(x, y + 1, x + 1, y + 1 + l.tick, black);
    const std::string label = plain_number(v, spacing);
    fig.text(left_of(x, fig.text_width(label, l.text_size)), y + 1 + l.tick, label, l.text_size,
             align::left);
  }
  const int name_y = y + 1 + l.tick + l.line + l.pad;
  fig.text(l.plot_x + l.plot_w / 2.0, name_y, name, l.text_size, align::centre);
}

// The top of a label beside a tick at `y`: centred on it, inside the picture.
double label_top(const figure& fig, const layout& l, double y) {
  return std::clamp(y - l.line / 2.0, 0.0, double(fig.height() - l.line));
}

// `downwards`: the axis value grows from the top of the plot (depth) rather
// than from its bottom (y).
void vertical_axis(figure& fig, const layout& l, double lo, double hi, bool downwards,
                   const std::string& name) {
  const auto y_of = [&](double v) {
    const double f = (v - lo) / (hi - lo);
    return l.plot_y + std::round((downwards ? f : 1 - f) * l.plot_h);
  };
  const std::vector<double> t =
      spaced_ticks(tick_candidates(lo, hi, std::clamp(l.plot_h / (4 * l.line), 2, 8)), l.pad,
                   [&](const std::vector<double>&, double v) {
                     const double top = label_top(fig, l, y_of(v));
                     return std::pair{top, top + l.line};
                   });
  const double spacing = spacing_of(t, lo, hi);
  const double right = l.plot_x - 1 - l.tick - l.pad;
  double widest = 0;
  for (const double v : t) {
    const double y = y_of(v);
    fig.fill(l.plot_x - 1 - l.tick, y, l.plot_x - 1, y + 1, black);
    const std::string label = plain_number(v, spacing);
    fig.text(right, label_top(fig, l, y), label, l.text_size, align::right);
    widest = std::max(widest, fig.text_width(label, l.text_size));
  }
  // The name beside the labels as they came out, not at the picture's edge.
  const double name_x =
      std::max<double>(l.pad, right - widest - 2 * l.pad - fig.text_width(name, l.text_size));
  fig.text(name_x, l.plot_y + (l.plot_h - l.line) / 2.0, name, l.text_size, align::left);
}

void colour_bar(figure& fig, const layout& l, const colour_scale& s, const std::string& units) {
  const auto& map = colour_map();
  const int h = l.bar_h;
  std::vector<rgb> bar(static_cast<std::size_t>(h));
  for (int r = 0; r < h; ++r) {
    bar[static_cast<std::size_t>(r)] =
        s.empty ? no_data_colour
                : map[static_cast<std::size_t>(std::min(255, (h - 1 - r) * 256 / h))];
  }
  fig.cells(bar, 1, h, l.bar_x, l.plot_y, l.bar_w, 1);
  fig.frame(l.bar_x, l.plot_y, l.bar_x + l.bar_w, l.plot_y + h, black);

  // Candidates: on a linear scale fewer round numbers, on a logarithmic one
  // every second, third... power of ten.
  std::vector<std::vector<double>> candidates;
  if (s.log) {
    const std::vector<double> all = ticks(s);
    for (std::size_t every = 1; every <= std::max<std::size_t>(all.size(), 1); ++every) {
      std::vector<double> some;
      for (std::size_t i = 0; i < all.size(); i += every) some.push_back(all[i]);
      candidates.push_back(some);
    }
  } else {
    for (int count = 5; count >= 1; --count) candidates.push_back(ticks(s, count));
  }
  const auto y_of = [&](double v) { return l.plot_y + std::round((1 - s.fraction(v)) * (h - 1)); };
  const std::vector<double> t =
      spaced_ticks(candidates, l.pad, [&](const std::vector<double>&, double v) {
        const double top = label_top(fig, l, y_of(v));
        return std::pair{top, top + l.line};
      });
  const bool equal_steps = !s.log && t.size() >= 2;
  const int x = l.bar_x + l.bar_w + 1;
  double widest = 0;
  for (const double v : t) {
    const double y = y_of(v);
    fig.fill(x, y, x + l.tick, y + 1, black);
    // On a logarithmic scale each label is its own round number.
    const std::string label = tick_label(v, equal_steps ? t[1] - t[0] : std::abs(v));
    fig.text(x + l.tick + l.pad, label_top(fig, l, y), label, l.text_size, align::left);
    widest = std::max(widest, fig.text_width(label, l.text_size));
  }
  if (!units.empty()) {
    const double label_x = x + l.tick + l.pad + std::max(widest, 2.0 * l.char_w) + l.pad;
    fig.upright_text(label_x, l.plot_y + h / 2.0, units, l.text_size);
  }

  // The key to the grey of cells without a value.
  const int key_y = l.plot_y + h + 1 + l.tick + l.line + l.pad;
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

// A drawing larger than this along either side would need gigabytes of
// memory for the picture alone; it is refused before any is taken.
constexpr int max_side = 16384;

void check_size(double width, double height, const std::string& what) {
  if (width > double(max_side) || height > double(max_side)) {
    throw diagnostic_error(what + "the drawing would be " + plain_number(width, 1) + " x " +
                           plain_number(height, 1) + " pixels, more than " +
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

// An axis's name with its unit where one is known: "X (m)".
std::string axis_name(const std::string& name, const std::string& unit) {
  return unit.empty() ? name : name + " (" + unit + ")";
}

int name_chars(const std::string& name, const std::string& unit) {
  return static_cast<int>(axis_name(name, unit).size());
}

// The plot's size in pixels, before it is checked: large numbers stay
// numbers rather than overflowing.
std::pair<double, double> slice_plot(int nx, int ny, double dx, double dy, int cell_pixels) {
  const double width = nx * dx, height = ny * dy;
  if (cell_pixels > 0)
    return {double(nx) * cell_pixels, std::max(1.0, std::round(height / width * nx * cell_pixels))};
  const double scale = default_plot_pixels / std::max(width, height);
  return {std::max<double>(min_plot_pixels, std::round(width * scale)),
          std::max<double>(min_plot_pixels, std::round(height * scale))};
}

int section_plot(int cells, int cell_pixels) {
  return cell_pixels > 0 ? cells * cell_pixels : default_plot_pixels;
}

}  // namespace

layout slice_layout(int nx, int ny, double dx, double dy, int cell_pixels, bool units,
                    const std::string& length_unit) {
  const auto [w, h] = slice_plot(nx, ny, dx, dy, cell_pixels);
  return make_layout(static_cast<int>(w), static_cast<int>(h), name_chars("Y", length_unit), units);
}

layout section_layout(int cells, int cell_pixels, int height, bool units,
                      const std::string& length_unit) {
  return make_layout(section_plot(cells, cell_pixels), height,
                     std::max(5, name_chars("Depth", length_unit)), units);
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
  const auto [plot_w, plot_h] = slice_plot(m.nx, m.ny, m.dx, m.dy, o.cell_pixels);
  check_size(plot_w, plot_h, o.what);
  const layout l =
      slice_layout(m.nx, m.ny, m.dx, m.dy, o.cell_pixels, !o.units.empty(), o.length_unit);
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
  // The cells fill the plot, each as many pixels (or fractions) as its
  // share of the extent.
  const double sx = double(l.plot_w) / m.nx, sy = double(l.plot_h) / m.ny;
  fig->cells(colours, m.nx, m.ny, l.plot_x, l.plot_y, sx, sy);

  std::vector<std::pair<double, double>> pixels;
  for (const auto& [x, y] : dots) {
    const double px = l.plot_x + (x - m.xmin) / m.dx * sx;
    const double py = l.plot_y + l.plot_h - (y - m.ymin) / m.dy * sy;
    if (px >= l.plot_x && px <= l.plot_x + l.plot_w && py >= l.plot_y && py <= l.plot_y + l.plot_h)
      pixels.emplace_back(px, py);
  }
  const double radius = dot_radius(pixels);
  for (const auto& [px, py] : pixels) fig->disc(px, py, radius, black, 0.7);
  fig->frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  horizontal_axis(*fig, l, m.x_edge(0), m.x_edge(m.nx), axis_name("X", o.length_unit));
  vertical_axis(*fig, l, m.y_edge(0), m.y_edge(m.ny), false, axis_name("Y", o.length_unit));
  colour_bar(*fig, l, s, o.units);

  std::string title = "Layer " + std::to_string(layer) + " of " + std::to_string(m.nlayer);
  double top = 0;
  for (int k = 1; k < layer; ++k) top += m.dz[static_cast<std::size_t>(k - 1)];
  const double bottom = top + m.dz[static_cast<std::size_t>(layer - 1)];
  const std::string unit = o.length_unit.empty() ? "" : " " + o.length_unit;
  if (o.depth) {
    // The depth asked for first: the layer is where it fell.
    title = "Depth " + exact_number(*o.depth) + unit + ", in layer " + std::to_string(layer) +
            " of " + std::to_string(m.nlayer) + " (" + exact_number(top) + " to " +
            exact_number(bottom) + unit + ")";
  } else if (std::isfinite(bottom)) {
    title += ", depth " + exact_number(top) + " to " + exact_number(bottom) + unit;
  }
  if (!o.crs_name.empty())
    title += ", " + o.crs_name;
  fig->text(l.plot_x, l.pad, title, l.text_size * 1.1, align::left);
  fig->set_title(title);
  return fig;
}

namespace {

// A section's drawing: `columns` columns of cells across the plot, each
// with nlayer values of `values` (layer fastest), the horizontal axis from
// `lo` to `hi`.
std::unique_ptr<figure> section_figure(const mesh& m, const std::vector<double>& depth,
                                       const layout& l, const colour_scale& s,
                                       std::span<const float> values, int columns, double lo,
                                       double hi, const std::string& axis, std::string title,
                                       const picture_options& o) {
  auto fig = std::make_unique<figure>(l.width, l.height, o.format);
  fig->fill(0, 0, l.width, l.height, white);

  // One column of pixels per cell, one row per pixel of depth.
  const double total = depth.back();
  const auto row_of = [&](double d) { return static_cast<int>(std::lround(d / total * l.plot_h)); };
  const auto layers = static_cast<std::size_t>(m.nlayer);
  const auto across = static_cast<std::size_t>(columns);
  std::vector<rgb> colours(across * static_cast<std::size_t>(l.plot_h), no_data_colour);
  for (std::size_t i = 0; i < across; ++i) {
    for (std::size_t k = 0; k < layers; ++k) {
      const rgb c = colour_of(s, values[i * layers + k]);
      for (int r = row_of(depth[k]); r < row_of(depth[k + 1]); ++r)
        colours[static_cast<std::size_t>(r) * across + i] = c;
    }
  }
  fig->cells(colours, columns, l.plot_h, l.plot_x, l.plot_y, double(l.plot_w) / columns, 1);
  fig->frame(l.plot_x, l.plot_y, l.plot_x + l.plot_w, l.plot_y + l.plot_h, black);

  horizontal_axis(*fig, l, lo, hi, axis);
  vertical_axis(*fig, l, 0, total, true, axis_name("Depth", o.length_unit));
  colour_bar(*fig, l, s, o.units);

  if (!o.crs_name.empty())
    title += ", " + o.crs_name;
  fig->text(l.plot_x, l.pad, title, l.text_size * 1.1, align::left);
  fig->set_title(title);
  return fig;
}

std::string point_text(const std::pair<double, double>& p) {
  return exact_number(p.first) + ", " + exact_number(p.second);
}

// More samples than this would be a line thousands of times longer than
// any drawing can show; it is refused before their memory is taken.
constexpr double max_samples = 1e6;

}  // namespace

std::unique_ptr<figure> draw_section(const mesh& m, bool along_row, int index,
                                     std::span<const float> values, const picture_options& o) {
  const std::vector<double> depth = layer_depths(m);
  const int cells = along_row ? m.nx : m.ny;
  check_size(double(cells) * std::max(o.cell_pixels, 1), o.height, o.what);
  const layout l = section_layout(cells, o.cell_pixels, o.height, !o.units.empty(), o.length_unit);
  const colour_scale s = choose_scale(values, o.scale, o.what, o.range);
  std::string title =
      along_row ? "Row " + std::to_string(index) + ", Y " + exact_number(m.y_centre(index))
                : "Column " + std::to_string(index) + ", X " + exact_number(m.x_centre(index));
  if (!o.length_unit.empty())
    title += " " + o.length_unit;
  if (along_row)
    return section_figure(m, depth, l, s, values, cells, m.x_edge(0), m.x_edge(m.nx),
                          axis_name("X", o.length_unit), title, o);
  return section_figure(m, depth, l, s, values, cells, m.y_edge(0), m.y_edge(m.ny),
                        axis_name("Y", o.length_unit), title, o);
}

int layer_at_depth(const mesh& m, double depth, const std::string& what) {
  const std::vector<double> d = layer_depths(m);
  if (!(depth >= 0 && depth < d.back())) {
    throw diagnostic_error(what + "depth " + exact_number(depth) +
                           " is outside the volume, whose layers reach from depth 0 down to " +
                           exact_number(d.back()) + " (the last layer's bottom not included)");
  }
  // The first boundary below the depth closes its layer: a depth on a
  // boundary opens the deeper layer, and layers of no thickness are passed.
  return static_cast<int>(std::upper_bound(d.begin(), d.end(), depth) - d.begin());
}

double line_length(std::span<const std::pair<double, double>> points) {
  double length = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    length +=
        std::hypot(points[i].first - points[i - 1].first, points[i].second - points[i - 1].second);
  }
  return length;
}

std::vector<line_sample> line_samples(const mesh& m,
                                      std::span<const std::pair<double, double>> points,
                                      const std::string& what) {
  if (points.size() < 2)
    throw diagnostic_error(what + "a line needs two points or more, got " +
                           std::to_string(points.size()));
  const double length = line_length(points);
  if (!(length > 0))
    throw diagnostic_error(what + "the line has no length: its points are all at " +
                           point_text(points[0]));
  const double step = std::min(m.dx, m.dy);
  // A line of a whole number of cells ends on a sample, whatever the
  // rounding of its length.
  const double steps = std::floor(length / step + 1e-9);
  if (!(steps < max_samples)) {
    throw diagnostic_error(what + "the line is " + exact_number(length) + " long, " +
                           plain_number(steps, 1) + " cells of " + exact_number(step) +
                           ": more than a section can show");
  }
  const auto count = static_cast<std::size_t>(steps) + 1;
  const auto cell_of = [](double v, double origin, double size, int n) {
    const double f = std::floor((v - origin) / size);
    if (f == double(n) && v == origin + n * size)
      return n;  // the grid's far edge: the last cell
    return f >= 0 && f < double(n) ? static_cast<int>(f) + 1 : 0;
  };
  std::vector<line_sample> out;
  out.reserve(count);
  std::size_t segment = 1;
  double start = 0;  // the distance along the line to the segment's start
  bool any = false;
  for (std::size_t i = 0; i < count; ++i) {
    const double d = std::min(double(i) * step, length);
    const auto seg_length = [&](std::size_t k) {
      return std::hypot(points[k].first - points[k - 1].first,
                        points[k].second - points[k - 1].second);
    };
    while (segment + 1 < points.size() && d > start + seg_length(segment)) {
      start += seg_length(segment);
      ++segment;
    }
    const auto& a = points[segment - 1];
    const auto& b = points[segment];
    const double len = seg_length(segment);
    const double t = len > 0 ? std::clamp((d - start) / len, 0.0, 1.0) : 0.0;
    line_sample sample;
    sample.distance = d;
    sample.x = a.first + t * (b.first - a.first);
    sample.y = a.second + t * (b.second - a.second);
    const int ix = cell_of(sample.x, m.xmin, m.dx, m.nx);
    const int iy = cell_of(sample.y, m.ymin, m.dy, m.ny);
    if (ix > 0 && iy > 0) {
      sample.ix = ix;
      sample.iy = iy;
      any = true;
    }
    out.push_back(sample);
  }
  if (!any) {
    throw diagnostic_error(what + "the line from " + point_text(points.front()) + " to " +
                           point_text(points.back()) + " lies wholly outside the grid (x " +
                           exact_number(m.x_edge(0)) + " to " + exact_number(m.x_edge(m.nx)) +
                           ", y " + exact_number(m.y_edge(0)) + " to " +
                           exact_number(m.y_edge(m.ny)) + ")");
  }
  return out;
}

std::unique_ptr<figure> draw_line_section(const mesh& m,
                                          std::span<const std::pair<double, double>> points,
                                          std::span<const line_sample> samples,
                                          std::span<const float> values, const picture_options& o) {
  const std::vector<double> depth = layer_depths(m);
  const auto n = static_cast<int>(samples.size());
  check_size(double(n) * std::max(o.cell_pixels, 1), o.height, o.what);
  const layout l = section_layout(n, o.cell_pixels, o.height, !o.units.empty(), o.length_unit);
  const colour_scale s = choose_scale(values, o.scale, o.what, o.range);
  // Each column of pixels takes the sample nearest to the distance at its
  // middle: the samples are a cell apart, the line's length seldom a whole
  // number of cells.
  const double length = line_length(points);
  const double step = std::min(m.dx, m.dy);
  const auto layers = static_cast<std::size_t>(m.nlayer);
  std::vector<float> columns(static_cast<std::size_t>(l.plot_w) * layers);
  for (int p = 0; p < l.plot_w; ++p) {
    const double d = (p + 0.5) / l.plot_w * length;
    const auto i = static_cast<std::size_t>(std::clamp<long>(std::lround(d / step), 0, n - 1));
    std::copy_n(
        values.begin() + static_cast<std::ptrdiff_t>(i * layers), layers,
        columns.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(p) * layers));
  }
  std::string title = "Line from " + point_text(points.front());
  if (points.size() > 2)
    title += " through " + std::to_string(points.size() - 2) + " more points";
  title += " to " + point_text(points.back());
  return section_figure(m, depth, l, s, columns, l.plot_w, 0, length,
                        axis_name("Distance along the line", o.length_unit), title, o);
}

}  // namespace tervox::view
