#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/adjacency_check.hpp"
#include "support/delaunay_check.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

struct built {
  std::vector<int> iadj;
  std::vector<int> iend;
  int ier = -99;
};

// trmesh on arrays of exactly the capacity the caller allocates (6n-9 and
// n), prefilled with a sentinel so that untouched entries show.
constexpr int unused = -7;

built build(const std::vector<float>& x, const std::vector<float>& y) {
  const int n = static_cast<int>(x.size());
  built b;
  b.iadj.assign(static_cast<std::size_t>(n >= 3 ? 6 * n - 9 : 1), unused);
  b.iend.assign(static_cast<std::size_t>(n > 0 ? n : 1), unused);
  triang::trmesh(n, x, y, b.iadj, b.iend, b.ier);
  return b;
}

// The part of iadj in use.
std::vector<int> used(const built& b) {
  return {b.iadj.begin(), b.iadj.begin() + b.iend.back()};
}

TEST(trmesh_test, too_few_nodes_leaves_the_arrays_alone) {
  for (const int n : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "n " << n);
    const std::vector<float> x(static_cast<std::size_t>(n), 1.0F);
    const std::vector<float> y(static_cast<std::size_t>(n), 2.0F);
    const built b = build(x, y);
    EXPECT_EQ(b.ier, triang::trmesh_ier::too_few_nodes);
    EXPECT_EQ(b.iadj, std::vector<int>(b.iadj.size(), unused));
    EXPECT_EQ(b.iend, std::vector<int>(b.iend.size(), unused));
  }
}

struct chain_case {
  const char* what;
  std::vector<float> x, y;
  std::vector<int> chain;
};

