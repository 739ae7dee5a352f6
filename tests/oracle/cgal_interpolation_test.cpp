// The gridded volume against an independent oracle: CGAL's Delaunay
// triangulation of the same soundings (exact predicates), located and
// interpolated barycentrically in double at every cell centre (see
// cgal_oracle.hpp for what is compared and how closely). The grid and its
// centres are placed here (grid_oracle.hpp), not by the tool's functions.
//
// The values are checked as floats from the plain sequence (one
// interpolation call per value), and the streamed volume file must be that
// sequence's bytes; its cells are also read back and checked against CGAL
// directly, to the five digits the file holds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "oracle/cgal_oracle.hpp"
#include "oracle/grid_oracle.hpp"
#include "plain/plain_volume.hpp"
#include "support/exact_predicates.hpp"
#include "support/files.hpp"
#include "support/point_sets.hpp"
#include "volume.hpp"

namespace tervox_test {
namespace {

using cgal::delaunay;
using cgal::kernel;
using cgal::point;

#if defined(__SANITIZE_ADDRESS__)
constexpr int sizes[] = {3, 4, 10, 100, 500};
#else
constexpr int sizes[] = {3, 4, 10, 100, 1000, 4000};
#endif
constexpr std::uint32_t seeds[] = {1, 2};
constexpr std::size_t nlayer = 3;

// Layer values for the input points, layer by layer: layer 1 positive (so
// that no interpolated value equals the fill value), layer 2 of both signs,
// layer 3 large.
std::vector<std::vector<float>> input_values(int n, std::uint32_t seed) {
  std::mt19937 gen(seed * 7919u + 17u);
  std::vector<std::vector<float>> layers(nlayer, std::vector<float>(static_cast<std::size_t>(n)));
  for (auto& layer : layers) {
    for (float& v : layer) v = unit_draw(static_cast<std::uint32_t>(gen()));
  }
  for (float& v : layers[0]) v = 1.0f + 999.0f * v;
  for (float& v : layers[1]) v = 1000.0f * v - 500.0f;
  for (float& v : layers[2]) v = 3.0e6f * v + 1.0e6f;
  return layers;
}

// Collects the first few mismatches of a set, so that a fault shows as a
// handful of located cells rather than thousands of failures.
class mismatches {
 public:
  std::ostringstream& add() {
    ++count_;
    text_.str("");
    return text_;
  }
  void keep() {
    if (count_ <= 5)
      first_ += text_.str() + "\n";
  }
  std::string report() const {
    return count_ == 0 ? "" : std::to_string(count_) + " mismatches, first:\n" + first_;
  }

