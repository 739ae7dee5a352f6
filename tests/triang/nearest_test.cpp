// The nearest-node walk against a brute-force search over every node, on
// every generated family: the walk must find a node at the least distance,
// from any start node.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

double brute_force_dsq(const mesh& m, float px, float py) {
  double best = std::numeric_limits<double>::infinity();
  for (int k = 0; k < m.n; ++k) {
    const double dx =
        static_cast<double>(m.x[static_cast<std::size_t>(k)]) - static_cast<double>(px);
    const double dy =
        static_cast<double>(m.y[static_cast<std::size_t>(k)]) - static_cast<double>(py);
    best = std::min(best, dx * dx + dy * dy);
  }
  return best;
}

TEST(nearest_test, the_walk_finds_the_nearest_node_of_every_family) {
  constexpr int sizes[] = {3, 7, 40, 300, 2000};
  for (const point_family family : all_families) {
    for (const int size : sizes) {
      for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(std::string(family_name(family)) + ", " + std::to_string(size) +
                     " points, seed " + std::to_string(seed));
        const mesh m = build_mesh(generate(family, size, seed));
        if (m.ier != triang::trmesh_ier::ok)
          continue;  // collinear sets have no triangulation to walk
        float xlo = m.x[0], xhi = m.x[0], ylo = m.y[0], yhi = m.y[0];
        for (int k = 0; k < m.n; ++k) {
          xlo = std::min(xlo, m.x[static_cast<std::size_t>(k)]);
          xhi = std::max(xhi, m.x[static_cast<std::size_t>(k)]);
          ylo = std::min(ylo, m.y[static_cast<std::size_t>(k)]);
          yhi = std::max(yhi, m.y[static_cast<std::size_t>(k)]);
        }
        std::mt19937 rng(seed);
        // Points over the bounding box and a margin around it (outside the
        // hull too), the nodes themselves, and midpoints between nodes (on
        // the bisectors where two nodes are equally near).
        std::vector<std::pair<float, float>> queries;
        for (int q = 0; q < 200; ++q) {
          const float u = unit_draw(static_cast<std::uint32_t>(rng())) * 1.5f - 0.25f;
          const float v = unit_draw(static_cast<std::uint32_t>(rng())) * 1.5f - 0.25f;
          queries.emplace_back(xlo + u * (xhi - xlo), ylo + v * (yhi - ylo));
        }
        for (int k = 0; k + 1 < m.n && k < 100; ++k) {
          const auto i = static_cast<std::size_t>(k);
          queries.emplace_back(m.x[i], m.y[i]);
          queries.emplace_back((m.x[i] + m.x[i + 1]) / 2, (m.y[i] + m.y[i + 1]) / 2);
        }
        for (const auto& [px, py] : queries) {
          const int start = 1 + static_cast<int>(rng() % static_cast<unsigned>(m.n));
          double dsq = -1;
          const int node = triang::nearnd(start, px, py, m.x, m.y, m.iadj, m.iend, dsq);
          ASSERT_GE(node, 1);
          ASSERT_LE(node, m.n);
          const auto i = static_cast<std::size_t>(node - 1);
          const double dx = static_cast<double>(m.x[i]) - static_cast<double>(px);
          const double dy = static_cast<double>(m.y[i]) - static_cast<double>(py);
          EXPECT_EQ(dsq, dx * dx + dy * dy) << "dsq is not the distance of the node returned";
          ASSERT_EQ(dsq, brute_force_dsq(m, px, py))
              << "at (" << px << ", " << py << ") from node " << start;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tervox_test
