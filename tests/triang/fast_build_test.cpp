// The workspace construction (trmesh with work) against the in-place one:
// the same iadj, iend and ier, entry for entry, including the entries either
// leaves untouched, on every generated family, on degenerate sets and on sets
// that break the construction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// Untouched entries of iadj and iend keep this value.
constexpr int unused = -7;

struct result {
  std::vector<int> iadj;
  std::vector<int> iend;
  int ier = -99;
};

result prefilled(int n) {
  result r;
  r.iadj.assign(static_cast<std::size_t>(n >= 3 ? 6 * n - 9 : 1), unused);
  r.iend.assign(static_cast<std::size_t>(n > 0 ? n : 1), unused);
  return r;
}

result in_place(std::span<const float> x, std::span<const float> y) {
  const int n = static_cast<int>(x.size());
  result r = prefilled(n);
  triang::trmesh(n, x, y, r.iadj, r.iend, r.ier);
  return r;
}

// The workspace starts with arbitrary contents: the construction must not
// read what it has not written.
result with_workspace(std::span<const float> x, std::span<const float> y, std::size_t work_ints) {
  const int n = static_cast<int>(x.size());
  result r = prefilled(n);
  std::vector<int> work(work_ints);
  std::mt19937 gen(static_cast<std::uint32_t>(n));
  for (int& w : work) {
    w = static_cast<int>(gen());
  }
  triang::trmesh(n, x, y, r.iadj, r.iend, work, r.ier);
  return r;
}

result with_workspace(std::span<const float> x, std::span<const float> y) {
  return with_workspace(x, y, triang::trmesh_work_size(static_cast<int>(x.size())));
}

// The first difference, or "" when the two agree entirely.
std::string first_difference(const result& want, const result& got) {
  if (want.ier != got.ier) {
    return "ier " + std::to_string(got.ier) + ", want " + std::to_string(want.ier);
  }
  for (std::size_t i = 0; i < want.iend.size(); ++i) {
    if (want.iend[i] != got.iend[i]) {
      return "iend(" + std::to_string(i + 1) + ") " + std::to_string(got.iend[i]) + ", want " +
             std::to_string(want.iend[i]);
    }
  }
  for (std::size_t i = 0; i < want.iadj.size(); ++i) {
    if (want.iadj[i] != got.iadj[i]) {
      return "iadj(" + std::to_string(i + 1) + ") " + std::to_string(got.iadj[i]) + ", want " +
             std::to_string(want.iadj[i]);
    }
  }
  return "";
}

// Both constructions on the nodes as given; returns the in-place ier.
int expect_same(std::span<const float> x, std::span<const float> y) {
  const result want = in_place(x, y);
  EXPECT_EQ(first_difference(want, with_workspace(x, y)), "");
  return want.ier;
}

// Both constructions on the nodes ordered by x, as the driver hands them.
int expect_same_ordered(const point_set& points) {
  point_set p = points;
  std::vector<int> ind(p.x.size());
  triang::reordr(p.size(), 2, p.x, p.y, std::span<float>{}, ind);
  return expect_same(p.x, p.y);
}

std::string describe(point_family family, int size, std::uint32_t seed) {
  return std::string(family_name(family)) + ", " + std::to_string(size) + " points, seed " +
         std::to_string(seed);
}

TEST(fast_build_test, every_family_ordered_by_x) {
  constexpr int sizes[] = {3, 4, 5, 6, 7, 9, 12, 17, 25, 40, 64, 100, 250, 600, 1500, 4000};
  for (const point_family family : all_families) {
    for (const int size : sizes) {
      const int seed_count = size <= 100 ? 12 : size <= 600 ? 5 : 2;
      for (std::uint32_t seed = 1; seed <= static_cast<std::uint32_t>(seed_count); ++seed) {
        SCOPED_TRACE(describe(family, size, seed));
        expect_same_ordered(generate(family, size, seed));
      }
    }
  }
}

