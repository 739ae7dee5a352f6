// The built program on the mistakes real survey data and command lines
// bring: what it says, its exit status and the files it leaves. Each case is
// a row of the README's table of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.hpp"

namespace tervox_test {
namespace {

const std::string header2 = "Number of layers 2\nLayer thicknesses (m) 5\nNumber of soundings ";

// Four soundings, two layers; a grid of 10 x 10 cells with dx = dy = 1.
const std::string four_soundings = header2 + "4\nx y a b\n0 0 1 2\n10 0 3 4\n0 10 5 6\n10 10 7 8\n";

class bad_input : public ::testing::Test {
 protected:
  tool_run run(const std::vector<std::string>& args) {
    return run_tool(args, tool_options(dir.path()));
  }
  std::vector<std::string> entries() const { return list_entries(dir.path()); }

  temp_folder dir;
};

// A cell size that places no grid, a word where a number belongs, a value
// missing, and a malformed option, before or after the values, are
// command-line errors: the usage lines, one line naming the fault, status 2,
// no file.
TEST_F(bad_input, refused_command_lines_name_the_fault) {
  write_file(dir / "in.txt", four_soundings);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"in.txt", "zero.vol", "0", "25", "1"},
       "tervox: dx must be a positive cell size, got '0'\n"},
      {{"in.txt", "neg.vol", "25", "-25", "1"},
       "tervox: dy must be a positive cell size, got '-25'\n"},
      {{"in.txt", "inf.vol", "1e39", "25", "1"},
       "tervox: dx must be a positive cell size, got '1e39'\n"},
      // inf and nan are words, not numbers, to the number reader.
      {{"in.txt", "nan.vol", "nan", "25", "1"}, "tervox: dx must be a number, got 'nan'\n"},
      {{"in.txt", "inf.vol", "inf", "25", "1"}, "tervox: dx must be a number, got 'inf'\n"},
      {{"in.txt", "m.vol", "200m", "200", "1"}, "tervox: dx must be a number, got '200m'\n"},
      {{"in.txt", "m.vol", "200", "200,5", "1"}, "tervox: dy must be a number, got '200,5'\n"},
      {{"in.txt", "yes.vol", "25", "25", "yes"},
       "tervox: log must be a whole number (1 for log mode), got 'yes'\n"},
      {{"in.txt,out.vol,25,25"},
       "tervox: expected 5 arguments (infile outfile dx dy log), got 4\n"},
      {{"in.txt", "out.vol", "25"},
       "tervox: expected 5 arguments (infile outfile dx dy log), got 3\n"},
      {{"--verbose", "in.txt", "out.vol", "1", "1", "0"}, "tervox: unknown option '--verbose'\n"},
      {{"in.txt", "out.vol", "1", "1", "0", "--verbose"}, "tervox: unknown option '--verbose'\n"},
      {{"in.txt,out.vol,1,1,0", "--max-dist=3"}, "tervox: unknown option '--max-dist'\n"},
      {{"--version=2"}, "tervox: option '--version' takes no value\n"},
      {{"--max-distance", "0", "in.txt", "out.vol", "1", "1", "0"},
       "tervox: --max-distance must be a positive distance, got '0'\n"},
      {{"--max-distance=inf", "in.txt", "out.vol", "1", "1", "0"},
       "tervox: --max-distance must be a positive distance, got 'inf'\n"},
      {{"--nodata", "none", "in.txt", "out.vol", "1", "1", "0"},
       "tervox: --nodata must be a number or nan, got 'none'\n"},
      {{"--max-distance"}, "tervox: option '--max-distance' needs a value\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[std::min<std::size_t>(2, c.args.size() - 1)]);
    const tool_run r = run(c.args);
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});
  }
}

