#include "formats/fixed_field.hpp"

#include <cmath>
#include <cstdio>

namespace tervox::formats {
namespace {

std::string fit(std::string text, int width) {
  const auto w = static_cast<std::size_t>(width < 0 ? 0 : width);
  if (text.size() > w)
    return std::string(w, '*');
  return std::string(w - text.size(), ' ') + text;
}

}  // namespace

std::string fixed_int(long long value, int width) {
  return fit(std::to_string(value), width);
}

std::string fixed_real(double value, int width, int decimals) {
  if (std::isnan(value))
    return fit("NaN", width);
  if (std::isinf(value))
    return fit(value < 0 ? "-Infinity" : "Infinity", width);
  if (value == 0)
    value = 0;  // drops the sign of a negative zero

  // printf rounds the exact binary value to nearest, ties to even, which is
  // the rounding wanted.
  const int n = std::snprintf(nullptr, 0, "%.*f", decimals, value);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, value);

  if (text.size() > static_cast<std::size_t>(width)) {
    // Without room, the 0 before the point is the first thing to go.
    if (text.starts_with("0.")) {
      text.erase(0, 1);
    } else if (text.starts_with("-0.")) {
      text.erase(1, 1);
    }
  }
  return fit(std::move(text), width);
}

}  // namespace tervox::formats
