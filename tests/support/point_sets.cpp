#include "support/point_sets.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <random>
#include <unordered_set>
#include <utility>

#include "triang/triang.hpp"

namespace tervox_test {
namespace {

point_set uniform(int n, draws& d) {
  point_set s;
  for (int i = 0; i < n; ++i) {
    const float x = d.unit();
    s.add(x, d.unit());
  }
  return s;
}

point_set clustered(int n, draws& d) {
  const int clusters = 1 + n / 64;
  std::vector<std::pair<float, float>> centres;
  std::vector<float> radii;
  for (int c = 0; c < clusters; ++c) {
    const float cx = d.unit();
    centres.emplace_back(cx, d.unit());
    radii.push_back(0.001f + 0.05f * d.unit());
  }
  point_set s;
  for (int i = 0; i < n; ++i) {
    const auto c = static_cast<std::size_t>(d.below(clusters));
    // A sum of two uniforms: denser at the centre.
    const float dx = (d.unit() + d.unit() - 1.0f) * radii[c];
    const float dy = (d.unit() + d.unit() - 1.0f) * radii[c];
    s.add(centres[c].first + dx, centres[c].second + dy);
  }
  return s;
}

// Survey layout: lines about one unit apart along y, soundings about a
// quarter unit apart along each line, lines flown in alternate directions.
int line_count(int n) {
  return std::max(2, static_cast<int>(std::sqrt(n / 4.0)));
}

point_set jittered_lines(int n, draws& d) {
  const int lines = line_count(n);
  const int per_line = std::max(2, n / lines);
  const float step = static_cast<float>(lines) / static_cast<float>(per_line);
  point_set s;
  for (int line = 0; line < lines; ++line) {
    const float x0 = static_cast<float>(line) + 0.2f * (d.unit() - 0.5f);
    for (int j = 0; j < per_line; ++j) {
      const int along = line % 2 == 0 ? j : per_line - 1 - j;
      const float x = x0 + 0.05f * (d.unit() - 0.5f);
      const float y = static_cast<float>(along) * step + 0.3f * step * (d.unit() - 0.5f);
      s.add(x, y);
    }
  }
  return s;
}

point_set shared_x_lines(int n, draws& d) {
  // Dyadic spacings keep every coordinate and every difference exact, so
  // aligned neighbouring lines give exact rectangles (four points on a circle)
  // and staggered ones exact trapezoids.
  const int lines = line_count(n);
  const int per_line = std::max(2, n / lines);
  constexpr float line_gap = 1.0f;
  constexpr float step = 0.25f;
  point_set s;
  for (int line = 0; line < lines; ++line) {
    const float x = static_cast<float>(line) * line_gap;
    const float offset = static_cast<float>(d.below(4)) * (step / 4.0f);
    for (int j = 0; j < per_line; ++j) {
      // Gaps in a longer line: one sounding in eight is missing.
      if (d.below(8) == 0 && per_line >= 8) {
        continue;
      }
      const int along = line % 2 == 0 ? j : per_line - 1 - j;
      s.add(x, static_cast<float>(along) * step + offset);
    }
  }
  return s;
}

point_set lattice(int n, draws& d) {
  const int nx = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(n))));
  const int ny = std::max(2, (n + nx - 1) / nx);
  constexpr float spacings[] = {1.0f, 0.5f, 0.125f, 2.0f, 0.75f};
  const float hx = spacings[d.below(5)];
  const float hy = spacings[d.below(5)];
  const float x0 = static_cast<float>(d.below(64)) * 0.25f;
  const float y0 = static_cast<float>(d.below(64)) * 0.25f;
  std::vector<std::pair<int, int>> cells;
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      cells.emplace_back(i, j);
    }
  }
  // Input order decides the order of equal x after sorting: shuffle it.
  for (std::size_t i = cells.size() - 1; i > 0; --i) {
    std::swap(cells[i], cells[static_cast<std::size_t>(d.below(static_cast<int>(i) + 1))]);
  }
  point_set s;
  for (int k = 0; k < n && k < static_cast<int>(cells.size()); ++k) {
    const auto [i, j] = cells[static_cast<std::size_t>(k)];
    s.add(x0 + static_cast<float>(i) * hx, y0 + static_cast<float>(j) * hy);
  }
  return s;
}

point_set nearly_collinear(int n, draws& d, bool steep) {
  point_set s;
  for (int i = 0; i < n; ++i) {
    const float t = d.unit();
    const float on_line = static_cast<float>(0.375 * static_cast<double>(t) + 0.125);
    const float off = nudge(on_line, d.below(5) - 2);
    if (steep) {
      s.add(off, t);
    } else {
      s.add(t, off);
    }
  }
  return s;
}

point_set projected(int n, draws& d) {
  // A 10 km square: float spacing is 1/32 m in x and 1/2 m in y there.
  point_set s;
  for (int i = 0; i < n; ++i) {
    const float x = 5.0e5f + 1.0e4f * d.unit();
    s.add(x, 6.0e6f + 1.0e4f * d.unit());
  }
  return s;
}

point_set projected_lines(int n, draws& d) {
  // Lines 200 m apart along y, a sounding every 20 m, flown with half a metre
  // of drift across the line and 3 m along it: the drift spans 32 float
  // values of x, so soundings of a line share x in runs and, ordered by x,
  // come in no order along the line.
  const int lines = line_count(n);
  const int per_line = std::max(2, n / lines);
  point_set s;
  for (int line = 0; line < lines; ++line) {
    const float x0 = 5.0e5f + 200.0f * static_cast<float>(line);
    for (int j = 0; j < per_line; ++j) {
      const float x = x0 + (d.unit() - 0.5f);
      s.add(x, 6.0e6f + 20.0f * static_cast<float>(j) + 6.0f * (d.unit() - 0.5f));
    }
  }
  return s;
}

