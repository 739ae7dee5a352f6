#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "formats/soundings.hpp"

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
namespace {

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct parsed {
  read_outcome outcome;
  survey s;
};

parsed read_text(const std::string& text, const read_options& options = {}) {
  std::istringstream in(text);
  parsed p;
  p.outcome = read_soundings(in, "survey.txt", p.s, nullptr, options);
  return p;
}

// Bit patterns, so that -0 differs from 0 and a NaN equals itself.
std::vector<std::uint32_t> bits(std::span<const float> v) {
  std::vector<std::uint32_t> b;
  for (const float f : v) {
    b.push_back(std::bit_cast<std::uint32_t>(f));
  }
  return b;
}

const std::string header3 =
    "Number of layers 3\n"
    "Layer thicknesses (m): 10 20\n"
    "Number of soundings: 3\n"
    "x y rho1 rho2 rho3\n";
const std::string body3 =
    "0 0 1 2 3\n"
    "1 0 4 5 6\n"
    "0 1 7 8 9\n";

// Decimals just off a single-precision midpoint by less than half a
// double-precision ulp: through double they land on the midpoint and round to
// even; converted directly they round the other way.
const std::string above_1 = "1.000000059604644776257986737988403547205962240695953369140625";
const std::string below_3 = "1.000000178813934325304513262011596452794037759304046630859375";

struct good_case {
  const char* what;
  std::string text;
  int nlayer;
  std::vector<float> dz, xloc, yloc, dat;  // dat layer by layer
};

const std::vector<float> dz3 = {10, 20};
const std::vector<float> x3 = {0, 1, 0};
const std::vector<float> y3 = {0, 0, 1};
const std::vector<float> dat3 = {1, 4, 7, 2, 5, 8, 3, 6, 9};

const std::vector<good_case>& good_cases() {
  static const std::vector<good_case> cases = {
      {"nominal", header3 + body3, 3, dz3, x3, y3, dat3},
      {"last line without a line end", header3 + "0 0 1 2 3\n1 0 4 5 6\n0 1 7 8 9", 3, dz3, x3, y3,
       dat3},
      {"sounding over several lines", header3 + "0 0\n1 2 3\n1\n0 4\n\n5 6\n0 1 7 8 9\n", 3, dz3,
       x3, y3, dat3},
      {"extra values on a line are ignored",
       header3 + "0 0 1 2 3 99 98\n1 0 4 5 6 junk 'open\n0 1 7 8 9 , , /\n", 3, dz3, x3, y3, dat3},
      {"commas, tabs and carriage returns",
       "Number,of,layers,3\r\nLayer , thicknesses\t,(m):,10,20\r\nNumber of soundings:,3\r\n"
       "x,y\r\n0,0,1,2,3\r\n1 ,0, 4 ,5,6\r\n0\t1,\t7 8,\r\n9\r\n",
       3, dz3, x3, y3, dat3},
      {"quoted label words hold blanks, commas and slashes",
       "\"Number of\" 'layers, /' \"a \"\"b\"\"\" 3\n"
       "'Layer thicknesses' 'in m' \"/\" 10 20\n"
       "'it''s' the \"count:\" 3\n" +
           std::string("'heading with an open quote\n") + body3,
       3, dz3, x3, y3, dat3},
      {"empty label words", ",lbl,,3\n, , ,10,20\nlbl, ,,3\n\n" + body3, 3, dz3, x3, y3, dat3},
      {"repeat counts",
       "3*lbl 3\nLayer thicknesses (m): 2*10\n1*'x, y' 1* 'count' 3\nheading\n"
       "3*0 2 3\n1 0 3*4 9\n0 1 7 5*8\n",
       3,
       {10, 10},
       x3,
       y3,
       {0, 4, 7, 2, 4, 8, 3, 4, 8}},
      {"slash after the last value of a statement",
       "Number of layers 3 / 4\nLayer thicknesses (m): 10 20/30\nNumber of soundings: 3/\n"
       "heading\n0 0 1 2 3/\n1 0 4 5 6 / 7\n0 1 7 8 9,/\n",
       3, dz3, x3, y3, dat3},
      {"D and E exponents",
       "Number of layers 3\nLayer thicknesses (m): 1.5D1 2d+1\nNumber of soundings: 3\nheading\n"
       "0D0 0e0 1E0 2.0d0 .3D1\n1.d0 0 4 5 6\n0 1 7 8 9\n",
       3,
       {15, 20},
       x3,
       y3,
       dat3},
      {"signs and decimal forms",
       header3 + "+1.5 -0 .5 5. -1.e1\n1 0 4 5 6\n0 1 7 8 9\n",
       3,
       dz3,
       {1.5f, 1, 0},
       {-0.0f, 0, 1},
       {0.5f, 4, 7, 5, 5, 8, -10, 6, 9}},
      {"one layer, thickness line with labels only",
       "Number of layers 1\nNo thicknesses here\nNumber of soundings: 3\nx y rho\n"
       "0 0 5\n1 0 6\n0 1 7\n",
       1,
       {},
       x3,
       y3,
       {5, 6, 7}},
      {"one layer, thickness line ended by a slash",
       "Number of layers 1\nThicknesses /\nNumber of soundings: 3\nx y rho\n0 0 5\n1 0 6\n0 1 7\n",
       1,
       {},
       x3,
       y3,
       {5, 6, 7}},
      {"text after the last sounding is never read",
       header3 + body3 + "not a sounding 'open\n1 2 3\n\x01\xff", 3, dz3, x3, y3, dat3},
      {"x and y are rounded once, from the double; other reals directly",
       "Number of layers 2\nLayer thicknesses (m): " + above_1 +
           "\nNumber of soundings: 3\nheading\n" + above_1 + " " + below_3 + " " + above_1 + " " +
           below_3 + "\n1 0 4 5\n0 1 7 8\n",
       2,
       {0x1.000002p0f},
       {1, 1, 0},
       {0x1.000004p0f, 0, 1},
       {0x1.000002p0f, 4, 7, 0x1.000002p0f, 5, 8}},
      {"overflow gives an infinity, underflow a zero",
       header3 + "1e39 3.40282356e38 1e39 -1e39 -1e-50\n1e400 0 4 5 6\n0 1 7 8 9\n",
       3,
       dz3,
       {inf, inf, 0},
       {std::numeric_limits<float>::max(), 0, 1},
       {inf, 4, 7, -inf, 5, 8, -0.0f, 6, 9}},
  };
  return cases;
}

TEST(reader_test, reads_valid_files) {
  for (const auto& c : good_cases()) {
    SCOPED_TRACE(c.what);
    const parsed p = read_text(c.text);
    ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
    EXPECT_EQ(p.outcome.problem.message(), "");
    EXPECT_EQ(p.s.nlayer, c.nlayer);
    EXPECT_EQ(p.s.nsound, 3);
    EXPECT_EQ(bits(p.s.dz), bits(c.dz));
    EXPECT_EQ(bits(p.s.xloc), bits(c.xloc));
    EXPECT_EQ(bits(p.s.yloc), bits(c.yloc));
    EXPECT_EQ(bits(p.s.dat), bits(c.dat));
  }
}

TEST(reader_test, layer_is_a_contiguous_column) {
  parsed p = read_text(header3 + body3);
  ASSERT_EQ(p.outcome.status, read_status::ok);
  EXPECT_EQ(bits(p.s.layer(2)), bits(std::vector<float>{2, 5, 8}));
  p.s.layer(3)[0] = 42;
  const survey& cs = p.s;
  EXPECT_EQ(bits(cs.layer(3)), bits(std::vector<float>{42, 6, 9}));
  EXPECT_EQ(bits(cs.layer(1)), bits(std::vector<float>{1, 4, 7}));
}

struct bad_case {
  const char* what;
  std::string text;
  std::string diagnostic;
};

TEST(reader_test, rejects_malformed_files_with_one_diagnostic) {
  const bad_case cases[] = {
      {"empty file", "",
       "survey.txt:1: expected label word 1 of the layer count line, got end of file"},
      {"bad number", header3 + "0 0 1 2 3\n1 0 4 abc 6\n0 1 7 8 9\n",
       "survey.txt:6: expected layer 2 of sounding 2, got 'abc'"},
      {"quote where a number is due", "Number of layers \"3\"\n",
       "survey.txt:1: expected the number of layers, got '\"3\"'"},
      {"end of file before a sounding", header3 + "0 0 1 2 3\n1 0 4 5 6\n",
       "survey.txt:6: expected x of sounding 3, got end of file"},
      {"end of file inside a sounding, no final line end", header3 + "0 0 1 2 3\n1 0 4 5 6\n0 1 7",
       "survey.txt:7: expected layer 2 of sounding 3, got end of file"},
      {"end of file after blank lines", header3 + "0 0 1 2 3\n1 0\n\n\n",
       "survey.txt:8: expected layer 1 of sounding 2, got end of file"},
      {"no heading line",
       "Number of layers 3\nLayer thicknesses (m): 10 20\nNumber of soundings: 3\n",
       "survey.txt:3: expected the heading line, got end of file"},
      {"no thickness line", "Number of layers 1\n",
       "survey.txt:1: expected label word 1 of the thickness line, got end of file"},
      {"empty value between commas", header3 + "0,,1,2,3\n",
       "survey.txt:5: expected y of sounding 1, got an empty value"},
      {"comma that starts a statement", header3 + " ,0 1 2 3\n",
       "survey.txt:5: expected x of sounding 1, got an empty value"},
      {"empty value across a line end", header3 + "0 0 1,\n,3\n",
       "survey.txt:6: expected layer 2 of sounding 1, got an empty value"},
      {"repeat count with nothing after the asterisk", header3 + "0 0 2* 3\n",
       "survey.txt:5: expected layer 1 of sounding 1, got an empty value"},
      {"repeat count of zero", header3 + "0 0 0*5 3 3 3\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '0*5'"},
      {"repeat count out of range", header3 + "0 0 99999999999*5\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '99999999999*5'"},
      {"repeated text where a number is due", header3 + "0 0 3*abc\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '3*abc'"},
      {"slash before the last value", header3 + "0 0 1 2 3\n1 0 4 5 / 6\n",
       "survey.txt:6: expected layer 3 of sounding 2, got '/'"},
      {"slash among the label words", "Number of / 3\n",
       "survey.txt:1: expected the number of layers, got '/'"},
      {"slash among the thicknesses", "Number of layers 3\nLayer thicknesses (m): 10 /20\n",
       "survey.txt:2: expected thickness 2, got '/'"},
      {"number of layers zero", "Number of layers 0\n",
       "survey.txt:1: the number of layers must be at least 1, got 0"},
      {"number of layers negative", "Number of layers\n-3\n",
       "survey.txt:2: the number of layers must be at least 1, got -3"},
      {"number of layers not an integer", "Number of layers 3.0\n",
       "survey.txt:1: expected the number of layers, got '3.0'"},
      {"number of layers out of range", "Number of layers 2147483648\n",
       "survey.txt:1: expected the number of layers, got '2147483648' (out of range)"},
      {"number of soundings out of range",
       "N of layers 1\nno thick nesses\nN of soundings -99999999999\n",
       "survey.txt:3: expected the number of soundings, got '-99999999999' (out of range)"},
      {"more soundings than the triangulation can index",
       "N of layers 1\nno thick nesses\nN of soundings 357913943\n",
       "survey.txt:3: too many soundings: 357913943; at most 357913942 are supported"},
      // Only reserved: no memory is touched for the layers that never come.
      {"huge layer count, short thickness line",
       "Number of layers 50000000\nLayer thicknesses (m): 10 20\nNumber of soundings: 3\n",
       "survey.txt:3: expected thickness 3, got 'Number'"},
      {"unterminated quote", "'Number of layers 3\r\n",
       "survey.txt:1: expected label word 1 of the layer count line, got "
       "''Number of layers 3' (no closing quote on its line)"},
      {"text glued to a closing quote", "\"Number\"of layers 3\n",
       "survey.txt:1: expected label word 1 of the layer count line, got '\"Number\"of'"},
      {"unprintable bytes are escaped", header3 + "0 0 \x01\xff\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '\\x01\\xff'"},
      {"a long text is cut", header3 + "0 0 " + std::string(50, 'a') + "\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '" + std::string(40, 'a') + "...'"},
      // The marks of a missing value name the option that reads the word nan.
      {"nan where a layer is due", header3 + "0 0 1 NaN 3\n",
       "survey.txt:5: expected layer 2 of sounding 1, got 'NaN'; if it marks a missing value, give "
       "--nodata nan"},
      {"a '*' alone where a layer is due", header3 + "0 0 * 2 3\n",
       "survey.txt:5: expected layer 1 of sounding 1, got '*' (alone it is no value); if it marks "
       "a missing value, write nan in its place and give --nodata nan"},
      {"nan where x is due: a location is never missing", header3 + "nan 0 1 2 3\n",
       "survey.txt:5: expected x of sounding 1, got 'nan'"},
      {"line numbers count CRLF line ends once",
       "a b c 3\r\nd e f 1 2\r\ng h i 3\r\nj\r\n\r\n0 0 x\r\n",
       "survey.txt:6: expected layer 1 of sounding 1, got 'x'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const parsed p = read_text(c.text);
    EXPECT_EQ(p.outcome.status, read_status::bad_input);
    EXPECT_EQ(p.outcome.problem.message(), c.diagnostic);
  }
}

TEST(reader_test, fewer_than_three_soundings_stop_before_the_heading_line) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"two soundings, more lines follow",
       "N of layers 1\nno thick nesses\nN of soundings 2\nx y\n"
       "0 0 1\n1 0 1\n0 1 1\n"},
      {"two soundings, nothing after the count",
       "N of layers 1\nno thick nesses\nN of soundings 2"},
      {"zero soundings", "N of layers 1\nno thick nesses\nN of soundings 0\n"},
      {"negative count", "N of layers 1\nno thick nesses\nN of soundings -5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const parsed p = read_text(c.text);
    EXPECT_EQ(p.outcome.status, read_status::too_few_soundings);
    EXPECT_EQ(p.outcome.problem.message(), "");
  }
  const parsed three =
      read_text("N of layers 1\nno thick nesses\nN of soundings 3\nx y\n0 0 1\n1 0 1\n0 1 1\n");
  EXPECT_EQ(three.outcome.status, read_status::ok) << three.outcome.problem.message();
}

