#include "cli.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tervox_test {
using namespace tervox::driver;
namespace {

struct command_case {
  const char* what;
  std::vector<std::string> args;
  // Expected infile and outfile; nullptr when the usage lines are expected.
  const char* infile;
  const char* outfile;
  // The one line said about it: for a refused command line the fault, for an
  // accepted one a warning; "" for nothing.
  const char* said = "";
};

const command_case command_cases[] = {
    {"nothing", {}, nullptr, nullptr},
    {"one empty argument", {""}, nullptr, nullptr},
    {"only blanks", {"  ", " "}, nullptr, nullptr},
    {"unclosed quote", {"\"in.txt out.vol 25 25 1"}, nullptr, nullptr},
    {"four values",
     {"in.txt", "out.vol", "25", "25"},
     nullptr,
     nullptr,
     "expected 5 arguments (infile outfile dx dy log), got 4"},
    {"one value",
     {"in.txt"},
     nullptr,
     nullptr,
     "expected 5 arguments (infile outfile dx dy log), got 1"},
    {"log missing in the joined form",
     {"in.txt,out.vol,25,25"},
     nullptr,
     nullptr,
     "expected 5 arguments (infile outfile dx dy log), got 4"},
    {"non-numeric dx",
     {"in.txt", "out.vol", "x", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a number, got 'x'"},
    {"dx with a unit",
     {"in.txt", "out.vol", "200m", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a number, got '200m'"},
    {"non-numeric dy",
     {"in.txt", "out.vol", "25", "25m", "1"},
     nullptr,
     nullptr,
     "dy must be a number, got '25m'"},
    {"non-numeric log",
     {"in.txt", "out.vol", "25", "25", "yes"},
     nullptr,
     nullptr,
     "log must be a whole number (1 for log mode), got 'yes'"},
    {"real log",
     {"in.txt", "out.vol", "25", "25", "1.0"},
     nullptr,
     nullptr,
     "log must be a whole number (1 for log mode), got '1.0'"},
    {"empty log",
     {"in.txt", "out.vol", "25", "25", ""},
     nullptr,
     nullptr,
     "log must be a whole number (1 for log mode), got ''"},
    {"log beyond 32 bits",
     {"in.txt", "out.vol", "25", "25", "2147483648"},
     nullptr,
     nullptr,
     "log must be a whole number within 32 bits (1 for log mode), got '2147483648'"},
    // inf and nan are words to the number reader, not numbers.
    {"not-a-number dx",
     {"in.txt", "out.vol", "nan", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a number, got 'nan'"},
    {"infinite dx as a word",
     {"in.txt", "out.vol", "inf", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a number, got 'inf'"},
    {"the first fault in argument order",
     {"in.txt", "out.vol", "0", "x", "yes"},
     nullptr,
     nullptr,
     "dx must be a positive cell size, got '0'"},
    {"a word for dx before a word for log",
     {"in.txt,out.vol,abc,25,yes"},
     nullptr,
     nullptr,
     "dx must be a number, got 'abc'"},
    {"an option among the five values is a value",
     {"in.txt", "out.vol", "25", "--max-distance", "600", "1"},
     nullptr,
     nullptr,
     "dy must be a number, got '--max-distance'"},
    {"zero dx",
     {"in.txt", "out.vol", "0", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a positive cell size, got '0'"},
    {"negative dy",
     {"in.txt", "out.vol", "25", "-25", "1"},
     nullptr,
     nullptr,
     "dy must be a positive cell size, got '-25'"},
    {"negative zero dx",
     {"in.txt,out.vol,-0.0,25,1"},
     nullptr,
     nullptr,
     "dx must be a positive cell size, got '-0.0'"},
    {"dx beyond single precision: infinite",
     {"in.txt", "out.vol", "1e39", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a positive cell size, got '1e39'"},
    {"dx that rounds to zero",
     {"in.txt", "out.vol", "1e-50", "25", "1"},
     nullptr,
     nullptr,
     "dx must be a positive cell size, got '1e-50'"},
    {"unknown option",
     {"--max", "in.txt", "out.vol", "25", "25", "1"},
     nullptr,
     nullptr,
     "unknown option '--max'"},
    {"option with a value it does not take",
     {"--help=yes"},
     nullptr,
     nullptr,
     "option '--help' takes no value"},
    {"five values", {"in.txt", "out.vol", "25", "25", "1"}, "in.txt", "out.vol"},
    // Five arguments or more: each is one value as the shell delivered it.
    {"names with blanks and commas",
     {"my in.txt", "my, out.vol", "25", "25", "1"},
     "my in.txt",
     "my, out.vol"},
    {"quotes kept in a value of its own",
     {"\"in\".txt", "out.vol", "25", "25", "1"},
     "\"in\".txt",
     "out.vol"},
    {"empty name", {"", "out.vol", "25", "25", "1"}, "", "out.vol"},
    {"extra values ignored",
     {"in.txt", "out.vol", "25", "25", "1", "x", "/"},
     "in.txt",
     "out.vol",
     "extra arguments 'x' and '/' are ignored"},
    {"-- ends the options", {"--", "--in.txt", "out.vol", "25", "25", "1"}, "--in.txt", "out.vol"},
    // Among the five values a leading "--" is part of a name, as it always was.
    {"an output name that starts with --",
     {"in.txt", "--out.vol", "25", "25", "1"},
     "in.txt",
     "--out.vol"},
    {"five arguments, the first holding commas",
     {"a,b,25,25,1", "--out.vol", "25", "25", "1"},
     "a,b,25,25,1",
     "--out.vol"},
    // Fewer than five: joined and split.
    {"commas without blanks", {"in.txt,out.vol,25,25,1"}, "in.txt", "out.vol"},
    {"commas and blanks mixed", {"in.txt ,", ",out.vol,\t25 ,25", "1"}, "in.txt", "out.vol"},
    {"tabs", {"in.txt\tout.vol\t25\t25\t1"}, "in.txt", "out.vol"},
    {"quoted names with blanks",
     {"\"my in.txt\" \"my, out.vol\"", "25 25 1"},
     "my in.txt",
     "my, out.vol"},
    {"quoted part inside a value",
     {"data/\"survey 1\".txt o", "25", "25", "1"},
     "data/survey 1.txt",
     "o"},
    {"empty quoted name", {"\"\" out.vol", "25", "25", "1"}, "", "out.vol"},
    {"-- then the joined form", {"--", "in.txt,out.vol,25,25,1"}, "in.txt", "out.vol"},
    {"extra value in the joined form",
     {"in.txt,out.vol,25,25,1,7"},
     "in.txt",
     "out.vol",
     "extra argument '7' is ignored"},
    {"slashes are part of names",
     {"/data/a/in.txt", "../out/x.vol", "25", "25", "1"},
     "/data/a/in.txt",
     "../out/x.vol"},
    {"slash alone is a value", {"/ out.vol 25 25 1"}, "/", "out.vol"},
    {"long names kept whole",
     {"a_soundings_file_name_of_40_characters.txt", "an_output_name_longer_than_twenty.vol", "25",
      "25", "1"},
     "a_soundings_file_name_of_40_characters.txt",
     "an_output_name_longer_than_twenty.vol"},
};

TEST(cli_test, accepts_or_refuses_command_lines) {
  for (const auto& c : command_cases) {
    SCOPED_TRACE(c.what);
    const command_line parsed = read_command_line(c.args);
    if (c.infile == nullptr) {
      EXPECT_EQ(parsed.what, command_line::request::refused);
      EXPECT_EQ(parsed.problem, c.said);
      continue;
    }
    ASSERT_EQ(parsed.what, command_line::request::run) << parsed.problem;
    EXPECT_EQ(parsed.warnings,
              *c.said ? std::vector<std::string>{c.said} : std::vector<std::string>{});
    EXPECT_EQ(parsed.args.infile, c.infile);
    EXPECT_EQ(parsed.args.outfile, c.outfile);
    EXPECT_EQ(parsed.args.dx, 25.0f);
    EXPECT_EQ(parsed.args.dy, 25.0f);
    EXPECT_EQ(parsed.args.log, 1);
  }
}

TEST(cli_test, help_and_version_stop_before_the_values) {
  using request = command_line::request;
  const struct {
    std::vector<std::string> args;
    request what;
  } cases[] = {
      {{"--help"}, request::help},
      {{"--version"}, request::version},
      {{"--version", "--help"}, request::help},
      {{"--help", "in.txt", "out.vol", "0", "0", "0"}, request::help},
      {{"--version", "--nosuch"}, request::refused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(read_command_line(c.args).what, c.what);
  }
}

// Everything read_command_line decides but the warnings, in one line, so that
// two command lines can be compared whole.
std::string described(const command_line& c) {
  const arguments& a = c.args;
  std::string text = std::to_string(static_cast<int>(c.what)) + " '" + c.problem + "'";
  if (c.what != command_line::request::run)
    return text;
  return text + " " + a.infile + " " + a.outfile + " " + std::to_string(a.dx) + " " +
         std::to_string(a.dy) + " " + std::to_string(a.log) +
         " max-distance=" + std::to_string(a.max_distance) +
         " nodata=" + (a.nodata ? std::to_string(*a.nodata) : "none") +
         " doi=" + (a.doi ? "1" : "0") + " skip-missing=" + (a.skip_missing ? "1" : "0");
}

// An option after the five values means what it means before them; "--"
// still ends the options, and what follows the values without being an
// option is ignored with a warning.
TEST(cli_test, options_after_the_values_count_as_if_they_came_first) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> same_as;
    const char* warning;
  } cases[] = {
      {{"in", "out", "25", "25", "1", "--max-distance", "600"},
       {"--max-distance", "600", "in", "out", "25", "25", "1"},
       ""},
      {{"in", "out", "25", "25", "1", "--max-distance=600", "--doi", "--nodata", "nan"},
       {"--max-distance=600", "--doi", "--nodata", "nan", "in", "out", "25", "25", "1"},
       ""},
      // Joined form: the values after the fifth.
      {{"in,out,25,25,1", "--max-distance", "600"},
       {"--max-distance", "600", "in,out,25,25,1"},
       ""},
      {{"in,out,25,25,1,--nodata,-1"}, {"--nodata", "-1", "in,out,25,25,1"}, ""},
      {{"in out 25", "25 1 --doi"}, {"--doi", "in out 25 25 1"}, ""},
      {{"in", "out", "25", "25", "1", "--skip-missing"}, {"--skip-missing", "in out 25 25 1"}, ""},
      // Both places: the later one wins, as between two leading options.
      {{"--max-distance", "100", "in", "out", "25", "25", "1", "--max-distance", "600"},
       {"--max-distance", "100", "--max-distance", "600", "in", "out", "25", "25", "1"},
       ""},
      {{"in", "out", "25", "25", "1", "7", "--doi", "x", "y"},
       {"--doi", "in", "out", "25", "25", "1"},
       "extra arguments '7', 'x' and 1 more are ignored"},
      {{"in", "out", "25", "25", "1", "--"}, {"in", "out", "25", "25", "1"}, ""},
      {{"in", "out", "25", "25", "1", "--", "--max-distance", "600"},
       {"in", "out", "25", "25", "1"},
       "extra arguments '--max-distance' and '600' are ignored"},
      {{"in", "out", "25", "25", "1", "--", "--"},
       {"in", "out", "25", "25", "1"},
       "extra argument '--' is ignored"},
      {{"--", "in", "out", "25", "25", "1", "--doi"},
       {"in", "out", "25", "25", "1"},
       "extra argument '--doi' is ignored"},
      {{"in,out,25,25,1 -- --doi"},
       {"in", "out", "25", "25", "1"},
       "extra argument '--doi' is ignored"},
      // Help and version, and refusals, as with the option first: the
      // values are not looked at.
      {{"in", "out", "0", "0", "0", "--help"}, {"--help"}, ""},
      {{"in", "out", "x", "25", "1", "--version"}, {"--version"}, ""},
      {{"in", "out", "25", "25", "1", "--help", "--nosuch"}, {"--help", "--nosuch"}, ""},
      {{"in", "out", "x", "25", "1", "--verbose"}, {"--verbose"}, ""},
      {{"in,out,25,25,1", "--max"}, {"--max"}, ""},
      {{"in", "out", "25", "25", "1", "--max-distance"}, {"--max-distance"}, ""},
      {{"in", "out", "25", "25", "1", "--max-distance", "0"}, {"--max-distance", "0"}, ""},
      {{"in", "out", "25", "25", "1", "--doi=1"}, {"--doi=1"}, ""},
      {{"in", "out", "25", "25", "1", "--skip-missing=1"}, {"--skip-missing=1"}, ""},
      // A leading --help stops the reading there, as it always did.
      {{"--help", "in", "out", "25", "25", "1", "--nosuch"}, {"--help"}, ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const command_line parsed = read_command_line(c.args);
    const command_line expected = read_command_line(c.same_as);
    EXPECT_EQ(described(parsed), described(expected));
    EXPECT_EQ(parsed.warnings,
              *c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
  }
}

// The option-first lines the table above compares with say what they should.
TEST(cli_test, options_go_to_their_fields) {
  const std::vector<std::string> args{"--max-distance=600",
                                      "--doi",
                                      "--nodata",
                                      "-1",
                                      "--skip-missing",
                                      "in",
                                      "out",
                                      "25",
                                      "25",
                                      "1"};
  const command_line parsed = read_command_line(args);
  ASSERT_EQ(parsed.what, command_line::request::run) << parsed.problem;
  EXPECT_EQ(parsed.args.max_distance, 600.0f);
  EXPECT_TRUE(parsed.args.doi);
  EXPECT_TRUE(parsed.args.skip_missing);
  EXPECT_EQ(parsed.args.nodata, -1.0f);
  const std::vector<std::string> plain{"in", "out", "25", "25", "1"};
  const command_line defaults = read_command_line(plain);
  EXPECT_EQ(defaults.args.max_distance, 0.0f);
  EXPECT_FALSE(defaults.args.doi);
  EXPECT_FALSE(defaults.args.nodata);
  EXPECT_FALSE(defaults.args.skip_missing);
}

TEST(cli_test, numbers_go_to_their_fields) {
  const std::vector<std::string> args{"in", "out", "12.5", "3e2", "-7"};
  const command_line parsed = read_command_line(args);
  ASSERT_EQ(parsed.what, command_line::request::run);
  EXPECT_EQ(parsed.args.dx, 12.5f);
  EXPECT_EQ(parsed.args.dy, 300.0f);
  EXPECT_EQ(parsed.args.log, -7);
}

struct real_case {
  const char* text;
  std::optional<float> expected;
};

const real_case real_cases[] = {
    {"25", 25.0f},
    {"+25", 25.0f},
    {"-25", -25.0f},
    {"25.", 25.0f},
    {".5", 0.5f},
    {"-.5", -0.5f},
    {"0", 0.0f},
    {"2.5e1", 25.0f},
    {"2.5E+1", 25.0f},
    {"250e-1", 25.0f},
    {"2.5d1", 25.0f},
    {"2.5D1", 25.0f},
    {"0.1", 0.1f},
    // Halfway between 1 and the next float, plus a little: rounded once it
    // goes up; a detour through double lands on the tie and goes down to 1.
    {"1.000000059604644775390625000001", 1.00000011920928955078125f},
    {"1e39", std::numeric_limits<float>::infinity()},
    {"-1e39", -std::numeric_limits<float>::infinity()},
    {"1e-50", 0.0f},
    {"", std::nullopt},
    {".", std::nullopt},
    {"-", std::nullopt},
    {"+-1", std::nullopt},
    {"e5", std::nullopt},
    {"1e", std::nullopt},
    {"1e+", std::nullopt},
    {"1.2.3", std::nullopt},
    {"1 ", std::nullopt},
    {" 1", std::nullopt},
    {"0x10", std::nullopt},
    {"inf", std::nullopt},
    {"nan", std::nullopt},
    {"25m", std::nullopt},
    {"2*25", std::nullopt},
};

TEST(cli_test, parses_reals) {
  for (const auto& c : real_cases) {
    SCOPED_TRACE(c.text);
    const auto value = parse_real(c.text);
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (value) {
      EXPECT_EQ(*value, *c.expected);
    }
  }
}

struct integer_case {
  const char* text;
  std::optional<int> expected;
};

const integer_case integer_cases[] = {
    {"1", 1},
    {"+2", 2},
    {"-1", -1},
    {"0", 0},
    {"007", 7},
    {"2147483647", 2147483647},
    {"-2147483648", std::numeric_limits<int>::min()},
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"", std::nullopt},
    {"+", std::nullopt},
    {"+-1", std::nullopt},
    {"--1", std::nullopt},
    {"1.0", std::nullopt},
    {"1e0", std::nullopt},
    {"1x", std::nullopt},
    {"one", std::nullopt},
};

TEST(cli_test, parses_integers) {
  for (const auto& c : integer_cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_integer(c.text), c.expected);
  }
}

struct split_case {
  const char* text;
  std::optional<std::vector<std::string>> expected;
};

const split_case split_cases[] = {
    {"", std::vector<std::string>{}},
    {" , \t,", std::vector<std::string>{}},
    {"a b", std::vector<std::string>{"a", "b"}},
    {"a,,b", std::vector<std::string>{"a", "b"}},
    {"a/b,c", std::vector<std::string>{"a/b", "c"}},
    {"\"a b\",\"c,d\"", std::vector<std::string>{"a b", "c,d"}},
    {"x\"a b\"y z", std::vector<std::string>{"xa by", "z"}},
    {"\"\" b", std::vector<std::string>{"", "b"}},
    {"a \"b", std::nullopt},
};

TEST(cli_test, splits_values) {
  for (const auto& c : split_cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(split_values(c.text), c.expected);
  }
}

}  // namespace
}  // namespace tervox_test
