// --elevation through the built program. The oracle is a second route
// through it: the soundings' elevations as the only layer of a soundings
// file of their own, gridded in linear mode. The ground grid must be that
// run's volume byte for byte, whatever the first run's mode and --doi, for
// the soundings file and for the delivered examples; and the volume and mesh
// must be those of the run without --elevation.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "refused_runs.hpp"
#include "support/run_program.hpp"

namespace tervox_test {
namespace {

namespace fs = std::filesystem;

std::string format(const char* pattern, double v) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, v);
  return text;
}

struct sounding {
  std::string x, y, elevation;
  std::vector<std::string> values;
  std::string doi;
};

// 7 x 6 soundings on a jittered grid, two pairs with equal x (the order of
// ties decides the triangulation), ground below sea level in one corner and
// one elevation marked missing with -9999.
std::vector<sounding> soundings() {
  std::vector<sounding> all;
  for (int j = 0; j < 6; ++j) {
    for (int i = 0; i < 7; ++i) {
      const int n = j * 7 + i;
      sounding s;
      s.x = format("%.2f", 15.0 * i + ((n * 7) % 5) * 1.3 - (n == 9 || n == 30 ? 1.3 : 0));
      s.y = format("%.2f", 17.0 * j + ((n * 3) % 4) * 1.1);
      s.elevation = n == 20 ? "-9999" : format("%.2f", -12.5 + 3.7 * i + 2.9 * j + (n % 3) * 0.41);
      for (int k = 0; k < 3; ++k) s.values.push_back(format("%.1f", 5.0 + (n * 13 + k * 29) % 97));
      s.doi = format("%.1f", 2.0 + (n % 5) * 1.5);
      all.push_back(s);
    }
  }
  // The pairs of equal x.
  all[9].x = all[16].x;
  all[30].x = all[37].x;
  return all;
}

// The soundings file of three layers, with the depth of investigation where
// asked for and the elevation last.
std::string native(const std::vector<sounding>& all, bool doi) {
  std::string text = "Number of layers 3\nLayer thicknesses (m) 2 3.5\nNumber of soundings " +
                     std::to_string(all.size()) + "\nx y r1 r2 r3" +
                     (doi ? " doi elevation\n" : " elevation\n");
  for (const sounding& s : all) {
    text += s.x + " " + s.y;
    for (const std::string& v : s.values) text += " " + v;
    if (doi)
      text += " " + s.doi;
    text += " " + s.elevation + "\n";
  }
  return text;
}

// One layer: the elevation; `missing` in place of an empty one.
std::string ground_only(const std::vector<sounding>& all) {
  std::string text = "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings " +
                     std::to_string(all.size()) + "\nx y elevation\n";
  for (const sounding& s : all)
    text += s.x + " " + s.y + " " + (s.elevation.empty() ? "nan" : s.elevation) + "\n";
  return text;
}

// A line in the long form with a minus: "-1.2346E+01".
bool has_negative_long_line(const std::string& volume) {
  std::istringstream lines(volume);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() == 11 && line[0] == '-')
      return true;
  }
  return false;
}

class elevation : public ::testing::Test {
 protected:
  tool_run run(const std::vector<std::string>& args) {
    return run_tool(args, tool_options(dir.path()));
  }
  std::string read(const std::string& name) const { return read_file(dir / name); }

  temp_folder dir;
};

