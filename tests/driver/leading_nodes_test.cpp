#include "leading_nodes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/degenerate_sets.hpp"
#include "support/exact_predicates.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// Where the arithmetic decides exactly, the check never refuses: the
// degenerate families that do, and generated surveys of every kind.
TEST(leading_nodes_test, exact_sets_and_surveys_pass) {
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 20); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      point_set p = f.make(d);
      if (p.x.size() < 3)
        continue;
      std::vector<int> ind(p.x.size());
      std::vector<float> z(p.x.size());
      triang::reordr(static_cast<int>(p.x.size()), 3, p.x, p.y, z, ind);
      EXPECT_TRUE(tervox::driver::leading_nodes_agree(p.x, p.y)) << describe(f, seed, p);
    }
  }
  for (const point_family pf : all_families) {
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
      point_set s = generate(pf, 200, seed);
      std::vector<int> ind(s.x.size());
      std::vector<float> z(s.x.size());
      triang::reordr(static_cast<int>(s.x.size()), 3, s.x, s.y, z, ind);
      EXPECT_TRUE(tervox::driver::leading_nodes_agree(s.x, s.y)) << family_name(pf) << " " << seed;
    }
  }
}

}  // namespace
}  // namespace tervox_test