// Every spelling is read as the first thickness of a two-layer file.
TEST(reader_test, number_syntax) {
  const struct {
    const char* token;
    float value;
  } numbers[] = {
      {"1", 1},      {"+1", 1},       {"-1", -1},           {"1.", 1},
      {".5", 0.5f},  {"-.5", -0.5f},  {"+.5e1", 5},         {"1e2", 100},
      {"1E+2", 100}, {"1d2", 100},    {"1D-2", 0.01f},      {"0001.2500", 1.25f},
      {"1.e2", 100}, {"2*7", 7},      {"1e-45", 0x1p-149f}, {"-1e-46", -0.0f},
      {"0.1", 0.1f}, {"-0.0", -0.0f},
  };
  for (const auto& c : numbers) {
    SCOPED_TRACE(c.token);
    const parsed p = read_text(std::string("N of layers 2\nthick ness es ") + c.token +
                               "\nN of soundings 3\nh\n0 0 1 1\n1 0 1 1\n0 1 1 1\n");
    ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
    EXPECT_EQ(bits(p.s.dz), bits(std::vector<float>{c.value}));
  }
  const char* not_numbers[] = {"inf",   "-inf",  "nan", "infinity", "0x10", "1e",    "1e+",
                               ".",     "-",     "+",   "+-1",      "--1",  ".e1",   "1d",
                               "1.5.5", "1e5d2", "1f",  "e5",       "'1'",  "\"1\"", "1*2*3"};
  for (const std::string token : not_numbers) {
    SCOPED_TRACE(token);
    const parsed p = read_text("N of layers 2\nthick ness es " + token + "\n");
    EXPECT_EQ(p.outcome.status, read_status::bad_input);
    EXPECT_EQ(p.outcome.problem.message(),
              "survey.txt:2: expected thickness 1, got '" + token + "'");
  }
}