TEST_F(elevation, soundings_file_ground_is_the_one_layer_run_of_the_elevations) {
  const std::vector<sounding> all = soundings();
  write_file(dir / "ground.txt", ground_only(all));
  const struct {
    const char* log;
    bool doi;
    std::vector<std::string> options;
  } cases[] = {
      {"1", false, {}},
      {"0", false, {}},
      {"1", true, {}},
      {"1", true, {"--max-distance", "11"}},
      {"0", false, {"--skip-missing"}},
      {"1", true, {"--skip-missing", "--max-distance", "11"}},
  };
  for (const auto& c : cases) {
    std::string trace = std::string("log ") + c.log + (c.doi ? " --doi" : "");
    for (const std::string& o : c.options) trace += " " + o;
    SCOPED_TRACE(trace);
    write_file(dir / "in.txt", native(all, c.doi));
    // The oracle: the elevations gridded as values, linear, with the same
    // missing mark and distance limit.
    std::vector<std::string> oracle{"ground.txt", "oracle.vol", "4", "4", "0", "--nodata", "-9999"};
    std::vector<std::string> args{"in.txt", "out.vol",  "4",     "4",
                                  c.log,    "--nodata", "-9999", "--elevation"};
    // The same records read without --elevation: the elevation is one more
    // value every record leaves unread, which the reader names.
    std::vector<std::string> plain{"in.txt", "plain.vol", "4", "4", c.log, "--nodata", "-9999"};
    for (std::vector<std::string>* a : {&oracle, &args, &plain}) {
      if (a != &oracle && c.doi)
        a->emplace_back("--doi");
      a->insert(a->end(), c.options.begin(), c.options.end());
    }
    const tool_run o = run(oracle);
    ASSERT_EQ(o.status, 0) << o.err;
    const tool_run r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const tool_run p = run(plain);
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(p.err.find("more than x, y"), std::string::npos) << p.err;

    const std::string ground = read("out.vol.elevation");
    EXPECT_TRUE(ground == read("oracle.vol")) << "the ground differs from the one-layer run";
    EXPECT_TRUE(read("out.vol") == read("plain.vol")) << "--elevation changed the volume";
    EXPECT_EQ(read("out.vol.mesh"), read("plain.vol.mesh"));
    // Filled cells in the short form, NaN around the missing elevation
    // (gridded from the others with --skip-missing, which leaves NaN only
    // where the distance limit blanks a cell for them), a negative ground
    // kept as it is in log mode.
    EXPECT_NE(ground.find("-1.0E+02\n"), std::string::npos);
    EXPECT_EQ(ground.find("NaN\n") == std::string::npos,
              c.options == std::vector<std::string>{"--skip-missing"});
    EXPECT_TRUE(has_negative_long_line(ground));
  }
  // No description file for a soundings file without --crs; with it, the
  // description names the ground's file.
  EXPECT_FALSE(fs::exists(dir / "out.vol.json"));
  ASSERT_EQ(run({"in.txt", "out.vol", "4", "4", "1", "--doi", "--elevation", "--crs", "EPSG:32633"})
                .status,
            0);
  EXPECT_NE(read("out.vol.json").find("\"elevation\": \"out.vol.elevation\"\n}"), std::string::npos)
      << read("out.vol.json");
}

// The delivered examples carry the ground elevation (missing at some
// soundings: the xyz's dummy and '*', the CSV's empty fields and NaN, the
// GDF2 field's NULL=). Each grids the same ground as the one-layer soundings
// file of the table's x, y and elevation.
TEST_F(elevation, delivered_examples_ground_is_the_one_layer_run_of_the_elevations) {
  const fs::path examples = fs::path(TERVOX_SOURCE_DIR) / "examples" / "delivered";
  std::istringstream csv(read_file(examples / "survey_table.csv"));
  std::string line;
  std::getline(csv, line);
  ASSERT_TRUE(line.starts_with("LINE_NO,E_MGA54,N_MGA54,ELEVATION,")) << line;
  std::vector<sounding> all;
  while (std::getline(csv, line)) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string f; std::getline(row, f, ',');) fields.push_back(f);
    ASSERT_GE(fields.size(), 4u);
    sounding s;
    s.x = fields[1];
    s.y = fields[2];
    s.elevation = fields[3] == "NaN" ? "" : fields[3];
    all.push_back(s);
  }
  write_file(dir / "ground.txt", ground_only(all));
  const tool_run o = run({"ground.txt", "oracle.vol", "40", "40", "0", "--nodata", "nan"});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string oracle = read("oracle.vol");
  EXPECT_NE(oracle.find("NaN\n"), std::string::npos);

  const struct {
    const char* file;
    const char* column;
  } files[] = {{"survey_table.csv", "ELEVATION"},
               {"survey_export.xyz", "ELEVATION"},
               {"survey.dfn", "elevation"}};
  for (const auto& f : files) {
    for (const bool doi : {false, true}) {
      SCOPED_TRACE(std::string(f.file) + (doi ? " --doi" : ""));
      std::vector<std::string> args{
          (examples / f.file).string(), "out.vol", "40", "40", "1", "--elevation"};
      if (doi)
        args.emplace_back("--doi");
      const tool_run r = run(args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.out.find(std::string(", elevation ") + f.column + ","), std::string::npos)
          << r.out;
      EXPECT_TRUE(read("out.vol.elevation") == oracle) << "the ground differs";
      EXPECT_NE(read("out.vol.json").find("\"elevation\": \"out.vol.elevation\""),
                std::string::npos);
    }
  }
  // --elevation-column names the column and asks for the ground.
  const tool_run r = run({(examples / "survey_table.csv").string(), "named.vol", "40", "40", "1",
                          "--elevation-column", "ELEVATION"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read("named.vol.elevation") == oracle);
  // Without the option: no ground, no member, no column named.
  const tool_run none =
      run({(examples / "survey_table.csv").string(), "none.vol", "40", "40", "1"});
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out.find("elevation"), std::string::npos) << none.out;
  EXPECT_FALSE(fs::exists(dir / "none.vol.elevation"));
  EXPECT_EQ(read("none.vol.json").find("\"elevation\": \"none.vol"), std::string::npos);
}