// An option after the five arguments counts as if it came first; after "--"
// it is an argument like any other. Arguments beyond the five that are no
// option are ignored with a warning. Each line gives the same files as the
// line it is compared with.
TEST_F(bad_input, options_and_extra_arguments_after_the_five) {
  write_file(dir / "in.txt", four_soundings);
  const std::vector<std::string> plain{"in.txt", "plain.vol", "1", "1", "0"};
  const std::vector<std::string> masked{
      "--max-distance", "3", "in.txt", "masked.vol", "1", "1", "0"};
  for (const auto& args : {plain, masked}) {
    const tool_run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.err, "");
  }
  // Without this the comparisons below would not tell the option was used.
  ASSERT_NE(read_file(dir / "masked.vol"), read_file(dir / "plain.vol"));

  const struct {
    std::vector<std::string> args;
    const char* same_as;  // the volume of the same name as this
    std::string err;
  } cases[] = {
      {{"in.txt", "out.vol", "1", "1", "0", "--max-distance", "3"}, "masked", ""},
      {{"in.txt,out.vol,1,1,0", "--max-distance=3"}, "masked", ""},
      {{"in.txt", "out.vol", "1", "1", "0", "--", "--max-distance", "3"},
       "plain",
       "tervox: warning: extra arguments '--max-distance' and '3' are ignored\n"},
      {{"in.txt", "out.vol", "1", "1", "0", "7"},
       "plain",
       "tervox: warning: extra argument '7' is ignored\n"},
      {{"in.txt", "out.vol", "1", "1", "0", "extra", "7", "--max-distance", "3"},
       "masked",
       "tervox: warning: extra arguments 'extra' and '7' are ignored\n"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const tool_run r = run(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    const std::string expected = c.same_as;
    EXPECT_EQ(read_file(dir / "out.vol"), read_file(dir / (expected + ".vol")));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), read_file(dir / (expected + ".vol.mesh")));
    std::filesystem::remove(dir / "out.vol");
    std::filesystem::remove(dir / "out.vol.mesh");
  }
}