TEST(trmesh_test, collinear_nodes_leave_the_chain_in_iend) {
  const chain_case cases[] = {
      {"in order", {0, 1, 2}, {0, 0, 0}, {1, 2, 3}},
      {"node 3 behind node 1", {0, 1, -1}, {0, 0, 0}, {3, 1, 2}},
      {"node 3 between 1 and 2", {0, 2, 1}, {0, 0, 0}, {1, 3, 2}},
      {"vertical line", {5, 5, 5, 5}, {1, 3, 2, 0}, {4, 1, 3, 2}},
      // Ahead, behind, between and beyond on the line y = 2x.
      {"scrambled along a slope", {0, 4, 2, -1, 3}, {0, 8, 4, -2, 6}, {4, 1, 3, 5, 2}},
      // Nodes 1 and 2 coincide: the chain has no direction, so node 3
      // counts as lying on its line, at the first node.
      {"first two nodes coincide", {0, 0, 1}, {0, 0, 1}, {3, 1, 2}},
      {"all nodes coincide", {3, 3, 3, 3}, {3, 3, 3, 3}, {4, 3, 1, 2}},
      // Node 3 duplicates node 1 and goes in front of it. Node 4 then sees
      // s = 0 at node 1 (which coincides with the first node, 3) and goes in
      // front of that duplicate, not in order along the line.
      {"a duplicate of the first node", {0, 2, 0, 1}, {0, 0, 0, 0}, {3, 4, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const built b = build(c.x, c.y);
    EXPECT_EQ(b.ier, triang::trmesh_ier::collinear);
    EXPECT_EQ(b.iend, c.chain);
    EXPECT_EQ(b.iadj, std::vector<int>(b.iadj.size(), unused));
  }
}

struct mesh_case {
  const char* what;
  std::vector<float> x, y;
  std::vector<int> iadj, iend;
};

TEST(trmesh_test, builds_the_exact_lists) {
  const mesh_case cases[] = {
      {"node 3 left of the chain: reversed",
       {0, 1, 0},
       {0, 0, 1},
       {2, 3, 0, 3, 1, 0, 1, 2, 0},
       {3, 6, 9}},
      {"node 3 right of the chain: kept",
       {0, 1, 0},
       {0, 0, -1},
       {3, 2, 0, 1, 3, 0, 2, 1, 0},
       {3, 6, 9}},
      {"chain 1, 3, 2 reversed to 2, 3, 1",
       {0, 2, 1, 1},
       {0, 0, 0, 1},
       {3, 4, 0, 4, 3, 0, 2, 4, 1, 0, 1, 3, 2, 0},
       {3, 6, 10, 14}},
      {"chain 1, 2, 3 reversed to 3, 2, 1",
       {0, 1, 2, 1},
       {0, 0, 0, 1},
       {2, 4, 0, 3, 4, 1, 0, 4, 2, 0, 1, 2, 3, 0},
       {3, 7, 10, 14}},
      {"node 3 behind the chain, then reversed to 2, 1, 3",
       {0, 1, -1, 0},
       {0, 0, 0, 1},
       {2, 4, 3, 0, 4, 1, 0, 1, 4, 0, 3, 1, 2, 0},
       {4, 7, 10, 14}},
      {"a fan of four chain nodes",
       {0, 1, 2, 3, 1},
       {0, 0, 0, 0, -1},
       {5, 2, 0, 1, 5, 3, 0, 2, 5, 4, 0, 3, 5, 0, 4, 3, 2, 1, 0},
       {3, 7, 11, 14, 19}},
      // Node 4 is added outside arc 2-3 (nv1 = 3, nv2 = 2); node 1 lies in
      // the circle through 4, 3 and 2, so arc 3-2 becomes 1-4.
      {"one swap",
       {0, 1, 0, 0.9F},
       {0, 0, 1, 0.9F},
       {2, 4, 3, 0, 4, 1, 0, 1, 4, 0, 3, 1, 2, 0},
       {4, 7, 10, 14}},
      // The four nodes lie on one circle: arc 3-2 stays.
      {"on the circle: no swap",
       {0, 1, 0, 1},
       {0, 0, 1, 1},
       {2, 3, 0, 4, 3, 1, 0, 1, 2, 4, 0, 3, 2, 0},
       {3, 7, 11, 14}},
      // Node 4 falls inside the first triangle, whose sides are all
      // boundary arcs: no swap test. Point location from node 3 answers
      // (1, 2, 3), which becomes node 4's list.
      {"inside the first triangle",
       {0, 1, 0, 0.25F},
       {0, 0, 1, 0.25F},
       {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 1, 2, 3},
       {4, 8, 12, 15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const built b = build(c.x, c.y);
    const int n = static_cast<int>(c.x.size());
    ASSERT_EQ(b.ier, triang::trmesh_ier::ok);
    EXPECT_EQ(b.iend, c.iend);
    EXPECT_EQ(used(b), c.iadj);
    EXPECT_EQ(check_adjacency(n, c.x, c.y, b.iadj, b.iend), "");
    EXPECT_EQ(check_delaunay(n, c.x, c.y, b.iadj, b.iend), "");
  }
}

TEST(trmesh_test, later_nodes_keep_the_structure_delaunay) {
  // Small hand-made sets that exercise interior insertion, boundary
  // insertion over several visible arcs, chains of swaps and long
  // collinear runs before the first off-line node.
  struct set_case {
    const char* what;
    std::vector<float> x, y;
  };
  const set_case cases[] = {
      {"square and centre", {0, 0, 1, 2, 2}, {0, 2, 1, 0, 2}},
      {"sees two arcs", {0, 1, 0, 2}, {0, 0, 1, -0.5F}},
      {"sees the whole chain", {0, 1, 2, 3, 1.5F, 5}, {0, 0, 0, 0, 1, 0.5F}},
      {"collinear run, then a cloud",
       {0, 1, 2, 3, 4, 1.5F, 2.5F, 0.5F, 3.5F, 2},
       {0, 0, 0, 0, 0, 2, -1, -0.5F, 0.7F, 0.1F}},
      {"regular hexagon and centre",
       {0, 1, 0.5F, -0.5F, -1, -0.5F, 0.5F},
       {0, 0, 0.8660254F, 0.8660254F, 0, -0.8660254F, -0.8660254F}},
      {"parabola: every new node swaps", {0, 1, 2, 3, 4, 5, 6}, {0, 1, 4, 9, 16, 25, 36}},
      {"lattice 3x3 in x order", {0, 0, 0, 1, 1, 1, 2, 2, 2}, {0, 1, 2, 0, 1, 2, 0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const built b = build(c.x, c.y);
    const int n = static_cast<int>(c.x.size());
    ASSERT_EQ(b.ier, triang::trmesh_ier::ok);
    EXPECT_EQ(check_adjacency(n, c.x, c.y, b.iadj, b.iend), "");
    EXPECT_EQ(check_delaunay(n, c.x, c.y, b.iadj, b.iend), "");
  }
}

TEST(trmesh_test, non_finite_coordinate_is_reported_broken) {
  // The first fan is fine; locating node 4 never ends.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> x{0, 1, 0, nan, 0.5F};
  const std::vector<float> y{0, 0, 1, 0.5F, 0.25F};
  std::vector<int> iadj(21, unused);
  std::vector<int> iend(5, unused);
  int ier = -99;
  EXPECT_DEBUG_DEATH(triang::trmesh(5, x, y, iadj, iend, ier), "exceeded its bound");
#ifdef NDEBUG
  EXPECT_EQ(ier, triang::trmesh_ier::broken);
#endif
}

TEST(trmesh_test, unlinked_node_is_reported_broken) {
  // Nodes 2 and 3 coincide, and so do 4 and 5. The first fan is built on the
  // chain 2, 3, 1 with a zero-length arc, and locating node 5 at node 4
  // then answers "collinear". Node 5 is not linked in, so carrying on (or
  // reporting success) would leave its list end unset.
  const std::vector<float> x{2, 1, 1, 2, 2};
  const std::vector<float> y{1, 0, 0, 0, 0};
  const built b = build(x, y);
  EXPECT_EQ(b.ier, triang::trmesh_ier::broken);
}

// ---------------------------------------------------------------------------

struct grown {
  std::vector<float> x, y;
  std::vector<int> iadj, iend;
};

// The triangle 1 (0,0), 2 (1,0), 3 (0,1) with room for node 4 at (px, py).
grown one_triangle_and(float px, float py) {
  grown g{{0, 1, 0, px}, {0, 0, 1, py}, {2, 3, 0, 3, 1, 0, 1, 2, 0}, {3, 6, 9, unused}};
  g.iadj.resize(15, unused);
  return g;
}

TEST(adnode_test, adds_node_4_to_one_triangle) {
  struct add_case {
    const char* what;
    float px, py;
    std::vector<int> iadj, iend;
  };
  const add_case cases[] = {
      {"inside", 0.25F, 0.25F, {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 1, 2, 3}, {4, 8, 12, 15}},
      {"outside arc 2-3, then swapped",
       0.9F,
       0.9F,
       {2, 4, 3, 0, 4, 1, 0, 1, 4, 0, 3, 1, 2, 0},
       {4, 7, 10, 14}},
      {"outside arc 2-3 on the circle",
       1,
       1,
       {2, 3, 0, 4, 3, 1, 0, 1, 2, 4, 0, 3, 2, 0},
       {3, 7, 11, 14}},
      {"outside arc 2-3 beyond the circle",
       2,
       2,
       {2, 3, 0, 4, 3, 1, 0, 1, 2, 4, 0, 3, 2, 0},
       {3, 7, 11, 14}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    grown g = one_triangle_and(c.px, c.py);
    int ier = -99;
    triang::adnode(4, g.x, g.y, g.iadj, g.iend, ier);
    EXPECT_EQ(ier, triang::adnode_ier::ok);
    EXPECT_EQ(g.iend, c.iend);
    EXPECT_EQ(std::vector<int>(g.iadj.begin(), g.iadj.begin() + g.iend.back()), c.iadj);
  }
}

TEST(adnode_test, collinear_nodes_change_nothing) {
  // Nodes 1..3 on a line, linked as a chain without triangles; node 4 on
  // the same line. Point location answers (0, 0, 0).
  grown g{{0, 1, 3, 5}, {0, 0, 0, 0}, {2, 0, 3, 1, 0, 2, 0}, {2, 5, 7, unused}};
  g.iadj.resize(15, unused);
  const grown before = g;
  int ier = -99;
  triang::adnode(4, g.x, g.y, g.iadj, g.iend, ier);
  EXPECT_EQ(ier, triang::adnode_ier::collinear);
  EXPECT_EQ(g.iadj, before.iadj);
  EXPECT_EQ(g.iend, before.iend);
}

TEST(adnode_test, failed_location_is_reported_broken) {
  grown g = one_triangle_and(std::numeric_limits<float>::quiet_NaN(), 0.5F);
  int ier = -99;
  EXPECT_DEBUG_DEATH(triang::adnode(4, g.x, g.y, g.iadj, g.iend, ier), "exceeded its bound");
#ifdef NDEBUG
  EXPECT_EQ(ier, triang::adnode_ier::broken);
#endif
}

}  // namespace
}  // namespace tervox_test
