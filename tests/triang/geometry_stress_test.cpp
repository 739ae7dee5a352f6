// Nearly degenerate point sets: nearly collinear and nearly cocircular
// points, lattices, lines sharing x exactly, points a hair (one ulp) off the
// hull's edges, and coordinates from 1e-30 to 1e30, one magnitude to a set or
// all mixed in one.
//
// Where the arithmetic decides exactly (every coordinate difference a float;
// see exact_arithmetic), trmesh must build a valid triangulation, or report
// collinear nodes that really are collinear, and interpolation must give
// every sounding its own value and every point on an edge the value on that
// edge. Elsewhere the construction may fail, but only by saying so: it must
// end, with a code or, in debug builds, the assertion of a walk that exceeded
// its bound, and never read outside its arrays (sanitizer builds check that).
//
// The Delaunay property is checked where the swap test can decide it: for
// coordinates of magnitude 2^-24 to 2^24 (the sets that decide exactly reach
// from 2^-24 to 2^100). The swap test rounds its cross
// products and their combination (differences to the fourth power) to single
// precision, so far outside that range they overflow or underflow and its
// answer is no longer the exact one; for four points cocircular within that
// rounding it may go either way, which the slack of check_delaunay allows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/exact_arithmetic.hpp"
#include "grid.hpp"
#include "output_file.hpp"
#include "reference/reference_volume.hpp"
#include "support/adjacency_check.hpp"
#include "support/delaunay_check.hpp"
#include "support/exact_predicates.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"
#include "volume.hpp"

namespace tervox_test {
namespace {

// ---------------------------------------------------------------------------
// The point sets
// ---------------------------------------------------------------------------

struct points {
  std::vector<float> x, y;
  void add(float px, float py) {
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (x[i] == px && y[i] == py)
        return;  // duplicate locations are the reader's to refuse
    }
    x.push_back(px);
    y.push_back(py);
  }
};

float nudge(float v, int ulps) {
  for (int i = 0; i < std::abs(ulps); ++i) {
    v = std::nextafter(v, ulps > 0 ? INFINITY : -INFINITY);
  }
  return v;
}

class draws {
 public:
  explicit draws(std::uint32_t seed) : gen_(seed) {}
  /// Uniform in [0, 1) on a 2^-24 grid.
  float unit() { return unit_draw(static_cast<std::uint32_t>(gen_())); }
  /// Uniform in 0..k-1.
  int below(int k) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(k)); }

 private:
  std::mt19937 gen_;
};

// Every coordinate of the sets below that decide exactly lies in one binade,
// [1024, 2048), or on its edge: there every difference is a float.
constexpr float lo = 1024.0f;

// Points on a line, rounded to float, then 0 to 2 ulps off it (all on it when
// `exactly` is set).
points nearly_collinear(draws& d, bool exactly) {
  points p;
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
    points q;
    const int dx = 1 + d.below(5);
    const int dy = d.below(7) - 3;
    for (int i = 0; i < n; ++i) {
      const int k = d.below(100);
      q.add(lo + static_cast<float>(k * dx), 1536.0f + static_cast<float>(k * dy));
    }
    return q;
  }
  return p;
}

// Points on a circle, rounded to float, and sometimes its centre.
points nearly_cocircular(draws& d) {
  points p;
  const int n = 6 + d.below(60);
  const double r = 100.0 + 400.0 * static_cast<double>(d.unit());
  for (int i = 0; i < n; ++i) {
    const double t = 6.283185307179586 * (i + (d.below(2) == 0 ? 0.0 : 0.5)) / n;
    p.add(static_cast<float>(1536.0 + r * std::cos(t)),
          static_cast<float>(1536.0 + r * std::sin(t)));
  }
  if (d.below(2) == 0)
    p.add(1536.0f, 1536.0f);
  return p;
}

// A rectangular lattice with power-of-two spacing: four points on a circle
// in every cell.
points lattice(draws& d) {
  points p;
  const int a = 2 + d.below(14);
  const int b = 1 + d.below(14);
  const float h = std::ldexp(1.0f, d.below(6) - 2);
  for (int i = 0; i < a; ++i) {
    for (int j = 0; j < b; ++j)
      p.add(lo + static_cast<float>(i) * h, lo + static_cast<float>(j) * h);
  }
  return p;
}

