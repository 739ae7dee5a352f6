// Properties of the triangulation on many generated point sets: a valid
// adjacency structure, the Delaunay property decided exactly, and point
// location agreeing with a brute-force search. Also the checkers' own
// ability to catch broken structures, on small fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/adjacency_check.hpp"
#include "support/delaunay_check.hpp"
#include "support/exact_predicates.hpp"
#include "support/mesh_parts.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

std::string describe(point_family family, int size, std::uint32_t seed) {
  return std::string(family_name(family)) + ", " + std::to_string(size) + " points, seed " +
         std::to_string(seed);
}

// ---------------------------------------------------------------------------
// trmesh on every family
// ---------------------------------------------------------------------------

TEST(trmesh_property_test, every_family_gives_a_valid_delaunay_triangulation) {
  constexpr int sizes[] = {3, 4, 5, 6, 7, 9, 12, 17, 25, 40, 64, 100, 250, 600, 1500, 4000};
  for (const point_family family : all_families) {
    for (const int size : sizes) {
      const int seed_count = size <= 100 ? 8 : size <= 600 ? 4 : 2;
      for (std::uint32_t seed = 1; seed <= static_cast<std::uint32_t>(seed_count); ++seed) {
        SCOPED_TRACE(describe(family, size, seed));
        const point_set points = generate(family, size, seed);
        const mesh m = build_mesh(points);
        if (m.n < 3) {
          EXPECT_EQ(m.ier, triang::trmesh_ier::too_few_nodes);
          continue;
        }
        if (all_collinear(m.x, m.y)) {
          EXPECT_EQ(m.ier, triang::trmesh_ier::collinear);
          continue;
        }
        ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
        const std::string structure = check_adjacency(m.n, m.x, m.y, m.iadj, m.iend);
        ASSERT_EQ(structure, "");
        EXPECT_EQ(check_delaunay(m.n, m.x, m.y, m.iadj, m.iend, delaunay_slack(family)), "");
      }
    }
  }
}

// The driver hands trmesh the nodes sorted by x; the construction must not
// depend on that for correctness, only for speed.
TEST(trmesh_property_test, unsorted_input_still_gives_a_valid_delaunay_triangulation) {
  for (const point_family family : all_families) {
    for (const int size : {5, 50, 500}) {
      SCOPED_TRACE(describe(family, size, 11));
      const point_set points = generate(family, size, 11);
      if (all_collinear(points.x, points.y)) {
        continue;
      }
      const int n = points.size();
      std::vector<int> iadj(static_cast<std::size_t>(6 * n - 9));
      std::vector<int> iend(static_cast<std::size_t>(n));
      int ier = -1;
      triang::trmesh(n, points.x, points.y, iadj, iend, ier);
      ASSERT_EQ(ier, triang::trmesh_ier::ok);
      ASSERT_EQ(check_adjacency(n, points.x, points.y, iadj, iend), "");
      EXPECT_EQ(check_delaunay(n, points.x, points.y, iadj, iend, delaunay_slack(family)), "");
    }
  }
}