// Draws floats from raw engine output (the distributions are not fixed by
// the standard) and writes them in every spelling the format allows, spread
// over lines and separators; the file runs over several read blocks, and a
// label and a number longer than a block make the buffer grow.
TEST(reader_test, generated_files_read_back_exactly) {
  std::mt19937 gen(20240611);
  const auto finite_float = [&] {
    for (;;) {
      const float f = std::bit_cast<float>(static_cast<std::uint32_t>(gen()));
      if (std::isfinite(f)) {
        return f;
      }
    }
  };
  const auto pick = [&](std::uint32_t n) { return gen() % n; };

  constexpr int nlayer = 5;
  constexpr int nsound = 40000;
  std::vector<float> dz, xloc, yloc, dat(static_cast<std::size_t>(nsound * nlayer));
  // Appending, not operator+ chains: g++ 12 gives a false -Wrestrict on those
  // in optimised builds.
  std::string text = "'";
  text.append(3 << 20, 'q');
  text += "' of layers ";
  text += std::to_string(nlayer);
  text += "\nLayer thicknesses (m):";
  for (int k = 1; k < nlayer - 1; ++k) {
    dz.push_back(static_cast<float>(k));
    text += ' ';
    text += std::to_string(k);
  }
  // 1 followed by a million zeros, then the exponent that brings it back.
  dz.push_back(1);
  text += " 1";
  text.append(1 << 20, '0');
  text += "e-1048576\nNumber of soundings: ";
  text += std::to_string(nsound);
  text += "\nx y layers\n";

  const auto spell = [&](std::string s) {
    switch (pick(4)) {
      case 0:  // D exponent
        if (const auto e = s.find('e'); e != std::string::npos) {
          s[e] = 'D';
        }
        break;
      case 1:
        if (s[0] != '-') {
          s = "+" + s;
        }
        break;
      default:
        break;
    }
    return s;
  };
  const auto separator = [&] {
    static const char* const seps[] = {" ", "  ", "\t", ",", " , ", ",\t", "\n", " \r\n\n"};
    return std::string(seps[pick(8)]);
  };
  for (int i = 0; i < nsound; ++i) {
    // x and y are written exactly as doubles, so the expected value is the
    // float they came from whatever the conversion route.
    const float x = finite_float();
    const float y = finite_float();
    xloc.push_back(x);
    yloc.push_back(y);
    char buf[64];
    text += spell(std::string(buf, std::to_chars(buf, buf + 64, static_cast<double>(x)).ptr));
    text += separator();
    text += spell(std::string(buf, std::to_chars(buf, buf + 64, static_cast<double>(y)).ptr));
    for (int k = 0; k < nlayer;) {
      const float v = finite_float();
      const std::string s(buf, std::to_chars(buf, buf + 64, v).ptr);
      const int reps = pick(8) == 0 ? std::min(nlayer - k, 1 + static_cast<int>(pick(3))) : 1;
      text += separator();
      text += reps > 1 ? std::to_string(reps) + "*" + s : spell(s);
      for (int r = 0; r < reps; ++r, ++k) {
        dat[static_cast<std::size_t>(k * nsound + i)] = v;
      }
    }
    text += pick(3) == 0 ? " 1 2 extra /\n" : "\n";
  }
  ASSERT_GT(text.size(), std::size_t{6} << 20);

  const parsed p = read_text(text);
  ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
  EXPECT_EQ(p.s.nlayer, nlayer);
  EXPECT_EQ(p.s.nsound, nsound);
  EXPECT_EQ(bits(p.s.dz), bits(dz));
  EXPECT_EQ(bits(p.s.xloc), bits(xloc));
  EXPECT_EQ(bits(p.s.yloc), bits(yloc));
  EXPECT_EQ(bits(p.s.dat), bits(dat));
}

