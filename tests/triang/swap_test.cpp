#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "support/adjacency_check.hpp"
#include "support/exact_predicates.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

using triang::swap;
using triang::swptst;

struct point {
  float x;
  float y;
};

struct swptst_case {
  const char* name;
  point join1;
  point join2;
  point diag1;
  point diag2;
  bool swap;
};

constexpr float tiny = 0x1p-40F;
constexpr float tinier = 0x1p-80F;

// The quadrilateral join1, diag1, join2, diag2 runs counterclockwise.
TEST(swptst_test, decides_by_the_angles_facing_the_diagonal) {
  const swptst_case cases[] = {
      // Neither angle obtuse (here two right angles, four nodes on a circle).
      {"unit square", {1, 0}, {0, 1}, {1, 1}, {0, 0}, false},
      {"both angles acute", {0, -2}, {0, 2}, {1, 0}, {-1, 0}, false},
      // Both angles obtuse.
      {"flat rhombus", {0, -1}, {0, 1}, {2, 0}, {-2, 0}, true},
      // One obtuse angle: the sign of the sine of the sum decides.
      {"join2 on the circle", {0, -5}, {3, 4}, {4, 3}, {-4, 3}, false},
      {"join2 inside the circle", {0, -5}, {2, 4}, {4, 3}, {-4, 3}, true},
      {"join2 outside the circle", {0, -5}, {3, 5}, {4, 3}, {-4, 3}, false},
      // The same three quadrilaterals seen from the other side.
      {"on the circle, roles turned", {3, 4}, {0, -5}, {-4, 3}, {4, 3}, false},
      {"inside, roles turned", {2, 4}, {0, -5}, {-4, 3}, {4, 3}, true},
      {"outside, roles turned", {3, 5}, {0, -5}, {-4, 3}, {4, 3}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> x = {c.join1.x, c.join2.x, c.diag1.x, c.diag2.x};
    const std::vector<float> y = {c.join1.y, c.join2.y, c.diag1.y, c.diag2.y};
    EXPECT_EQ(swptst(1, 2, 3, 4, x, y), c.swap);
  }
}

// Where the prescribed rounding decides. Each row gives a different answer if
// its one rule is changed (the alternative answer in the comment).
TEST(swptst_test, rounds_exactly_where_prescribed) {
  const swptst_case cases[] = {
      // The inside-the-circle quadrilateral scaled by 2^-40: s12 = -320 * 2^-160
      // is below the smallest single-precision number and rounds to zero (kept
      // in double: true).
      {"s12 rounded to single",
       {0, -5 * tiny},
       {2 * tiny, 4 * tiny},
       {4 * tiny, 3 * tiny},
       {-4 * tiny, 3 * tiny},
       false},
      // The flat rhombus scaled by 2^-80: c1 = c2 = -3 * 2^-160 are negative
      // only in double precision (rounded to single: false).
      {"c1 and c2 kept in double",
       {0, -tinier},
       {0, tinier},
       {2 * tinier, 0},
       {-2 * tinier, 0},
       true},
      // Near-cocircular quadrilaterals spanning more than 2^24 units, where the
      // coordinate differences need more bits than single precision holds.
      {"differences rounded to single (unrounded: true)",
       {-2266212.0F, 8808590.0F},
       {-256823.625F, -7384414.0F},
       {-16040751.0F, -4273737.5F},
       {2719298.25F, -2352709.5F},
       false},
      {"s1 and s2 rounded to single (unrounded: false)",
       {12770099.0F, 7131940.0F},
       {-4469287.5F, 11649041.0F},
       {11582199.0F, 10132822.0F},
       {1909288.0F, -4940339.5F},
       true},
      // Each of these changes if one difference (or, in the first row, either
      // of two) is used unrounded.
      {"y(diag1) - y(join1) and x(diag2) - x(join2)",
       {9911875.0F, 1324666.375F},
       {-1289261.5F, -9916542.0F},
       {-357440.46875F, 9993610.0F},
       {3876375.25F, -9218119.0F},
       true},
      {"y(diag2) - y(join2)",
       {1498262.375F, 131809.40625F},
       {-2130468.0F, -4808782.0F},
       {-3431735.5F, 4999534.0F},
       {1416182.5F, -911674.3125F},
       false},
      {"y(diag1) - y(join2)",
       {-13256575.0F, 12800979.0F},
       {-8656229.0F, -4861891.5F},
       {-16999170.0F, 5128832.0F},
       {-5298542.0F, -4854189.0F},
       false},
      {"y(diag2) - y(join1)",
       {5999170.5F, 182148.921875F},
       {-7453989.5F, 18898406.0F},
       {3283469.0F, 10063881.0F},
       {-10398770.0F, -19673108.0F},
       false},
      {"x(diag1) - x(join2)",
       {-16993120.0F, 4629113.5F},
       {-1488077.625F, -3343782.75F},
       {-14348576.0F, -1782214.125F},
       {929085.375F, -1093406.625F},
       false},
      {"x(diag2) - x(join1)",
       {-2965714.25F, -2248865.5F},
       {3188149.0F, -4706395.0F},
       {1422785.625F, -4999404.0F},
       {4484388.5F, -4011661.0F},
       true},
      {"x(diag1) - x(join1) not rounded (rounded: true)",
       {8417370.0F, 5398877.5F},
       {-9829767.0F, 1837302.75F},
       {-6100921.5F, 7923304.5F},
       {-8617279.0F, -5073707.0F},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> x = {c.join1.x, c.join2.x, c.diag1.x, c.diag2.x};
    const std::vector<float> y = {c.join1.y, c.join2.y, c.diag1.y, c.diag2.y};
    EXPECT_EQ(swptst(1, 2, 3, 4, x, y), c.swap);
  }
}

// A rhombus whose long diagonal is the current arc, numbered three ways so
// that the lists losing an entry lie before, after, or among those gaining
// one.
struct swap_case {
  const char* name;
  std::array<int, 4> args;  // join1, join2, diag1, diag2
  std::vector<int> iadj;
  std::vector<int> iend;
  std::vector<int> iadj_after;
  std::vector<int> iend_after;
};

const swap_case rhombus_cases[] = {
    {"lists interleave",
     {2, 4, 3, 1},
     {2, 3, 4, 0, 3, 1, 0, 4, 1, 2, 0, 1, 3, 0},
     {4, 7, 11, 14},
     {2, 4, 0, 3, 4, 1, 0, 4, 2, 0, 1, 2, 3, 0},
     {3, 7, 10, 14}},
    {"losing lists first",
     {3, 4, 2, 1},
     {3, 2, 4, 0, 4, 1, 3, 0, 2, 1, 0, 1, 2, 0},
     {4, 8, 11, 14},
     {3, 4, 0, 4, 3, 0, 2, 4, 1, 0, 1, 3, 2, 0},
     {3, 6, 10, 14}},
    {"gaining lists first",
     {1, 2, 4, 3},
     {4, 3, 0, 3, 4, 0, 1, 4, 2, 0, 2, 3, 1, 0},
     {3, 6, 10, 14},
     {4, 2, 3, 0, 3, 1, 4, 0, 1, 2, 0, 2, 1, 0},
     {4, 8, 11, 14}},
};

TEST(swap_test, replaces_the_diagonal_in_place) {
  for (const auto& c : rhombus_cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> iadj = c.iadj;
    std::vector<int> iend = c.iend;
    swap(c.args[0], c.args[1], c.args[2], c.args[3], iadj, iend);
    EXPECT_EQ(iadj, c.iadj_after);
    EXPECT_EQ(iend, c.iend_after);
  }
}

// Every node of a rhombus is on the boundary, where a list has only one
// possible layout, so swapping back gives the starting arrays entry for entry.
TEST(swap_test, swapping_back_restores_the_arrays) {
  for (const auto& c : rhombus_cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> iadj = c.iadj_after;
    std::vector<int> iend = c.iend_after;
    const auto [join1, join2, diag1, diag2] = c.args;
    swap(diag1, diag2, join2, join1, iadj, iend);
    EXPECT_EQ(iadj, c.iadj);
    EXPECT_EQ(iend, c.iend);
  }
}

// ---------------------------------------------------------------------------
// Swaps of every convex quadrilateral of random triangulations
// ---------------------------------------------------------------------------

using node_lists = std::vector<std::vector<int>>;  // [node] -> list, node 0 unused

node_lists lists_of(int n, const std::vector<int>& iadj, const std::vector<int>& iend) {
  node_lists lists(static_cast<std::size_t>(n) + 1);
  int pos = 0;
  for (int node = 1; node <= n; ++node) {
    for (; pos < iend[static_cast<std::size_t>(node - 1)]; ++pos) {
      lists[static_cast<std::size_t>(node)].push_back(iadj[static_cast<std::size_t>(pos)]);
    }
  }
  return lists;
}

struct triangulation {
  int n = 0;
  std::vector<float> x;
  std::vector<float> y;
  std::vector<int> iadj;
  std::vector<int> iend;
};

// A jittered lattice, every cell cut by a random diagonal, nodes numbered in
// random order so that the four nodes of a quadrilateral fall in every
// relative order. The lists come straight from the triangles: in node k's list
// b follows a for every counterclockwise triangle (k, a, b); a boundary list
// starts at the neighbour nothing precedes, an interior list at a random one.
triangulation random_lattice(int cols, int rows, std::uint32_t seed) {
  std::mt19937 gen(seed);
  triangulation t;
  t.n = cols * rows;
  std::vector<int> number(static_cast<std::size_t>(t.n));
  std::iota(number.begin(), number.end(), 1);
  std::shuffle(number.begin(), number.end(), gen);
  t.x.resize(static_cast<std::size_t>(t.n));
  t.y.resize(static_cast<std::size_t>(t.n));
  const auto node_at = [&](int i, int j) { return number[static_cast<std::size_t>(j * cols + i)]; };
  const auto jitter = [&] { return static_cast<float>(gen() % 512) * 0x1p-10F - 0.25F; };
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < cols; ++i) {
      const auto k = static_cast<std::size_t>(node_at(i, j) - 1);
      // Boundary nodes stay on the lattice's edges, which keeps the
      // boundary convex.
      const float dx = jitter();
      const float dy = jitter();
      t.x[k] = static_cast<float>(i) + (i == 0 || i == cols - 1 ? 0.0F : dx);
      t.y[k] = static_cast<float>(j) + (j == 0 || j == rows - 1 ? 0.0F : dy);
    }
  }
  std::vector<std::map<int, int>> next(static_cast<std::size_t>(t.n) + 1);
  const auto add = [&](int a, int b, int c) {
    next[static_cast<std::size_t>(a)][b] = c;
    next[static_cast<std::size_t>(b)][c] = a;
    next[static_cast<std::size_t>(c)][a] = b;
  };
  for (int j = 0; j + 1 < rows; ++j) {
    for (int i = 0; i + 1 < cols; ++i) {
      const int p00 = node_at(i, j);
      const int p10 = node_at(i + 1, j);
      const int p11 = node_at(i + 1, j + 1);
      const int p01 = node_at(i, j + 1);
      if (gen() % 2 == 0) {
        add(p00, p10, p11);
        add(p00, p11, p01);
      } else {
        add(p00, p10, p01);
        add(p10, p11, p01);
      }
    }
  }
  for (int k = 1; k <= t.n; ++k) {
    const auto& succ = next[static_cast<std::size_t>(k)];
    int start = 0;
    for (const auto& [a, b] : succ) {
      const bool preceded = std::any_of(succ.begin(), succ.end(),
                                        [a = a](const auto& arc) { return arc.second == a; });
      if (!preceded) {
        start = a;
      }
    }
    const bool boundary = start != 0;
    if (!boundary) {
      auto it = succ.begin();
      std::advance(it, static_cast<long>(gen() % succ.size()));
      start = it->first;
    }
    int nb = start;
    do {
      t.iadj.push_back(nb);
      const auto it = succ.find(nb);
      nb = it == succ.end() ? 0 : it->second;
    } while (nb != 0 && nb != start);
    if (boundary) {
      t.iadj.push_back(triang::outside);
    }
    t.iend.push_back(static_cast<int>(t.iadj.size()));
  }
  return t;
}