point_set tiny(int n, draws& d) {
  point_set s;
  for (int i = 0; i < n; ++i) {
    const float x = 1.0e-3f * d.unit();
    s.add(x, 1.0e-3f * d.unit());
  }
  return s;
}

point_set near_circle(int n, draws& d) {
  // The rational parametrisation ((1-t^2), 2t) / (1+t^2) needs only correctly
  // rounded operations, so the points are the same everywhere.
  const int circles = 1 + n / 100;
  point_set s;
  for (int c = 0; c < circles; ++c) {
    const double cx = 100.0 * static_cast<double>(d.unit());
    const double cy = 100.0 * static_cast<double>(d.unit());
    const double r = 1.0 + 20.0 * static_cast<double>(d.unit());
    const int count = c + 1 < circles ? n / circles : n - (circles - 1) * (n / circles);
    for (int i = 0; i < count; ++i) {
      const double t = 2.0 * static_cast<double>(d.unit()) - 1.0;
      const double sign = d.below(2) == 0 ? 1.0 : -1.0;
      const double q = 1.0 + t * t;
      s.add(static_cast<float>(cx + sign * r * (1.0 - t * t) / q),
            static_cast<float>(cy + r * 2.0 * t / q));
    }
  }
  return s;
}

std::uint64_t location_key(float x, float y) {
  // +0 and -0 are one location.
  const float px = x == 0.0f ? 0.0f : x;
  const float py = y == 0.0f ? 0.0f : y;
  const auto bx = std::bit_cast<std::uint32_t>(px);
  const auto by = std::bit_cast<std::uint32_t>(py);
  return (static_cast<std::uint64_t>(bx) << 32) | by;
}

}  // namespace

float nudge(float v, int ulps) {
  for (int i = 0; i < std::abs(ulps); ++i) {
    v = std::nextafter(v, ulps > 0 ? INFINITY : -INFINITY);
  }
  return v;
}

point_set without_duplicates(const point_set& in) {
  point_set out;
  std::unordered_set<std::uint64_t> seen;
  seen.reserve(in.x.size());
  for (std::size_t i = 0; i < in.x.size(); ++i) {
    if (seen.insert(location_key(in.x[i], in.y[i])).second) {
      out.add(in.x[i], in.y[i]);
    }
  }
  return out;
}

float unit_draw(std::uint32_t raw) {
  return static_cast<float>(raw >> 8) * 0x1p-24f;
}

std::string_view family_name(point_family family) {
  switch (family) {
    case point_family::uniform:
      return "uniform";
    case point_family::clustered:
      return "clustered";
    case point_family::jittered_lines:
      return "jittered_lines";
    case point_family::shared_x_lines:
      return "shared_x_lines";
    case point_family::lattice:
      return "lattice";
    case point_family::nearly_collinear:
      return "nearly_collinear";
    case point_family::projected:
      return "projected";
    case point_family::tiny:
      return "tiny";
    case point_family::near_circle:
      return "near_circle";
    case point_family::projected_lines:
      return "projected_lines";
  }
  return "?";
}

bool general_position(point_family family) {
  switch (family) {
    case point_family::uniform:
    case point_family::clustered:
    case point_family::jittered_lines:
    case point_family::projected:
    case point_family::tiny:
      return true;
    case point_family::shared_x_lines:
    case point_family::lattice:
    case point_family::nearly_collinear:
    case point_family::near_circle:
    case point_family::projected_lines:
      return false;
  }
  return false;
}

double delaunay_slack(point_family family) {
  return family == point_family::near_circle ? 1e-6 : 0.0;
}

point_set generate(point_family family, int n, std::uint32_t seed) {
  draws d(seed);
  point_set raw;
  switch (family) {
    case point_family::uniform:
      raw = uniform(n, d);
      break;
    case point_family::clustered:
      raw = clustered(n, d);
      break;
    case point_family::jittered_lines:
      raw = jittered_lines(n, d);
      break;
    case point_family::shared_x_lines:
      raw = shared_x_lines(n, d);
      break;
    case point_family::lattice:
      raw = lattice(n, d);
      break;
    case point_family::nearly_collinear:
      raw = nearly_collinear(n, d, seed % 2 == 1);
      break;
    case point_family::projected:
      raw = projected(n, d);
      break;
    case point_family::tiny:
      raw = tiny(n, d);
      break;
    case point_family::near_circle:
      raw = near_circle(n, d);
      break;
    case point_family::projected_lines:
      raw = projected_lines(n, d);
      break;
  }
  return without_duplicates(raw);
}

mesh build_mesh(std::span<const float> x, std::span<const float> y) {
  mesh m;
  m.n = static_cast<int>(x.size());
  m.x.assign(x.begin(), x.end());
  m.y.assign(y.begin(), y.end());
  m.ind.assign(x.size(), 0);
  triang::reordr(m.n, 2, m.x, m.y, std::span<float>{}, m.ind);
  m.iadj.assign(static_cast<std::size_t>(std::max(0, 6 * m.n - 9)), 0);
  m.iend.assign(x.size(), 0);
  triang::trmesh(m.n, m.x, m.y, m.iadj, m.iend, m.ier);
  return m;
}

}  // namespace tervox_test