// A stream whose device fails: the stream sets badbit, which must not read as
// an ordinary end of file.
class failing_buf : public std::streambuf {
 protected:
  int_type underflow() override { throw std::runtime_error("device failure"); }
};

TEST(reader_test, input_error_is_not_taken_for_end_of_file) {
  failing_buf buf;
  std::istream in(&buf);
  survey s;
  const read_outcome o = read_soundings(in, "survey.txt", s);
  EXPECT_EQ(o.status, read_status::bad_input);
  EXPECT_EQ(o.problem.message(),
            "survey.txt:1: expected label word 1 of the layer count line, got an input error");
}

// ---------------------------------------------------------------------------
// Location checks
// ---------------------------------------------------------------------------

survey at(std::vector<float> x, std::vector<float> y) {
  survey s;
  s.nlayer = 1;
  s.nsound = static_cast<int>(x.size());
  s.dat.assign(x.size(), 1.0f);
  s.xloc = std::move(x);
  s.yloc = std::move(y);
  return s;
}

TEST(reader_test, check_locations) {
  const struct {
    const char* what;
    survey s;
    std::string diagnostic;
  } cases[] = {
      {"distinct", at({0, 1, 0, 1}, {0, 0, 1, 1}), ""},
      {"neighbouring floats are distinct", at({1, std::nextafter(1.0f, 2.0f), 1}, {0, 0, -0.0f}),
       "survey.txt: soundings 1 and 3 share the location (1, 0) once rounded to single precision, "
       "which steps by 1.1920929e-07 at 1"},
      {"x not finite", at({0, inf, 0}, {0, 0, 1}),
       "survey.txt: sounding 2 has a location that is not finite: (inf, 0)"},
      {"y not a number", at({0, 1, 0}, {0, 0, nan}),
       "survey.txt: sounding 3 has a location that is not finite: (0, nan)"},
      {"several not finite, checked before duplicates", at({0, 0, -inf, 5, 0}, {0, 0, 1, inf, 2}),
       "survey.txt: sounding 3 has a location that is not finite: (-inf, 1); 2 soundings in all"},
      {"one pair", at({0, 0.5f, 1, 0.5f}, {0, 2, 0, 2}),
       "survey.txt: soundings 2 and 4 share the location (0.5, 2) once rounded to single "
       "precision, which steps by 2.3841858e-07 at 2"},
      {"zero and minus zero are one place", at({-0.0f, 1, 0}, {0, 0, -0.0f}),
       "survey.txt: soundings 1 and 3 share the location (-0, 0) once rounded to single precision"},
      {"three at one place", at({3, 1, 3, 0, 3}, {3, 0, 3, 1, 3}),
       "survey.txt: 2 pairs of soundings share a location once rounded to single precision: "
       "1 and 3 at (3, 3), 1 and 5 at (3, 3); single precision steps by 2.3841858e-07 at 3"},
      {"many pairs, the first few by the later sounding",
       at({9, 8, 7, 6, 5, 4, 3, 7, 5, 6, 3, 8, 9, 4, 0},
          {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}),
       "survey.txt: 7 pairs of soundings share a location once rounded to single precision: "
       "3 and 8 at (7, 0), 5 and 9 at (5, 0), 4 and 10 at (6, 0), 7 and 11 at (3, 0), "
       "2 and 12 at (8, 0), ...; single precision steps by 4.7683716e-07 at 7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(check_locations(c.s, "survey.txt").message(), c.diagnostic);
  }
}

TEST(reader_test, check_locations_sees_the_rounded_coordinates) {
  // Different decimals, one float: the check follows what the reader stored.
  const parsed p = read_text(
      "N of layers 1\nno thick nesses\nN of soundings 3\nh\n"
      "0.1 0 1\n1 0 1\n0.10000000000000001 0.000000000000000000000000000000000000000000001e-10 "
      "1\n");
  ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
  EXPECT_EQ(check_locations(p.s, "survey.txt").message(),
            "survey.txt: soundings 1 (line 5) and 3 (line 7) share the location (0.1, 0) once "
            "rounded to single precision, which steps by 7.450581e-09 at 0.1");

  // UTM: northings 0.1 apart in the file are one float, and the records
  // are named by the lines they start on, a blank line and a record over
  // two lines included.
  const parsed utm = read_text(
      "N of layers 1\nno thick nesses\nN of soundings 3\nx y rho\n"
      "512345.5 7012345.1 1\n\n512400 7012345.1\n1\n512345.5 7012345.2 1\n");
  ASSERT_EQ(utm.outcome.status, read_status::ok) << utm.outcome.problem.message();
  EXPECT_EQ(utm.s.line, (std::vector<std::int64_t>{5, 7, 9}));
  EXPECT_EQ(check_locations(utm.s, "utm.txt").message(),
            "utm.txt: soundings 1 (line 5) and 3 (line 9) share the location (512345.5, 7012345) "
            "once rounded to single precision, which steps by 0.5 at 7012345");
}

TEST(reader_test, check_locations_finds_one_pair_among_many) {
  std::mt19937 gen(7);
  constexpr int n = 200000;
  std::vector<float> x, y;
  for (int i = 0; i < n; ++i) {
    // A lattice of distinct points, shuffled below.
    x.push_back(static_cast<float>(i % 500));
    y.push_back(static_cast<float>(i / 500));
  }
  for (int i = n - 1; i > 0; --i) {
    const auto j = static_cast<std::size_t>(gen() % static_cast<std::uint32_t>(i + 1));
    std::swap(x[static_cast<std::size_t>(i)], x[j]);
    std::swap(y[static_cast<std::size_t>(i)], y[j]);
  }
  EXPECT_EQ(check_locations(at(x, y), "big.txt").message(), "");
  x.push_back(x[12344]);
  y.push_back(y[12344]);
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "big.txt: soundings 12345 and 200001 share the location (%g, %g) once rounded "
                "to single precision, which steps by 1.5258789e-05 at %g",
                static_cast<double>(x[12344]), static_cast<double>(y[12344]),
                static_cast<double>(std::max(x[12344], y[12344])));
  EXPECT_EQ(check_locations(at(x, y), "big.txt").message(), expected);
}