// A few lines x = constant, points along them at random.
points shared_x_lines(draws& d) {
  points p;
  const int lines = 1 + d.below(6);
  for (int i = 0; i < lines; ++i) {
    const float x = lo + d.unit() * 1000.0f;
    const int m = 2 + d.below(15);
    for (int j = 0; j < m; ++j) p.add(x, lo + d.unit() * 1000.0f);
  }
  return p;
}

// A square whose edges carry points on them and one ulp inside or outside
// them, and a few points inside.
points hair_off_hull(draws& d) {
  points p;
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
  return p;
}

// Uniform points on a 2^-24 grid in the square [0, 2^e): every difference is
// a float at any magnitude.
points scaled_uniform(draws& d, int e) {
  points p;
  const int n = 5 + d.below(60);
  for (int i = 0; i < n; ++i) {
    const float x = std::ldexp(d.unit(), e);
    p.add(x, std::ldexp(d.unit(), e));
  }
  return p;
}

// Every point of its own magnitude, 2^-100 (about 1e-30) to 2^100.
points mixed_magnitudes(draws& d) {
  points p;
  const int n = 5 + d.below(40);
  for (int i = 0; i < n; ++i) {
    const float x = std::ldexp(d.unit() * 2.0f - 1.0f, d.below(201) - 100);
    p.add(x, std::ldexp(d.unit() * 2.0f - 1.0f, d.below(201) - 100));
  }
  return p;
}

// A nearly collinear set over several binades, [0, 100): its differences are
// rounded.
points nearly_collinear_wide(draws& d) {
  points p;
  const float slope = d.unit() * 2.0f - 1.0f;
  const int n = 8 + d.below(40);
  for (int i = 0; i < n; ++i) {
    const float x = d.unit() * 100.0f;
    const auto y = static_cast<float>(static_cast<double>(slope) * static_cast<double>(x) + 0.5);
    p.add(x, nudge(y, d.below(5) - 2));
  }
  return p;
}

// The square [0, 1] with points one ulp off its edges: off the edges at 0
// means the smallest subnormals, beside coordinates near 1.
points hair_off_hull_at_zero(draws& d) {
  points p;
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
  return p;
}

struct family {
  const char* name;
  std::function<points(draws&)> make;
  int sets;
  bool delaunay;  // the swap test decides exactly enough for check_delaunay
  double slack;   // allowed for quadrilaterals cocircular within rounding
};

const std::vector<family>& exact_families() {
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

std::string describe(const family& f, int seed, const points& p) {
  return std::string(f.name) + ", seed " + std::to_string(seed) + ", " +
         std::to_string(p.x.size()) + " points";
}

mesh build(const points& p) {
  return build_mesh(p.x, p.y);
}

bool decides_exactly(const points& p) {
  return exact_arithmetic(p.x) && exact_arithmetic(p.y);
}

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

TEST(geometry_stress_test, exact_sets_give_valid_triangulations) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < f.sets; ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const points p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      ASSERT_TRUE(decides_exactly(p));
      const mesh m = build(p);
      if (m.ier == triang::trmesh_ier::collinear) {
        EXPECT_TRUE(all_collinear(p.x, p.y));
        continue;
      }
      ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
      ASSERT_EQ(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
      if (f.delaunay) {
        EXPECT_EQ(check_delaunay(m.n, m.x, m.y, m.iadj, m.iend, f.slack), "");
      }
    }
  }
}

