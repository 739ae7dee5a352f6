#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "triang/triang.hpp"

namespace tervox_test {
namespace {

using triang::permut;
using triang::qsort;
using triang::reordr;

#ifdef NDEBUG
constexpr bool debug_build = false;
#else
constexpr bool debug_build = true;
#endif

std::vector<float> keys_mod(int n, int mod) {
  std::vector<float> a(static_cast<std::size_t>(n));
  for (int q = 1; q <= n; ++q) {
    a[static_cast<std::size_t>(q - 1)] = static_cast<float>(q % mod);
  }
  return a;
}

std::vector<int> sorted_order(const std::vector<float>& a) {
  std::vector<int> ind(a.size(), -7);
  qsort(static_cast<int>(a.size()), a, ind);
  return ind;
}

// "" when ind is a permutation of 1..n that puts a in nondecreasing order,
// else what is wrong.
std::string check_sorts(const std::vector<float>& a, const std::vector<int>& ind) {
  const int n = static_cast<int>(a.size());
  std::vector<bool> seen(a.size() + 1, false);
  for (int q = 0; q < n; ++q) {
    const int e = ind[static_cast<std::size_t>(q)];
    if (e < 1 || e > n || seen[static_cast<std::size_t>(e)]) {
      return "ind[" + std::to_string(q + 1) + "] = " + std::to_string(e) + " is not a new entry";
    }
    seen[static_cast<std::size_t>(e)] = true;
  }
  for (int q = 1; q < n; ++q) {
    const float lo = a[static_cast<std::size_t>(ind[static_cast<std::size_t>(q - 1)] - 1)];
    const float hi = a[static_cast<std::size_t>(ind[static_cast<std::size_t>(q)] - 1)];
    if (!(lo <= hi)) {
      return "keys out of order at position " + std::to_string(q + 1);
    }
  }
  return "";
}

// The order of equal keys is fixed by the sort's own steps (split fraction,
// split position, strict scans, insertion only past greater keys, lower part
// first on a tie), so these index orders are exact. The longer mod-3 rows
// change if any one of those steps changes.
struct order_case {
  const char* name;
  std::vector<float> keys;
  std::vector<int> ind;
};

TEST(qsort_test, index_orders_of_tied_keys) {
  const order_case cases[] = {
      {"distinct", {3, 1, 2}, {2, 3, 1}},
      {"five equal", std::vector<float>(5, 4.0F), {1, 4, 3, 2, 5}},
      // Twelve entries are the smallest segment that is partitioned; the
      // pieces of the split are finished by straight insertion.
      {"twelve equal", std::vector<float>(12, -1.5F), {1, 8, 9, 10, 11, 7, 6, 5, 4, 3, 2, 12}},
      {"thirteen equal", std::vector<float>(13, 0.0F), {1, 9, 10, 11, 12, 8, 7, 6, 5, 4, 3, 2, 13}},
      {"alternating", {2, 1, 2, 1, 2, 1}, {6, 2, 4, 5, 1, 3}},
      {"q mod 3, n = 24", keys_mod(24, 3), {24, 18, 9,  15, 6, 12, 21, 3,  16, 22, 13, 19,
                                            7,  4,  10, 1,  8, 17, 5,  20, 14, 2,  23, 11}},
      {"q mod 3, n = 40", keys_mod(40, 3), {33, 12, 30, 27, 15, 24, 18, 9,  21, 39, 3,  36, 6,  28,
                                            37, 25, 34, 31, 22, 1,  10, 19, 7,  40, 16, 4,  13, 35,
                                            5,  38, 2,  8,  32, 20, 11, 29, 14, 26, 23, 17}},
      {"q mod 4, n = 30", keys_mod(30, 4), {12, 20, 24, 4,  28, 16, 8,  17, 21, 1,
                                            29, 25, 13, 5,  9,  14, 2,  26, 6,  22,
                                            30, 18, 10, 19, 23, 11, 27, 3,  15, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> before = c.keys;
    EXPECT_EQ(sorted_order(c.keys), c.ind);
    EXPECT_EQ(c.keys, before);  // the keys are never moved
  }
}

TEST(qsort_test, n_below_two) {
  std::vector<float> a = {5.0F, 1.0F};
  std::vector<int> ind = {-7, -8};
  qsort(0, a, ind);
  EXPECT_EQ(ind, (std::vector<int>{-7, -8}));
  qsort(-3, a, ind);
  EXPECT_EQ(ind, (std::vector<int>{-7, -8}));
  qsort(1, a, ind);
  EXPECT_EQ(ind, (std::vector<int>{1, -8}));
}

TEST(qsort_test, infinities_and_signed_zeros_sort_as_numbers) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> a = {inf,   0.0F, -inf,  -0.0F, 1.0F, -inf,  3.0F, inf,
                                -2.0F, 0.0F, -0.0F, 7.0F,  inf,  -1.0F, 2.0F};
  EXPECT_EQ(check_sorts(a, sorted_order(a)), "");
}

// Random keys drawn from a handful of values, so that most keys are tied: ind
// must be a permutation that sorts them, whatever the ties do to the
// partitioning. The largest size runs the deferred-segment stack deep.
TEST(qsort_test, sorts_random_keys_with_many_ties) {
  struct random_case {
    int n;
    std::uint32_t distinct;
  };
  const random_case cases[] = {{2, 2},     {3, 1},     {11, 3},     {12, 2},        {13, 2},
                               {23, 5},    {24, 3},    {100, 2},    {257, 7},       {1000, 3},
                               {4096, 16}, {10007, 2}, {65536, 50}, {1 << 20, 1000}};
  std::mt19937 gen(20240611);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << ", " << c.distinct << " distinct keys");
    std::vector<float> a(static_cast<std::size_t>(c.n));
    for (auto& key : a) {
      key = static_cast<float>(gen() % c.distinct) * 0.5F - 3.0F;
    }
    EXPECT_EQ(check_sorts(a, sorted_order(a)), "");
  }
}

// Patterns that decide the partition sizes: already sorted, reversed, organ
// pipe, and all equal. With all keys equal every scan stops at once, so each
// split is an exact half and log2(n) segments are pending at the deepest
// point: 22 for 2^22 keys, one more than 21 pairs of stack would hold.
TEST(qsort_test, sorts_structured_keys) {
  const int n = (1 << 16) + 3;
  std::vector<float> ascending(static_cast<std::size_t>(n));
  std::iota(ascending.begin(), ascending.end(), -1000.0F);
  std::vector<float> descending(ascending.rbegin(), ascending.rend());
  std::vector<float> equal(std::size_t{1} << 22, 2.5F);
  std::vector<float> organ(static_cast<std::size_t>(n));
  for (int q = 0; q < n; ++q) {
    organ[static_cast<std::size_t>(q)] = static_cast<float>(std::min(q, n - q));
  }
  EXPECT_EQ(check_sorts(ascending, sorted_order(ascending)), "");
  EXPECT_EQ(check_sorts(descending, sorted_order(descending)), "");
  EXPECT_EQ(check_sorts(equal, sorted_order(equal)), "");
  EXPECT_EQ(check_sorts(organ, sorted_order(organ)), "");
}

std::string check_permutation(std::vector<int> ind) {
  std::sort(ind.begin(), ind.end());
  for (std::size_t q = 0; q < ind.size(); ++q) {
    if (ind[q] != static_cast<int>(q) + 1) {
      return "not a permutation of 1.." + std::to_string(ind.size());
    }
  }
  return "";
}

// A not-a-number key compares false with everything, which removes the key
// that normally stops the insertion pass at the front of a segment. Whatever
// order comes out, ind must stay a permutation and nothing may be read or
// written outside the arrays.
TEST(qsort_test, not_a_number_keys_give_a_permutation) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // The not-a-number key sits at the first split position and becomes the
  // pivot; the partition then leaves the smallest key above larger ones, and
  // the insertion pass, stopped by nothing, would run off the front of ind.
  const std::vector<float> nan_pivot = {59, 56, 18, 48, 1,  69, 93, nan, 8,  40,
                                        82, 52, 84, 50, 16, 39, 94, 12,  21, 12};
  EXPECT_EQ(check_permutation(sorted_order(nan_pivot)), "");

