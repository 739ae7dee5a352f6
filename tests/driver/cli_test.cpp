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
  // For a refused command line: the one line said about it, or "".
  const char* problem = "";
};

const command_case command_cases[] = {
    {"nothing", {}, nullptr, nullptr},
    {"one empty argument", {""}, nullptr, nullptr},
    {"only blanks", {"  ", " "}, nullptr, nullptr},
    {"four values", {"in.txt", "out.vol", "25", "25"}, nullptr, nullptr},
    {"non-numeric dx", {"in.txt", "out.vol", "x", "25", "1"}, nullptr, nullptr},
    {"non-numeric dy", {"in.txt", "out.vol", "25", "25m", "1"}, nullptr, nullptr},
    {"non-numeric log", {"in.txt", "out.vol", "25", "25", "yes"}, nullptr, nullptr},
    {"real log", {"in.txt", "out.vol", "25", "25", "1.0"}, nullptr, nullptr},
    {"not-a-number dx", {"in.txt", "out.vol", "nan", "25", "1"}, nullptr, nullptr},
    {"unclosed quote", {"\"in.txt out.vol 25 25 1"}, nullptr, nullptr},
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
    {"extra values ignored", {"in.txt", "out.vol", "25", "25", "1", "x", "/"}, "in.txt", "out.vol"},
    {"-- ends the options", {"--", "--in.txt", "out.vol", "25", "25", "1"}, "--in.txt", "out.vol"},
    {"an argument after the values is no option",
     {"in.txt", "out.vol", "25", "25", "1", "--help"},
     "in.txt",
     "out.vol"},
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
      EXPECT_EQ(parsed.problem, c.problem);
      continue;
    }
    ASSERT_EQ(parsed.what, command_line::request::run) << parsed.problem;
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
