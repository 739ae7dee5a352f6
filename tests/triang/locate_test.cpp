#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

struct structure {
  std::vector<float> x;
  std::vector<float> y;
  std::vector<int> iadj;
  std::vector<int> iend;
  int n() const { return static_cast<int>(x.size()); }
};

//   3
//   | \        one triangle, every node on the boundary
//   1---2
structure one_triangle() {
  return {{0, 1, 0}, {0, 0, 1}, {2, 3, 0, 3, 1, 0, 1, 2, 0}, {3, 6, 9}};
}

//   4-------3
//   | \   / |
//   |   5   |    the square (0,0)-(2,2) split into four triangles at its
//   | /   \ |    centre 5, the only interior node
//   1-------2
structure square_with_centre() {
  return {{0, 2, 2, 0, 1},
          {0, 0, 2, 2, 1},
          {2, 5, 4, 0, 3, 5, 1, 0, 4, 5, 2, 0, 1, 5, 3, 0, 1, 2, 3, 4},
          {4, 8, 12, 16, 20}};
}

//   7---8---9
//   | / | \ |    a 3x3 lattice with an interior node 5 of degree 6 and
//   4---5---6    diagonals in both directions, so a walk from a corner
//   | / | \ |    crosses several triangles
//   1---2---3
structure lattice_3x3() {
  return {{0, 1, 2, 0, 1, 2, 0, 1, 2},
          {0, 0, 0, 1, 1, 1, 2, 2, 2},
          {
              2, 5, 4, 0,        // 1
              3, 5, 1, 0,        // 2
              6, 5, 2, 0,        // 3
              1, 5, 8, 7, 0,     // 4
              1, 2, 3, 6, 8, 4,  // 5
              9, 8, 5, 3, 0,     // 6
              4, 8, 0,           // 7
              7, 4, 5, 6, 9, 0,  // 8
              8, 6, 0,           // 9
          },
          {4, 8, 12, 17, 23, 28, 31, 37, 40}};
}

// A point-location result; the rotation of a triangle is part of it.
struct triple {
  int nv1, nv2, nv3;
  bool operator==(const triple&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const triple& t) {
    return os << "(" << t.nv1 << ", " << t.nv2 << ", " << t.nv3 << ")";
  }
};

triple locate(const structure& s, int istart, float px, float py) {
  triple nv{-9, -9, -9};
  triang::trfind(istart, px, py, s.x, s.y, s.iadj, s.iend, nv.nv1, nv.nv2, nv.nv3);
  return nv;
}

std::vector<int> start_nodes(const structure& s) {
  std::vector<int> starts{-4, 0};
  for (int k = 1; k <= s.n(); ++k) {
    starts.push_back(k);
  }
  return starts;
}

int entry(const structure& s, int pos) {
  return s.iadj[static_cast<std::size_t>(pos - 1)];
}
int first_pos(const structure& s, int k) {
  return k == 1 ? 1 : s.iend[static_cast<std::size_t>(k - 2)] + 1;
}
int last_pos(const structure& s, int k) {
  return s.iend[static_cast<std::size_t>(k - 1)];
}
bool on_boundary(const structure& s, int k) {
  return entry(s, last_pos(s, k)) == 0;
}

// True when (a, b, c) is a triangle of the structure, counterclockwise, in
// any rotation.
bool is_triangle_of(const structure& s, const triple& t) {
  const int k = t.nv1;
  if (k < 1 || k > s.n() || t.nv2 == 0 || t.nv3 == 0) {
    return false;
  }
  const int f = first_pos(s, k);
  const int l = last_pos(s, k);
  for (int pos = f; pos <= l; ++pos) {
    const int next = pos < l ? entry(s, pos + 1) : entry(s, f);
    if (entry(s, pos) == t.nv2 && next == t.nv3) {
      return true;
    }
  }
  return false;
}

// True when P lies in the closed triangle t (exact for the small dyadic
// coordinates of these fixtures).
bool contains(const structure& s, const triple& t, float px, float py) {
  const auto x = [&](int k) { return static_cast<double>(s.x[static_cast<std::size_t>(k - 1)]); };
  const auto y = [&](int k) { return static_cast<double>(s.y[static_cast<std::size_t>(k - 1)]); };
  const auto left = [&](int a, int b) {
    return (x(b) - x(a)) * (static_cast<double>(py) - y(a)) >=
           (static_cast<double>(px) - x(a)) * (y(b) - y(a));
  };
  return left(t.nv1, t.nv2) && left(t.nv2, t.nv3) && left(t.nv3, t.nv1);
}