// With --doi every record ends with one more value. A record without it
// would take the next record's x as its depth, so the reader stops at the
// first record whose depth would come from a line that looks like a record.
TEST_F(bad_input, record_without_its_depth_of_investigation) {
  write_file(dir / "in.txt", four_soundings);
  const tool_run r = run({"--doi", "in.txt", "out.vol", "1", "1", "0"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "tervox: in.txt:5: expected the depth of investigation of sounding 1 (a value after "
            "its last layer), got the end of its line; line 6 looks like the next record\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});

  // The same records with their depths are read.
  write_file(dir / "in.txt",
             header2 + "4\nx y a b doi\n0 0 1 2 9\n10 0 3 4 9\n0 10 5 6 9\n10 10 7 8\n9\n");
  const tool_run ok = run({"--doi", "in.txt", "out.vol", "1", "1", "0"});
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ok.status, 0);
}

TEST_F(bad_input, help_and_version) {
  const tool_run help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_TRUE(help.out.starts_with(usage_text)) << help.out;
  for (const char* part :
       {"infile", "outfile", "dx dy", "log", "outfile.mesh", "--help", "--version", "-- ends them",
        "--max-distance D", "--nodata V", "--doi", "--skip-missing"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;

  const tool_run version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.err, "");
  unsigned major = 0, minor = 0, patch = 0;
  char end = 0;
  EXPECT_EQ(std::sscanf(version.out.c_str(), "tervox %u.%u.%u%c", &major, &minor, &patch, &end), 4)
      << version.out;
  EXPECT_EQ(end, '\n');
  EXPECT_TRUE(entries().empty());
}

// Five arguments are five values however many blanks the names hold.
TEST_F(bad_input, names_with_blanks_as_the_shell_delivers_them) {
  write_file(dir / "my survey.txt", four_soundings);
  const tool_run r = run({"my survey.txt", "my grid.vol", "1", "1", "0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(entries(),
            (std::vector<std::string>{"my grid.vol", "my grid.vol.mesh", "my survey.txt"}));
}

// Mistakes that lose soundings while the format allows them: the run goes
// through with the soundings as read (the same volume and mesh as the file
// that says what was read), and standard error names the lines.
TEST_F(bad_input, lost_soundings_are_named_and_the_outputs_stay) {
  const struct {
    const char* what;
    std::string soundings;
    std::string as_read;  // the same soundings, with nothing to warn about
    std::string err;
  } cases[] = {
      {"header counts fewer soundings than follow", four_soundings + "5 5 9 9\n6 6 9 9\n",
       four_soundings,
       "tervox: in.txt: warning: the header counts 4 soundings; 2 more records follow from "
       "line 9 and are ignored\n"},
      {"a record a value short takes the next line",
       header2 + "4\nx y a b\n0 0 1\n10 0 3 4\n0 10 5 6\n10 10 7 8\n3 3 1 1\n",
       header2 + "4\nx y a b\n0 0 1 10\n0 10 5 6\n10 10 7 8\n3 3 1 1\n",
       "tervox: in.txt: warning: sounding 1 on line 5 has 3 of 4 values and continues on line 6, "
       "which looks like a record of its own\n"},
      {"the heading line missing", header2 + "4\n0 0 1 2\n10 0 3 4\n0 10 5 6\n10 10 7 8\n5 4 3 3\n",
       header2 + "4\nx y a b\n10 0 3 4\n0 10 5 6\n10 10 7 8\n5 4 3 3\n",
       "tervox: in.txt:4: warning: this line is skipped as the column headings, but holds only "
       "numbers; if it is the first sounding, the heading line above it is missing\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "in.txt", c.soundings);
    write_file(dir / "clean.txt", c.as_read);
    const tool_run r = run({"in.txt", "out.vol", "1", "1", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    const tool_run clean = run({"clean.txt", "clean.vol", "1", "1", "0"});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.err, "");
    EXPECT_EQ(read_file(dir / "out.vol"), read_file(dir / "clean.vol"));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), read_file(dir / "clean.vol.mesh"));
  }
}

// Values the run takes as they are while they most likely mean something
// else: a warning names them, and the files are those of a run without the
// mistake (`same`, run with `same_options` and silent), or, for the
// logarithms of a zero and a negative value, the expected volume of a golden
// case. A row without either checks what is said and the status.
TEST_F(bad_input, values_taken_as_they_are_are_named_and_the_outputs_stay) {
  const std::string golden = std::string(TERVOX_SOURCE_DIR) + "/tests/golden/log_nonpositive/";
  const std::string nodata4 =
      header2 + "4\nx y a b\n0 0 1 2\n10 0 3 -9999\n0 10 -9999 6\n10 10 7 8\n";
  const std::string nonpositive4 =
      header2 + "4\nx y a b\n0 0 1 2\n10 0 3 -2\n0 10 0 6\n10 10 7 8\n";
  const std::string mark_once = header2 + "4\nx y a b\n0 0 1 2\n10 0 3 4\n0 10 5 6\n10 10 7 1e32\n";
  const std::string doi_marks4 =
      header2 + "4\nx y a b doi\n0 0 1 2 20\n10 0 3 4 -9999\n0 10 5 6 20\n10 10 7 8 -9999\n";
  const struct {
    const char* what;
    std::string soundings;
    std::vector<std::string> args;  // options, dx, dy and log
    std::string err;
    std::string same = {};  // soundings that give the same files
    std::vector<std::string> same_options = {};
    std::string golden_volume = {};  // or the expected volume
  } cases[] = {
      {"every record holds a line and a fiducial before x and y",
       header2 + "4\nline fid x y a b\n1 1 0 0 1 2\n2 3 10 0 3 4\n3 2 0 10 5 6\n4 5 10 10 7 8\n",
       {"1", "1", "0"},
       "tervox: in.txt:5: warning: every record holds 2 values more than x, y and the 2 layers "
       "need; they are ignored, so the file may not be in the order x, y, layer 1, layer 2, or "
       "the header may count too few layers\n",
       header2 + "4\nx y a b\n1 1 0 0\n2 3 10 0\n3 2 0 10\n4 5 10 10\n"},
      {"only some records hold extra values: nothing said",
       header2 + "4\nx y a b\n0 0 1 2 9 9\n10 0 3 4 9 9\n0 10 5 6\n10 10 7 8 9 9\n",
       {"1", "1", "0"},
       "",
       four_soundings},
      {"records with different extra values: nothing said",
       header2 + "4\nx y a b\n0 0 1 2 9 9\n10 0 3 4 9\n0 10 5 6 9 9\n10 10 7 8 9 9\n",
       {"1", "1", "0"},
       "",
       four_soundings},
      {"a thickness for the last layer",
       "Number of layers 2\nLayer thicknesses (m) 5 7\nNumber of soundings 4\nx y a b\n0 0 1 2\n"
       "10 0 3 4\n0 10 5 6\n10 10 7 8\n",
       {"1", "1", "0"},
       "tervox: in.txt:2: warning: the thickness line holds 2 thicknesses for 2 layers; the last "
       "is ignored since the last layer has none, so the number of layers may be off by one\n",
       four_soundings},
      // The first in file order is the later layer of the earlier sounding.
      // A --nodata that no value equals changes nothing and says nothing.
      {"-9999 without --nodata",
       nodata4,
       {"1", "1", "0"},
       "tervox: in.txt:6: warning: 2 layer values are -9999 (the first is layer 2 of sounding 2) "
       "and are interpolated like any other; if -9999 marks missing values, give --nodata -9999\n",
       nodata4,
       {"--nodata", "12345"}},
      {"a mark of no value, once",
       mark_once,
       {"1", "1", "0"},
       "tervox: in.txt:8: warning: 1 layer value is 1e32 (layer 2 of sounding 4) and is "
       "interpolated like any other; if 1e32 marks missing values, give --nodata 1e32\n",
       mark_once,
       {"--nodata", "nan"}},
      {"-9999 with --nodata -9999: nothing said",
       nodata4,
       {"--nodata", "-9999", "1", "1", "0"},
       ""},
      {"-9999 in log mode: named as a mark only",
       nodata4,
       {"1", "1", "1"},
       "tervox: in.txt:6: warning: 2 layer values are -9999 (the first is layer 2 of sounding 2) "
       "and are interpolated like any other; if -9999 marks missing values, give --nodata -9999\n"},
      {"a zero and a negative value in log mode",
       read_file(golden + "soundings.txt"),
       {"10", "10", "1"},
       "tervox: in.txt:6: warning: 2 layer values are zero or negative (the first is -5, layer 2 "
       "of sounding 2); in log mode their logarithms, -Infinity or NaN, spread into the cells "
       "around them; if they mark missing values, give that value with --nodata\n",
       "",
       {},
       read_file(golden + "nonpositive.vol")},
      {"log mode, the zero marked missing: the negative value named",
       nonpositive4,
       {"--nodata", "0", "1", "1", "1"},
       "tervox: in.txt:6: warning: 1 layer value is zero or negative (-2, layer 2 of sounding 2); "
       "in log mode its logarithm, -Infinity or NaN, spreads into the cells around it; if it "
       "marks a missing value, give that value with --nodata\n"},
      // A depth of investigation of -9999 blanks every layer near it, one of
      // 9999 none; with --nodata -9999 it is unknown, as the option says.
      {"-9999 as a depth of investigation without --nodata",
       doi_marks4,
       {"--doi", "1", "1", "0"},
       "tervox: in.txt:6: warning: 2 depths of investigation are -9999 (the first is that of "
       "sounding 2) and are taken as depths: they blank every layer in the cells around them; if "
       "-9999 marks missing values, give --nodata -9999\n",
       doi_marks4,
       {"--doi", "--nodata", "12345"}},
      {"9999 as a depth of investigation, once",
       header2 + "4\nx y a b doi\n0 0 1 2 20\n10 0 3 4 20\n0 10 5 6 9999\n10 10 7 8 20\n",
       {"--doi", "1", "1", "0"},
       "tervox: in.txt:7: warning: 1 depth of investigation is 9999 (that of sounding 3) and is "
       "taken as a depth: it blanks no layer in the cells around it; if 9999 marks missing "
       "values, give --nodata 9999\n"},
      {"-9999 in a layer and as a depth: the layer first",
       header2 + "4\nx y a b doi\n0 0 1 2 20\n10 0 3 4 -9999\n0 10 5 -9999 20\n10 10 7 8 20\n",
       {"--doi", "1", "1", "0"},
       "tervox: in.txt:7: warning: 1 layer value is -9999 (layer 2 of sounding 3) and is "
       "interpolated like any other; if -9999 marks missing values, give --nodata -9999\n"
       "tervox: in.txt:6: warning: 1 depth of investigation is -9999 (that of sounding 2) and is "
       "taken as a depth: it blanks every layer in the cells around it; if -9999 marks missing "
       "values, give --nodata -9999\n"},
      {"-9999 as a depth with --nodata -9999: nothing said",
       doi_marks4,
       {"--doi", "--nodata", "-9999", "1", "1", "0"},
       ""},
      {"zero and negative values in linear mode: nothing said", nonpositive4, {"1", "1", "0"}, ""},
      {"a clean file in log mode: nothing said", four_soundings, {"1", "1", "1"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "in.txt", c.soundings);
    std::vector<std::string> args = c.args;
    args.insert(args.end() - 3, {"in.txt", "out.vol"});
    const tool_run r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    if (!c.golden_volume.empty()) {
      EXPECT_EQ(read_file(dir / "out.vol"), c.golden_volume);
    }
    if (c.same.empty())
      continue;
    write_file(dir / "same.txt", c.same);
    std::vector<std::string> same_args = c.same_options;
    same_args.insert(same_args.end(), {"same.txt", "same.vol"});
    same_args.insert(same_args.end(), c.args.end() - 3, c.args.end());
    const tool_run same = run(same_args);
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.err, "");
    EXPECT_EQ(read_file(dir / "out.vol"), read_file(dir / "same.vol"));
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), read_file(dir / "same.vol.mesh"));
  }
}

// The marks of a missing value the reader refuses without --nodata nan: the
// diagnostic names the option. A '*' alone is no value (n*v repeats v).
TEST_F(bad_input, missing_value_marks_name_nodata_nan) {
  const struct {
    const char* what;
    std::string value;
    std::vector<std::string> options;
    int status;
    std::string err;
  } cases[] = {
      {"NaN",
       "NaN",
       {},
       1,
       "tervox: in.txt:6: expected layer 2 of sounding 2, got 'NaN'; if it marks a missing value, "
       "give --nodata nan\n"},
      {"repeated nan",
       "1*nan",
       {},
       1,
       "tervox: in.txt:6: expected layer 2 of sounding 2, got '1*nan'; if it marks a missing "
       "value, give --nodata nan\n"},
      {"a '*' alone",
       "*",
       {},
       1,
       "tervox: in.txt:6: expected layer 2 of sounding 2, got '*' (alone it is no value); if it "
       "marks a missing value, write nan in its place and give --nodata nan\n"},
      {"a '*' after a repeat count is a null value",
       "1*",
       {},
       1,
       "tervox: in.txt:6: expected layer 2 of sounding 2, got an empty value\n"},
      {"NaN with --nodata nan", "NaN", {"--nodata", "nan"}, 0, ""},
      {"'*' with --nodata nan is still refused",
       "*",
       {"--nodata", "nan"},
       1,
       "tervox: in.txt:6: expected layer 2 of sounding 2, got '*' (alone it is no value); if it "
       "marks a missing value, write nan in its place and give --nodata nan\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "in.txt",
               header2 + "4\nx y a b\n0 0 1 2\n10 0 3 " + c.value + "\n0 10 5 6\n10 10 7 8\n");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"in.txt", "out.vol", "1", "1", "0"});
    const tool_run r = run(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(bad_input, short_record_named_when_the_file_then_ends_early) {
  const std::string soundings = header2 + "4\nx y a b\n0 0 1 2\n10 0 3\n0 10 5 6\n10 10 7 8\n";
  write_file(dir / "in.txt", soundings);
  const tool_run r = run({"in.txt", "out.vol", "1", "1", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "tervox: in.txt:8: expected x of sounding 4, got end of file; sounding 2 on line 6 "
            "has 3 of 4 values and continues on line 7, which looks like a record of its own (a "
            "record a value short takes the next line's values)\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});
}

// UTM northings 0.1 apart in the file are one location in single precision.
TEST_F(bad_input, duplicate_locations_name_lines_and_precision) {
  write_file(dir / "in.txt",
             "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 4\n"
             "x y rho\n512345.5 7012345.1 1\n512400 7012345.1 1\n"
             "512345.5 7012400 1\n512345.5 7012345.2 1\n");
  const tool_run r = run({"in.txt", "out.vol", "10", "10", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "tervox: in.txt: soundings 1 (line 5) and 4 (line 8) share the location (512345.5, "
            "7012345) once rounded to single precision, which steps by 0.5 at 7012345\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"in.txt"});
}

// A grid without cells would give an empty volume file and status 0, which
// is never what was meant: most often degrees gridded with cells in metres.
// It is refused where the volume would be written, with the soundings'
// extent, and nothing new is left (the mesh file was only temporary).
// Collinear soundings still end with their own message and their mesh
// file, whatever the grid.
TEST_F(bad_input, grid_without_cells_is_refused) {
  const std::string header =
      "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y rho\n";
  const struct {
    const char* what;
    std::string soundings;
    std::string out, err;
    std::string mesh;  // the new mesh file; empty: the earlier one stays
  } cases[] = {
      {"longitude and latitude with cells in metres",
       header + "151.2 -33.9 1\n151.72 -33.75 2\n151.5 -33.59 3\n", "",
       "tervox: the grid has no cells: the soundings span 0.52 x 0.31 (x 151.2 to 151.72, "
       "y -33.9 to -33.59), less than a fifth of a cell of 100 x 100; are the coordinates "
       "degrees? use a cell size in their units\n",
       ""},
      {"latitude and longitude", header + "-33.9 151.2 1\n-33.75 151.72 2\n-33.59 151.5 3\n", "",
       "tervox: the grid has no cells: the soundings span 0.31 x 0.52 (x -33.9 to -33.59, "
       "y 151.2 to 151.72), less than a fifth of a cell of 100 x 100; are the coordinates "
       "degrees? use a cell size in their units\n",
       ""},
      {"a strip narrower than a fifth of a cell", header + "0 0 1\n1000 5 2\n500 15 3\n", "",
       "tervox: the grid has no cells: the soundings span 1000 x 15 (x 0 to 1000, y 0 to 15), "
       "less than a fifth of a cell of 100 x 100 along y; use a smaller cell size than "
       "dy = 100\n",
       ""},
      {"collinear soundings: as ever", header + "0 0 1\n0 100 2\n0 50 3\n",
       " Error: points are collinear.\n", "",
       "    0    1    1\n       -40.0       -40.0 0.0\n  0*100.000\n  1*100.000\n    1.00\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "in.txt", c.soundings);
    write_file(dir / "out.vol", "an earlier volume\n");
    write_file(dir / "out.vol.mesh", "an earlier mesh\n");
    const tool_run r = run({"in.txt", "out.vol", "100", "100", "0"});
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));
    EXPECT_EQ(read_file(dir / "out.vol"), "an earlier volume\n");
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), c.mesh.empty() ? "an earlier mesh\n" : c.mesh);
  }
}

// Grids the fixed fields of the mesh file would misplace: a survey in
// degrees, and 100000 cells along x in one row.
TEST_F(bad_input, mesh_files_that_describe_their_grid) {
  const struct {
    const char* what;
    std::string soundings;
    std::vector<std::string> sizes;
    std::string mesh;
  } cases[] = {
      {"degrees",
       "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nlon lat rho\n"
       "-27.05 153.01 1\n-27.0 153.01 2\n-27.03 153.03 3\n",
       {"0.0005", "0.0005"},
       "  100   40    1\n    -27.0502    153.0098 0.0\n100*0.0005\n 40*0.0005\n    1.00\n"},
      {"100000 cells and one row",
       "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y rho\n"
       "0 0 1\n100000 0 2\n50000 0.5 3\n",
       {"1", "1"},
       " 100000    1    1\n        -0.4        -0.4 0.0\n****1.000\n  1*1.000\n    1.00\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir / "in.txt", c.soundings);
    const tool_run r = run({"in.txt", "out.vol", c.sizes[0], c.sizes[1], "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir / "out.vol.mesh"), c.mesh);
  }
}

// On a terminal the progress line starts with the size of the grid.
TEST_F(bad_input, progress_line_shows_the_grid) {
  const std::string survey = std::string(TERVOX_SOURCE_DIR) + "/examples/survey.txt";
  tool_options options(dir.path());
  options.environment = {"TERVOX_PROGRESS_DELAY=0"};
  options.stderr_on_terminal = true;
  const tool_run r = run_tool({survey, "survey.vol", "25", "25", "1"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("\rtervox: 73 x 80 cells, 12 layers, 841 kB: "), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tervox_test
