#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/adjacency_check.hpp"
#include "support/exact_predicates.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// A structure with room for one more node: iadj is sized 6n-9 for the new n
// and only its used part is compared.
struct structure {
  std::vector<float> x;
  std::vector<float> y;
  std::vector<int> iadj;
  std::vector<int> iend;
};

// The triangle 1 (0,0), 2 (1,0), 3 (0,1).
const std::vector<int> triangle_iadj = {2, 3, 0, 3, 1, 0, 1, 2, 0};
const std::vector<int> triangle_iend = {3, 6, 9};

// 1 (0,0), 2 (2,0), 3 (1,0), 4 (1,1): triangles 1-3-4 and 3-2-4, all nodes on
// the boundary, node 3 between 1 and 2 on a straight stretch of it.
const std::vector<int> kite_iadj = {3, 4, 0, 4, 3, 0, 2, 4, 1, 0, 1, 3, 2, 0};
const std::vector<int> kite_iend = {3, 6, 10, 14};

// 1 (0,0), 2 (1,0), 3 (2,0), 4 (3,0) on a line and 5 (1,-1) below it: the
// boundary runs 1, 5, 4, 3, 2, so 2 and 3 lie on a straight stretch of it.
const std::vector<int> chain_iadj = {5, 2, 0, 1, 5, 3, 0, 2, 5, 4, 0, 3, 5, 0, 4, 3, 2, 1, 0};
const std::vector<int> chain_iend = {3, 7, 11, 14, 19};

// The triangle with node 4 (0.25, 0.25) linked inside.
const std::vector<int> fan_iadj = {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 1, 2, 3};
const std::vector<int> fan_iend = {4, 8, 12, 15};

structure with_new_node(std::vector<float> x, std::vector<float> y, const std::vector<int>& iadj,
                        const std::vector<int>& iend) {
  const int n = static_cast<int>(x.size());
  structure s{std::move(x), std::move(y), iadj, iend};
  s.iadj.resize(static_cast<std::size_t>(6 * n - 9), -99);
  s.iend.resize(static_cast<std::size_t>(n), -99);
  return s;
}

std::vector<int> used(const structure& s) {
  return {s.iadj.begin(), s.iadj.begin() + s.iend.back()};
}

struct insert_case {
  const char* name;
  structure before;
  int nv1;
  int nv2;
  int nv3;  // 0 (outside): bdyadd
  std::vector<int> iadj;
  std::vector<int> iend;
};

