#include "formats/volume_line.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tervox_test {
namespace {

using tervox::formats::long_line_size;
using tervox::formats::put_long;
using tervox::formats::put_short;
using tervox::formats::short_line_size;

// One line from the formatter, checked to be exactly the advertised length.
std::string long_line(float v) {
  char buf[long_line_size + 8];
  std::memset(buf, '#', sizeof buf);
  char* end = put_long(buf, v);
  EXPECT_EQ(end, buf + long_line_size);
  EXPECT_EQ(buf[long_line_size], '#') << "wrote past the line";
  return std::string(buf, end);
}

std::string short_line(float v) {
  char buf[short_line_size + 8];
  std::memset(buf, '#', sizeof buf);
  char* end = put_short(buf, v);
  EXPECT_EQ(end, buf + short_line_size);
  EXPECT_EQ(buf[short_line_size], '#') << "wrote past the line";
  return std::string(buf, end);
}

// printf's rendering of a finite value, with the line end; zeros of either
// sign are written without a minus sign.
std::string printf_line(float v, const char* format) {
  char buf[32];
  const double d = v == 0.0F ? 0.0 : static_cast<double>(v);
  const int n = std::snprintf(buf, sizeof buf, format, d);
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string hex_bits(float v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", std::bit_cast<std::uint32_t>(v));
  return buf;
}

// Compares both forms of v with printf; returns false after the first
// mismatch has been reported, so that a sweep stops flooding the log.
bool matches_printf(float v) {
  if (!std::isfinite(v)) {
    return true;  // the special spellings are not printf's; see the table
  }
  const std::string expected_long = printf_line(v, "%11.4E\n");
  const std::string expected_short = printf_line(v, "%8.1E\n");
  const std::string got_long = long_line(v);
  const std::string got_short = short_line(v);
  EXPECT_EQ(got_long, expected_long) << "long form of " << hex_bits(v);
  EXPECT_EQ(got_short, expected_short) << "short form of " << hex_bits(v);
  return got_long == expected_long && got_short == expected_short;
}

// The line a value must give: printf's for a finite value, the tool's
// spelling (checked by the hand cases) for the others.
std::string expected_line(float v, bool long_form) {
  if (std::isfinite(v)) {
    return printf_line(v, long_form ? "%11.4E\n" : "%8.1E\n");
  }
  return long_form ? long_line(v) : short_line(v);
}

// Formats a run by one call on one path and compares it line by line with
// the expected lines; guard bytes either side must stay untouched and the
// returned end must follow the last line. Returns false after the first
// fault has been reported.
bool run_matches(const std::vector<float>& values, bool long_form,
                 tervox::formats::number_run_path path) {
  const std::size_t line = long_form ? long_line_size : short_line_size;
  constexpr std::size_t guard = 80;
  std::string buf(guard + values.size() * line + guard, '#');
  char* const start = buf.data() + guard;
  char* const end = long_form ? put_long(start, values, path) : put_short(start, values, path);
  EXPECT_EQ(end, start + values.size() * line);
  EXPECT_EQ(buf.find_first_not_of('#', 0), values.empty() ? std::string::npos : guard)
      << "wrote before the run";
  EXPECT_EQ(buf.find_first_not_of('#', guard + values.size() * line), std::string::npos)
      << "wrote past the run";
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string got(start + i * line, line);
    const std::string want = expected_line(values[i], long_form);
    EXPECT_EQ(got, want) << (long_form ? "long" : "short") << " form of " << hex_bits(values[i])
                         << ", value " << i << " of " << values.size();
    if (got != want) {
      return false;
    }
  }
  return !testing::Test::HasFailure();
}

const tervox::formats::number_run_path run_paths[] = {tervox::formats::number_run_path::widest,
                                                      tervox::formats::number_run_path::avx2,
                                                      tervox::formats::number_run_path::portable};

std::string path_name(tervox::formats::number_run_path path) {
  const char* const taken = tervox::formats::wide_number_runs_available()   ? "AVX-512"
                            : tervox::formats::avx2_number_runs_available() ? "AVX2"
                                                                            : "portable";
  switch (path) {
    case tervox::formats::number_run_path::widest:
      return std::string("widest (") + taken + ")";
    case tervox::formats::number_run_path::avx2:
      return tervox::formats::avx2_number_runs_available() ? "avx2" : "avx2 (portable here)";
    case tervox::formats::number_run_path::portable:
      break;
  }
  return "portable";
}

float from_bits(std::uint32_t bits) {
  return std::bit_cast<float>(bits);
}

struct form_case {
  float value;
  const char* long_form;   // without the line end
  const char* short_form;  // without the line end
  const char* why;
};

const form_case form_cases[] = {
    {123.456F, " 1.2346E+02", " 1.2E+02", "rounds up in the last digit"},
    {-0.5F, "-5.0000E-01", "-5.0E-01", "a minus sign takes the leading blank"},
    {0.0F, " 0.0000E+00", " 0.0E+00", "zero has exponent +00"},
    {-0.0F, " 0.0000E+00", " 0.0E+00", "negative zero carries no minus sign"},
    {-100.0F, "-1.0000E+02", "-1.0E+02", "linear-mode fill value"},
    {1.0e-10F, " 1.0000E-10", " 1.0E-10", "log-mode fill value"},
    {1.03F, " 1.0300E+00", " 1.0E+00", "1.0299999713... rounds up"},
    {10.0F, " 1.0000E+01", " 1.0E+01", "a power of ten starts its own decade"},
    // Exact decimal ties in the binary value go to the even digit.
    {1.03125F, " 1.0312E+00", " 1.0E+00", "tie, even digit below"},
    {1.09375F, " 1.0938E+00", " 1.1E+00", "tie, even digit above"},
    {100005.0F, " 1.0000E+05", " 1.0E+05", "tie on an integer, down"},
    {100015.0F, " 1.0002E+05", " 1.0E+05", "tie on an integer, up"},
    {100025.0F, " 1.0002E+05", " 1.0E+05", "tie on an integer, down again"},
    {0.125F, " 1.2500E-01", " 1.2E-01", "short-form tie, down"},
    {0.375F, " 3.7500E-01", " 3.8E-01", "short-form tie, up"},
    {-0.125F, "-1.2500E-01", "-1.2E-01", "negative tie: ties are symmetric"},
    {2.25F, " 2.2500E+00", " 2.2E+00", "short-form tie, down"},
    {2.75F, " 2.7500E+00", " 2.8E+00", "short-form tie, up"},
    // One unit in the last place either side of a tie decides it.
    {0x1.080002p0F, " 1.0313E+00", " 1.0E+00", "just above the tie 1.03125"},
    {0x1.07fffep0F, " 1.0312E+00", " 1.0E+00", "just below the tie 1.03125"},
    // Rounding that carries into the exponent.
    {9.99995F, " 1.0000E+01", " 1.0E+01", "9.9999504... carries"},
    {from_bits(0x411fffcbU), " 9.9999E+00", " 1.0E+01", "9.9999494... does not"},
    {99999.5F, " 1.0000E+05", " 1.0E+05", "tie that carries (odd digit)"},
    {99998.5F, " 9.9998E+04", " 1.0E+05", "tie that stays (even digit)"},
    {99.5F, " 9.9500E+01", " 1.0E+02", "short-form tie that carries"},
    {98.5F, " 9.8500E+01", " 9.8E+01", "short-form tie that stays"},
    {1.0e38F, " 1.0000E+38", " 1.0E+38", "9.99999968e37 carries to the top decade"},
    // Extremes of the float range.
    {0x1p-149F, " 1.4013E-45", " 1.4E-45", "smallest subnormal"},
    {from_bits(0x007fffffU), " 1.1755E-38", " 1.2E-38", "largest subnormal"},
    {0x1p-126F, " 1.1755E-38", " 1.2E-38", "smallest normal"},
    {0x1.fffffep127F, " 3.4028E+38", " 3.4E+38", "largest float"},
    {-0x1.fffffep127F, "-3.4028E+38", "-3.4E+38", "most negative float"},
    // Special values, right-aligned; too wide for the field gives asterisks.
    {INFINITY, "   Infinity", "Infinity", "infinity fills the short field exactly"},
    {-INFINITY, "  -Infinity", "********", "-Infinity does not fit 8 columns"},
    {NAN, "        NaN", "     NaN", "not-a-number"},
    {-NAN, "        NaN", "     NaN", "the sign of a not-a-number is not shown"},
    {from_bits(0x7f800001U), "        NaN", "     NaN", "signalling not-a-number"},
};

TEST(number_format_test, hand_cases) {
  for (const form_case& c : form_cases) {
    SCOPED_TRACE(testing::Message() << c.why << ", value " << hex_bits(c.value));
    EXPECT_EQ(long_line(c.value), std::string(c.long_form) + '\n');
    EXPECT_EQ(short_line(c.value), std::string(c.short_form) + '\n');
    // The hand-written expectations for finite values are printf's too.
    matches_printf(c.value);
  }
}

// The decimal exponent of a value is decided by comparing it with the float
// nearest each power of ten, and a carry near 9.99995 * 10^n or 9.95 * 10^n
// raises it by one: check a few floats around each of those boundaries, in
// every decade the floats reach.
//
// The vector path decides the decade from a rounded product, sending values
// at or above 9.99975 * 10^n (9.975 * 10^n in the short form) to the decade
// above: those boundaries are checked in runs on both paths.
TEST(number_format_test, decade_boundaries_match_printf) {
  const char* const mantissas[] = {"1", "9.99995", "9.95", "9.9999", "9.9", "9.99975", "9.975"};
  std::vector<float> values;
  for (int e10 = -46; e10 <= 39; ++e10) {
    for (const char* mantissa : mantissas) {
      const std::string text = std::string(mantissa) + "e" + std::to_string(e10);
      const float nearest = std::strtof(text.c_str(), nullptr);
      if (!std::isfinite(nearest)) {
        continue;
      }
      const auto centre = static_cast<std::int64_t>(std::bit_cast<std::uint32_t>(nearest));
      for (std::int64_t bits = centre - 3; bits <= centre + 3; ++bits) {
        if (bits < 0 || bits >= 0x7f800000) {
          continue;
        }
        const float v = from_bits(static_cast<std::uint32_t>(bits));
        SCOPED_TRACE(text);
        if (!matches_printf(v) || !matches_printf(-v)) {
          return;
        }
        values.push_back(v);
        values.push_back(-v);
      }
    }
  }
  for (const tervox::formats::number_run_path path : run_paths) {
    SCOPED_TRACE(path_name(path));
    if (!run_matches(values, true, path) || !run_matches(values, false, path)) {
      return;
    }
  }
}

// Uniform bit patterns cover every binade and both signs; patterns with a
// short mantissa are mostly exact binary fractions with few digits, which is
// where exact decimal ties live.
TEST(number_format_test, random_bit_patterns_match_printf) {
  std::mt19937 gen(20240611);
  for (int i = 0; i < 1'000'000; ++i) {
    if (!matches_printf(from_bits(static_cast<std::uint32_t>(gen())))) {
      return;
    }
  }
  for (int i = 0; i < 300'000; ++i) {
    const auto bits = static_cast<std::uint32_t>(gen());
    const std::uint32_t dropped = static_cast<std::uint32_t>(gen()) % 24;
    const std::uint32_t mask = ~((std::uint32_t{1} << dropped) - 1);
    if (!matches_printf(from_bits(bits & mask))) {
      return;
    }
  }
}

// A writer appends line after line into one buffer.
TEST(number_format_test, lines_append_back_to_back) {
  char buf[2 * long_line_size + short_line_size];
  char* p = buf;
  p = put_long(p, 1.0F);
  p = put_short(p, -100.0F);
  p = put_long(p, -2.5e-7F);
  EXPECT_EQ(std::string(buf, p), " 1.0000E+00\n-1.0E+02\n-2.5000E-07\n");
}

// Every value that leaves the common path, at every position of runs whose
// lengths fall below, on and across the eight values a vector register
// holds; the other values are ordinary and of both signs and many decades.
TEST(number_format_test, runs_with_a_rare_value_anywhere_match_printf) {
  const float rare_values[] = {0.0F,
                               -0.0F,
                               0x1p-149F,
                               from_bits(0x007fffffU),
                               INFINITY,
                               -INFINITY,
                               NAN,
                               1.03125F,
                               0x1.080002p0F,
                               9.99995F,
                               99999.5F,
                               -99998.5F,
                               0.125F,
                               99.5F,
                               1.0e38F,
                               0x1p-126F,
                               -0x1.fffffep127F};
  const std::size_t lengths[] = {1, 2, 7, 8, 9, 15, 16, 17, 30};
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> decade(-12.0, 12.0);
  for (const tervox::formats::number_run_path path : run_paths) {
    for (const std::size_t length : lengths) {
      for (std::size_t at = 0; at < length; ++at) {
        for (const float rare : rare_values) {
          std::vector<float> values(length);
          for (float& v : values) {
            const double magnitude = std::pow(10.0, decade(gen));
            v = static_cast<float>(gen() % 3 == 0 ? -magnitude : magnitude);
          }
          values[at] = rare;
          SCOPED_TRACE(testing::Message() << path_name(path) << ", " << length << " values, "
                                          << hex_bits(rare) << " at " << at);
          if (!run_matches(values, true, path) || !run_matches(values, false, path)) {
            return;
          }
        }
      }
    }
  }
}

// Runs of every length from 0 to 40 of uniform bit patterns (every binade,
// both signs, the odd not-a-number and infinity), on both paths.
TEST(number_format_test, runs_of_random_bit_patterns_match_printf) {
  std::mt19937 gen(20261210);
  for (const tervox::formats::number_run_path path : run_paths) {
    for (int round = 0; round < 100; ++round) {
      for (std::size_t length = 0; length <= 40; ++length) {
        std::vector<float> values(length);
        for (float& v : values) {
          v = from_bits(static_cast<std::uint32_t>(gen()));
        }
        SCOPED_TRACE(testing::Message() << path_name(path) << ", " << length << " values");
        if (!run_matches(values, true, path) || !run_matches(values, false, path)) {
          return;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tervox_test