bool same_cycle(const std::vector<int>& a, const std::vector<int>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  if (a.empty()) {
    return true;
  }
  const auto start = std::find(b.begin(), b.end(), a.front());
  if (start == b.end()) {
    return false;
  }
  std::vector<int> rotated(start, b.end());
  rotated.insert(rotated.end(), b.begin(), start);
  return rotated == a;
}

std::vector<int> without(std::vector<int> list, int nb) {
  list.erase(std::find(list.begin(), list.end(), nb));
  return list;
}

// "" when after is before with nb inserted between first and second (which
// follow each other in before, cyclically for an interior list).
std::string check_inserted(const std::vector<int>& before, const std::vector<int>& after, int nb,
                           int first, int second) {
  const auto at = std::find(before.begin(), before.end(), first);
  std::vector<int> expected = before;
  if (at + 1 != before.end()) {
    if (at[1] != second) {
      return "the quadrilateral's contract does not hold";
    }
    expected.insert(expected.begin() + (at - before.begin()) + 1, nb);
    return after == expected ? "" : "new neighbour not between the two diagonal ends";
  }
  // first ends an interior list and second starts it: either end will do.
  if (before.front() != second) {
    return "the quadrilateral's contract does not hold";
  }
  std::vector<int> appended = before;
  appended.push_back(nb);
  expected.insert(expected.begin(), nb);
  return after == expected || after == appended ? "" : "new neighbour not at either end";
}