// Sets whose differences are rounded. Each runs in a child process, since in
// debug builds a walk that exceeds its bound stops the process with an
// assertion; that, or any return code, is an acceptable end. A crash, a
// sanitizer report (exit status 1) or a hang is not.
TEST(geometry_stress_test, rounded_sets_end_without_crashing) {
  GTEST_FLAG_SET(death_test_style, "fast");
  const family families[] = {
      {"mixed magnitudes", mixed_magnitudes, 30, false, 0},
      {"nearly collinear over several binades", nearly_collinear_wide, 30, false, 0},
      {"one ulp off the hull's edges at zero", hair_off_hull_at_zero, 30, false, 0},
      {"2^-60 (1e-18)", [](draws& d) { return scaled_uniform(d, -60); }, 5, false, 0},
      {"2^-100 (1e-30)", [](draws& d) { return scaled_uniform(d, -100); }, 5, false, 0},
  };
  const auto ended = [](int status) {
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
           (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
  };
  for (const family& f : families) {
    for (int seed = 0; seed < f.sets; ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const points p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      const auto body = [&p] {
        const mesh m = build(p);
        if (m.ier == triang::trmesh_ier::ok) {
          // Point location and interpolation in whatever was built.
          int istart = 1;
          for (std::size_t k = 0; k < m.x.size(); ++k) {
            float pz = 0;
            int ier = 0;
            triang::intrc0(m.n, m.x[k], m.y[k], m.x, m.y, m.x, m.iadj, m.iend, istart, pz, ier);
            if (ier == triang::intrc0_ier::bad_input)
              std::_Exit(2);
          }
        }
        std::_Exit(0);
      };
      EXPECT_EXIT(body(), ended, "");
    }
  }
}

// Faults of the construction's arithmetic, kept here with their smallest
// reproducers until the arithmetic changes. Run them with
// --gtest_also_run_disabled_tests.

// While trmesh looks for the first node off the line of the leading nodes, it
// rounds the differences to single precision. Node 3 at (1, 1), seen from
// node 1 at (-2^32, 2^37), then has the same rounded differences as node 2
// at (0, 0), so it is taken as lying on the line 1-2; the first fan then
// holds a clockwise triangle, and trmesh reports success.
TEST(geometry_stress_test, DISABLED_wide_spread_set_is_not_taken_for_collinear) {
  const points p{{-4294967296.0f, 0.0f, 1.0f, 3298534883328.0f},
                 {137438953472.0f, 0.0f, 1.0f, 0.0f}};
  const mesh m = build(p);
  ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
  EXPECT_EQ(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
}

// The same search rounds its cross product to single precision, which
// underflows to zero for coordinates of about 2^-80 (1e-24) and below: every
// such set is reported collinear.
TEST(geometry_stress_test, DISABLED_tiny_triangle_is_not_collinear) {
  const float t = 0x1p-80f;
  const points p{{0, t, 0}, {0, 0, t}};
  EXPECT_EQ(build(p).ier, triang::trmesh_ier::ok);
}

// ---------------------------------------------------------------------------
// Interpolation at soundings and on edges
// ---------------------------------------------------------------------------

// A linear function of the location: interpolation reproduces it up to the
// rounding of the node values.
float linear(float x, float y) {
  return static_cast<float>(3.0 * static_cast<double>(x) - 2.0 * static_cast<double>(y) + 5.0);
}

TEST(geometry_stress_test, interpolation_at_soundings_and_on_edges) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 40); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const points p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      const mesh m = build(p);
      if (m.ier != triang::trmesh_ier::ok)
        continue;
      const auto node = [](int k) { return static_cast<std::size_t>(k - 1); };
      std::vector<float> z(m.x.size());
      for (std::size_t i = 0; i < z.size(); ++i) z[i] = linear(m.x[i], m.y[i]);

      // At a sounding: its own value, exactly, inside or on the hull, from
      // any start node.
      for (int k = 1; k <= m.n; ++k) {
        for (int start : {1, m.n, 1 + k % m.n}) {
          int istart = start;
          float pz = 0;
          int ier = 0;
          triang::intrc0(m.n, m.x[node(k)], m.y[node(k)], m.x, m.y, z, m.iadj, m.iend, istart, pz,
                         ier);
          ASSERT_TRUE(ier == triang::intrc0_ier::inside || ier == triang::intrc0_ier::exterior)
              << "node " << k << " ier " << ier;
          EXPECT_EQ(pz, z[node(k)]) << "node " << k << " from " << start;
        }
      }

      // At the midpoint of every arc, where it is a float: the value on the
      // arc, inside (interior arcs) or on the boundary.
      const double scale = std::max(
          1.0, static_cast<double>(*std::max_element(z.begin(), z.end(), [](float a, float b) {
            return std::fabs(a) < std::fabs(b);
          })));
      // The boundary walk rounds its projection, a squared distance, to single
      // precision: beyond 2^64 it overflows, and the boundary value (which
      // the driver replaces by its fill value) is not a number.
      const bool boundary_values =
          std::all_of(m.x.begin(), m.x.end(), [](float v) { return std::fabs(v) < 0x1p60f; }) &&
          std::all_of(m.y.begin(), m.y.end(), [](float v) { return std::fabs(v) < 0x1p60f; });
      int istart = 1;
      for (int a = 1; a <= m.n; ++a) {
        const int first = a == 1 ? 1 : m.iend[node(a - 1)] + 1;
        for (int pos = first; pos <= m.iend[node(a)]; ++pos) {
          const int b = m.iadj[static_cast<std::size_t>(pos - 1)];
          if (b < a)
            continue;  // each arc once; 0 is the boundary mark
          const double mx =
              (static_cast<double>(m.x[node(a)]) + static_cast<double>(m.x[node(b)])) / 2;
          const double my =
              (static_cast<double>(m.y[node(a)]) + static_cast<double>(m.y[node(b)])) / 2;
          const auto px = static_cast<float>(mx);
          const auto py = static_cast<float>(my);
          if (static_cast<double>(px) != mx || static_cast<double>(py) != my)
            continue;
          float pz = 0;
          int ier = 0;
          triang::intrc0(m.n, px, py, m.x, m.y, z, m.iadj, m.iend, istart, pz, ier);
          ASSERT_TRUE(ier == triang::intrc0_ier::inside || ier == triang::intrc0_ier::exterior)
              << "arc " << a << "-" << b << " ier " << ier;
          if (ier == triang::intrc0_ier::exterior && !boundary_values)
            continue;
          const double expected =
              (static_cast<double>(z[node(a)]) + static_cast<double>(z[node(b)])) / 2;
          EXPECT_NEAR(static_cast<double>(pz), expected, 1e-6 * scale) << "arc " << a << "-" << b;
        }
      }
    }
  }
}

