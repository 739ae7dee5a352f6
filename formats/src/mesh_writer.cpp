#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/decimal.hpp"
#include "formats/fixed_field.hpp"
#include "formats/mesh_file.hpp"

namespace tervox::formats {
namespace {

using mesh_fields::field;

std::string put(int v, field f) {
  return fixed_int(v, static_cast<int>(f.width));
}
std::string put(double v, field f) {
  return fixed_real(v, static_cast<int>(f.width), f.decimals);
}

// The text of a cell size: an 8-character field with 3 decimals, stripped of
// its leading blanks so that it joins the "*" directly.
std::string size_text(float size) {
  const std::string field = put(static_cast<double>(size), mesh_fields::cell_size);
  const auto first = field.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : field.substr(first);
}

// The value a fixed field reads back as; nullopt for asterisks.
std::optional<double> read_back(std::string_view field) {
  const auto first = field.find_first_not_of(' ');
  double v = 0;
  if (first == std::string_view::npos || to_real(field.substr(first), v) != conversion::ok)
    return std::nullopt;
  return v;
}

// The shortest text (%g style: 0.0005 rather than 5e-04) that reads back as
// the same single-precision value and, read as a double, still lies within
// `tolerance` of it; 17 digits give the value exactly, so there always is one.
std::string digits_needed(float v, double tolerance) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general);
  std::string text(buf, r.ptr);
  for (int digits = 9; digits <= 17; ++digits) {
    const auto back = read_back(text);
    if (back && std::fabs(*back - static_cast<double>(v)) <= tolerance)
      break;
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
    text = buf;
  }
  return text;
}

// The fixed fields round the origin to 0.1 and the cell sizes to 0.001. In
// projected metres that moves nothing; in degrees, or with cells of a few
// millimetres, it would move the grid by cells. A field is kept only while
// what it says stays within a tenth of a cell of the grid. A grid without a
// usable cell size or origin (tervox refuses such sizes) cannot be described
// either way and keeps the fixed fields.
bool describable(float origin, float size) {
  return std::isfinite(origin) && std::isfinite(size) && size > 0;
}

double tenth(float size) {
  return 0.1 * static_cast<double>(size);
}

// The origin's field, or nullopt when it would move the grid.
std::optional<std::string> fixed_origin(float origin, float size) {
  std::string f = put(static_cast<double>(origin), mesh_fields::origin);
  if (!describable(origin, size))
    return f;
  const auto back = read_back(f);
  if (back && std::fabs(*back - static_cast<double>(origin)) <= tenth(size))
    return f;
  return std::nullopt;
}

// The size's text, or nullopt when the far edge, count times the printed
// size, would move by more than a tenth of a cell.
std::optional<std::string> fixed_size(int count, float size) {
  std::string t = size_text(size);
  if (!describable(0, size))
    return t;
  const auto back = read_back(t);
  const double d = static_cast<double>(size);
  if (back && *back > 0 && std::fabs(static_cast<double>(count) * (*back - d)) <= tenth(size))
    return t;
  return std::nullopt;
}

// A line of fields. When one of them is written with the digits it needs,
// every field is set off by a blank, as a full fixed field would otherwise
// join its neighbour; a wide value keeps the field's width where it can.
std::string fields_line(const std::vector<std::optional<std::string>>& fixed,
                        const std::vector<std::string>& wide_text, std::size_t width) {
  bool all_fixed = true;
  for (const auto& f : fixed) all_fixed = all_fixed && f.has_value();
  std::string line;
  for (std::size_t i = 0; i < fixed.size(); ++i) {
    if (all_fixed) {
      line += *fixed[i];
      continue;
    }
    std::string f = fixed[i] ? *fixed[i] : wide_text[i];
    if (f.size() < width)
      f.insert(0, width - f.size(), ' ');
    if (f.front() != ' ')
      f.insert(0, 1, ' ');
    line += f;
  }
  return line;
}

std::string counts_line(const mesh_description& m) {
  std::vector<std::optional<std::string>> fixed;
  std::vector<std::string> wide_text;
  for (const int c : {m.g.nx, m.g.ny, m.nlayer}) {
    const std::string f = put(c, mesh_fields::count);
    fixed.push_back(f.front() == '*' ? std::nullopt : std::optional(f));
    wide_text.push_back(std::to_string(c));
  }
  return fields_line(fixed, wide_text, mesh_fields::count.width) + "\n";
}

std::string origin_line(const mesh_description& m) {
  const std::string line =
      fields_line({fixed_origin(m.g.xmin, m.g.dx), fixed_origin(m.g.ymin, m.g.dy)},
                  {digits_needed(m.g.xmin, tenth(m.g.dx)), digits_needed(m.g.ymin, tenth(m.g.dy))},
                  mesh_fields::origin.width);
  return line + put(0.0, mesh_fields::origin_z) + "\n";
}

std::string size_line(int count, float size) {
  const auto fixed = fixed_size(count, size);
  const double tolerance = tenth(size) / std::max(1.0, static_cast<double>(count));
  return put(count, mesh_fields::repeat) + "*" + (fixed ? *fixed : digits_needed(size, tolerance)) +
         "\n";
}

}  // namespace

std::string mesh_text(const mesh_description& m) {
  assert(m.nlayer >= 1 && m.dz.size() == static_cast<std::size_t>(m.nlayer - 1));
  using namespace mesh_fields;
  std::string text = counts_line(m) + origin_line(m);
  text += size_line(m.g.nx, m.g.dx);
  text += size_line(m.g.ny, m.g.dy);

  for (const float dz : m.dz) text += put(static_cast<double>(dz), thickness);
  // The last layer has no thickness in the soundings file; it is drawn half
  // as thick again as the one above it. The product stays in double and is
  // formatted from there (1.5 * 1.91f gives 2.86, where the product rounded
  // to single precision would give 2.87). With one layer there is no
  // thickness at all, and the layer is written as 1.00 thick. A delivered
  // file may give the last layer's bottom, and then its thickness.
  const double last = m.last_dz      ? static_cast<double>(*m.last_dz)
                      : m.dz.empty() ? 1.0
                                     : 1.5 * static_cast<double>(m.dz.back());
  text += put(last, thickness) + "\n";
  return text;
}

}  // namespace tervox::formats
