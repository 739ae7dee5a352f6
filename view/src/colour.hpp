// Colours for values: a perceptual colour map, the scale that takes values
// to it (linear or logarithmic), and the tick values of a colour bar.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tervox::view {

struct rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const rgb&, const rgb&) = default;
};

/// Cells without a value: filled cells and not-a-number values.
inline constexpr rgb no_data_colour{208, 208, 208};

/// 256 colours from dark blue-violet through teal and green to pale yellow,
/// with lightness rising evenly, so that equal steps of value look like equal
/// steps of colour and the map still reads in grey print. None of them is a
/// grey, so no-data cells stand apart.
const std::array<rgb, 256>& colour_map();

enum class scale_kind { automatic, linear, log };

struct colour_scale {
  bool log = false;
  double lo = 0, hi = 1;  ///< the smallest and largest value shown
  bool empty = true;      ///< no finite value at all: nothing to scale

  /// The colour map entry of a finite value, 0 for lo up to 255 for hi.
  int index(double v) const;
  /// Where v falls between lo (0) and hi (1), on this scale.
  double fraction(double v) const;
};

/// The smallest and largest of some values.
struct value_range {
  double lo = 0, hi = 0;
};

/// The kind of scale that suits values from `lo` to `hi`: logarithmic when
/// all of them are positive and the largest is at least 100 times the
/// smallest, linear otherwise.
scale_kind suited_scale(double lo, double hi);

/// The scale for `values` (not-a-number values ignored), from their
/// smallest to their largest, or over `fixed` when it is given (values
/// beyond it take the colour of its ends). Automatic is the suited_scale of
/// the values. Throws diagnostic_error, starting with `what`, when a logarithmic
/// scale is asked for and a value (or the fixed range) is 0 or less.
colour_scale choose_scale(std::span<const float> values, scale_kind kind, const std::string& what,
                          const std::optional<value_range>& fixed = std::nullopt);

/// Tick values within [lo, hi] of the scale: round numbers (1, 2 or 5 times
/// a power of ten) about `count` of them on a linear scale, powers of ten on
/// a logarithmic one (with 2 and 5 times them when that gives fewer than 3).
std::vector<double> ticks(const colour_scale& s, int count = 5);

/// Tick values within [lo, hi] for a linear axis (coordinates, depth).
std::vector<double> axis_ticks(double lo, double hi, int count);

/// A coordinate or depth as a plain number, never in exponent form, with
/// as many decimals as `spacing` needs (none for 1 or more, at most 6):
/// "7004950", "982.5".
std::string plain_number(double v, double spacing);

/// The text of a tick value: as many decimals as the tick spacing needs,
/// exponent form ("1E+06") where the plain form would be long.
std::string tick_label(double v, double spacing);

}  // namespace tervox::view
