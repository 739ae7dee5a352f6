#include "colour.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/diagnostic.hpp"

namespace tervox::view {

using base::diagnostic_error;

namespace {

constexpr double pi = 3.14159265358979323846;

// OKLab to linear sRGB (Björn Ottosson's published matrices).
std::array<double, 3> oklab_to_linear(double lightness, double a, double b) {
  const double l = std::pow(lightness + 0.3963377774 * a + 0.2158037573 * b, 3);
  const double m = std::pow(lightness - 0.1055613458 * a - 0.0638541728 * b, 3);
  const double s = std::pow(lightness - 0.0894841775 * a - 1.2914855480 * b, 3);
  return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
          -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
          -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

bool in_gamut(const std::array<double, 3>& c) {
  return std::all_of(c.begin(), c.end(), [](double v) { return v >= 0 && v <= 1; });
}

std::uint8_t encode_srgb(double v) {
  v = std::clamp(v, 0.0, 1.0);
  const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<std::uint8_t>(std::lround(e * 255));
}

// The path through OKLCh: lightness rises linearly from 0.36 to 0.92, the hue
// turns from violet (300 degrees) through teal to yellow (105 degrees), and
// the chroma dips in the middle, where teal leaves little room in sRGB. Where
// a colour still falls outside sRGB its chroma is reduced until it fits, which
// keeps lightness and hue.
rgb map_colour(double t) {
  const double lightness = 0.36 + 0.56 * t;
  const double hue = (300 - 195 * t) * pi / 180;
  double chroma = 0.26 * t * t - 0.21 * t + 0.14;
  std::array<double, 3> c{};
  for (int i = 0; i < 64; ++i) {
    c = oklab_to_linear(lightness, chroma * std::cos(hue), chroma * std::sin(hue));
    if (in_gamut(c))
      break;
    chroma *= 0.97;
  }
  return {encode_srgb(c[0]), encode_srgb(c[1]), encode_srgb(c[2])};
}

std::array<rgb, 256> make_map() {
  std::array<rgb, 256> map{};
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = map_colour(static_cast<double>(i) / 255);
  return map;
}

double nice_step(double range, int count) {
  const double raw = range / std::max(count, 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double factor = norm < 1.5 ? 1 : norm < 3.5 ? 2 : norm < 7.5 ? 5 : 10;
  return factor * magnitude;
}

std::string format(const char* pattern, int decimals, double v) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, decimals, v);
  return text;
}

// As many decimals as a step of `spacing` needs: none for 1 or more, at
// most 6.
int decimals_for(double spacing) {
  const double e_spacing = std::floor(std::log10(spacing) + 1e-9);
  return static_cast<int>(std::clamp(-e_spacing, 0.0, 6.0));
}

}  // namespace

const std::array<rgb, 256>& colour_map() {
  static const std::array<rgb, 256> map = make_map();
  return map;
}

double colour_scale::fraction(double v) const {
  if (!(hi > lo))
    return 0.5;
  if (log)
    return (std::log(v) - std::log(lo)) / (std::log(hi) - std::log(lo));
  return (v - lo) / (hi - lo);
}

int colour_scale::index(double v) const {
  const double f = fraction(v);
  if (!(f > 0))
    return 0;  // below lo, and the logarithm of a value at or below 0
  return static_cast<int>(std::min(255.0, std::floor(f * 256)));
}

scale_kind suited_scale(double lo, double hi) {
  return lo > 0 && hi / lo >= 100 ? scale_kind::log : scale_kind::linear;
}

colour_scale choose_scale(std::span<const float> values, scale_kind kind, const std::string& what,
                          const std::optional<value_range>& fixed) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const float v : values) {
    if (std::isnan(v))
      continue;
    lo = std::min(lo, static_cast<double>(v));
    hi = std::max(hi, static_cast<double>(v));
  }
  colour_scale s;
  if (lo > hi)
    return s;  // no value: an empty scale
  s.empty = false;
  if (kind == scale_kind::automatic)
    kind = suited_scale(lo, hi);
  if (kind == scale_kind::log && !(lo > 0) && !fixed) {
    throw diagnostic_error(what + "a logarithmic colour scale needs positive values, but the " +
                           "smallest is " + tick_label(lo, std::abs(lo) > 0 ? std::abs(lo) : 1));
  }
  if (kind == scale_kind::log && fixed && !(fixed->lo > 0)) {
    throw diagnostic_error(
        what + "a logarithmic colour scale needs a positive range, but it starts at " +
        tick_label(fixed->lo, std::abs(fixed->lo) > 0 ? std::abs(fixed->lo) : 1));
  }
  s.log = kind == scale_kind::log;
  s.lo = fixed ? fixed->lo : lo;
  s.hi = fixed ? fixed->hi : hi;
  return s;
}

std::vector<double> axis_ticks(double lo, double hi, int count) {
  std::vector<double> out;
  if (!(hi > lo) || !std::isfinite(hi - lo))
    return out;
  const double step = nice_step(hi - lo, count);
  const double slack = step * 1e-9;
  for (double n = std::ceil((lo - slack) / step);; n += 1) {
    double v = n * step;
    if (v > hi + slack)
      break;
    if (std::abs(v) < slack)
      v = 0;
    out.push_back(v);
  }
  return out;
}

std::vector<double> ticks(const colour_scale& s, int count) {
  if (s.empty)
    return {};
  if (!(s.hi > s.lo))
    return {s.lo};
  if (!s.log)
    return axis_ticks(s.lo, s.hi, count);
  std::vector<double> out;
  for (const bool with_halves : {false, true}) {
    out.clear();
    const int first = static_cast<int>(std::floor(std::log10(s.lo)));
    const int last = static_cast<int>(std::ceil(std::log10(s.hi)));
    for (int e = first; e <= last; ++e) {
      for (const double m : {1.0, 2.0, 5.0}) {
        if (m != 1.0 && !with_halves)
          continue;
        const double v = m * std::pow(10.0, e);
        if (v >= s.lo * (1 - 1e-9) && v <= s.hi * (1 + 1e-9))
          out.push_back(v);
      }
    }
    if (out.size() >= 3)
      return out;
  }
  if (out.size() >= 2)
    return out;
  // Less than a factor of 2.5 between two ticks: round numbers on the
  // linear scale, placed on the logarithmic one.
  return axis_ticks(s.lo, s.hi, count);
}

std::string plain_number(double v, double spacing) {
  if (v == 0)
    return "0";
  const std::string text = format("%.*f", decimals_for(spacing), v);
  return text == "-0" ? "0" : text;
}

std::string tick_label(double v, double spacing) {
  const std::string text = plain_number(v, spacing);
  if (v == 0 || (text.size() <= 8 && std::abs(v) >= 1e-4))
    return text;
  const double e_value = std::floor(std::log10(std::abs(v)) + 1e-9);
  const double e_spacing = std::floor(std::log10(spacing) + 1e-9);
  const int digits = static_cast<int>(std::clamp(e_value - e_spacing, 0.0, 5.0));
  return format("%.*E", digits, v);
}

}  // namespace tervox::view