struct located_case {
  float px, py;
  int istart;
  triple expected;
};

TEST(locate_test, one_triangle_rotation_depends_on_start) {
  const structure s = one_triangle();
  const located_case cases[] = {
      {0.25F, 0.25F, 1, {2, 3, 1}}, {0.25F, 0.25F, 2, {3, 1, 2}},  {0.25F, 0.25F, 3, {1, 2, 3}},
      {0.25F, 0.25F, 0, {2, 3, 1}}, {0.25F, 0.25F, -7, {2, 3, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "P (" << c.px << ", " << c.py << ") from " << c.istart);
    EXPECT_EQ(locate(s, c.istart, c.px, c.py), c.expected);
  }
}

struct any_start_case {
  const char* what;
  float px, py;
  triple expected;
};

TEST(locate_test, one_triangle_same_answer_from_every_start) {
  const structure s = one_triangle();
  const any_start_case cases[] = {
      {"outside, sees arc 2-3", 2, 2, {3, 2, 0}},
      {"outside, sees arcs 3-1 and 1-2", -1, -1, {2, 3, 0}},
      {"on the line of arc 1-2, beyond 2", 3, 0, {3, 2, 0}},
      {"on the line of arc 3-1, beyond 3", 0, 3, {3, 2, 0}},
      {"midpoint of boundary arc 1-2", 0.5F, 0, {2, 1, 0}},
      {"midpoint of boundary arc 2-3", 0.5F, 0.5F, {3, 2, 0}},
      {"midpoint of boundary arc 3-1", 0, 0.5F, {1, 3, 0}},
      {"at node 1", 0, 0, {1, 3, 0}},
      {"at node 2", 1, 0, {2, 1, 0}},
      {"at node 3", 0, 1, {3, 2, 0}},
  };
  for (const auto& c : cases) {
    for (const int istart : start_nodes(s)) {
      SCOPED_TRACE(testing::Message() << c.what << " from " << istart);
      EXPECT_EQ(locate(s, istart, c.px, c.py), c.expected);
    }
  }
}

TEST(locate_test, far_outside_sees_the_same_chain_from_every_start) {
  // The arcs from nv2 counterclockwise to nv1 are exactly those with P
  // strictly outside them.
  const structure s = lattice_3x3();
  const any_start_case cases[] = {
      {"east, sees the side 3-6-9", 100, 1, {9, 3, 0}},
      {"east, level with node 6", 100, 1.0F, {9, 3, 0}},
      {"north-east, sees two sides", 100, 100, {7, 3, 0}},
      {"south-west, sees two sides", -50, -60, {3, 7, 0}},
      {"south, sees the bottom side only", 1, -100, {3, 1, 0}},
      {"west, off centre", -100, 0.5F, {1, 7, 0}},
      {"north, beyond node 8", 1, 50, {7, 9, 0}},
  };
  for (const auto& c : cases) {
    for (const int istart : start_nodes(s)) {
      SCOPED_TRACE(testing::Message() << c.what << " from " << istart);
      EXPECT_EQ(locate(s, istart, c.px, c.py), c.expected);
    }
  }
}

TEST(locate_test, extension_of_a_boundary_arc_is_not_visible) {
  // Beyond the end of a boundary side the walk stops at the side's near end:
  // P is on the side's line, not strictly outside it.
  const structure s = square_with_centre();
  const any_start_case cases[] = {
      {"beyond 2 on the line of 1-2", 3, 0, {3, 2, 0}},
      {"beyond 1 on the line of 1-2", -1, 0, {1, 4, 0}},
      {"beyond 3 on the line of 2-3", 2, 3, {4, 3, 0}},
      {"beyond 4 on the line of 3-4", -1, 2, {1, 4, 0}},
  };
  for (const auto& c : cases) {
    for (const int istart : start_nodes(s)) {
      SCOPED_TRACE(testing::Message() << c.what << " from " << istart);
      EXPECT_EQ(locate(s, istart, c.px, c.py), c.expected);
    }
  }
}

TEST(locate_test, boundary_arc_midpoint_gives_its_ends) {
  // (end later in counterclockwise boundary order, earlier end, 0).
  struct arc_case {
    structure s;
    int from, to;  // counterclockwise along the boundary
  };
  const arc_case cases[] = {
      {square_with_centre(), 1, 2}, {square_with_centre(), 2, 3}, {square_with_centre(), 3, 4},
      {square_with_centre(), 4, 1}, {lattice_3x3(), 1, 2},        {lattice_3x3(), 2, 3},
      {lattice_3x3(), 6, 9},        {lattice_3x3(), 9, 8},        {lattice_3x3(), 4, 1},
  };
  for (const auto& c : cases) {
    const auto at = [&](int k) { return static_cast<std::size_t>(k - 1); };
    const float px = (c.s.x[at(c.from)] + c.s.x[at(c.to)]) / 2;
    const float py = (c.s.y[at(c.from)] + c.s.y[at(c.to)]) / 2;
    for (const int istart : start_nodes(c.s)) {
      SCOPED_TRACE(testing::Message() << "arc " << c.from << "-" << c.to << " from " << istart);
      EXPECT_EQ(locate(c.s, istart, px, py), (triple{c.to, c.from, 0}));
    }
  }
}

TEST(locate_test, on_or_beyond_the_boundary_the_answer_does_not_depend_on_the_start) {
  // Where every side test is exact (these families: small dyadic or
  // projected-metre coordinates), a point strictly beyond the boundary is
  // answered with the ends of the one run of arcs it sees, and a point
  // strictly inside a boundary arc with that arc's ends, whichever node the
  // walk starts from. The construction relies on this to answer such points
  // from the boundary alone. Points are put on, beside and beyond every
  // boundary arc, and far outside; points at a node are left out (their
  // answer does depend on the start).
  int exterior_points = 0;
  for (const point_family family :
       {point_family::shared_x_lines, point_family::lattice, point_family::projected,
        point_family::projected_lines, point_family::tiny}) {
    for (const int size : {12, 60, 250}) {
      const mesh m = build_mesh(generate(family, size, 5));
      ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
      const structure s{m.x, m.y, m.iadj, m.iend};
      const auto at = [](int k) { return static_cast<std::size_t>(k - 1); };
      std::vector<std::array<float, 2>> points;
      for (int a = 1; a <= s.n(); ++a) {
        if (!on_boundary(s, a)) {
          continue;
        }
        const int b = entry(s, first_pos(s, a));  // a -> b runs counterclockwise
        const float xa = s.x[at(a)], ya = s.y[at(a)], dx = s.x[at(b)] - xa, dy = s.y[at(b)] - ya;
        for (const float t : {0.5F, 0.25F, 2.0F, -1.0F}) {
          points.push_back({xa + t * dx, ya + t * dy});
        }
        points.push_back({xa + 0.5F * dx + 0.25F * dy, ya + 0.5F * dy - 0.25F * dx});  // outward
        points.push_back({xa + 0.5F * dx - 0.25F * dy, ya + 0.5F * dy + 0.25F * dx});  // inward
      }
      std::mt19937 gen(static_cast<std::uint32_t>(size));
      const auto [xlo, xhi] = std::minmax_element(s.x.begin(), s.x.end());
      const auto [ylo, yhi] = std::minmax_element(s.y.begin(), s.y.end());
      for (int i = 0; i < 20; ++i) {
        const float u = 3.0F * unit_draw(static_cast<std::uint32_t>(gen())) - 1.0F;
        const float v = 3.0F * unit_draw(static_cast<std::uint32_t>(gen())) - 1.0F;
        points.push_back({*xlo + u * (*xhi - *xlo), *ylo + v * (*yhi - *ylo)});
      }
      for (const auto& p : points) {
        bool at_node = false;
        for (int k = 1; k <= s.n(); ++k) {
          at_node = at_node || (s.x[at(k)] == p[0] && s.y[at(k)] == p[1]);
        }
        if (at_node) {
          continue;
        }
        const triple first = locate(s, 1, p[0], p[1]);
        bool exterior = first.nv3 == 0;
        std::vector<triple> answers;
        for (int istart = 1; istart <= s.n(); ++istart) {
          answers.push_back(locate(s, istart, p[0], p[1]));
          exterior = exterior || answers.back().nv3 == 0;
        }
        if (!exterior) {
          continue;
        }
        ++exterior_points;
        for (int istart = 1; istart <= s.n(); ++istart) {
          SCOPED_TRACE(testing::Message() << family_name(family) << ", " << size << " points, P ("
                                          << p[0] << ", " << p[1] << ") from " << istart);
          EXPECT_EQ(answers[at(istart)], first);
        }
      }
    }
  }
  EXPECT_GT(exterior_points, 0);
}

TEST(locate_test, interior_arc_midpoint_gives_a_triangle_on_the_arc) {
  struct arc_case {
    structure s;
    int a, b;
  };
  const arc_case cases[] = {
      {square_with_centre(), 1, 5}, {square_with_centre(), 2, 5}, {square_with_centre(), 3, 5},
      {square_with_centre(), 4, 5}, {lattice_3x3(), 2, 5},        {lattice_3x3(), 4, 5},
      {lattice_3x3(), 3, 5},        {lattice_3x3(), 5, 8},        {lattice_3x3(), 4, 8},
      {lattice_3x3(), 6, 8},
  };
  for (const auto& c : cases) {
    const auto at = [&](int k) { return static_cast<std::size_t>(k - 1); };
    const float px = (c.s.x[at(c.a)] + c.s.x[at(c.b)]) / 2;
    const float py = (c.s.y[at(c.a)] + c.s.y[at(c.b)]) / 2;
    for (const int istart : start_nodes(c.s)) {
      SCOPED_TRACE(testing::Message() << "arc " << c.a << "-" << c.b << " from " << istart);
      const triple nv = locate(c.s, istart, px, py);
      EXPECT_TRUE(is_triangle_of(c.s, nv)) << nv;
      const auto has = [&](int k) { return nv.nv1 == k || nv.nv2 == k || nv.nv3 == k; };
      EXPECT_TRUE(has(c.a) && has(c.b)) << nv;
    }
  }
}

TEST(locate_test, point_at_a_node) {
  // An interior node is always answered with a triangle at it. A boundary
  // node gives a triangle at it or the ends of a boundary arc at it.
  for (const structure& s : {square_with_centre(), lattice_3x3()}) {
    for (int node = 1; node <= s.n(); ++node) {
      const auto at = static_cast<std::size_t>(node - 1);
      for (const int istart : start_nodes(s)) {
        SCOPED_TRACE(testing::Message()
                     << "node " << node << " of " << s.n() << " from " << istart);
        const triple nv = locate(s, istart, s.x[at], s.y[at]);
        const bool at_node = nv.nv1 == node || nv.nv2 == node || nv.nv3 == node;
        EXPECT_TRUE(at_node) << nv;
        if (nv.nv3 != 0) {
          EXPECT_TRUE(is_triangle_of(s, nv)) << nv;
        } else {
          EXPECT_TRUE(on_boundary(s, node)) << nv;
          // nv2 -> nv1 is a boundary arc: nv1 follows nv2 counterclockwise.
          EXPECT_TRUE(on_boundary(s, nv.nv2) && entry(s, first_pos(s, nv.nv2)) == nv.nv1) << nv;
        }
      }
    }
  }
}

TEST(locate_test, walk_across_several_triangles) {
  // Walks from a corner, and from other nodes, to a point in each triangle
  // of the lattice. The rotation of the answer is part of the result: it
  // follows from the walk (the crossing of arcs 2-5, 3-5, 5-6, 6-8 from
  // node 1 to (1.75, 1.5) ends with k1 = 6, k2 = 9, k3 = 8).
  const structure s = lattice_3x3();
  const located_case cases[] = {
      {1.75F, 1.5F, 1, {6, 9, 8}},
      {1.25F, 1.75F, 1, {6, 8, 5}},  // on arc 6-8: the near triangle
      {0.25F, 1.75F, 1, {8, 7, 4}},
      {0.5F, 1.25F, 1, {8, 4, 5}},
      {1.6F, 0.3F, 1, {3, 5, 2}},
      {1.2F, 0.6F, 1, {3, 5, 2}},
      {0.4F, 0.2F, 1, {2, 5, 1}},
      {0.2F, 0.4F, 1, {5, 4, 1}},
      {1.75F, 1.5F, 7, {6, 9, 8}},
      {0.25F, 0.25F, 9, {1, 2, 5}},  // along the diagonal 9-5-1, on
                                     // arc 1-5
      {0.25F, 0.25F, 8, {1, 5, 4}},
      {1.8F, 0.1F, 7, {2, 3, 5}},
      {0.1F, 1.8F, 3, {7, 4, 8}},
      {1.9F, 1.8F, 4, {6, 9, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "P (" << c.px << ", " << c.py << ") from " << c.istart);
    const triple nv = locate(s, c.istart, c.px, c.py);
    EXPECT_EQ(nv, c.expected);
    EXPECT_TRUE(is_triangle_of(s, nv)) << nv;
    EXPECT_TRUE(contains(s, nv, c.px, c.py)) << nv;
  }
}

TEST(locate_test, collinear_nodes_give_zeros) {
  // Nodes on one line: each list is a boundary list without a triangle.
  const structure s{{0, 1, 3}, {0, 0, 0}, {2, 0, 3, 1, 0, 2, 0}, {2, 5, 7}};
  const std::array<float, 2> points[] = {{5, 0}, {-1, 0}, {0.5F, 0}, {0, 0}, {1, 0}, {3, 0}};
  for (const auto& p : points) {
    for (const int istart : {-1, 1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << "P (" << p[0] << ", " << p[1] << ") from " << istart);
      EXPECT_EQ(locate(s, istart, p[0], p[1]), (triple{0, 0, 0}));
    }
  }
}

// A walk that never ends on a valid-looking input must come back as a
// failure: in debug builds an assertion stops it, otherwise the result is
// trfind_failed twice and 0.
void expect_failure(const structure& s, int istart, float px, float py, const char* why) {
  triple nv{-9, -9, -9};
  EXPECT_DEBUG_DEATH(
      triang::trfind(istart, px, py, s.x, s.y, s.iadj, s.iend, nv.nv1, nv.nv2, nv.nv3), why);
#ifdef NDEBUG
  EXPECT_EQ(nv, (triple{triang::trfind_failed, triang::trfind_failed, 0}));
#endif
}

TEST(locate_test, not_a_number_fails_instead_of_hanging) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const structure s = lattice_3x3();
  for (const int istart : {1, 5, 9}) {
    SCOPED_TRACE(testing::Message() << "from " << istart);
    expect_failure(s, istart, nan, nan, "exceeded its bound");
    expect_failure(s, istart, nan, 1, "exceeded its bound");
    expect_failure(s, istart, 1, nan, "exceeded its bound");
  }
}

TEST(locate_test, broken_structure_fails_instead_of_hanging) {
  // Node 3 missing from node 6's list: the walk from 1 towards (3, 0.5)
  // crosses into triangle 3-6-5 and then looks for 3 in 6's list.
  structure asymmetric = lattice_3x3();
  asymmetric.iadj[26] = 5;  // node 6's list (9, 8, 5, 3, 0) -> (9, 8, 5, 5, 0)
  expect_failure(asymmetric, 1, 3, 0.5F, "not in the list");

  // A start node beyond the structure.
  expect_failure(lattice_3x3(), 10, 1, 1, "start node beyond");

  // Entries that cannot be used as subscripts are refused before any read
  // through them, wherever the walk meets them: at an apex, crossing
  // triangles, or along the boundary, where a failure in one direction must
  // also end the walk in the other.
  struct damage {
    const char* what;
    int position;  // 1-based, in iadj, or in iend when negative
    int value;
    int istart;
    float px, py;
  };
  const damage cases[] = {
      {"a neighbour beyond the node count", 18, 42, 5, 1.5F, 1.5F},
      {"a 0 inside an interior list", 19, 0, 5, 1.5F, 1.5F},
      {"a negative neighbour", 25, -3, 6, 1.5F, 1.5F},
      {"a list end beyond iadj", -9, 99, 9, 1.5F, 1.5F},
      {"list ends not increasing", -4, 10, 4, 1.5F, 1.5F},
      // From 3, P east is beyond arc 3-6; the counterclockwise walk along
      // the boundary reads 9's first neighbour.
      {"a boundary neighbour beyond the node count, counterclockwise", 38, 42, 3, 100, 1},
      // From 3, P south is beyond arc 2-3 only; the clockwise walk reads the
      // last neighbour of 2, then of 1.
      {"a boundary neighbour beyond the node count, clockwise", 3, 42, 3, 1, -100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    structure s = lattice_3x3();
    if (c.position > 0) {
      s.iadj[static_cast<std::size_t>(c.position - 1)] = c.value;
    } else {
      s.iend[static_cast<std::size_t>(-c.position - 1)] = c.value;
    }
    expect_failure(s, c.istart, c.px, c.py, "out of range");
  }
}

}  // namespace
}  // namespace tervox_test
