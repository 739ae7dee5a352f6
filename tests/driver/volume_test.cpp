// The streamed volume against the plain sequence, byte for byte.
//
// The plain sequence locates every cell centre once per layer with
// one start node carried through all calls; the streamed volume locates each
// centre once for all layers where the chains of start nodes agree, and
// splits the grid among threads. Degenerate geometry is where the two could
// part: centres exactly on hull edges and at soundings (where the answer
// depends on the start node), four soundings on a circle, lines sharing x.
#include "volume.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "plain/plain_volume.hpp"
#include "support/files.hpp"
#include "support/point_sets.hpp"
#include "support/run_program.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
using namespace tervox::driver;
namespace {

struct survey_case {
  point_family family;
  int n;
  int nlayer;
  bool log_mode;
  bool align;  // cell centres exactly on the lattice of the soundings
};

// Layer values: smooth plus noise, with zeros and negative values sprinkled
// in, so that log mode meets -Infinity and NaN.
std::vector<float> layer_values(int n, int nlayer, std::uint32_t seed, bool log_mode) {
  std::mt19937 gen(seed);
  std::vector<float> dat(static_cast<std::size_t>(n) * static_cast<std::size_t>(nlayer));
  for (std::size_t i = 0; i < dat.size(); ++i) {
    const float u = tervox_test::unit_draw(static_cast<std::uint32_t>(gen()));
    float v = 1.0f + 999.0f * u;
    if (i % 17 == 3)
      v = 0.0f;
    if (i % 23 == 5)
      v = -v;
    dat[i] = log_mode ? static_cast<float>(std::log(static_cast<double>(v))) : v;
  }
  return dat;
}

// threads 0: the plain sequence; otherwise the streamed volume in
// blocks of block_cells cells (0: the tool's own choice), whose plan must
// tell the size of the file it writes: exactly, or at least where cells are
// blanked by distance (the plan measures none).
std::string run_to_file(const std::string& path, const node_data& nodes, const grid& g,
                        bool log_mode, int threads, std::int64_t block_cells = 0,
                        const volume_masks& masks = {}) {
  output_file file(path);
  EXPECT_TRUE(file.open().ok());
  std::optional<volume_plan> plan;
  if (threads == 0) {
    EXPECT_TRUE(tervox_test::plain_volume(nodes, g, log_mode, file, masks));
  } else {
    plan = plan_volume(nodes, g, threads, block_cells);
    EXPECT_TRUE(plan);
    EXPECT_TRUE(plan &&
                write_planned_volume(*plan, nodes, g, log_mode, file, threads, nullptr, masks));
  }
  EXPECT_EQ(file.commit().problem.message(), "");
  std::string text = read_file(path);
  if (plan && masks.max_distance > 0) {
    EXPECT_GE(plan->file_bytes(), text.size());
  } else if (plan) {
    EXPECT_EQ(plan->file_bytes(), text.size());
  }
  return text;
}

TEST(volume_test, streamed_volume_matches_the_plain_sequence) {
  const survey_case cases[] = {
      {point_family::uniform, 200, 5, false, false},
      {point_family::uniform, 60, 1, true, false},
      {point_family::lattice, 100, 4, false, true},
      {point_family::lattice, 64, 3, true, true},
      {point_family::shared_x_lines, 300, 6, false, true},
      {point_family::shared_x_lines, 120, 2, true, false},
      {point_family::jittered_lines, 250, 3, true, false},
      {point_family::clustered, 150, 4, false, false},
      {point_family::projected, 100, 3, false, false},
      {point_family::tiny, 100, 2, true, false},
  };
  temp_folder dir;
  for (const survey_case& c : cases) {
    for (std::uint32_t seed : {1u, 7u}) {
      SCOPED_TRACE(::testing::Message()
                   << tervox_test::family_name(c.family) << " n " << c.n << " layers " << c.nlayer
                   << " log " << c.log_mode << " seed " << seed);
      const tervox_test::mesh m =
          tervox_test::build_mesh(tervox_test::generate(c.family, c.n, seed));
      ASSERT_EQ(m.ier, 0);
      const std::vector<float> dat = layer_values(m.n, c.nlayer, seed, c.log_mode);
      const node_data nodes{m.n, c.nlayer, m.x, m.y, dat, m.iadj, m.iend};

      float xlo = m.x[0], xhi = m.x[0], ylo = m.y[0], yhi = m.y[0];
      for (int i = 0; i < m.n; ++i) {
        xlo = std::min(xlo, m.x[static_cast<std::size_t>(i)]);
        xhi = std::max(xhi, m.x[static_cast<std::size_t>(i)]);
        ylo = std::min(ylo, m.y[static_cast<std::size_t>(i)]);
        yhi = std::max(yhi, m.y[static_cast<std::size_t>(i)]);
      }
      grid g;
      if (c.align) {
        // Centres on every sounding of a dyadic lattice, and on the hull edges
        // between them, with a margin of exterior cells around.
        const float d = (xhi - xlo) / 16.0f;
        g = grid{xlo - 2.5f * d, ylo - 2.5f * d, 21, 21, d, d};
      } else {
        const float dx = (xhi - xlo) / 23.0f;
        const float dy = (yhi - ylo) / 19.0f;
        g = grid{xlo - 0.4f * dx, ylo - 0.4f * dy, 25, 21, dx, dy};
      }

      const std::string plain = run_to_file((dir / "plain.vol").string(), nodes, g, c.log_mode, 0);
      ASSERT_FALSE(plain.empty());
      // Small blocks give every thread many blocks, and the location pre-pass
      // segments whose start nodes are guessed and then checked.
      for (int threads : {1, 2, 3}) {
        for (std::int64_t block : {0, 1, 7, 64}) {
          SCOPED_TRACE(::testing::Message() << threads << " threads, blocks of " << block);
          EXPECT_EQ(
              run_to_file((dir / "streamed.vol").string(), nodes, g, c.log_mode, threads, block),
              plain);
        }
      }
    }
  }
}

// On grids of one to three cells the pass over a layer rarely ends on the node
// it started from, so the chains of start nodes of several layers differ over
// the whole grid and each must be followed on its own.
TEST(volume_test, tiny_grids_follow_every_chain) {
  temp_folder dir;
  for (const point_family family : {point_family::uniform, point_family::lattice}) {
    const tervox_test::mesh m = tervox_test::build_mesh(tervox_test::generate(family, 40, 5));
    ASSERT_EQ(m.ier, 0);
    const std::vector<float> dat = layer_values(m.n, 6, 5, false);
    const node_data nodes{m.n, 6, m.x, m.y, dat, m.iadj, m.iend};
    for (const grid g :
         {grid{0.3f, 0.6f, 1, 1, 0.125f, 0.25f}, grid{0.1f, 0.2f, 2, 1, 0.125f, 0.25f},
          grid{0.7f, 0.05f, 1, 3, 0.125f, 0.25f}, grid{0.0f, 0.0f, 3, 2, 0.125f, 0.25f}}) {
      SCOPED_TRACE(::testing::Message()
                   << tervox_test::family_name(family) << " " << g.nx << "x" << g.ny);
      const std::string plain = run_to_file((dir / "p.vol").string(), nodes, g, false, 0);
      for (int threads : {1, 2}) {
        for (std::int64_t block : {0, 1}) {
          EXPECT_EQ(run_to_file((dir / "s.vol").string(), nodes, g, false, threads, block), plain);
        }
      }
    }
  }
}

// Masks against the plain sequence, which applies them in the plainest way: the
// distance to every sounding, and the depth of investigation interpolated by
// a call of its own. Limits around the sounding spacing blank some cells and
// keep others; depths between the layer tops blank the deeper layers at some
// cells only.
TEST(volume_test, masked_volume_matches_the_plain_sequence) {
  temp_folder dir;
  std::size_t blanked = 0, kept = 0, below_doi = 0;
  for (const point_family family : {point_family::uniform, point_family::lattice,
                                    point_family::shared_x_lines, point_family::clustered}) {
    const tervox_test::mesh m = tervox_test::build_mesh(tervox_test::generate(family, 120, 4));
    ASSERT_EQ(m.ier, 0);
    constexpr int nlayer = 4;
    const std::vector<float> dat = layer_values(m.n, nlayer, 4, false);
    const node_data nodes{m.n, nlayer, m.x, m.y, dat, m.iadj, m.iend};
    std::vector<float> doi(static_cast<std::size_t>(m.n));
    std::mt19937 gen(11);
    for (float& d : doi) d = 30.0f * tervox_test::unit_draw(static_cast<std::uint32_t>(gen()));
    const std::vector<double> tops{0.0, 5.0, 12.5, 20.0};
    const grid g{-0.02f, -0.03f, 37, 29, 0.03f, 0.0375f};
    const std::vector<std::string> unmasked =
        split_lines(run_to_file((dir / "u.vol").string(), nodes, g, false, 0));
    for (const float limit : {0.02f, 0.05f, 0.12f}) {
      for (const bool with_doi : {false, true}) {
        SCOPED_TRACE(::testing::Message() << tervox_test::family_name(family) << " limit " << limit
                                          << (with_doi ? " with doi" : ""));
        volume_masks masks{limit, {}, {}, {}};
        if (with_doi) {
          masks.doi = doi;
          masks.tops = tops;
        }
        const std::string plain =
            run_to_file((dir / "p.vol").string(), nodes, g, false, 0, 0, masks);
        for (int threads : {1, 3}) {
          for (std::int64_t block : {0, 5}) {
            EXPECT_EQ(run_to_file((dir / "s.vol").string(), nodes, g, false, threads, block, masks),
                      plain);
          }
        }
        const std::vector<std::string> lines = split_lines(plain);
        ASSERT_EQ(lines.size(), unmasked.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
          if (unmasked[i].size() == 8)
            continue;  // outside the hull either way
          if (lines[i].size() == 8)
            ++blanked;
          else
            ++kept;
          below_doi += lines[i].ends_with("NaN");
        }
      }
    }
  }
  // The cases reach both sides of each rule.
  EXPECT_GT(blanked, 0u);
  EXPECT_GT(kept, 0u);
  EXPECT_GT(below_doi, 0u);
}

TEST(volume_test, empty_grid_gives_an_empty_volume) {
  const tervox_test::mesh m =
      tervox_test::build_mesh(tervox_test::generate(point_family::uniform, 20, 3));
  const std::vector<float> dat = layer_values(m.n, 2, 3, false);
  const node_data nodes{m.n, 2, m.x, m.y, dat, m.iadj, m.iend};
  temp_folder dir;
  for (const grid g : {grid{0, 0, 0, 5, 0.1f, 0.1f}, grid{0, 0, 5, 0, 0.1f, 0.1f},
                       grid{0, 0, -3, 4, 0.1f, 0.1f}}) {
    EXPECT_EQ(run_to_file((dir / "a.vol").string(), nodes, g, false, 0), "");
    EXPECT_EQ(run_to_file((dir / "b.vol").string(), nodes, g, false, 2), "");
  }
}

// A triangle whose edge vectors, rounded to single precision, come out
// parallel in one rotation of its vertices: x3 - x2 = 2^24 - 0.5 rounds to
// 2^24. Point location answers in that rotation when it starts from node 3,
// and the weights then have no area to divide by. The interpolation reports
// it (-2) and leaves its result at 0, which the volume keeps: the cell is not
// outside the hull, so it must not get the fill value.
//
// One column of two cells: the centre of cell (1, 1), (0.5, -0.75), lies
// below the triangle, where point location ends at node 3; cell (1, 2),
// (0.5, 0.25), is then located from node 3 in the degenerate rotation.
TEST(volume_test, zero_area_triangle_gives_zero_not_the_fill_value) {
  const std::vector<float> x{0, 0.5F, 16777216};
  const std::vector<float> y{0, 0, 16777216};
  const std::vector<float> dat{1, 2, 3, 10, 20, 30};
  const std::vector<int> iadj{2, 3, 0, 3, 1, 0, 1, 2, 0};
  const std::vector<int> iend{3, 6, 9};
  const node_data nodes{3, 2, x, y, dat, iadj, iend};
  const grid g{0, -1.25F, 1, 2, 1, 1};
  const temp_folder dir;
  struct mode_case {
    bool log_mode;
    const char* expected;
  };
  // In log mode the 0 is a logarithm and comes back as exp(0) = 1.
  for (const mode_case c : {mode_case{false, "-1.0E+02\n-1.0E+02\n 0.0000E+00\n 0.0000E+00\n"},
                            mode_case{true, " 1.0E-10\n 1.0E-10\n 1.0000E+00\n 1.0000E+00\n"}}) {
    for (const int threads : {0, 1, 2}) {
      SCOPED_TRACE(::testing::Message()
                   << (c.log_mode ? "log" : "linear") << ", threads " << threads);
      EXPECT_EQ(run_to_file((dir / "v").string(), nodes, g, c.log_mode, threads), c.expected);
    }
  }
}

// A point location that never ends (here at a centre that is not a number)
// must stop the volume as a failure, so that the run reports it instead of
// writing a volume and succeeding; debug builds stop on the assertion.
TEST(volume_test, failed_point_location_fails_the_volume) {
  const std::vector<float> x{0, 1, 0};
  const std::vector<float> y{0, 0, 1};
  const std::vector<float> dat{1, 2, 3};
  const std::vector<int> iadj{2, 3, 0, 3, 1, 0, 1, 2, 0};
  const std::vector<int> iend{3, 6, 9};
  const node_data nodes{3, 1, x, y, dat, iadj, iend};
  const grid g{0, 0, 2, 1, std::numeric_limits<float>::quiet_NaN(), 0.5F};
  const temp_folder dir;
  for (const int threads : {0, 1, 2}) {
    SCOPED_TRACE(::testing::Message() << "threads " << threads);
    output_file file((dir / "v").string());
    ASSERT_TRUE(file.open().ok());
    [[maybe_unused]] bool located = true;
    EXPECT_DEBUG_DEATH(located = threads == 0 ? tervox_test::plain_volume(nodes, g, false, file)
                                              : stream_volume(nodes, g, false, file, threads),
                       "exceeded its bound");
#ifdef NDEBUG
    EXPECT_FALSE(located);
#endif
  }
}

}  // namespace
}  // namespace tervox_test
