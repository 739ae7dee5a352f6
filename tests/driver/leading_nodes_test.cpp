#include "leading_nodes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/degenerate_sets.hpp"
#include "support/exact_predicates.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// Against the GMP predicate: triples from one line nudged by an ulp, and
// coordinates of every magnitude, where rounded arithmetic gets signs wrong.
TEST(leading_nodes_test, orientation_is_exact) {
  std::mt19937 gen(11);
  const auto unit = [&gen] { return unit_draw(static_cast<std::uint32_t>(gen())); };
  for (int i = 0; i < 20000; ++i) {
    float p[6];
    if (i % 2 == 0) {
      // On the line y = s*x + c, rounded, then nudged.
      const float s = unit() * 4 - 2;
      for (int k = 0; k < 3; ++k) {
        p[2 * k] = std::ldexp(unit() * 2 - 1, static_cast<int>(gen() % 40) - 20);
        p[2 * k + 1] =
            nudge(static_cast<float>(static_cast<double>(s) * static_cast<double>(p[2 * k]) + 0.25),
                  static_cast<int>(gen() % 3) - 1);
      }
    } else {
      for (float& v : p) v = std::ldexp(unit() * 2 - 1, static_cast<int>(gen() % 261) - 140);
    }
    ASSERT_EQ(tervox::exact_orientation(p[0], p[1], p[2], p[3], p[4], p[5]),
              orientation(p[0], p[1], p[2], p[3], p[4], p[5]))
        << p[0] << " " << p[1] << " " << p[2] << " " << p[3] << " " << p[4] << " " << p[5];
  }
}

// Where the arithmetic decides exactly, the check never refuses: the
// degenerate families that do, and generated surveys of every kind.
TEST(leading_nodes_test, exact_sets_and_surveys_pass) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 20); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      points p = f.make(d);
      if (p.x.size() < 3)
        continue;
      std::vector<int> ind(p.x.size());
      std::vector<float> z(p.x.size());
      triang::reordr(static_cast<int>(p.x.size()), 3, p.x, p.y, z, ind);
      EXPECT_TRUE(tervox::leading_nodes_agree(p.x, p.y)) << describe(f, seed, p);
    }
  }
  for (const point_family pf : all_families) {
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
      point_set s = generate(pf, 200, seed);
      std::vector<int> ind(s.x.size());
      std::vector<float> z(s.x.size());
      triang::reordr(static_cast<int>(s.x.size()), 3, s.x, s.y, z, ind);
      EXPECT_TRUE(tervox::leading_nodes_agree(s.x, s.y)) << family_name(pf) << " " << seed;
    }
  }
}

}  // namespace
}  // namespace tervox_test