// A fresh folder for output files, removed with its contents.
class scratch_folder {
 public:
  scratch_folder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tervox-stress-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
      path_ = pattern;
  }
  ~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  std::string file(const char* name) const { return (path_ / name).string(); }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

// The streamed volume (three threads, one point location per cell where the
// chains of start nodes agree) against the straightforward sequence on these
// sets, where the answers of point location depend most on the start node.
TEST(geometry_stress_test, streamed_volume_matches_the_straightforward_sequence) {
  const scratch_folder folder;
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 8); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const points p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      mesh m = build(p);
      if (m.ier != triang::trmesh_ier::ok)
        continue;
      const int nlayer = 2;
      std::vector<float> dat(m.x.size() * nlayer);
      for (std::size_t i = 0; i < m.x.size(); ++i) {
        dat[i] = linear(m.x[i], m.y[i]);
        dat[i + m.x.size()] = static_cast<float>(i % 7);
      }
      const float width =
          *std::max_element(m.x.begin(), m.x.end()) - *std::min_element(m.x.begin(), m.x.end());
      for (const float cell : {width / 16.0f, width / 37.0f}) {
        const tervox::axis_placement ax = tervox::place_axis(m.x, cell);
        const tervox::axis_placement ay = tervox::place_axis(m.y, cell);
        if (!ax.fits || !ay.fits || static_cast<double>(ax.count) * ay.count > 4000)
          continue;
        const tervox::grid_geometry geo{{ax.min, ay.min, ax.count, ay.count}, cell, cell};
        const tervox::node_data nodes{m.n, nlayer, m.x, m.y, dat, m.iadj, m.iend};
        std::string texts[2];
        for (int method = 0; method < 2; ++method) {
          const std::string path = folder.file(method == 0 ? "streamed.vol" : "reference.vol");
          tervox::output_file file(path);
          ASSERT_TRUE(file.open().ok());
          const bool located = method == 0
                                   ? tervox::stream_volume(nodes, geo, false, file, 3)
                                   : tervox_reference::reference_volume(nodes, geo, false, file);
          ASSERT_TRUE(located);
          ASSERT_TRUE(file.commit().ok());
          texts[method] = scratch_folder::read(path);
        }
        EXPECT_EQ(texts[0], texts[1]) << "cell size " << cell;
      }
    }
  }
}

}  // namespace
}  // namespace tervox_test
