// The streamed volume on nearly degenerate point sets, against the
// plain sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/output_file.hpp"
#include "grid.hpp"
#include "plain/plain_volume.hpp"
#include "support/degenerate_sets.hpp"
#include "support/run_program.hpp"
#include "triang/triang.hpp"
#include "volume.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
using namespace tervox::driver;
namespace {

// The streamed volume (three threads, one point location per cell where the
// chains of start nodes agree) against the plain sequence on these
// sets, where the answers of point location depend most on the start node.
TEST(geometry_stress_test, streamed_volume_matches_the_plain_sequence) {
  const temp_folder folder;
  for (const family& f : exact_families()) {
    for (int seed = 0; seed < std::min(f.sets, 8); ++seed) {
      draws d(static_cast<std::uint32_t>(seed));
      const point_set p = f.make(d);
      SCOPED_TRACE(describe(f, seed, p));
      if (p.x.size() < 3)
        continue;
      mesh m = build_mesh(p);
      if (m.ier != triang::trmesh_ier::ok)
        continue;
      const int nlayer = 2;
      std::vector<float> dat(m.x.size() * nlayer);
      for (std::size_t i = 0; i < m.x.size(); ++i) {
        dat[i] = linear(m.x[i], m.y[i]);
        dat[i + m.x.size()] = static_cast<float>(i % 7);
      }
      const float width =
          *std::max_element(m.x.begin(), m.x.end()) - *std::min_element(m.x.begin(), m.x.end());
      for (const float cell : {width / 16.0f, width / 37.0f}) {
        const axis_placement ax = place_axis(m.x, cell);
        const axis_placement ay = place_axis(m.y, cell);
        if (!ax.fits || !ay.fits || static_cast<double>(ax.count) * ay.count > 4000)
          continue;
        const grid g{ax.min, ay.min, ax.count, ay.count, cell, cell};
        const node_data nodes{m.n, nlayer, m.x, m.y, dat, m.iadj, m.iend};
        std::string texts[2];
        for (int method = 0; method < 2; ++method) {
          const std::string path = (folder / (method == 0 ? "streamed.vol" : "plain.vol")).string();
          output_file file(path);
          ASSERT_TRUE(file.open().ok());
          const bool located = method == 0 ? stream_volume(nodes, g, false, file, 3)
                                           : plain_volume(nodes, g, false, file);
          ASSERT_TRUE(located);
          ASSERT_TRUE(file.commit().ok());
          texts[method] = read_file(path);
        }
        EXPECT_EQ(texts[0], texts[1]) << "cell size " << cell;
      }
    }
  }
}

}  // namespace
}  // namespace tervox_test
