// Nearly degenerate point sets in families, for the stress tests of the
// construction and of the volume that is interpolated over it. They come
// from the same draws as the sets of point_sets.hpp and, like them, drop
// repeated locations (the reader refuses a survey that repeats one).
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/exact_arithmetic.hpp"
#include "support/point_sets.hpp"

namespace tervox_test {

// Every coordinate of the sets below that decide exactly lies in one binade,
// [1024, 2048), or on its edge: there every difference is a float.
constexpr float lo = 1024.0f;

// Points on a line, rounded to float, then 0 to 2 ulps off it (all on it when
// `exactly` is set).
inline point_set nearly_collinear(draws& d, bool exactly) {
  point_set p;
  const float slope = d.unit() * 0.9f;
  const int n = 8 + d.below(40);
  for (int i = 0; i < n; ++i) {
    const float x = lo + d.unit() * 1000.0f;
    const auto y = static_cast<float>(static_cast<double>(lo) +
                                      static_cast<double>(slope) *
                                          (static_cast<double>(x) - static_cast<double>(lo)));
    p.add(x, exactly ? y : nudge(y, d.below(5) - 2));
  }
  if (exactly) {
    // A line in float arithmetic: multiples of a step along a lattice line.
    point_set q;
    const int dx = 1 + d.below(5);
    const int dy = d.below(7) - 3;
    for (int i = 0; i < n; ++i) {
      const int k = d.below(100);
      q.add(lo + static_cast<float>(k * dx), 1536.0f + static_cast<float>(k * dy));
    }
    return without_duplicates(q);
  }
  return without_duplicates(p);
}

// Points on a circle, rounded to float, and sometimes its centre.
inline point_set nearly_cocircular(draws& d) {
  point_set p;
  const int n = 6 + d.below(60);
  const double r = 100.0 + 400.0 * static_cast<double>(d.unit());
  for (int i = 0; i < n; ++i) {
    const double t = 6.283185307179586 * (i + (d.below(2) == 0 ? 0.0 : 0.5)) / n;
    p.add(static_cast<float>(1536.0 + r * std::cos(t)),
          static_cast<float>(1536.0 + r * std::sin(t)));
  }
  if (d.below(2) == 0)
    p.add(1536.0f, 1536.0f);
  return without_duplicates(p);
}

// A rectangular lattice with power-of-two spacing: four points on a circle
// in every cell.
inline point_set lattice(draws& d) {
  point_set p;
  const int a = 2 + d.below(14);
  const int b = 1 + d.below(14);
  const float h = std::ldexp(1.0f, d.below(6) - 2);
  for (int i = 0; i < a; ++i) {
    for (int j = 0; j < b; ++j)
      p.add(lo + static_cast<float>(i) * h, lo + static_cast<float>(j) * h);
  }
  return without_duplicates(p);
}

// A few lines x = constant, points along them at random.
inline point_set shared_x_lines(draws& d) {
  point_set p;
  const int lines = 1 + d.below(6);
  for (int i = 0; i < lines; ++i) {
    const float x = lo + d.unit() * 1000.0f;
    const int m = 2 + d.below(15);
    for (int j = 0; j < m; ++j) p.add(x, lo + d.unit() * 1000.0f);
  }
  return without_duplicates(p);
}

// A square whose edges carry points on them and one ulp inside or outside
// them, and a few points inside.
inline point_set hair_off_hull(draws& d) {
  point_set p;
  const float a = lo;
  const float b = 2047.0f;
  p.add(a, a);
  p.add(b, a);
  p.add(b, b);
  p.add(a, b);
  const int m = 4 + d.below(30);
  for (int j = 0; j < m; ++j) {
    const float t = lo + d.unit() * 1000.0f;
    const int off = d.below(3) - 1;
    switch (d.below(5)) {
      case 0:
        p.add(t, nudge(a, off));
        break;
      case 1:
        p.add(nudge(b, off), t);
        break;
      case 2:
        p.add(t, nudge(b, off));
        break;
      case 3:
        p.add(nudge(a, off), t);
        break;
      default:
        p.add(t, lo + d.unit() * 1000.0f);
    }
  }
  return without_duplicates(p);
}

// Uniform points on a 2^-24 grid in the square [0, 2^e): every difference is
// a float at any magnitude.
inline point_set scaled_uniform(draws& d, int e) {
  point_set p;
  const int n = 5 + d.below(60);
  for (int i = 0; i < n; ++i) {
    const float x = std::ldexp(d.unit(), e);
    p.add(x, std::ldexp(d.unit(), e));
  }
  return without_duplicates(p);
}

// Every point of its own magnitude, 2^-100 (about 1e-30) to 2^100.
inline point_set mixed_magnitudes(draws& d) {
  point_set p;
  const int n = 5 + d.below(40);
  for (int i = 0; i < n; ++i) {
    const float x = std::ldexp(d.unit() * 2.0f - 1.0f, d.below(201) - 100);
    p.add(x, std::ldexp(d.unit() * 2.0f - 1.0f, d.below(201) - 100));
  }
  return without_duplicates(p);
}

// A nearly collinear set over several binades, [0, 100): its differences are
// rounded.
inline point_set nearly_collinear_wide(draws& d) {
  point_set p;
  const float slope = d.unit() * 2.0f - 1.0f;
  const int n = 8 + d.below(40);
  for (int i = 0; i < n; ++i) {
    const float x = d.unit() * 100.0f;
    const auto y = static_cast<float>(static_cast<double>(slope) * static_cast<double>(x) + 0.5);
    p.add(x, nudge(y, d.below(5) - 2));
  }
  return without_duplicates(p);
}

// The square [0, 1] with points one ulp off its edges: off the edges at 0
// means the smallest subnormals, beside coordinates near 1.
inline point_set hair_off_hull_at_zero(draws& d) {
  point_set p;
  p.add(0, 0);
  p.add(1, 0);
  p.add(1, 1);
  p.add(0, 1);
  const int m = 4 + d.below(30);
  for (int j = 0; j < m; ++j) {
    const float t = d.unit();
    const int off = d.below(3) - 1;
    if (d.below(2) == 0) {
      p.add(t, nudge(0.0f, off));
    } else {
      p.add(nudge(0.0f, off), t);
    }
  }
  return without_duplicates(p);
}

struct family {
  const char* name;
  std::function<point_set(draws&)> make;
  int sets;
  bool delaunay;  // the swap test decides exactly enough for check_delaunay
  double slack;   // allowed for quadrilaterals cocircular within rounding
};

inline const std::vector<family>& exact_families() {
  static const std::vector<family> families = {
      {"nearly collinear", [](draws& d) { return nearly_collinear(d, false); }, 150, true, 1e-6},
      {"exactly collinear", [](draws& d) { return nearly_collinear(d, true); }, 40, true, 0},
      {"nearly cocircular", nearly_cocircular, 150, true, 1e-6},
      {"lattice", lattice, 60, true, 0},
      {"lines sharing x", shared_x_lines, 100, true, 0},
      {"one ulp off the hull's edges", hair_off_hull, 150, true, 1e-6},
      {"2^-24", [](draws& d) { return scaled_uniform(d, -24); }, 20, true, 0},
      {"2^24", [](draws& d) { return scaled_uniform(d, 24); }, 20, true, 0},
      {"2^60", [](draws& d) { return scaled_uniform(d, 60); }, 20, false, 0},
      {"2^100 (1e30)", [](draws& d) { return scaled_uniform(d, 100); }, 20, false, 0},
  };
  return families;
}

inline std::string describe(const family& f, int seed, const point_set& p) {
  return std::string(f.name) + ", seed " + std::to_string(seed) + ", " +
         std::to_string(p.x.size()) + " points";
}

inline bool decides_exactly(const point_set& p) {
  return exact_arithmetic(p.x) && exact_arithmetic(p.y);
}

// A linear function of the location: interpolation reproduces it up to the
// rounding of the node values.
inline float linear(float x, float y) {
  return static_cast<float>(3.0 * static_cast<double>(x) - 2.0 * static_cast<double>(y) + 5.0);
}

}  // namespace tervox_test
