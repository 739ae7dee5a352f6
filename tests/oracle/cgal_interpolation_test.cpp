// The gridded volume against an independent oracle: CGAL's Delaunay
// triangulation of the same soundings (exact predicates), located and
// interpolated barycentrically in double at every cell centre of the grid
// that the tool places.
//
// Two things are compared at every cell. Whether it is filled: CGAL calls a
// centre filled when it lies outside the hull or exactly on a hull edge,
// which is what point location answers exterior for; at a hull vertex the
// answer depends on the start node, so there either is accepted. And its
// values, in every layer, within a few single-precision units in the last
// place of the largest vertex value of the triangle, times the triangle's
// conditioning. The tool forms the barycentric weights from edge vectors
// rounded to single and rounds the weights to single, so on a well-shaped
// triangle it stays within a few units; on a sliver (two close soundings
// and a far one, common in clustered surveys) the rounding of the edge
// vectors is magnified by the ratio of the squared longest edge to twice the
// area, which is that conditioning.
//
// The values are checked as floats from the straightforward sequence (one
// interpolation call per value), and the streamed volume file must be that
// sequence's bytes; its cells are also read back and checked against CGAL
// directly, to the five digits the file holds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "oracle/cgal_types.hpp"
#include "reference/reference_volume.hpp"
#include "support/exact_predicates.hpp"
#include "support/files.hpp"
#include "support/point_sets.hpp"
#include "volume.hpp"

