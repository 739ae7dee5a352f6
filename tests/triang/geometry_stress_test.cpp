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
#include <cstdio>
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

#include "support/adjacency_check.hpp"
#include "support/degenerate_sets.hpp"
#include "support/delaunay_check.hpp"
#include "support/exact_predicates.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

TEST(geometry_stress_test, exact_sets_give_valid_triangulations) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < f.sets; ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const point_set p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      ASSERT_TRUE(decides_exactly(p));
      const mesh m = build_mesh(p);
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
// assertion; that, or a code reporting failure, is an acceptable end. A
// crash, a sanitizer report (exit status 1), a hang, or success reported for
// a structure that is not a triangulation (exit status 3) is not.
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
      const point_set p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      const auto body = [&p] {
        const mesh m = build_mesh(p);
        if (m.ier == triang::trmesh_ier::ok) {
          const std::string problem = check_adjacency(m.n, m.x, m.y, m.iadj, m.iend);
          if (!problem.empty()) {
            std::fprintf(stderr, "trmesh reported success: %s\n", problem.c_str());
            std::_Exit(3);
          }
          // Point location and interpolation in what was built.
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

// Limits of the construction's arithmetic, with their smallest reproducers.
// The tool refuses soundings that reach the first before the construction
// (see leading_nodes.hpp and faults_test); the second ends in a refusal of
// its own.

// While trmesh looks for the first node off the line of the leading nodes, it
// rounds the differences to single precision. Node 3 at (1, 1), seen from
// node 1 at (-2^32, 2^37), then has the same rounded differences as node 2
// at (0, 0), so it is taken as lying on the line 1-2; the first fan then
// holds a clockwise triangle. The exact check of the finished lists reports
// it as a breakdown instead of success.
TEST(geometry_stress_test, wide_spread_set_is_reported_broken) {
  const point_set p{{-4294967296.0f, 0.0f, 1.0f, 3298534883328.0f},
                    {137438953472.0f, 0.0f, 1.0f, 0.0f}};
  const mesh m = build_mesh(p);
  EXPECT_EQ(m.ier, triang::trmesh_ier::broken);
  EXPECT_NE(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
}

// Two soundings a hair apart near (6e-21, 6e-21), on the diagonal through
// the origin and (28, 28): every triangle comes out counterclockwise and
// listed alike by its vertices, and the boundary turns left at every node,
// but it goes round twice, folding back along the diagonal. Found by the
// fuzzer; the turn of the neighbours around node 3 gives it away.
TEST(geometry_stress_test, boundary_going_round_twice_is_reported_broken) {
  const point_set p{{0.0f, 0x1.bfffe2p-68f, 0x1.bffff4p-68f, 0x1.05p+0f, 0x1.bffff4p+4f},
                    {0.0f, 0x1.bfffdcp-68f, 0x1.bfffeep-68f, 0.0f, 0x1.bffffap+4f}};
  const mesh m = build_mesh(p);
  EXPECT_EQ(m.ier, triang::trmesh_ier::broken);
  EXPECT_NE(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
}

// The same search rounds its cross product to single precision, which
// underflows to zero for coordinates of about 2^-80 (1e-24) and below: every
// such set is reported collinear.
TEST(geometry_stress_test, tiny_triangle_is_reported_collinear) {
  const float t = 0x1p-80f;
  const point_set p{{0, t, 0}, {0, 0, t}};
  EXPECT_EQ(build_mesh(p).ier, triang::trmesh_ier::collinear);
}

// ---------------------------------------------------------------------------
// Interpolation at soundings and on edges
// ---------------------------------------------------------------------------

TEST(geometry_stress_test, interpolation_at_soundings_and_on_edges) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 40); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const point_set p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      const mesh m = build_mesh(p);
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

}  // namespace
}  // namespace tervox_test
