// The exact orientation that the construction checks its result with,
// against the GMP predicate of the tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "support/degenerate_sets.hpp"
#include "support/exact_predicates.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

// Triples from one line nudged by an ulp, and coordinates of every
// magnitude: where rounded arithmetic gets signs wrong, and where the quick
// double-precision answer must step aside for the expansion.
TEST(orientation_test, sign_is_exact) {
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
    ASSERT_EQ(triang::exact_orientation(p[0], p[1], p[2], p[3], p[4], p[5]),
              orientation(p[0], p[1], p[2], p[3], p[4], p[5]))
        << p[0] << " " << p[1] << " " << p[2] << " " << p[3] << " " << p[4] << " " << p[5];
  }
}

}  // namespace
}  // namespace tervox_test