// Every arc of three random triangulations whose quadrilateral is strictly
// convex is swapped on a copy. The result must be a valid triangulation, each
// list must change exactly as the swap prescribes (the diagonal's ends lose
// each other, the join nodes gain each other between the diagonal's ends,
// every other list and order stays), and swapping back must restore every
// list up to the rotation of an interior one, and iend exactly.
TEST(swap_test, swaps_every_convex_quadrilateral_of_random_triangulations) {
  int by_case[3] = {0, 0, 0};  // losing lists first, gaining lists first, mixed
  for (std::uint32_t seed : {1U, 2U, 3U}) {
    const triangulation t = random_lattice(9, 8, seed);
    ASSERT_EQ(check_adjacency(t.n, t.x, t.y, t.iadj, t.iend), "");
    const node_lists before = lists_of(t.n, t.iadj, t.iend);
    const auto orient = [&](int a, int b, int c) {
      const auto ua = static_cast<std::size_t>(a - 1);
      const auto ub = static_cast<std::size_t>(b - 1);
      const auto uc = static_cast<std::size_t>(c - 1);
      return orientation(t.x[ua], t.y[ua], t.x[ub], t.y[ub], t.x[uc], t.y[uc]);
    };
    for (int diag1 = 1; diag1 <= t.n; ++diag1) {
      const auto& list1 = before[static_cast<std::size_t>(diag1)];
      for (std::size_t q = 0; q < list1.size(); ++q) {
        // Triangle (diag1, diag2, join1): join1 follows diag2 in diag1's list.
        const int diag2 = list1[q];
        const int join1 = list1[(q + 1) % list1.size()];
        if (diag2 == triang::outside || join1 == triang::outside) {
          continue;
        }
        const auto& list2 = before[static_cast<std::size_t>(diag2)];
        const auto at = std::find(list2.begin(), list2.end(), diag1);
        const int join2 = at + 1 == list2.end() ? list2.front() : at[1];
        if (join2 == triang::outside || orient(join1, diag1, join2) <= 0 ||
            orient(join2, diag2, join1) <= 0) {
          continue;
        }
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", swap(" << join1 << ", " << join2
                                        << ", " << diag1 << ", " << diag2 << ")");
        const int a = std::min(join1, join2);
        const int b = std::max(join1, join2);
        ++by_case[std::max(diag1, diag2) < a ? 0 : b < std::min(diag1, diag2) ? 1 : 2];

        std::vector<int> iadj = t.iadj;
        std::vector<int> iend = t.iend;
        swap(join1, join2, diag1, diag2, iadj, iend);
        ASSERT_EQ(check_adjacency(t.n, t.x, t.y, iadj, iend), "");
        const node_lists after = lists_of(t.n, iadj, iend);
        for (int node = 1; node <= t.n; ++node) {
          SCOPED_TRACE(testing::Message() << "list of node " << node);
          const auto& old_list = before[static_cast<std::size_t>(node)];
          const auto& new_list = after[static_cast<std::size_t>(node)];
          if (node == diag1 || node == diag2) {
            EXPECT_EQ(new_list, without(old_list, node == diag1 ? diag2 : diag1));
          } else if (node == join1) {
            EXPECT_EQ(check_inserted(old_list, new_list, join2, diag1, diag2), "");
          } else if (node == join2) {
            EXPECT_EQ(check_inserted(old_list, new_list, join1, diag2, diag1), "");
          } else {
            EXPECT_EQ(new_list, old_list);
          }
        }

        swap(diag1, diag2, join2, join1, iadj, iend);
        EXPECT_EQ(iend, t.iend);
        const node_lists back = lists_of(t.n, iadj, iend);
        for (int node = 1; node <= t.n; ++node) {
          EXPECT_TRUE(same_cycle(back[static_cast<std::size_t>(node)],
                                 before[static_cast<std::size_t>(node)]))
              << "list of node " << node << " after swapping back";
        }
        if (HasFailure()) {
          return;
        }
      }
    }
  }
  // The lattices must have exercised all three ways the lists can lie.
  EXPECT_GT(by_case[0], 0);
  EXPECT_GT(by_case[1], 0);
  EXPECT_GT(by_case[2], 0);
}

}  // namespace
}  // namespace tervox_test