// Coincident or non-finite nodes break the construction's assumptions; the
// driver rejects such sets before triangulating, so all that is asked here is
// that trmesh ends, stays inside its arrays (sanitizer builds) and returns one
// of its codes.
TEST(trmesh_property_test, coincident_or_non_finite_nodes_end_safely) {
  struct hostile_case {
    std::string_view what;
    bool repeat;  // insert a copy of one node; else give one node (x, y)
    float x;
    float y;
  };
  std::vector<hostile_case> cases = {{"a node repeated", true, 0.0f, 0.0f}};
#if defined(NDEBUG)
  // Non-finite coordinates make a walk exceed its bound, on which debug builds
  // assert by design; with assertions off the codes must come back.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  cases.push_back({"x is NaN", false, nan, 0.5f});
  cases.push_back({"y is infinite", false, 0.5f, inf});
  cases.push_back({"x is minus infinity", false, -inf, 0.5f});
#endif
  for (const hostile_case& c : cases) {
    for (const point_family family : all_families) {
      for (const int size : {4, 30, 300}) {
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
          SCOPED_TRACE(std::string(c.what) + ", " + describe(family, size, seed));
          point_set points = generate(family, size, seed);
          std::mt19937 gen(seed);
          const auto pick = [&] { return gen() % points.x.size(); };
          const std::size_t i = pick();
          if (c.repeat) {
            const std::size_t j = pick();
            points.x.insert(points.x.begin() + static_cast<std::ptrdiff_t>(i), points.x[j]);
            points.y.insert(points.y.begin() + static_cast<std::ptrdiff_t>(i), points.y[j]);
          } else {
            points.x[i] = c.x;
            points.y[i] = c.y;
          }
          const mesh m = build_mesh(points);
          EXPECT_TRUE(m.ier == triang::trmesh_ier::ok || m.ier == triang::trmesh_ier::collinear ||
                      m.ier == triang::trmesh_ier::broken)
              << "ier = " << m.ier;
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// trfind against a brute-force search
// ---------------------------------------------------------------------------

struct located {
  int nv1 = -9;
  int nv2 = -9;
  int nv3 = -9;
};

// "" when the answer of trfind for p is right, else what is wrong.
class brute_force {
 public:
  explicit brute_force(const mesh& m)
      : m_(m),
        triangles_(triangles_of(m.n, m.iadj, m.iend)),
        boundary_(boundary_of(m.n, m.iadj, m.iend)) {}

  std::string judge(float px, float py, const located& r) const {
    if (r.nv3 != triang::outside) {
      std::array<int, 3> t = {r.nv1, r.nv2, r.nv3};
      std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
      if (!std::binary_search(triangles_.begin(), triangles_.end(), t)) {
        return "(" + text(r) + ") is not a counterclockwise triangle of the triangulation";
      }
      if (side(r.nv1, r.nv2, px, py) < 0 || side(r.nv2, r.nv3, px, py) < 0 ||
          side(r.nv3, r.nv1, px, py) < 0) {
        return "triangle (" + text(r) + ") does not contain the point";
      }
      return "";
    }
    if (r.nv1 == 0 || r.nv2 == 0) {
      return "answer (" + text(r) + ") for a triangulation that is not collinear";
    }
    // Exterior: the arcs with the point strictly outside must be exactly the
    // arcs from nv2 counterclockwise to nv1.
    std::vector<int> visible;  // index i: the arc from boundary_[i] to boundary_[i+1]
    const std::size_t nb = boundary_.size();
    for (std::size_t i = 0; i < nb; ++i) {
      if (side(boundary_[i], boundary_[(i + 1) % nb], px, py) < 0) {
        visible.push_back(static_cast<int>(i));
      }
    }
    const auto at = [&](int node) {
      return static_cast<std::size_t>(std::find(boundary_.begin(), boundary_.end(), node) -
                                      boundary_.begin());
    };
    const std::size_t from = at(r.nv2);
    const std::size_t to = at(r.nv1);
    if (from == nb || to == nb) {
      return "(" + text(r) + ") names a node that is not on the boundary";
    }
    if (visible.empty()) {
      // On the hull: nv2 -> nv1 must be one boundary arc through the point.
      if ((from + 1) % nb != to || side(r.nv2, r.nv1, px, py) != 0 ||
          !between(r.nv2, r.nv1, px, py)) {
        return "exterior answer (" + text(r) + ") but the point is inside the hull" +
               containing(px, py);
      }
      return "";
    }
    const std::size_t count = (to + nb - from) % nb;
    if (count != visible.size()) {
      return "exterior answer (" + text(r) + ") spans " + std::to_string(count) + " arcs but " +
             std::to_string(visible.size()) + " are visible";
    }
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t i = (from + k) % nb;
      if (side(boundary_[i], boundary_[(i + 1) % nb], px, py) >= 0) {
        return "exterior answer (" + text(r) + ") includes the arc " +
               std::to_string(boundary_[i]) + "-" + std::to_string(boundary_[(i + 1) % nb]) +
               ", which the point does not see";
      }
    }
    return "";
  }

 private:
  float x(int node) const { return m_.x[static_cast<std::size_t>(node - 1)]; }
  float y(int node) const { return m_.y[static_cast<std::size_t>(node - 1)]; }
  int side(int a, int b, float px, float py) const {
    return orientation(x(a), y(a), x(b), y(b), px, py);
  }
  bool between(int a, int b, float px, float py) const {
    return std::min(x(a), x(b)) <= px && px <= std::max(x(a), x(b)) && std::min(y(a), y(b)) <= py &&
           py <= std::max(y(a), y(b));
  }
  std::string containing(float px, float py) const {
    for (const auto& t : triangles_) {
      if (side(t[0], t[1], px, py) > 0 && side(t[1], t[2], px, py) > 0 &&
          side(t[2], t[0], px, py) > 0) {
        return ", strictly in triangle (" + std::to_string(t[0]) + ", " + std::to_string(t[1]) +
               ", " + std::to_string(t[2]) + ")";
      }
    }
    return "";
  }
  static std::string text(const located& r) {
    return std::to_string(r.nv1) + ", " + std::to_string(r.nv2) + ", " + std::to_string(r.nv3);
  }

  const mesh& m_;
  std::vector<std::array<int, 3>> triangles_;
  std::vector<int> boundary_;
};

TEST(trmesh_property_test, trfind_agrees_with_brute_force) {
  for (const point_family family : all_families) {
    for (const int size : {3, 4, 10, 60, 400, 2000}) {
      for (const std::uint32_t seed : {21u, 22u}) {
        SCOPED_TRACE(describe(family, size, seed));
        const mesh m = build_mesh(generate(family, size, seed));
        if (m.ier != triang::trmesh_ier::ok) {
          continue;
        }
        ASSERT_EQ(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
        const brute_force oracle(m);
        const auto [xmin, xmax] = std::minmax_element(m.x.begin(), m.x.end());
        const auto [ymin, ymax] = std::minmax_element(m.y.begin(), m.y.end());
        const float w = *xmax - *xmin;
        const float h = *ymax - *ymin;
        std::mt19937 gen(seed);
        const auto node = [&] { return 1 + static_cast<int>(gen() % static_cast<unsigned>(m.n)); };
        const std::vector<int> hull = boundary_of(m.n, m.iadj, m.iend);
        for (int q = 0; q < 300; ++q) {
          float px = 0.0f;
          float py = 0.0f;
          const int k = node();
          const int j = m.iadj[static_cast<std::size_t>(m.iend[static_cast<std::size_t>(k - 1)]) -
                               2];  // a neighbour of k (the last, or the one before the 0)
          const int j1 =
              j == 0 ? m.iadj[static_cast<std::size_t>(m.iend[static_cast<std::size_t>(k - 1)]) - 3]
                     : j;
          const int b = hull[gen() % hull.size()];
          switch (q % 6) {
            case 0:
            case 1:  // anywhere near the hull
              px = *xmin + (1.4f * unit_draw(static_cast<std::uint32_t>(gen())) - 0.2f) * w;
              py = *ymin + (1.4f * unit_draw(static_cast<std::uint32_t>(gen())) - 0.2f) * h;
              break;
            case 2:  // at a node
              px = m.x[static_cast<std::size_t>(k - 1)];
              py = m.y[static_cast<std::size_t>(k - 1)];
              break;
            case 3:  // midway along an arc (rounded)
              px = 0.5f *
                   (m.x[static_cast<std::size_t>(k - 1)] + m.x[static_cast<std::size_t>(j1 - 1)]);
              py = 0.5f *
                   (m.y[static_cast<std::size_t>(k - 1)] + m.y[static_cast<std::size_t>(j1 - 1)]);
              break;
            case 4: {  // beyond a boundary node, on the line of its boundary arc
              const int next = m.iadj[static_cast<std::size_t>(
                  b == 1 ? 0 : m.iend[static_cast<std::size_t>(b - 2)])];
              const float bx = m.x[static_cast<std::size_t>(b - 1)];
              const float by = m.y[static_cast<std::size_t>(b - 1)];
              px = bx + 2.0f * (m.x[static_cast<std::size_t>(next - 1)] - bx);
              py = by + 2.0f * (m.y[static_cast<std::size_t>(next - 1)] - by);
              break;
            }
            default:  // far away
              px = *xmin - 100.0f * w + 200.0f * w * unit_draw(static_cast<std::uint32_t>(gen()));
              py = *ymin - 100.0f * h;
              break;
          }
          // Start anywhere, including the out-of-range starts taken as node 1.
          const int istart = q % 25 == 0 ? -q : q % 25 == 1 ? 0 : node();
          located r;
          triang::trfind(istart, px, py, m.x, m.y, m.iadj, m.iend, r.nv1, r.nv2, r.nv3);
          const std::string verdict = oracle.judge(px, py, r);
          if (!verdict.empty()) {
            ADD_FAILURE() << "P = (" << px << ", " << py << ") from node " << istart << ": "
                          << verdict;
            break;
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The checkers catch broken structures
// ---------------------------------------------------------------------------

// A square with its centre: four boundary nodes, one interior node.
//   4-----3
//   | \ / |
//   |  5  |
//   | / \ |
//   1-----2
struct fixture {
  std::vector<float> x;
  std::vector<float> y;
  std::vector<int> iadj;
  std::vector<int> iend;
  int n() const { return static_cast<int>(x.size()); }
};

fixture square_with_centre() {
  return {{0, 2, 2, 0, 1},
          {0, 0, 2, 2, 1},
          {2, 5, 4, 0, 3, 5, 1, 0, 4, 5, 2, 0, 1, 5, 3, 0, 1, 2, 3, 4, 0},
          {4, 8, 12, 16, 20}};
}

struct corruption {
  std::string_view what;
  std::function<void(fixture&)> apply;
  std::string_view reported;  // a piece of the expected message
};

TEST(checker_test, adjacency_checker_reports_each_broken_invariant) {
  const corruption cases[] = {
      {"list ends not increasing", [](fixture& f) { f.iend[1] = 4; }, "not greater"},
      {"list end beyond 6n-9", [](fixture& f) { f.iend[4] = 22; }, "capacity"},
      {"entry out of range", [](fixture& f) { f.iadj[1] = 6; }, "not in 0..5"},
      {"node lists itself", [](fixture& f) { f.iadj[1] = 1; }, "lists itself"},
      {"neighbour repeated", [](fixture& f) { f.iadj[18] = 2; }, "appears twice"},
      {"0 inside a list", [](fixture& f) { std::swap(f.iadj[2], f.iadj[3]); }, "0 before the end"},
      {"arc listed on one side only",
       [](fixture& f) { f.iadj[1] = 3; },  // node 1 lists 3, which does not list 1
       "does not list"},
      {"list order clockwise",
       [](fixture& f) { std::swap(f.iadj[0], f.iadj[2]); },  // node 1: 4, 5, 2
       "clockwise"},
      {"boundary node without its 0",
       [](fixture& f) {
         f.iadj = {2, 5, 4, 3, 5, 1, 0, 4, 5, 2, 0, 1, 5, 3, 0, 1, 2, 3, 4, 0, 0};
         f.iend = {3, 7, 11, 15, 19};
       },
       "6n-6-nb"},
      {"degenerate triangle",
       [](fixture& f) {
         f.x[4] = 1.0f;
         f.y[4] = 0.0f;  // the centre moved onto the arc 1-2
       },
       "degenerate"},
      {"triangle not seen from its third vertex",
       [](fixture& f) { std::swap(f.iadj[4], f.iadj[5]); },  // node 2: 5, 3, 1
       "not seen from all its vertices"},
  };
  for (const corruption& c : cases) {
    SCOPED_TRACE(c.what);
    fixture f = square_with_centre();
    ASSERT_EQ(check_adjacency(f.n(), f.x, f.y, f.iadj, f.iend), "");
    c.apply(f);
    const std::string message = check_adjacency(f.n(), f.x, f.y, f.iadj, f.iend);
    EXPECT_NE(message, "");
    EXPECT_NE(message.find(c.reported), std::string::npos) << message;
  }
}

TEST(checker_test, adjacency_checker_rejects_a_concave_boundary) {
  // An arrowhead: node 4 is a boundary node where the boundary turns clockwise.
  const std::vector<float> x = {0.0f, 2.0f, 0.0f, 0.5f};
  const std::vector<float> y = {0.0f, 1.0f, 2.0f, 1.0f};
  const std::vector<int> iadj = {2, 4, 0, 3, 4, 1, 0, 4, 2, 0, 1, 2, 3, 0, 0};
  const std::vector<int> iend = {3, 7, 10, 14};
  const std::string message = check_adjacency(4, x, y, iadj, iend);
  EXPECT_NE(message.find("turns clockwise"), std::string::npos) << message;
}

TEST(checker_test, delaunay_checker_rejects_the_unswapped_quadrilateral) {
  // Triangles 1-2-3 and 2-4-3, where node 1 lies inside the circle through
  // 2, 4 and 3: a valid triangulation that is not Delaunay. After the swap
  // (triangles 1-2-4 and 1-4-3) it is.
  const std::vector<float> x = {0.0f, 1.0f, 0.0f, 0.9f};
  const std::vector<float> y = {0.0f, 0.0f, 1.0f, 0.9f};
  const std::vector<int> before = {2, 3, 0, 4, 3, 1, 0, 1, 2, 4, 0, 3, 2, 0, 0};
  const std::vector<int> before_end = {3, 7, 11, 14};
  ASSERT_EQ(check_adjacency(4, x, y, before, before_end), "");
  EXPECT_NE(check_delaunay(4, x, y, before, before_end).find("across the arc 2-3"),
            std::string::npos)
      << check_delaunay(4, x, y, before, before_end);
  const std::vector<int> after = {2, 4, 3, 0, 4, 1, 0, 1, 4, 0, 3, 1, 2, 0, 0};
  const std::vector<int> after_end = {4, 7, 10, 14};
  ASSERT_EQ(check_adjacency(4, x, y, after, after_end), "");
  EXPECT_EQ(check_delaunay(4, x, y, after, after_end), "");
}

TEST(checker_test, delaunay_checker_accepts_either_diagonal_of_a_square) {
  const std::vector<float> x = {0.0f, 1.0f, 1.0f, 0.0f};
  const std::vector<float> y = {0.0f, 0.0f, 1.0f, 1.0f};
  // Diagonal 1-3, then diagonal 2-4.
  const std::vector<int> first = {2, 3, 4, 0, 3, 1, 0, 4, 1, 2, 0, 1, 3, 0, 0};
  const std::vector<int> first_end = {4, 7, 11, 14};
  const std::vector<int> second = {2, 4, 0, 3, 4, 1, 0, 4, 2, 0, 1, 2, 3, 0, 0};
  const std::vector<int> second_end = {3, 7, 10, 14};
  for (const auto& [iadj, iend] : {std::pair{first, first_end}, std::pair{second, second_end}}) {
    ASSERT_EQ(check_adjacency(4, x, y, iadj, iend), "");
    EXPECT_EQ(check_delaunay(4, x, y, iadj, iend), "");
  }
}

}  // namespace
}  // namespace tervox_test