// Exact layouts, and the result must be a valid triangulation of the points.
TEST(insert_test, links_the_new_node_into_every_list) {
  const insert_case cases[] = {
      {"intadd in a triangle",
       with_new_node({0, 1, 0, 0.25F}, {0, 0, 1, 0.25F}, triangle_iadj, triangle_iend),
       1,
       2,
       3,
       {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 1, 2, 3},
       {4, 8, 12, 15}},
      // The other lists do not depend on which vertex comes first.
      {"intadd, vertices rotated",
       with_new_node({0, 1, 0, 0.25F}, {0, 0, 1, 0.25F}, triangle_iadj, triangle_iend),
       3,
       1,
       2,
       {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 3, 1, 2},
       {4, 8, 12, 15}},
      // Node 4's list is cyclic and 3 is its last entry: node 5 goes after 3,
      // at the very end of the list (and of the old iadj, so nothing shifts
      // there).
      {"intadd next to an interior node",
       with_new_node({0, 1, 0, 0.25F, 0.05F}, {0, 0, 1, 0.25F, 0.4F}, fan_iadj, fan_iend),
       4,
       3,
       1,
       {2, 4, 5, 3, 0, 3, 4, 1, 0, 1, 5, 4, 2, 0, 1, 2, 3, 5, 4, 3, 1},
       {5, 9, 14, 18, 21}},
      {"bdyadd beyond one arc, nv1 > nv2",
       with_new_node({0, 1, 0, 1}, {0, 0, 1, 1}, triangle_iadj, triangle_iend),
       3,
       2,
       triang::outside,
       {2, 3, 0, 4, 3, 1, 0, 1, 2, 4, 0, 3, 2, 0},
       {3, 7, 11, 14}},
      {"bdyadd beyond one arc, nv1 < nv2",
       with_new_node({0, 1, 0, -1}, {0, 0, 1, 0.5F}, triangle_iadj, triangle_iend),
       1,
       3,
       triang::outside,
       {2, 3, 4, 0, 3, 1, 0, 4, 1, 2, 0, 1, 3, 0},
       {4, 7, 11, 14}},
      // Node 3 lay on the boundary between 2 and 1 and becomes interior.
      {"bdyadd beyond a straight stretch, nv1 > nv2",
       with_new_node({0, 2, 1, 1, 1}, {0, 0, 0, 1, -1}, kite_iadj, kite_iend),
       2,
       1,
       triang::outside,
       {5, 3, 4, 0, 4, 3, 5, 0, 2, 4, 1, 5, 1, 3, 2, 0, 2, 3, 1, 0},
       {4, 8, 12, 16, 20}},
      // Nodes 2 and 3 become interior; nv1 now has the lower number.
      {"bdyadd beyond a straight stretch, nv1 < nv2",
       with_new_node({0, 1, 2, 3, 1, 1.5F}, {0, 0, 0, 0, -1, 1}, chain_iadj, chain_iend),
       1,
       4,
       triang::outside,
       {5, 2, 6, 0, 1, 5, 3, 6, 2, 5, 4, 6, 6, 3, 5, 0, 4, 3, 2, 1, 0, 1, 2, 3, 4, 0},
       {4, 8, 12, 16, 21, 26}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    structure s = c.before;
    const int knew = static_cast<int>(s.x.size());
    if (c.nv3 == triang::outside) {
      triang::bdyadd(knew, c.nv1, c.nv2, s.iadj, s.iend);
    } else {
      triang::intadd(knew, c.nv1, c.nv2, c.nv3, s.iadj, s.iend);
    }
    EXPECT_EQ(s.iend, c.iend);
    EXPECT_EQ(used(s), c.iadj);
    EXPECT_EQ(check_adjacency(knew, s.x, s.y, s.iadj, s.iend), "");
  }
}

// Where a new point falls in the triangulation of the nodes before it, found
// by brute force over every triangle and boundary arc.
struct location {
  bool usable = false;  // false: on the line of an arc, which needs the swap logic
  int nv1 = 0;
  int nv2 = 0;
  int nv3 = 0;
};

location locate(int n, float px, float py, const std::vector<float>& x, const std::vector<float>& y,
                const std::vector<int>& iadj, const std::vector<int>& iend) {
  const auto orient = [&](int a, int b) {
    return orientation(x[static_cast<std::size_t>(a - 1)], y[static_cast<std::size_t>(a - 1)],
                       x[static_cast<std::size_t>(b - 1)], y[static_cast<std::size_t>(b - 1)], px,
                       py);
  };
  const auto first = [&](int node) {
    return node == 1 ? 1 : iend[static_cast<std::size_t>(node - 2)] + 1;
  };
  const auto at = [&](int pos) { return iadj[static_cast<std::size_t>(pos - 1)]; };
  location loc;
  for (int k = 1; k <= n; ++k) {
    const int f = first(k);
    const int l = iend[static_cast<std::size_t>(k - 1)];
    for (int pos = f; pos <= l; ++pos) {
      const int a = at(pos);
      const int b = pos == l ? at(f) : at(pos + 1);
      if (a == triang::outside || b == triang::outside) {
        continue;
      }
      const int o1 = orient(k, a);
      const int o2 = orient(a, b);
      const int o3 = orient(b, k);
      if (o1 >= 0 && o2 >= 0 && o3 >= 0) {
        loc.usable = o1 > 0 && o2 > 0 && o3 > 0;
        loc.nv1 = k;
        loc.nv2 = a;
        loc.nv3 = b;
        return loc;
      }
    }
  }
  // Outside: the boundary arcs k -> next(k) that have the point strictly on
  // their right are visible, and they form one run; nv2 starts it, nv1 ends it.
  for (int k = 1; k <= n; ++k) {
    const int l = iend[static_cast<std::size_t>(k - 1)];
    if (at(l) != triang::outside) {
      continue;
    }
    const int next = at(first(k));
    const int prev = at(l - 1);
    const int here = orient(k, next);
    if (here == 0) {
      return loc;
    }
    if (here < 0 && orient(prev, k) >= 0) {
      loc.nv2 = k;
    }
    if (here < 0 && orient(next, at(first(next))) >= 0) {
      loc.nv1 = next;
    }
  }
  loc.usable = loc.nv1 != 0 && loc.nv2 != 0;
  return loc;
}

// Links random points one after another, each where brute force finds it,
// and checks the whole structure after every insertion: the lists of the
// neighbours of the new node and the list ends of every later node have to
// come out right however the three or many insertion points fall.
TEST(insert_test, random_insertions_keep_a_valid_triangulation) {
  struct random_case {
    const char* name;
    std::uint32_t seed;
    bool sorted_by_x;  // the driver's order: most new nodes lie outside
  };
  const random_case cases[] = {
      {"scattered", 1, false},
      {"scattered", 2, false},
      {"by increasing x", 3, true},
      {"by increasing x", 4, true},
  };
  const int n = 250;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << ", seed " << c.seed);
    std::mt19937 gen(c.seed);
    // Integer coordinates keep the check exact and the points in general
    // position often enough; points on the line of an arc are skipped. The
    // first three form a counterclockwise triangle.
    std::vector<float> x = {0, 1, 1};
    std::vector<float> y = {2048, 0, 4095};
    if (!c.sorted_by_x) {
      x = {100, 4000, 2000};
      y = {100, 300, 3900};
    }
    std::vector<int> iadj(static_cast<std::size_t>(6 * n - 9), -99);
    std::vector<int> iend(static_cast<std::size_t>(n), -99);
    std::copy(triangle_iadj.begin(), triangle_iadj.end(), iadj.begin());
    std::copy(triangle_iend.begin(), triangle_iend.end(), iend.begin());
    int inside = 0;
    int outside = 0;
    while (static_cast<int>(x.size()) < n) {
      const int knew = static_cast<int>(x.size()) + 1;
      const float px = c.sorted_by_x ? static_cast<float>(knew) : static_cast<float>(gen() % 4096);
      const float py = static_cast<float>(gen() % 4096);
      const location loc = locate(knew - 1, px, py, x, y, iadj, iend);
      if (!loc.usable) {
        continue;
      }
      x.push_back(px);
      y.push_back(py);
      if (loc.nv3 == triang::outside) {
        triang::bdyadd(knew, loc.nv1, loc.nv2, iadj, iend);
        ++outside;
      } else {
        triang::intadd(knew, loc.nv1, loc.nv2, loc.nv3, iadj, iend);
        ++inside;
      }
      const std::string problem = check_adjacency(knew, x, y, iadj, iend);
      if (!problem.empty()) {
        ADD_FAILURE() << "after adding node " << knew << ": " << problem;
        break;
      }
    }
    EXPECT_GT(outside, 0);
    if (!c.sorted_by_x) {
      EXPECT_GT(inside, 0);
    }
  }
}

}  // namespace
}  // namespace tervox_test