 private:
  int count_ = 0;
  std::ostringstream text_;
  std::string first_;
};

// The volume file written by `write` (into an output_file), as text.
template <class Write>
std::string volume_text(const temp_folder& dir, Write write) {
  const std::string path = (dir / "volume").string();
  tervox::base::output_file file(path);
  EXPECT_TRUE(file.open().ok());
  EXPECT_TRUE(write(file));
  EXPECT_EQ(file.commit().problem.message(), "");
  return read_file(path);
}

struct survey {
  mesh m;
  std::vector<std::vector<float>> z;  // per layer, in node order (logarithms in log mode)
  std::vector<float> dat;             // the same, layer by layer, as the tool holds it
};

survey make_survey(const point_set& points, std::uint32_t seed, bool log_mode) {
  survey s;
  s.m = build_mesh(points);
  const std::vector<std::vector<float>> values = input_values(points.size(), seed);
  s.z.assign(nlayer, std::vector<float>(static_cast<std::size_t>(s.m.n)));
  for (std::size_t k = 0; k < nlayer; ++k) {
    for (int node = 1; node <= s.m.n; ++node) {
      const auto from = static_cast<std::size_t>(s.m.ind[static_cast<std::size_t>(node - 1)] - 1);
      float v = values[k][from];
      // Logarithms need positive values; zeros and negative values are the
      // golden files' business.
      if (log_mode)
        v = static_cast<float>(std::log(static_cast<double>(std::fabs(v) + 1.0f)));
      s.z[k][static_cast<std::size_t>(node - 1)] = v;
      s.dat.push_back(v);
    }
  }
  return s;
}

// Places the grid with about `cells_x` by `cells_y` cells.
tervox::formats::grid place_grid(const mesh& m, float cells_x, float cells_y) {
  const auto [xlo, xhi] = std::minmax_element(m.x.begin(), m.x.end());
  const auto [ylo, yhi] = std::minmax_element(m.y.begin(), m.y.end());
  const float dx = (*xhi - *xlo) / cells_x;
  const float dy = (*yhi - *ylo) / cells_y;
  const independent::axis ax = independent::place(m.x, dx);
  const independent::axis ay = independent::place(m.y, dy);
  return {ax.min, ay.min, ax.count, ay.count, dx, dy};
}

// Cells met over all sets: both kinds must be, or the sets prove little.
struct cells_met {
  int filled = 0;
  int inside = 0;
};

void check_set(const point_set& points, std::uint32_t seed, bool log_mode, float cells_x,
               float cells_y, cells_met& met) {
  const survey s = make_survey(points, seed, log_mode);
  ASSERT_EQ(s.m.ier, 0);
  const tervox::driver::node_data nodes{
      s.m.n, static_cast<int>(nlayer), s.m.x, s.m.y, s.dat, s.m.iadj, s.m.iend};
  const tervox::formats::grid g = place_grid(s.m, cells_x, cells_y);
  const int nx = g.nx;
  const int ny = g.ny;
  ASSERT_GT(nx, 0);
  ASSERT_GT(ny, 0);
  const cgal_oracle cgal(s.m.x, s.m.y, s.z, log_mode);
  // -100, or exp of the single-precision logarithm of the single-precision
  // 1e-10, as the README gives it.
  const float fill = log_mode ? static_cast<float>(std::exp(static_cast<double>(
                                    static_cast<float>(std::log(static_cast<double>(1.0e-10f))))))
                              : -100.0f;
  const std::string short_fill = log_mode ? " 1.0E-10" : "-1.0E+02";

  std::vector<expectation> expected;
  for (int iy = 1; iy <= ny; ++iy) {
    const float py = independent::centre(iy, g.dy, g.ymin);
    for (int ix = 1; ix <= nx; ++ix) {
      expected.push_back(cgal.at(independent::centre(ix, g.dx, g.xmin), py));
    }
  }
  int filled_cells = 0;
  for (const expectation& e : expected) filled_cells += e.kind == expectation::filled ? 1 : 0;

  // The values as floats, from one interpolation call per value.
  std::vector<float> dat3d;
  ASSERT_TRUE(tervox_test::interpolate_volume(nodes, g, log_mode, dat3d));
  const std::size_t cells = expected.size();
  mismatches floats;
  for (std::size_t c = 0; c < cells; ++c) {
    const expectation& e = expected[c];
    const bool tool_filled = dat3d[c] == fill;
    for (std::size_t k = 0; k < nlayer; ++k) {
      const float v = dat3d[k * cells + c];
      const double error = std::fabs(static_cast<double>(v) - e.value[k]);
      const bool ok = e.kind == expectation::filled   ? v == fill
                      : e.kind == expectation::inside ? !tool_filled && error <= cgal.allowed(e, k)
                                                      : v == fill || error <= cgal.allowed(e, k);
      if (!ok) {
        floats.add() << "cell " << c % static_cast<std::size_t>(nx) + 1 << ", "
                     << c / static_cast<std::size_t>(nx) + 1 << " layer " << k + 1 << ": tool " << v
                     << ", CGAL "
                     << (e.kind == expectation::filled ? "outside" : std::to_string(e.value[k]))
                     << " (largest vertex value " << e.scale[k] << "; conditioning "
                     << e.conditioning << ")";
        floats.keep();
      }
    }
  }
  EXPECT_EQ(floats.report(), "");

  // The streamed file: the same bytes as the plain sequence with
  // one thread or several, and its cells read back against CGAL.
  const temp_folder dir;
  const std::string plain = volume_text(dir, [&](tervox::base::output_file& f) {
    return tervox_test::plain_volume(nodes, g, log_mode, f);
  });
  std::string streamed;
  for (const int threads : {1, 2}) {
    streamed = volume_text(dir, [&](tervox::base::output_file& f) {
      return tervox::driver::stream_volume(nodes, g, log_mode, f, threads);
    });
    EXPECT_TRUE(streamed == plain) << "streamed with " << threads << " threads";
  }
  std::istringstream in(streamed);
  mismatches text;
  for (std::size_t c = 0; c < cells; ++c) {
    const expectation& e = expected[c];
    for (std::size_t k = 0; k < nlayer; ++k) {
      std::string line;
      std::getline(in, line);
      const std::string why = cgal.check_line(e, k, line, short_fill, fill);
      const bool ok = why.empty();
      if (!ok) {
        text.add() << "cell " << c % static_cast<std::size_t>(nx) + 1 << ", "
                   << c / static_cast<std::size_t>(nx) + 1 << " layer " << k + 1 << ": \"" << line
                   << "\": " << why;
        text.keep();
      }
    }
  }
  EXPECT_EQ(text.report(), "");
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof()) << "the file is longer than the grid";

  met.filled += filled_cells;
  met.inside += static_cast<int>(cells) - filled_cells;
}

std::string describe(point_family family, int size, std::uint32_t seed) {
  return std::string(family_name(family)) + ", " + std::to_string(size) + " points, seed " +
         std::to_string(seed);
}

template <class Check>
void for_each_general_set(Check check) {
  for (const point_family family : all_families) {
    if (!general_position(family))
      continue;
    for (const int size : sizes) {
      for (const std::uint32_t seed : seeds) {
        const point_set points = generate(family, size, seed);
        if (points.size() < 3 || all_collinear(points.x, points.y))
          continue;
        SCOPED_TRACE(describe(family, size, seed));
        check(points, seed);
      }
    }
  }
}

TEST(cgal_interpolation_test, linear_volume_matches_cgal) {
  cells_met met;
  for_each_general_set([&](const point_set& points, std::uint32_t seed) {
    // A grid finer than the soundings for small sets, coarser for large ones.
    check_set(points, seed, false, 29.0f, 23.0f, met);
  });
  EXPECT_GT(met.filled, 1000);
  EXPECT_GT(met.inside, 1000);
}

TEST(cgal_interpolation_test, log_volume_matches_cgal) {
  cells_met met;
  for_each_general_set([&](const point_set& points, std::uint32_t seed) {
    check_set(points, seed, true, 17.0f, 13.0f, met);
  });
  EXPECT_GT(met.filled, 1000);
  EXPECT_GT(met.inside, 1000);
}

}  // namespace
}  // namespace tervox_test
