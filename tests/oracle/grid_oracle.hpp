// The grid as the README places it, computed here from the soundings and the
// cell sizes alone, so that the oracle tests share no arithmetic with the
// tool: the origin lies 0.4 cell (0.4 in single precision) outside the
// outermost sounding, evaluated in double and rounded to single; the count is
// the double quotient truncated; cell i (from 1) is centred at
// (i - 0.5) * d + origin, evaluated in double and rounded to single.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>

namespace tervox_test::independent {

struct axis {
  float min = 0;
  int count = 0;
};

inline axis place(std::span<const float> v, float d) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  const double margin = static_cast<double>(0.4f) * static_cast<double>(d);
  axis a;
  a.min = static_cast<float>(static_cast<double>(*lo) - margin);
  const double cells =
      (static_cast<double>(*hi) - static_cast<double>(a.min) + margin) / static_cast<double>(d);
  a.count = std::isfinite(cells) ? static_cast<int>(std::trunc(cells)) : 0;
  return a;
}

inline float centre(int i, float d, float min) {
  return static_cast<float>(static_cast<double>(min) +
                            static_cast<double>(d) * (static_cast<double>(i) - 0.5));
}

}  // namespace tervox_test::independent
