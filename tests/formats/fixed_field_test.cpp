#include "formats/fixed_field.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string_view>

namespace tervox_test {
using namespace tervox::formats;
namespace {

struct int_case {
  long long value;
  int width;
  std::string_view expected;
};

constexpr int_case int_cases[] = {
    {10, 5, "   10"},     {0, 5, "    0"},          {0, 3, "  0"},
    {-3, 3, " -3"},       {999, 3, "999"},          {1000, 3, "***"},
    {-99, 3, "-99"},      {-100, 3, "***"},         {12345, 5, "12345"},
    {123456, 5, "*****"}, {2147483647, 5, "*****"},
};

TEST(fixed_field_test, integers_align_or_fill) {
  for (const auto& c : int_cases) {
    SCOPED_TRACE(testing::Message() << c.value << " width " << c.width);
    EXPECT_EQ(fixed_int(c.value, c.width), c.expected);
  }
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct real_case {
  const char* what;
  double value;
  int width, decimals;
  std::string_view expected;
};

constexpr real_case real_cases[] = {
    {"negative", -40, 12, 1, "       -40.0"},
    {"positive", 960.5, 12, 1, "       960.5"},
    {"zero", 0, 4, 1, " 0.0"},
    {"negative zero has no sign", -0.0, 4, 1, " 0.0"},
    {"negative rounding to zero keeps its sign", -0.001, 8, 2, "   -0.00"},
    {"cell size", 100, 8, 3, " 100.000"},
    {"below 1 gets its 0", 0.5, 8, 3, "   0.500"},
    {"0 dropped when the field is one short", 0.5, 4, 3, ".500"},
    {"0 dropped after a minus", -0.5, 5, 3, "-.500"},
    {"too wide even without the 0", -0.5, 4, 3, "****"},
    {"fills the field exactly", 9999.999, 8, 3, "9999.999"},
    {"one digit too many", 10000, 8, 3, "********"},
    {"negative one digit too many", -1000, 8, 3, "********"},
    {"rounding carries into a new digit", 9999.9996, 8, 3, "********"},
    {"largest thickness", 99999.99, 8, 2, "99999.99"},
    {"thickness too wide", 100000, 8, 2, "********"},
    {"rounds to nearest", 18.376, 8, 2, "   18.38"},
    // Exact binary ties go to the even digit, as printf rounds them.
    {"tie to even, up", 18.375, 8, 2, "   18.38"},
    {"tie to even, down", 0.125, 8, 2, "    0.12"},
    {"tie to even, one decimal", 0.25, 4, 1, " 0.2"},
    // Not a tie in binary: 2.675 is stored as 2.67499999999999982236431605997495353221893310546875.
    {"just below a decimal tie", 2.675, 8, 2, "    2.67"},
    {"huge", 1e300, 12, 1, "************"},
    {"infinity", inf, 8, 3, "Infinity"},
    {"minus infinity", -inf, 12, 1, "   -Infinity"},
    {"infinity too wide", inf, 4, 1, "****"},
    {"minus infinity too wide", -inf, 8, 2, "********"},
    {"NaN", nan, 8, 2, "     NaN"},
    {"NaN in a small field", nan, 4, 1, " NaN"},
};

TEST(fixed_field_test, reals_align_round_or_fill) {
  for (const auto& c : real_cases) {
    SCOPED_TRACE(testing::Message() << c.what << ": " << c.value << " width " << c.width
                                    << " decimals " << c.decimals);
    EXPECT_EQ(fixed_real(c.value, c.width, c.decimals), c.expected);
  }
}

}  // namespace
}  // namespace tervox_test
