// --skip-missing: each layer gridded from the soundings that have a value in
// it, a missing value being no data rather than NaN spread over its triangles.
//
// The oracle is the tool itself on a smaller survey: layer k of a run with
// the option must be, cell for cell, what a run without it writes for a
// survey of only the soundings with a value in layer k; where that survey
// fills a cell that the whole survey does not, the layer is NaN. The whole
// survey's own cells (outside its hull, or beyond --max-distance of every
// sounding) stay as the run without the option has them, and with no missing
// value the option changes no byte at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <triang/triang.hpp>
#include <utility>
#include <vector>

#include "formats/soundings.hpp"
#include "layer_sets.hpp"
#include "plain/plain_volume.hpp"
#include "support/files.hpp"
#include "support/point_sets.hpp"
#include "support/run_program.hpp"
#include "volume.hpp"

namespace tervox_test {
namespace {

namespace fs = std::filesystem;
using tervox::driver::layer_sets;
using tervox::driver::plan_volume;
using tervox::driver::write_planned_volume;
using tervox::formats::survey;

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

// A survey as the tests make it: values per layer, NaN where missing.
struct survey_data {
  std::vector<float> x, y;
  std::vector<float> thickness;            // one fewer than the layers
  std::vector<std::vector<float>> layers;  // layers[k-1][i]: layer k of sounding i
  std::vector<float> doi;                  // empty: none