// Unordered nodes mostly land inside the triangulation (intadd) and make
// longer swap chains, where the interleaved cases of the swap matter.
TEST(fast_build_test, every_family_in_input_order) {
  constexpr int sizes[] = {4, 6, 10, 30, 100, 400, 2000};
  for (const point_family family : all_families) {
    for (const int size : sizes) {
      const int seed_count = size <= 100 ? 10 : 3;
      for (std::uint32_t seed = 1; seed <= static_cast<std::uint32_t>(seed_count); ++seed) {
        SCOPED_TRACE(describe(family, size, seed));
        const point_set p = generate(family, size, seed);
        expect_same(p.x, p.y);
      }
    }
  }
}

struct small_case {
  const char* what;
  std::vector<float> x, y;
  int ier;
};

TEST(fast_build_test, small_and_degenerate_sets) {
  const small_case cases[] = {
      {"no nodes", {}, {}, triang::trmesh_ier::too_few_nodes},
      {"two nodes", {0, 1}, {0, 0}, triang::trmesh_ier::too_few_nodes},
      {"one triangle", {0, 1, 0}, {0, 0, 1}, triang::trmesh_ier::ok},
      {"collinear, in order", {0, 1, 2, 3}, {0, 0, 0, 0}, triang::trmesh_ier::collinear},
      {"collinear, shuffled along y = 2x",
       {1, 0, 3, -1, 2},
       {2, 0, 6, -2, 4},
       triang::trmesh_ier::collinear},
      {"vertical line", {5, 5, 5, 5}, {1, 3, 2, 0}, triang::trmesh_ier::collinear},
      {"collinear start, then a fan", {0, 1, 2, 3, 1}, {0, 0, 0, 0, 1}, triang::trmesh_ier::ok},
      {"square: four nodes on a circle", {0, 1, 0, 1}, {0, 0, 1, 1}, triang::trmesh_ier::ok},
      {"coincident nodes 2-3 and 4-5",
       {2, 1, 1, 2, 2},
       {1, 0, 0, 0, 0},
       triang::trmesh_ier::broken},
      {"all nodes coincide", {3, 3, 3, 3}, {3, 3, 3, 3}, triang::trmesh_ier::collinear},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(expect_same(c.x, c.y), c.ier);
  }
}

// A non-finite coordinate makes point location give up; in debug builds both
// constructions stop on the assertion that reports it.
TEST(fast_build_test, non_finite_coordinate) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> x{0, 1, 0, nan, 0.5F};
  const std::vector<float> y{0, 0, 1, 0.5F, 0.25F};
#ifdef NDEBUG
  EXPECT_EQ(expect_same(x, y), triang::trmesh_ier::broken);
#else
  EXPECT_DEATH(with_workspace(x, y), "exceeded its bound");
#endif
}

// Points drawn from a small grid with repeats: coincident nodes, which break
// the construction at various stages (or not at all), and collinear runs.
TEST(fast_build_test, sets_with_coincident_nodes) {
  int broken = 0;
  for (const int side : {2, 3, 5}) {
    for (const int size : {5, 8, 12, 20, 40}) {
      for (std::uint32_t seed = 1; seed <= 25; ++seed) {
        SCOPED_TRACE(testing::Message()
                     << "grid " << side << ", " << size << " points, seed " << seed);
        std::mt19937 gen(seed);
        point_set p;
        for (int i = 0; i < size; ++i) {
          p.x.push_back(static_cast<float>(gen() % static_cast<std::uint32_t>(side)));
          p.y.push_back(static_cast<float>(gen() % static_cast<std::uint32_t>(side)));
        }
        if (expect_same_ordered(p) == triang::trmesh_ier::broken) {
          ++broken;
        }
      }
    }
  }
  // The sets are meant to reach the broken outcome, not only to succeed.
  EXPECT_GT(broken, 0);
}

