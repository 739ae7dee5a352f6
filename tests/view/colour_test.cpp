// Which scale a set of values gets, where values land on it, and the ticks
// and labels of a colour bar or an axis.
#include "colour.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/diagnostic.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::view;
namespace {

const float nan = std::nanf("");

struct scale_case {
  const char* what;
  std::vector<float> values;
  scale_kind kind;
  bool log;
  double lo, hi;
};

const scale_case scale_cases[] = {
    {"two decades: logarithmic", {5, 500, 50, nan}, scale_kind::automatic, true, 5, 500},
    {"just under two decades: linear", {5, 499.9f}, scale_kind::automatic, false, 5, 499.9f},
    {"a zero: linear", {0, 1000, 1}, scale_kind::automatic, false, 0, 1000},
    {"negative values: linear", {-100, -1}, scale_kind::automatic, false, -100, -1},
    {"asked for linear", {1, 1e6f}, scale_kind::linear, false, 1, 1e6f},
    {"asked for logarithmic", {2, 3}, scale_kind::log, true, 2, 3},
    {"not-a-number left out", {nan, 7, nan}, scale_kind::automatic, false, 7, 7},
};

TEST(view_colour_scale, chosen_from_the_values) {
  for (const auto& c : scale_cases) {
    SCOPED_TRACE(c.what);
    const colour_scale s = choose_scale(c.values, c.kind, "");
    EXPECT_FALSE(s.empty);
    EXPECT_EQ(s.log, c.log);
    EXPECT_EQ(s.lo, c.lo);
    EXPECT_EQ(s.hi, c.hi);
  }
  EXPECT_TRUE(choose_scale(std::vector<float>{nan, nan}, scale_kind::automatic, "").empty);
}

TEST(view_colour_scale, logarithmic_needs_positive_values) {
  try {
    (void)choose_scale(std::vector<float>{-5, 10}, scale_kind::log, "grid.vol: layer 2: ");
    ADD_FAILURE() << "no error";
  } catch (const diagnostic_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "grid.vol: layer 2: a logarithmic colour scale needs positive values, but the "
              "smallest is -5");
  }
}

TEST(view_colour_scale, spans_the_whole_map) {
  colour_scale linear{false, -10, 10, false};
  colour_scale log{true, 1, 10000, false};
  for (const colour_scale& s : {linear, log}) {
    SCOPED_TRACE(s.log ? "logarithmic" : "linear");
    EXPECT_EQ(s.index(s.lo), 0);
    EXPECT_EQ(s.index(s.hi), 255);
    EXPECT_EQ(s.index(s.lo - 1), 0);
    EXPECT_EQ(s.index(s.hi * 2), 255);
    // The middle of the scale: 0 on the linear one, 100 on the logarithmic.
    EXPECT_EQ(s.index(s.log ? 100 : 0), 128);
  }
  // All values equal: the middle colour.
  EXPECT_EQ((colour_scale{false, 3, 3, false}.index(3)), 128);
}

TEST(view_colour_map, lightness_rises_and_no_entry_is_grey) {
  const auto& map = colour_map();
  const auto luma = [](rgb c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; };
  for (std::size_t i = 1; i < map.size(); ++i)
    EXPECT_GE(luma(map[i]) + 1.0, luma(map[i - 1])) << "entry " << i;
  EXPECT_GT(luma(map[255]) - luma(map[0]), 150);
  for (std::size_t i = 0; i < map.size(); ++i) {
    const rgb c = map[i];
    const int spread = std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b});
    EXPECT_GT(spread, 40) << "entry " << i;
  }
}

struct ticks_case {
  const char* what;
  colour_scale scale;
  std::vector<double> ticks;
};

const ticks_case ticks_cases[] = {
    {"linear", {false, -0.3, 1.05, false}, {-0.2, 0, 0.2, 0.4, 0.6, 0.8, 1}},
    {"linear in steps of 2", {false, 3, 13, false}, {4, 6, 8, 10, 12}},
    {"decades", {true, 0.5, 2000, false}, {1, 10, 100, 1000}},
    {"two decades, with 2 and 5 times them", {true, 3, 150, false}, {5, 10, 20, 50, 100}},
    {"less than a decade", {true, 11, 19, false}, {12, 14, 16, 18}},
    {"one value", {false, 7, 7, false}, {7}},
    {"no value", {}, {}},
};

TEST(view_colour_scale, ticks) {
  for (const auto& c : ticks_cases) {
    SCOPED_TRACE(c.what);
    const std::vector<double> t = ticks(c.scale);
    ASSERT_EQ(t.size(), c.ticks.size());
    for (std::size_t i = 0; i < t.size(); ++i) EXPECT_NEAR(t[i], c.ticks[i], 1e-12);
  }
}

TEST(view_colour_scale, tick_labels) {
  struct case_ {
    double v, spacing;
    const char* label;
  };
  const case_ cases[] = {
      {0.1 + 0.2, 0.1, "0.3"}, {-5, 5, "-5"},         {6512500, 500, "6512500"},
      {1e8, 1e8, "1E+08"},     {2e-5, 2e-5, "2E-05"}, {1.25e9, 5e7, "1.25E+09"},
      {0.001, 0.001, "0.001"}, {0, 0.5, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(tick_label(c.v, c.spacing), c.label) << c.v;
}

}  // namespace
}  // namespace tervox_test