  int size() const { return static_cast<int>(x.size()); }
  // The depth of layer k's top, added in double as the tool adds it.
  double top(int k) const {
    double depth = 0;
    for (int j = 1; j < k; ++j)
      depth += static_cast<double>(thickness[static_cast<std::size_t>(j - 1)]);
    return depth;
  }
};

std::string number(float v) {
  if (std::isnan(v))
    return "-9999";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

// The soundings file; missing values are -9999.
std::string native_text(const survey_data& s) {
  std::string text =
      "Number of layers " + std::to_string(s.layers.size()) + "\nLayer thicknesses (m)";
  for (const float t : s.thickness) text += " " + number(t);
  text += "\nNumber of soundings " + std::to_string(s.size()) + "\nx y values\n";
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    text += number(s.x[i]) + " " + number(s.y[i]);
    for (const std::vector<float>& layer : s.layers) text += " " + number(layer[i]);
    if (!s.doi.empty())
      text += " " + number(s.doi[i]);
    text += "\n";
  }
  return text;
}

// One layer: `values` at the soundings where they are not missing, in the
// order of the file.
survey_data own_survey(const survey_data& s, const std::vector<float>& values) {
  survey_data own;
  own.layers.emplace_back();
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    if (std::isnan(values[i]))
      continue;
    own.x.push_back(s.x[i]);
    own.y.push_back(s.y[i]);
    own.layers[0].push_back(values[i]);
  }
  return own;
}

struct run_files {
  int status = -1;
  std::string volume, mesh, err;
};

run_files run_on(const survey_data& s, std::vector<std::string> args, const std::string& threads) {
  temp_folder dir;
  write_file(dir / "in.txt", native_text(s));
  tool_options options(dir.path());
  if (!threads.empty())
    options.environment.push_back("TERVOX_THREADS=" + threads);
  const tool_run r = run_tool(args, options);
  run_files files{r.status, {}, {}, r.err};
  if (fs::exists(dir / "out.vol"))
    files.volume = read_file(dir / "out.vol");
  if (fs::exists(dir / "out.vol.mesh"))
    files.mesh = read_file(dir / "out.vol.mesh");
  return files;
}

bool is_fill(const std::string& line, bool log_mode) {
  return log_mode ? line == " 1.0E-10" || line == " 1.0000E-10"
                  : line == "-1.0E+02" || line == "-1.0000E+02";
}

const std::string nan_line = "        NaN";

// Layer values 1 to 1000 (never the fill value, so that a filled line shows
// where a cell was filled); `signs` sprinkles in zeros and negative values,
// which log mode turns into -Infinity and NaN.
std::vector<std::vector<float>> layer_values(int n, int nlayer, std::uint32_t seed, bool signs) {
  draws d(seed);
  std::vector<std::vector<float>> layers(static_cast<std::size_t>(nlayer));
  for (std::size_t k = 0; k < layers.size(); ++k) {
    for (int i = 0; i < n; ++i) {
      float v = 1.0f + 999.0f * d.unit();
      if (signs && (i + static_cast<int>(k)) % 17 == 3)
        v = 0.0f;
      if (signs && (i + static_cast<int>(k)) % 23 == 5)
        v = -v;
      layers[k].push_back(v);
    }
  }
  return layers;
}

survey_data make_survey(point_family family, int n, int nlayer, std::uint32_t seed, bool doi,
                        bool signs = false) {
  const point_set p = generate(family, n, seed);
  survey_data s;
  s.x = p.x;
  s.y = p.y;
  for (int k = 1; k < nlayer; ++k) s.thickness.push_back(2.5f * static_cast<float>(k));
  s.layers = layer_values(p.size(), nlayer, seed + 1, signs);
  if (doi) {
    draws d(seed + 2);
    const float deepest = static_cast<float>(s.top(nlayer)) + 5.0f;
    for (int i = 0; i < p.size(); ++i) s.doi.push_back(deepest * d.unit());
  }
  return s;
}

// Missing values at about one sounding in seven, from `first` down. Nested:
// a sounding misses every layer from one on, as where it did not reach the
// deep layers; otherwise each layer misses at soundings of its own. The
// soundings at the extremes of x and y keep every value, so that a survey of
// any layer's soundings has the same grid; others on the hull may miss.
void add_missing(survey_data& s, int first, bool nested, std::uint32_t seed) {
  draws d(seed);
  const auto [xlo, xhi] = std::minmax_element(s.x.begin(), s.x.end());
  const auto [ylo, yhi] = std::minmax_element(s.y.begin(), s.y.end());
  const int nlayer = static_cast<int>(s.layers.size());
  for (int i = 0; i < s.size(); ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (s.x[at] == *xlo || s.x[at] == *xhi || s.y[at] == *ylo || s.y[at] == *yhi)
      continue;
    if (nested) {
      if (d.below(7) != 0)
        continue;
      for (int k = first + d.below(nlayer - first + 1); k <= nlayer; ++k)
        s.layers[static_cast<std::size_t>(k - 1)][at] = missing;
    } else {
      for (int k = first; k <= nlayer; ++k) {
        if (d.below(7) == 0)
          s.layers[static_cast<std::size_t>(k - 1)][at] = missing;
      }
    }
  }
}

std::string text_of(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

// With no missing value, --skip-missing writes what the run without it
// writes, byte for byte, whatever the other options; so does a value that
// only log mode makes NaN (a negative one), which is a bad value, not a
// missing one.
TEST(skip_missing, without_missing_values_no_byte_changes) {
  const struct {
    point_family family;
    int n, nlayer, log;
    bool doi, signs;
    std::vector<std::string> options;
  } cases[] = {
      {point_family::uniform, 200, 4, 0, false, false, {}},
      {point_family::uniform, 200, 3, 1, false, true, {}},
      {point_family::jittered_lines, 300, 3, 0, true, false, {"--doi", "--nodata", "-9999"}},
      {point_family::clustered, 200, 2, 1, false, true, {"--max-distance", "0.05"}},
      {point_family::lattice, 144, 3, 0, true, false, {"--doi", "--max-distance", "0.3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << family_name(c.family) << " log " << c.log);
    const survey_data s = make_survey(c.family, c.n, c.nlayer, 11, c.doi, c.signs);
    float extent = 0;
    for (std::size_t i = 0; i < s.x.size(); ++i)
      extent = std::max({extent, std::abs(s.x[i] - s.x[0]), std::abs(s.y[i] - s.y[0])});
    std::vector<std::string> args = c.options;
    for (std::string& a : args) {
      if (a == "0.05" || a == "0.3")
        a = text_of(std::stof(a) * extent);
    }
    const std::string d = text_of(extent / 23.0f);
    for (const std::string& a : {std::string("in.txt"), std::string("out.vol"), d, d})
      args.push_back(a);
    args.push_back(std::to_string(c.log));
    const run_files plain = run_on(s, args, "");
    args.insert(args.begin(), "--skip-missing");
    const run_files skipped = run_on(s, args, "");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(skipped.status, 0);
    EXPECT_FALSE(plain.volume.empty());
    EXPECT_TRUE(skipped.volume == plain.volume);
    EXPECT_EQ(skipped.mesh, plain.mesh);
    EXPECT_EQ(skipped.err, plain.err);
  }
}

// Layer k of a run with --skip-missing against one-layer runs, without the
// option, of the soundings with a value in layer k: the same line where that
// run has a value, NaN where it fills a cell that the whole survey does not
// fill; the whole survey's filled cells as the run without the option. With
// --doi the depth of investigation comes from one more one-layer run, of the
// same soundings' depths: it is interpolated over the same triangle with the
// same weights, and shown to five digits, so the cells whose depth lies that
// close to the layer's top are not judged.
TEST(skip_missing, each_layer_is_gridded_as_a_survey_of_its_own_soundings) {
  const struct {
    point_family family;
    int n, nlayer, log;
    bool doi;
    float max_distance;  // a fraction of the extent; 0: none
    int first;           // the first layer with missing values
    bool nested;
    bool aligned;  // lattice spacing times 5: centres on the diagonals of its squares
  } cases[] = {
      {point_family::uniform, 300, 4, 0, false, 0.0f, 2, true, false},
      {point_family::uniform, 300, 3, 1, false, 0.06f, 1, false, false},
      {point_family::jittered_lines, 400, 4, 0, true, 0.0f, 2, true, false},
      {point_family::clustered, 300, 3, 1, true, 0.08f, 1, true, false},
      {point_family::lattice, 1600, 3, 0, false, 0.0f, 1, false, true},
      {point_family::shared_x_lines, 400, 3, 1, false, 0.0f, 2, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << family_name(c.family) << " log " << c.log << " doi "
                                      << c.doi << " first " << c.first);
    survey_data s = make_survey(c.family, c.n, c.nlayer, 5, c.doi);
    add_missing(s, c.first, c.nested, 9);
    const auto [xlo, xhi] = std::minmax_element(s.x.begin(), s.x.end());
    const auto [ylo, yhi] = std::minmax_element(s.y.begin(), s.y.end());
    float dx = (*xhi - *xlo) / 21.0f;
    float dy = (*yhi - *ylo) / 17.0f;
    if (c.aligned) {
      // The grid starts 0.4 cell before the first sounding: centres at
      // (i - 0.9) cells from it, on the midpoints of the lattice squares.
      std::vector<float> xs = s.x, ys = s.y;
      std::sort(xs.begin(), xs.end());
      std::sort(ys.begin(), ys.end());
      const auto step = [](const std::vector<float>& v) {
        float h = v.back() - v.front();
        for (std::size_t i = 1; i < v.size(); ++i)
          if (v[i] > v[i - 1])
            h = std::min(h, v[i] - v[i - 1]);
        return h;
      };
      dx = 5.0f * step(xs);
      dy = 5.0f * step(ys);
    }
    std::vector<std::string> options{"--nodata", "-9999"};
    if (c.max_distance > 0)
      options.insert(options.end(), {"--max-distance", text_of(c.max_distance * (*xhi - *xlo))});
    if (c.doi)
      options.push_back("--doi");
    const std::vector<std::string> five{"in.txt", "out.vol", text_of(dx), text_of(dy),
                                        std::to_string(c.log)};
    const auto with = [&](std::vector<std::string> args) {
      args.insert(args.end(), five.begin(), five.end());
      return args;
    };
    std::vector<std::string> skip_args = options;
    skip_args.insert(skip_args.begin(), "--skip-missing");
    const run_files whole = run_on(s, with(options), "");
    const run_files skipped = run_on(s, with(skip_args), "1");
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(skipped.status, 0) << skipped.err;
    EXPECT_EQ(skipped.mesh, whole.mesh);
    EXPECT_TRUE(run_on(s, with(skip_args), "2").volume == skipped.volume)
        << "two threads write other bytes than one";
    const std::vector<std::string> p = split_lines(whole.volume);
    const std::vector<std::string> v = split_lines(skipped.volume);
    ASSERT_EQ(v.size(), p.size());
    const std::size_t nlayer = s.layers.size();
    const std::size_t cells = p.size() / nlayer;

    // Options of the one-layer runs: the distance limit, no missing values.
    std::vector<std::string> own_options;
    if (c.max_distance > 0)
      own_options = {options[2], options[3]};
    int equal = 0, blanked = 0, recovered = 0;
    for (std::size_t k = 1; k <= nlayer; ++k) {
      SCOPED_TRACE(::testing::Message() << "layer " << k);
      const run_files own = run_on(own_survey(s, s.layers[k - 1]), with(own_options), "");
      ASSERT_EQ(own.status, 0) << own.err;
      // The same grid: the soundings at the extremes have every value.
      ASSERT_EQ(split_lines(own.mesh).at(1), split_lines(whole.mesh).at(1));
      const std::vector<std::string> o = split_lines(own.volume);
      ASSERT_EQ(o.size(), cells);
      std::vector<std::string> depth;
      if (c.doi) {
        std::vector<std::string> depth_args = own_options;
        depth_args.insert(depth_args.end(), five.begin(), five.end() - 1);
        depth_args.push_back("0");
        std::vector<float> depths = s.doi;
        for (std::size_t i = 0; i < depths.size(); ++i)
          if (std::isnan(s.layers[k - 1][i]))
            depths[i] = missing;
        const run_files d = run_on(own_survey(s, depths), depth_args, "");
        ASSERT_EQ(d.status, 0) << d.err;
        depth = split_lines(d.volume);
      }
      int wrong = 0;
      for (std::size_t cell = 0; cell < cells && wrong < 5; ++cell) {
        const std::size_t at = cell * nlayer + (k - 1);
        std::string expected = o[cell];
        if (is_fill(p[at], c.log == 1)) {
          expected = p[at];
        } else if (is_fill(o[cell], c.log == 1)) {
          expected = nan_line;
        } else if (c.doi && !is_fill(depth[cell], false)) {
          const double d = std::stod(depth[cell]);
          const double top = s.top(static_cast<int>(k));
          if (std::abs(d - top) <= 1e-3 * std::max(1.0, top))
            continue;
          if (top > d)
            expected = nan_line;
        }
        if (v[at] != expected) {
          ADD_FAILURE() << "cell " << cell << ": expected '" << expected << "', got '" << v[at]
                        << "'";
          ++wrong;
        }
        equal += expected == o[cell];
        blanked += expected == nan_line;
        recovered += p[at] == nan_line && expected != nan_line;
      }
    }
    // The runs compared real values, blanked cells, and cells the run without
    // the option blanks.
    EXPECT_GT(equal, 0);
    EXPECT_GT(recovered, 0);
    if (c.max_distance > 0 || c.doi) {
      EXPECT_GT(blanked, 0);
    }
  }
}

// The survey of `s` as the run holds it once read, in file order.
survey read_survey(const survey_data& s) {
  survey r;
  r.nlayer = static_cast<int>(s.layers.size());
  r.nsound = s.size();
  r.xloc = s.x;
  r.yloc = s.y;
  for (const std::vector<float>& layer : s.layers)
    r.dat.insert(r.dat.end(), layer.begin(), layer.end());
  r.dz = s.thickness;
  r.doi = s.doi;
  return r;
}

std::string write_to_file(const fs::path& path, const node_data& nodes, const grid& g,
                          bool log_mode, int threads, std::int64_t block,
                          const volume_masks& masks) {
  output_file file(path.string());
  EXPECT_TRUE(file.open().ok());
  if (threads == 0) {
    EXPECT_TRUE(plain_volume(nodes, g, log_mode, file, masks));
  } else {
    const std::optional<tervox::driver::volume_plan> plan = plan_volume(nodes, g, threads, block);
    EXPECT_TRUE(plan &&
                write_planned_volume(*plan, nodes, g, log_mode, file, threads, nullptr, masks));
  }
  EXPECT_EQ(file.commit().problem.message(), "");
  return read_file(path);
}

// The streamed volume with layer sets against the plain sequence (one
// interpolation call per value, the pass over a set's layer starting at the
// set's node 1), on one to three threads in blocks of 1, 7 and 64 cells and
// of the tool's own size: the same bytes. The lattice grids put centres on
// soundings and edges, where the answer depends on the start node; the last
// case has a layer with values at two soundings and one with values along a
// line, which have no triangulation.
TEST(skip_missing, streamed_layer_sets_match_the_plain_sequence) {
  const struct {
    point_family family;
    int n, nlayer;
    bool log_mode, doi;
    float max_distance;  // a fraction of the extent; 0: none
    bool aligned, nested, untriangulated;
  } cases[] = {
      {point_family::uniform, 250, 4, false, false, 0.0f, false, true, false},
      {point_family::uniform, 250, 3, true, true, 0.07f, false, false, false},
      {point_family::lattice, 256, 4, false, true, 0.0f, true, false, false},
      {point_family::lattice, 144, 3, true, false, 0.2f, true, true, false},
      {point_family::shared_x_lines, 300, 5, false, false, 0.0f, true, true, true},
  };
  temp_folder dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << family_name(c.family) << " log " << c.log_mode);
    survey_data data = make_survey(c.family, c.n, c.nlayer, 3, c.doi);
    add_missing(data, 1, c.nested, 4);
    const auto [xlo, xhi] = std::minmax_element(data.x.begin(), data.x.end());
    const auto [ylo, yhi] = std::minmax_element(data.y.begin(), data.y.end());
    if (c.untriangulated) {
      std::vector<float>& few = data.layers[static_cast<std::size_t>(c.nlayer - 1)];
      std::vector<float>& line = data.layers[static_cast<std::size_t>(c.nlayer - 2)];
      int kept = 0;
      for (std::size_t i = 0; i < few.size(); ++i) {
        if (kept < 2 && !std::isnan(few[i]))
          ++kept;
        else
          few[i] = missing;
        if (data.y[i] != *ylo)
          line[i] = missing;
      }
    }
    survey s = read_survey(data);
    layer_sets sets = layer_sets::find(s);
    ASSERT_FALSE(sets.empty());
    // As the run prepares the values and orders the soundings.
    if (c.log_mode) {
      for (float& v : s.dat) v = static_cast<float>(std::log(static_cast<double>(v)));
    }
    const int n = s.nsound;
    std::vector<int> ind(static_cast<std::size_t>(n));
    triang::reordr(n, 3, s.xloc, s.yloc, s.layer(1), ind);
    for (int k = 2; k <= s.nlayer; ++k) triang::permut(n, ind, s.layer(k));
    if (c.doi)
      triang::permut(n, ind, s.doi);
    sets.reorder(ind);
    std::vector<tervox::base::diagnostic> warnings;
    ASSERT_EQ(sets.triangulate(s, c.doi, "in.txt", warnings).message(), "");
    EXPECT_EQ(warnings.size(), c.untriangulated ? 2u : 0u);
    std::vector<int> iadj(6 * static_cast<std::size_t>(n) - 9), iend(static_cast<std::size_t>(n));
    int ier = -1;
    triang::trmesh(n, s.xloc, s.yloc, iadj, iend, ier);
    ASSERT_EQ(ier, 0);
    const node_data nodes{n, s.nlayer, s.xloc, s.yloc, s.dat, iadj, iend};
    std::vector<double> tops;
    for (int k = 1; k <= s.nlayer; ++k) tops.push_back(data.top(k));
    const volume_masks masks{c.max_distance * (*xhi - *xlo), s.doi, tops, sets.views()};

    grid g;
    if (c.aligned) {
      const float d = (*xhi - *xlo) / 16.0f;
      g = grid{*xlo - 2.5f * d, *ylo - 2.5f * d, 21, 21, d, d};
    } else {
      const float dx = (*xhi - *xlo) / 23.0f;
      const float dy = (*yhi - *ylo) / 19.0f;
      g = grid{*xlo - 0.4f * dx, *ylo - 0.4f * dy, 25, 21, dx, dy};
    }
    const std::string plain = write_to_file(dir / "plain.vol", nodes, g, c.log_mode, 0, 0, masks);
    ASSERT_FALSE(plain.empty());
    for (int threads : {1, 2, 3}) {
      for (std::int64_t block : {0, 1, 7, 64}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads, blocks of " << block);
        EXPECT_TRUE(write_to_file(dir / "s.vol", nodes, g, c.log_mode, threads, block, masks) ==
                    plain);
      }
    }
    // Without the sets the same cells carry NaN from the missing values:
    // the sets change the volume.
    volume_masks without = masks;
    without.layer_sets = {};
    EXPECT_FALSE(write_to_file(dir / "w.vol", nodes, g, c.log_mode, 2, 7, without) == plain);
  }
}

// A layer that no triangle can grid: NaN in every cell inside the hull, one
// warning naming its layers, the other layers and the filled cells as
// without it. Soundings on a 100 m lattice from 0 to 400 but for the corner
// (0, 400); the cells of 50 have centres at 5, 55, ..., 355, and those with
// y - x >= 300 are outside the hull.
TEST(skip_missing, layers_without_a_triangle_are_named_and_blank) {
  const struct {
    const char* what;
    std::vector<std::pair<int, int>> kept;  // the soundings with values in the layers
    int layers;                             // how many layers have only those
    const char* warning;
  } cases[] = {
      {"none",
       {},
       1,
       "layer 2 has no value at any sounding; with --skip-missing it is NaN in every cell inside "
       "the soundings' hull"},
      {"one",
       {{200, 200}},
       1,
       "layer 2 has values at only 1 sounding, too few for a triangle; with --skip-missing it is "
       "NaN in every cell inside the soundings' hull"},
      {"two, two layers",
       {{0, 0}, {400, 400}},
       2,
       "layers 2 and 3 have values at only 2 soundings, too few for a triangle; with "
       "--skip-missing they are NaN in every cell inside the soundings' hull"},
      {"a line, three layers",
       {{0, 0}, {100, 100}, {300, 300}, {400, 400}},
       3,
       "the 4 soundings with values in layers 2, 3 and 4 lie on one line; with --skip-missing "
       "they are NaN in every cell inside the soundings' hull"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    survey_data s;
    for (int y = 0; y <= 400; y += 100) {
      for (int x = 0; x <= 400; x += 100) {
        if (x == 0 && y == 400)
          continue;
        s.x.push_back(static_cast<float>(x));
        s.y.push_back(static_cast<float>(y));
      }
    }
    const int nlayer = 1 + c.layers;
    s.thickness.assign(static_cast<std::size_t>(nlayer - 1), 10.0f);
    s.layers.assign(static_cast<std::size_t>(nlayer), {});
    for (int i = 0; i < s.size(); ++i) {
      const auto at = static_cast<std::size_t>(i);
      const bool kept = std::find(c.kept.begin(), c.kept.end(),
                                  std::pair<int, int>(static_cast<int>(s.x[at]),
                                                      static_cast<int>(s.y[at]))) != c.kept.end();
      s.layers[0].push_back(1.0f + s.x[at] / 100.0f);
      for (int k = 2; k <= nlayer; ++k)
        s.layers[static_cast<std::size_t>(k - 1)].push_back(kept ? 7.0f : missing);
    }
    const std::vector<std::string> five{"in.txt", "out.vol", "50", "50", "0"};
    std::vector<std::string> args{"--skip-missing", "--nodata", "-9999"};
    args.insert(args.end(), five.begin(), five.end());
    const run_files r = run_on(s, args, "");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, std::string("tervox: in.txt: warning: ") + c.warning + "\n");
    const std::vector<std::string> v = split_lines(r.volume);
    ASSERT_EQ(v.size(), 64u * static_cast<std::size_t>(nlayer));
    for (int cell = 0; cell < 64; ++cell) {
      const int x = 5 + 50 * (cell % 8), y = 5 + 50 * (cell / 8);
      const auto first = static_cast<std::size_t>(cell * nlayer);
      for (int k = 2; k <= nlayer; ++k) {
        EXPECT_EQ(v[first + static_cast<std::size_t>(k - 1)], y - x >= 300 ? "-1.0E+02" : nan_line)
            << "cell (" << x << ", " << y << "), layer " << k;
      }
      EXPECT_EQ(v[first] == "-1.0E+02", y - x >= 300);
    }
  }
}

}  // namespace
}  // namespace tervox_test