// Bad input: the record without its elevation, named by file and line, and
// a delivered file without an elevation column, with its columns and the
// option that names one. Nothing is written.
TEST_F(elevation, bad_input_is_named) {
  const std::string head =
      "Number of layers 2\nLayer thicknesses (m) 5\nNumber of soundings 4\nx y a b\n";
  const refused_run cases[] = {
      {"a record without its elevation",
       "in.txt",
       head + "0 0 1 2\n10 0 3 4 7\n0 10 5 6 7\n10 10 7 8 7\n",
       {"--elevation"},
       "tervox: in.txt:5: expected the ground elevation of sounding 1 (a value after its last "
       "layer), got the end of its line; line 6 looks like the next record\n"},
      {"a record with its depth of investigation but without its elevation",
       "in.txt",
       head + "0 0 1 2 9 7\n10 0 3 4 9\n0 10 5 6 9 7\n10 10 7 8 9 7\n",
       {"--elevation", "--doi"},
       "tervox: in.txt:6: expected the ground elevation of sounding 2 (a value after its depth "
       "of investigation), got the end of its line; line 7 looks like the next record\n"},
      {"the last record without its elevation",
       "in.txt",
       head + "0 0 1 2 7\n10 0 3 4 7\n0 10 5 6 7\n10 10 7 8\n",
       {"--elevation"},
       "tervox: in.txt:8: expected the ground elevation of sounding 4 (a value after its last "
       "layer), got end of file\n"},
      {"a delivered file without an elevation column",
       "in.csv",
       "X,Y,RHO_1,RHO_2,THK_1\n0,0,1,2,5\n10,0,3,4,5\n0,10,5,6,5\n",
       {"--elevation"},
       "tervox: in.csv:1: cannot tell which column holds elevation: none is named as the "
       "recognised ones are (ELEVATION, ELEV, TOPO, TOPOGRAPHY, DEM, DTM); the columns are X, Y, "
       "RHO_1..RHO_2, THK_1; name it with --elevation-column NAME\n"},
  };
  expect_refused(cases);
}

// --skip-missing with elevations at too few soundings for a triangle: the
// warning names the ground, and the ground is NaN inside the hull while the
// volume is untouched.
TEST_F(elevation, ground_at_too_few_soundings_is_named) {
  write_file(dir / "in.txt",
             "Number of layers 2\nLayer thicknesses (m) 5\nNumber of soundings 4\nx y a b e\n"
             "0 0 1 2 7\n10 0 3 4 nan\n0 10 5 6 8\n10 10 7 8 nan\n");
  const tool_run r =
      run({"in.txt", "out.vol", "5", "5", "0", "--elevation", "--skip-missing", "--nodata", "nan"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "tervox: in.txt: warning: the ground elevation has values at only 2 soundings, too few "
            "for a triangle; with --skip-missing it is NaN in every cell inside the soundings' "
            "hull\n");
  // Four cells inside the hull, in the long form.
  std::string blank;
  for (int i = 0; i < 4; ++i) blank += "        NaN\n";
  EXPECT_EQ(read("out.vol.elevation"), blank);
}

// An earlier run's ground grid goes when a run without --elevation puts its
// pair in place (it would be taken for the new pair's ground), stays when
// the run fails, and is never the input.
TEST_F(elevation, earlier_ground_goes_with_the_pair_it_was_written_for) {
  const std::string text =
      "Number of layers 1\nLayer thicknesses (m)\nNumber of soundings 3\nx y a e\n"
      "0 0 1 7\n10 0 3 8\n0 10 5 9\n";
  write_file(dir / "in.txt", text);
  ASSERT_EQ(run({"in.txt", "out.vol", "1", "1", "0", "--elevation"}).status, 0);
  ASSERT_TRUE(fs::exists(dir / "out.vol.elevation"));
  // A failing run leaves the three as they were.
  EXPECT_EQ(run({"in.txt", "out.vol", "1", "1", "0", "--x", "X"}).status, 1);
  EXPECT_TRUE(fs::exists(dir / "out.vol.elevation"));
  const tool_run r = run({"in.txt", "out.vol", "1", "1", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(list_entries(dir.path()),
            (std::vector<std::string>{"in.txt", "out.vol", "out.vol.mesh"}));

  // The input under the ground's name stays.
  write_file(dir / "out.vol.elevation", text);
  ASSERT_EQ(run({"out.vol.elevation", "out.vol", "1", "1", "0"}).status, 0);
  EXPECT_EQ(read("out.vol.elevation"), text);
  // With --elevation it would be replaced: refused before anything is read.
  const tool_run refused = run({"out.vol.elevation", "out.vol", "1", "1", "0", "--elevation"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("out.vol.elevation"), std::string::npos) << refused.err;
  EXPECT_EQ(read("out.vol.elevation"), text);
}

}  // namespace
}  // namespace tervox_test