// What the free format allows but most likely loses a sounding is read as
// before and named in one warning per kind; a file without any of it gives
// none.
TEST(reader_test, warnings_for_lost_soundings) {
  const std::string head2 = "N of layers 2\nthick ness (m) 5\nN of soundings ";
  const struct {
    const char* what;
    std::string text;
    int nsound;  // soundings read
    std::vector<std::string> warnings;
  } cases[] = {
      {"clean file; a record over two lines and trailing text are fine",
       head2 + "3\nx y a b\n0 0 1 2\n1 0\n1 2\n0 1 1 2\nend of data\n\n",
       3,
       {}},
      {"records after the last counted sounding",
       head2 + "3\nx y a b\n0 0 1 2\n1 0 1 2\n0 1 1 2\n1 1 1 2\n2 2 1 2\n\n3 3,1,2\n",
       3,
       {"survey.txt: warning: the header counts 3 soundings; 3 more records follow from line 8 "
        "and are ignored"}},
      {"one record after the last",
       head2 + "3\nx y a b\n0 0 1 2\n1 0 1 2\n0 1 1 2\n1 1 1 2\n",
       3,
       {"survey.txt: warning: the header counts 3 soundings; 1 more record follows on line 8 "
        "and is ignored"}},
      {"a record a value short swallows the next line",
       head2 + "3\nx y a b\n0 0 1\n1 0 1 2\n0 1 1 2\n5 5 1 2\n",
       3,
       {"survey.txt: warning: sounding 1 on line 5 has 3 of 4 values and continues on line 6, "
        "which looks like a record of its own"}},
      {"several short records: one warning with a count",
       head2 + "3\nx y a b\n0 0 1\n1 0 1 2\n0 1\n2 2 1 2\n3 3 1\n4 4 1 2\n",
       3,
       {"survey.txt: warning: sounding 1 on line 5 has 3 of 4 values and continues on line 6, "
        "which looks like a record of its own; 2 more soundings do so"}},
      {"the heading line missing: line 4 holds numbers only",
       head2 + "3\n9 9 1 2\n0 0 1 2\n1 0 1 2\n0 1 1 2\n",
       3,
       {"survey.txt:4: warning: this line is skipped as the column headings, but holds only "
        "numbers; if it is the first sounding, the heading line above it is missing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const parsed p = read_text(c.text);
    ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
    EXPECT_EQ(p.s.nsound, c.nsound);
    std::vector<std::string> warnings;
    for (const diagnostic& w : p.outcome.warnings) {
      EXPECT_TRUE(w.is_warning()) << w.message();
      warnings.push_back(w.message());
    }
    EXPECT_EQ(warnings, c.warnings);
  }
}

// Values every record leaves unread on its last line, and a thickness too
// many: the values are read as before and the unread ones named once. A
// record's values are those of the free format: a repeat count stands for
// its copies, a slash ends the record, and text is no column of numbers.
TEST(reader_test, warnings_for_values_the_format_ignores) {
  const std::string head2 = "N of layers 2\nthick ness (m) 5\nN of soundings 3\nh\n";
  const std::string two_more =
      "survey.txt:5: warning: every record holds 2 values more than x, y and the 2 layers need; "
      "they are ignored, so the file may not be in the order x, y, layer 1, layer 2, or the "
      "header may count too few layers";
  const struct {
    const char* what;
    std::string text;
    read_options options;
    std::vector<std::string> warnings;
  } cases[] = {
      {"two more values in every record",
       head2 + "0 0 1 2 8 9\n1 0 1 2 8 9\n0 1 1 2 8 9\n",
       {},
       {two_more}},
      {"records over two lines, two more on each last line",
       head2 + "0 0 1\n2 8 9\n1 0 1\n2,8,9\n0 1 1\n\n2 8 9\n",
       {},
       {two_more}},
      {"repeat counts: copies left over count",
       head2 + "0 0 1 3*2\n1 0 1 2 2*9\n0 1 4*1\n",
       {},
       {two_more}},
      {"one more value, and the depth of investigation",
       "N of layers 3\nthick ness (m) 5 6\nN of soundings 3\nh\n0 0 1 2 3 4 9\n"
       "1 0 1 2 3 4 9\n0 1 1 2 3 4 9\n",
       {.doi = true},
       {"survey.txt:5: warning: every record holds 1 value more than x, y, the 3 layers and the "
        "depth of investigation need; it is ignored, so the file may not be in the order x, y, "
        "layer 1 ... layer 3, depth of investigation, or the header may count too few layers"}},
      {"one more value, the depth of investigation and the elevation",
       "N of layers 2\nthick ness (m) 5\nN of soundings 3\nh\n0 0 1 2 4 80 9\n"
       "1 0 1 2 4 81 9\n0 1 1 2 4 82 9\n",
       {.doi = true, .elevation = true},
       {"survey.txt:5: warning: every record holds 1 value more than x, y, the 2 layers, the "
        "depth of investigation and the ground elevation need; it is ignored, so the file may not "
        "be in the order x, y, layer 1, layer 2, depth of investigation, ground elevation, or the "
        "header may count too few layers"}},
      {"one more value and the elevation",
       "N of layers 1\nthick ness (m)\nN of soundings 3\nh\n0 0 1 80 7\n1 0 1 81 7\n0 1 1 82 7\n",
       {.elevation = true},
       {"survey.txt:5: warning: every record holds 1 value more than x, y, the layer and the "
        "ground "
        "elevation need; it is ignored, so the file may not be in the order x, y, layer 1, ground "
        "elevation, or the header may count too few layers"}},
      {"one layer",
       "N of layers 1\nthick ness (m)\nN of soundings 3\nh\n0 0 1 7\n1 0 1 7\n0 1 1 7\n",
       {},
       {"survey.txt:5: warning: every record holds 1 value more than x, y and the layer need; it "
        "is ignored, so the file may not be in the order x, y, layer 1, or the header may count "
        "too few layers"}},
      {"the last record holds fewer", head2 + "0 0 1 2 8 9\n1 0 1 2 8 9\n0 1 1 2 8\n", {}, {}},
      {"the first record holds none", head2 + "0 0 1 2\n1 0 1 2 8 9\n0 1 1 2 8 9\n", {}, {}},
      {"text after every record", head2 + "0 0 1 2 L1\n1 0 1 2 L1\n0 1 1 2 L1\n", {}, {}},
      {"values after a slash", head2 + "0 0 1 2 / 8 9\n1 0 1 2/8 9\n0 1 1 2 /8 9\n", {}, {}},
      {"null values", head2 + "0 0 1 2,,\n1 0 1 2,,\n0 1 1 2 2*\n", {}, {}},
      {"a thickness for the last layer",
       "N of layers 3\nthick ness (m) 5 6 7\nN of soundings 3\nh\n0 0 1 2 3\n1 0 1 2 3\n0 1 1 2 "
       "3\n",
       {},
       {"survey.txt:2: warning: the thickness line holds 3 thicknesses for 3 layers; the last is "
        "ignored since the last layer has none, so the number of layers may be off by one"}},
      {"a thickness for the last layer, by a repeat count and over two lines",
       "N of layers 3\nthick ness (m)\n5 2*6\nN of soundings 3\nh\n0 0 1 2 3\n1 0 1 2 3\n"
       "0 1 1 2 3\n",
       {},
       {"survey.txt:3: warning: the thickness line holds 3 thicknesses for 3 layers; the last is "
        "ignored since the last layer has none, so the number of layers may be off by one"}},
      {"a thickness for the one layer",
       "N of layers 1\nthick ness (m) 5\nN of soundings 3\nh\n0 0 1\n1 0 1\n0 1 1\n",
       {},
       {"survey.txt:2: warning: the thickness line holds a thickness for the one layer; it is "
        "ignored since the last layer has none, so the number of layers may be off by one"}},
      {"two thicknesses too many",
       "N of layers 2\nthick ness (m) 5 6 7\nN of soundings 3\nh\n0 0 1 2\n1 0 1 2\n0 1 1 2\n",
       {},
       {}},
      {"a unit after the thicknesses",
       "N of layers 2\nthick ness es 5 m\nN of soundings 3\nh\n"
       "0 0 1 2\n1 0 1 2\n0 1 1 2\n",
       {},
       {}},
      {"a slash before a value",
       "N of layers 1\nthick ness / 5\nN of soundings 3\nh\n"
       "0 0 1\n1 0 1\n0 1 1\n",
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const parsed p = read_text(c.text, c.options);
    ASSERT_EQ(p.outcome.status, read_status::ok) << p.outcome.problem.message();
    EXPECT_EQ(p.s.nsound, 3);
    std::vector<std::string> warnings;
    for (const diagnostic& w : p.outcome.warnings) warnings.push_back(w.message());
    EXPECT_EQ(warnings, c.warnings);
  }
}

// A short record that takes the next line's values leaves the file short at
// its end; the error says where the trouble began.
TEST(reader_test, end_of_file_names_the_first_short_record) {
  const parsed p = read_text(
      "N of layers 2\nthick ness (m) 5\nN of soundings 3\nx y a b\n0 0 1 2\n1 0 1\n0 1 1 2\n");
  ASSERT_EQ(p.outcome.status, read_status::bad_input);
  EXPECT_EQ(p.outcome.problem.message(),
            "survey.txt:7: expected x of sounding 3, got end of file; sounding 2 on line 6 "
            "has 3 of 4 values and continues on line 7, which looks like a record of its own (a "
            "record a value short takes the next line's values)");
  EXPECT_TRUE(p.outcome.warnings.empty());
}

}  // namespace
}  // namespace tervox_test