  std::mt19937 gen(7);
  for (int n : {2, 3, 12, 13, 40, 333, 5000}) {
    for (int every : {1, 2, 5, 17}) {
      SCOPED_TRACE(testing::Message() << "n " << n << ", every " << every << "th key NaN");
      std::vector<float> a(static_cast<std::size_t>(n));
      for (int q = 0; q < n; ++q) {
        a[static_cast<std::size_t>(q)] =
            q % every == 0 ? nan : static_cast<float>(static_cast<int>(gen() % 9) - 4);
      }
      EXPECT_EQ(check_permutation(sorted_order(a)), "");
    }
  }
}

TEST(permut_test, applies_the_permutation_and_restores_ip) {
  struct permut_case {
    const char* name;
    std::vector<int> ip;
    std::vector<float> a;
    std::vector<float> expected;
  };
  const permut_case cases[] = {
      {"one cycle", {3, 1, 2}, {10, 20, 30}, {30, 10, 20}},
      {"identity", {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"cycles and fixed points",
       {2, 1, 3, 6, 4, 5, 7},
       {10, 20, 30, 40, 50, 60, 70},
       {20, 10, 30, 60, 40, 50, 70}},
      {"reversal", {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> ip = c.ip;
    std::vector<float> a = c.a;
    permut(static_cast<int>(ip.size()), ip, a);
    EXPECT_EQ(a, c.expected);
    EXPECT_EQ(ip, c.ip);
  }
}

TEST(permut_test, n_below_two_does_nothing) {
  std::vector<int> ip = {2, 1};
  std::vector<float> a = {10, 20};
  permut(1, ip, a);
  permut(0, ip, a);
  EXPECT_EQ(a, (std::vector<float>{10, 20}));
  EXPECT_EQ(ip, (std::vector<int>{2, 1}));
}

// a[q] must end up holding the former a[ip[q]], for random permutations with
// cycles of every length.
TEST(permut_test, matches_out_of_place_application) {
  std::mt19937 gen(99);
  for (int n : {2, 3, 10, 1000, 100003}) {
    SCOPED_TRACE(testing::Message() << "n " << n);
    std::vector<int> ip(static_cast<std::size_t>(n));
    std::iota(ip.begin(), ip.end(), 1);
    std::shuffle(ip.begin(), ip.end(), gen);
    std::vector<float> a(static_cast<std::size_t>(n));
    for (auto& v : a) {
      v = static_cast<float>(gen() >> 8);
    }
    std::vector<float> expected(a.size());
    for (std::size_t q = 0; q < a.size(); ++q) {
      expected[q] = a[static_cast<std::size_t>(ip[q] - 1)];
    }
    const std::vector<int> ip_before = ip;
    permut(n, ip, a);
    EXPECT_EQ(a, expected);
    EXPECT_EQ(ip, ip_before);
  }
}

// An ip that is not a permutation of 1..n asserts in debug builds. Otherwise
// nothing outside the arrays is touched and ip comes back as it was; an entry
// outside 1..n is found before anything moves, a repeated entry only while
// following a cycle (a then keeps each of its values once).
TEST(permut_test, rejects_what_is_not_a_permutation) {
  struct bad_case {
    const char* name;
    std::vector<int> ip;
    bool a_untouched;
  };
  const bad_case cases[] = {
      {"entry above n", {2, 3, 4}, true},         {"zero entry", {0, 1, 2}, true},
      {"negative entry", {2, -1, 3}, true},       {"repeated entry", {2, 3, 2, 4}, false},
      {"repeated fixed point", {1, 1, 3}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.ip.size());
    std::vector<int> ip = c.ip;
    std::vector<float> a(c.ip.size());
    std::iota(a.begin(), a.end(), 1.0F);
    const std::vector<float> a_before = a;
    EXPECT_DEBUG_DEATH(permut(n, ip, a), "permut");
    if (!debug_build) {
      EXPECT_EQ(ip, c.ip);
      if (c.a_untouched) {
        EXPECT_EQ(a, a_before);
      } else {
        std::vector<float> values = a;
        std::sort(values.begin(), values.end());
        EXPECT_EQ(values, a_before);
      }
    }
  }
}

TEST(reordr_test, sorts_by_the_first_array_and_carries_iflag_arrays) {
  struct reordr_case {
    int iflag;
    std::vector<float> a;
    std::vector<float> b;
    std::vector<float> c;
  };
  const std::vector<float> a0 = {3, 1, 2};
  const std::vector<float> b0 = {30, 10, 20};
  const std::vector<float> c0 = {300, 100, 200};
  const std::vector<float> a1 = {1, 2, 3};
  const std::vector<float> b1 = {10, 20, 30};
  const std::vector<float> c1 = {100, 200, 300};
  const reordr_case cases[] = {
      {-1, a0, b0, c0}, {0, a0, b0, c0}, {1, a1, b0, c0},
      {2, a1, b1, c0},  {3, a1, b1, c1}, {4, a1, b1, c1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "iflag " << c.iflag);
    std::vector<float> a = a0;
    std::vector<float> b = b0;
    std::vector<float> cc = c0;
    std::vector<int> ind(3, -1);
    reordr(3, c.iflag, a, b, cc, ind);
    EXPECT_EQ(ind, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(a, c.a);
    EXPECT_EQ(b, c.b);
    EXPECT_EQ(cc, c.c);
  }
}

// Nodes with equal x keep the procedure's tie order, and y travels with x.
TEST(reordr_test, companion_arrays_follow_tied_keys) {
  std::vector<float> x(12, 1.0F);
  std::vector<float> y(12);
  std::iota(y.begin(), y.end(), 1.0F);
  std::vector<float> z(y);
  std::vector<int> ind(12);
  reordr(12, 3, x, y, z, ind);
  const std::vector<float> expected = {1, 8, 9, 10, 11, 7, 6, 5, 4, 3, 2, 12};
  EXPECT_EQ(y, expected);
  EXPECT_EQ(z, expected);
  EXPECT_EQ(x, std::vector<float>(12, 1.0F));
}

}  // namespace
}  // namespace tervox_test