// Every collinear set is refused the same way, with the chain in iend.
TEST(fast_build_test, collinear_sets) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 gen(seed);
    const int size = 3 + static_cast<int>(gen() % 60);
    point_set p;
    for (int i = 0; i < size; ++i) {
      // Quarter steps along y = 3x - 1: every coordinate exact.
      const float t = static_cast<float>(gen() % 256) * 0.25F;
      p.x.push_back(t);
      p.y.push_back(3.0F * t - 1.0F);
    }
    EXPECT_EQ(expect_same(p.x, p.y), triang::trmesh_ier::collinear);
  }
}

// A node joined to nearly every other one grows its list far beyond its first
// block, moving it again and again: a wheel of nodes around a centre, added
// after the centre, and a fan of nodes on a parabola seen from one node.
TEST(fast_build_test, nodes_of_high_degree) {
  for (const int spokes : {10, 100, 1000}) {
    SCOPED_TRACE(testing::Message() << spokes << " spokes");
    point_set wheel;
    wheel.x.push_back(0.0F);
    wheel.y.push_back(0.0F);
    std::mt19937 gen(static_cast<std::uint32_t>(spokes));
    for (int i = 0; i < spokes; ++i) {
      const float jitter = unit_draw(static_cast<std::uint32_t>(gen()));
      const double angle = 6.283185307179586 *
                           (static_cast<double>(i) + 0.5 * static_cast<double>(jitter)) /
                           static_cast<double>(spokes);
      wheel.x.push_back(static_cast<float>(std::cos(angle)));
      wheel.y.push_back(static_cast<float>(std::sin(angle)));
    }
    EXPECT_EQ(expect_same(wheel.x, wheel.y), triang::trmesh_ier::ok);
    EXPECT_EQ(expect_same_ordered(wheel), triang::trmesh_ier::ok);

    point_set fan;
    fan.x.push_back(0.0F);
    fan.y.push_back(-1.0F);
    for (int i = 0; i < spokes; ++i) {
      const float t = static_cast<float>(i) / static_cast<float>(spokes) - 0.5F;
      fan.x.push_back(t);
      fan.y.push_back(t * t);
    }
    EXPECT_EQ(expect_same(fan.x, fan.y), triang::trmesh_ier::ok);
    EXPECT_EQ(expect_same_ordered(fan), triang::trmesh_ier::ok);
  }
}

// With less workspace than asked for, or none, the call still gives the same
// result; a larger workspace is fine too.
TEST(fast_build_test, workspace_of_any_size) {
  const point_set p = generate(point_family::uniform, 500, 3);
  const result want = in_place(p.x, p.y);
  const std::size_t need = triang::trmesh_work_size(p.size());
  for (const std::size_t size : {std::size_t{0}, need / 2, need - 1, need, need + 1000}) {
    SCOPED_TRACE(testing::Message() << size << " ints of workspace");
    EXPECT_EQ(first_difference(want, with_workspace(p.x, p.y, size)), "");
  }
}

TEST(fast_build_test, work_size) {
  EXPECT_EQ(triang::trmesh_work_size(-1), 0U);
  EXPECT_EQ(triang::trmesh_work_size(2), 0U);
  EXPECT_EQ(triang::trmesh_work_size(3), 15U * 3 + 64);
  EXPECT_EQ(triang::trmesh_work_size(1'000'000), 15'000'064U);
  EXPECT_EQ(triang::trmesh_work_size(178'956'965), 15U * 178'956'965 + 64);
  EXPECT_EQ(triang::trmesh_work_size(178'956'966), 0U);
  EXPECT_EQ(triang::trmesh_work_size(std::numeric_limits<int>::max()), 0U);
}

// Large sets take seconds in place in an optimised build, and far longer in
// debug and sanitizer builds, which run a smaller one.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr int large = 100'000;
#else
constexpr int large = 10'000;
#endif

TEST(fast_build_test, large_sets) {
  for (const point_family family : {point_family::uniform, point_family::shared_x_lines,
                                    point_family::lattice, point_family::clustered}) {
    SCOPED_TRACE(describe(family, large, 7));
    EXPECT_EQ(expect_same_ordered(generate(family, large, 7)), triang::trmesh_ier::ok);
  }
}

}  // namespace
}  // namespace tervox_test