namespace tervox_test {
namespace {

using cgal::delaunay;
using cgal::kernel;
using cgal::point;

#if defined(__SANITIZE_ADDRESS__)
constexpr int sizes[] = {3, 4, 10, 100, 500};
#else
constexpr int sizes[] = {3, 4, 10, 100, 1000, 4000};
#endif
constexpr std::uint32_t seeds[] = {1, 2};
constexpr int nlayer = 3;

// Units in the last place that the tool's value may differ by, counted at the
// largest absolute vertex value of the triangle, on a well-shaped triangle.
constexpr double ulps_allowed = 4.0;

float ulp(float v) {
  const float a = std::fabs(v);
  return std::nextafter(a, std::numeric_limits<float>::infinity()) - a;
}

// Layer values for the input points, layer by layer: layer 1 positive (so
// that no interpolated value equals the fill value), layer 2 of both signs,
// layer 3 large.
std::vector<std::vector<float>> input_values(int n, std::uint32_t seed) {
  std::mt19937 gen(seed * 7919u + 17u);
  std::vector<std::vector<float>> layers(nlayer, std::vector<float>(static_cast<std::size_t>(n)));
  for (auto& layer : layers) {
    for (float& v : layer) v = unit_draw(static_cast<std::uint32_t>(gen()));
  }
  for (float& v : layers[0]) v = 1.0f + 999.0f * v;
  for (float& v : layers[1]) v = 1000.0f * v - 500.0f;
  for (float& v : layers[2]) v = 3.0e6f * v + 1.0e6f;
  return layers;
}

// What CGAL says about one cell centre.
struct expectation {
  enum kind_t { inside, filled, either } kind = filled;
  double value[nlayer] = {};  // inside, and at a hull vertex (its values)
  float scale[nlayer] = {};   // largest absolute vertex value, per layer
  double conditioning = 1.0;  // of the triangle (the largest around a vertex)
};

double orient(const point& a, const point& b, const point& c) {
  return (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
}

// The squared longest edge over twice the area: about 1.15 for an
// equilateral triangle, large for a sliver.
double conditioning(const point& a, const point& b, const point& c) {
  const double longest = std::max(
      {CGAL::squared_distance(a, b), CGAL::squared_distance(b, c), CGAL::squared_distance(c, a)});
  return std::max(1.0, longest / std::fabs(orient(a, b, c)));
}

class oracle {
 public:
  // Node k (1-based) at (x[k-1], y[k-1]) with layer-k values z[k-1][node-1];
  // in log mode z holds logarithms and values come back exponentiated.
  oracle(std::span<const float> x, std::span<const float> y,
         const std::vector<std::vector<float>>& z, bool log_mode)
      : z_(z), log_mode_(log_mode) {
    std::vector<std::pair<point, int>> points;
    for (std::size_t i = 0; i < x.size(); ++i) {
      points.emplace_back(point(static_cast<double>(x[i]), static_cast<double>(y[i])),
                          static_cast<int>(i) + 1);
    }
    dt_.insert(points.begin(), points.end());
  }

  expectation at(float px, float py) const {
    const point p(static_cast<double>(px), static_cast<double>(py));
    delaunay::Locate_type lt;
    int li = 0;
    const delaunay::Face_handle f = dt_.locate(p, lt, li);
    expectation e;
    switch (lt) {
      case delaunay::OUTSIDE_CONVEX_HULL:
      case delaunay::OUTSIDE_AFFINE_HULL:
        e.kind = expectation::filled;
        return e;
      case delaunay::VERTEX: {
        const delaunay::Vertex_handle v = f->vertex(li);
        e.kind = on_hull(v) ? expectation::either : expectation::inside;
        e.conditioning = star_conditioning(v);
        for (int k = 0; k < nlayer; ++k) {
          const float zv = node_value(k, v->info());
          e.value[k] = back(static_cast<double>(zv));
          e.scale[k] = std::fabs(zv);
        }
        return e;
      }
      case delaunay::EDGE:
        if (dt_.is_infinite(f) || dt_.is_infinite(f->neighbor(li))) {
          e.kind = expectation::filled;
          return e;
        }
        break;
      case delaunay::FACE:
        break;
    }
    e.kind = expectation::inside;
    const point& a = f->vertex(0)->point();
    const point& b = f->vertex(1)->point();
    const point& c = f->vertex(2)->point();
    const double area = orient(a, b, c);
    e.conditioning = conditioning(a, b, c);
    const double w[3] = {orient(p, b, c) / area, orient(a, p, c) / area, orient(a, b, p) / area};
    for (int k = 0; k < nlayer; ++k) {
      double sum = 0.0;
      for (int i = 0; i < 3; ++i) {
        const float zi = node_value(k, f->vertex(i)->info());
        sum += w[i] * static_cast<double>(zi);
        e.scale[k] = std::max(e.scale[k], std::fabs(zi));
      }
      e.value[k] = back(sum);
    }
    return e;
  }

 private:
  bool on_hull(delaunay::Vertex_handle v) const {
    auto f = dt_.incident_faces(v);
    const auto start = f;
    do {
      if (dt_.is_infinite(f))
        return true;
    } while (++f != start);
    return false;
  }
  // At a vertex the tool may answer with any triangle around it.
  double star_conditioning(delaunay::Vertex_handle v) const {
    double worst = 1.0;
    auto f = dt_.incident_faces(v);
    const auto start = f;
    do {
      if (!dt_.is_infinite(f)) {
        worst = std::max(worst, conditioning(f->vertex(0)->point(), f->vertex(1)->point(),
                                             f->vertex(2)->point()));
      }
    } while (++f != start);
    return worst;
  }
  float node_value(int layer, int node) const {
    return z_[static_cast<std::size_t>(layer)][static_cast<std::size_t>(node - 1)];
  }
  double back(double v) const { return log_mode_ ? std::exp(v) : v; }

  delaunay dt_;
  const std::vector<std::vector<float>>& z_;
  bool log_mode_;
};

// How far a tool value may lie from the oracle's. In log mode the error of
// the interpolated logarithm becomes a relative error of the value, and the
// exponential is rounded to single once more.
double allowed(const expectation& e, int k, bool log_mode) {
  const double in_layer = ulps_allowed * static_cast<double>(ulp(e.scale[k])) * e.conditioning;
  if (!log_mode)
    return in_layer;
  return std::fabs(e.value[k]) * (in_layer + std::ldexp(1.0, -23));
}

// Collects the first few mismatches of a set, so that a fault shows as a
// handful of located cells rather than thousands of failures.
class mismatches {
 public:
  std::ostringstream& add() {
    ++count_;
    text_.str("");
    return text_;
  }
  void keep() {
    if (count_ <= 5)
      first_ += text_.str() + "\n";
  }
  std::string report() const {
    return count_ == 0 ? "" : std::to_string(count_) + " mismatches, first:\n" + first_;
  }

 private:
  int count_ = 0;
  std::ostringstream text_;
  std::string first_;
};

// The volume file written by `write` (into an output_file), as text.
template <class Write>
std::string volume_text(const temp_folder& dir, Write write) {
  const std::string path = (dir / "volume").string();
  tervox::output_file file(path);
  EXPECT_TRUE(file.open().ok());
  EXPECT_TRUE(write(file));
  EXPECT_EQ(file.commit().problem.message(), "");
  return read_file(path);
}

struct survey {
  mesh m;
  std::vector<std::vector<float>> z;  // per layer, in node order (logarithms in log mode)
  std::vector<float> dat;             // the same, layer by layer, as the tool holds it
};

survey make_survey(const point_set& points, std::uint32_t seed, bool log_mode) {
  survey s;
  s.m = build_mesh(points);
  const std::vector<std::vector<float>> values = input_values(points.size(), seed);
  s.z.assign(nlayer, std::vector<float>(static_cast<std::size_t>(s.m.n)));
  for (int k = 0; k < nlayer; ++k) {
    for (int node = 1; node <= s.m.n; ++node) {
      const auto from = static_cast<std::size_t>(s.m.ind[static_cast<std::size_t>(node - 1)] - 1);
      float v = values[static_cast<std::size_t>(k)][from];
      // Logarithms need positive values; zeros and negative values are the
      // golden files' business.
      if (log_mode)
        v = static_cast<float>(std::log(static_cast<double>(std::fabs(v) + 1.0f)));
      s.z[static_cast<std::size_t>(k)][static_cast<std::size_t>(node - 1)] = v;
      s.dat.push_back(v);
    }
  }
  return s;
}

// Places the grid as the tool does, with about `cells_x` by `cells_y` cells.
tervox::grid_geometry place_grid(const mesh& m, float cells_x, float cells_y) {
  const auto [xlo, xhi] = std::minmax_element(m.x.begin(), m.x.end());
  const auto [ylo, yhi] = std::minmax_element(m.y.begin(), m.y.end());
  tervox::grid_geometry geo;
  geo.dx = (*xhi - *xlo) / cells_x;
  geo.dy = (*yhi - *ylo) / cells_y;
  const tervox::axis_placement ax = tervox::place_axis(m.x, geo.dx);
  const tervox::axis_placement ay = tervox::place_axis(m.y, geo.dy);
  geo.g = tervox::grid{ax.min, ay.min, ax.count, ay.count};
  return geo;
}

// Cells met over all sets: both kinds must be, or the sets prove little.
struct cells_met {
  int filled = 0;
  int inside = 0;
};

void check_set(const point_set& points, std::uint32_t seed, bool log_mode, float cells_x,
               float cells_y, cells_met& met) {
  const survey s = make_survey(points, seed, log_mode);
  ASSERT_EQ(s.m.ier, 0);
  const tervox::node_data nodes{s.m.n, nlayer, s.m.x, s.m.y, s.dat, s.m.iadj, s.m.iend};
  const tervox::grid_geometry geo = place_grid(s.m, cells_x, cells_y);
  const int nx = geo.g.nx;
  const int ny = geo.g.ny;
  ASSERT_GT(nx, 0);
  ASSERT_GT(ny, 0);
  const oracle cgal(s.m.x, s.m.y, s.z, log_mode);
  const float fill = tervox::back_transform(tervox::fill_value(log_mode), log_mode);
  const std::string short_fill = log_mode ? " 1.0E-10" : "-1.0E+02";

  std::vector<expectation> expected;
  for (int iy = 1; iy <= ny; ++iy) {
    const float py = tervox::cell_centre(iy, geo.dy, geo.g.ymin);
    for (int ix = 1; ix <= nx; ++ix) {
      expected.push_back(cgal.at(tervox::cell_centre(ix, geo.dx, geo.g.xmin), py));
    }
  }
  int filled_cells = 0;
  for (const expectation& e : expected) filled_cells += e.kind == expectation::filled ? 1 : 0;

  // The values as floats, from one interpolation call per value.
  std::vector<float> dat3d;
  ASSERT_TRUE(tervox_test::interpolate_volume(nodes, geo, log_mode, dat3d));
  const std::size_t cells = expected.size();
  mismatches floats;
  for (std::size_t c = 0; c < cells; ++c) {
    const expectation& e = expected[c];
    const bool tool_filled = dat3d[c] == fill;
    for (int k = 0; k < nlayer; ++k) {
      const float v = dat3d[static_cast<std::size_t>(k) * cells + c];
      const double error = std::fabs(static_cast<double>(v) - e.value[k]);
      const bool ok = e.kind == expectation::filled ? v == fill
                      : e.kind == expectation::inside
                          ? !tool_filled && error <= allowed(e, k, log_mode)
                          : v == fill || error <= allowed(e, k, log_mode);
      if (!ok) {
        floats.add() << "cell " << c % static_cast<std::size_t>(nx) + 1 << ", "
                     << c / static_cast<std::size_t>(nx) + 1 << " layer " << k + 1 << ": tool " << v
                     << ", CGAL "
                     << (e.kind == expectation::filled ? "outside" : std::to_string(e.value[k]))
                     << " (off by " << error / static_cast<double>(ulp(e.scale[k]))
                     << " ulps of the largest vertex value; conditioning " << e.conditioning << ")";
        floats.keep();
      }
    }
  }
  EXPECT_EQ(floats.report(), "");

  // The streamed file: the same bytes as the straightforward sequence with
  // one thread or several, and its cells read back against CGAL.
  const temp_folder dir;
  const std::string reference = volume_text(dir, [&](tervox::output_file& f) {
    return tervox_test::reference_volume(nodes, geo, log_mode, f);
  });
  std::string streamed;
  for (const int threads : {1, 2}) {
    streamed = volume_text(dir, [&](tervox::output_file& f) {
      return tervox::stream_volume(nodes, geo, log_mode, f, threads);
    });
    EXPECT_TRUE(streamed == reference) << "streamed with " << threads << " threads";
  }
  std::istringstream in(streamed);
  mismatches text;
  for (std::size_t c = 0; c < cells; ++c) {
    const expectation& e = expected[c];
    for (int k = 0; k < nlayer; ++k) {
      std::string line;
      std::getline(in, line);
      const bool is_short = line.size() == 8;
      bool ok = false;
      if (is_short) {
        ok = e.kind != expectation::inside && line == short_fill;
      } else if (line.size() == 11 && e.kind != expectation::filled) {
        // Half a unit of the fifth significant digit that the line shows.
        const double shown = std::strtod(line.c_str(), nullptr);
        const int exponent = std::atoi(line.c_str() + 8);
        const double half_digit = 0.5 * std::pow(10.0, exponent - 4);
        ok = std::fabs(shown - e.value[k]) <= half_digit * (1.0 + 1e-9) + allowed(e, k, log_mode);
      }
      if (!ok) {
        text.add() << "cell " << c % static_cast<std::size_t>(nx) + 1 << ", "
                   << c / static_cast<std::size_t>(nx) + 1 << " layer " << k + 1 << ": \"" << line
                   << "\", CGAL "
                   << (e.kind == expectation::filled ? "outside" : std::to_string(e.value[k]));
        text.keep();
      }
    }
  }
  EXPECT_EQ(text.report(), "");
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof()) << "the file is longer than the grid";

  met.filled += filled_cells;
  met.inside += static_cast<int>(cells) - filled_cells;
}

std::string describe(point_family family, int size, std::uint32_t seed) {
  return std::string(family_name(family)) + ", " + std::to_string(size) + " points, seed " +
         std::to_string(seed);
}

template <class Check>
void for_each_general_set(Check check) {
  for (const point_family family : all_families) {
    if (!general_position(family))
      continue;
    for (const int size : sizes) {
      for (const std::uint32_t seed : seeds) {
        const point_set points = generate(family, size, seed);
        if (points.size() < 3 || all_collinear(points.x, points.y))
          continue;
        SCOPED_TRACE(describe(family, size, seed));
        check(points, seed);
      }
    }
  }
}

TEST(cgal_interpolation_test, linear_volume_matches_cgal) {
  cells_met met;
  for_each_general_set([&](const point_set& points, std::uint32_t seed) {
    // A grid finer than the soundings for small sets, coarser for large ones.
    check_set(points, seed, false, 29.0f, 23.0f, met);
  });
  EXPECT_GT(met.filled, 1000);
  EXPECT_GT(met.inside, 1000);
}

TEST(cgal_interpolation_test, log_volume_matches_cgal) {
  cells_met met;
  for_each_general_set([&](const point_set& points, std::uint32_t seed) {
    check_set(points, seed, true, 17.0f, 13.0f, met);
  });
  EXPECT_GT(met.filled, 1000);
  EXPECT_GT(met.inside, 1000);
}

}  // namespace
}  // namespace tervox_test
