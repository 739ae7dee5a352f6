// The built program on survey files as surveys deliver them. The oracle is
// the soundings file a careful converter writes from the same numbers (built
// here from the numbers, never from tervox's reader): the delivered file
// must grid to the same volume bytes as that file run with --nodata <its
// dummy>, with and without --doi, and to the same mesh but for the last
// layer's thickness where the file gives the last layer's bottom.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// The shortest decimal that reads back as the single-precision value.
std::string shortest(float v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

double number(const std::string& text) {
  return std::strtod(text.c_str(), nullptr);
}

struct sounding {
  std::string x, y;
  std::vector<std::optional<std::string>> values;  // nullopt: missing
  std::optional<std::string> doi;
};

// One survey's numbers, as text, from which every form is written. Layer
// tops whose differences are not exact in binary (2.3 - 1.1), a last bottom,
// missing values in several layers and missing depths of investigation.
struct numbers {
  static constexpr int nlayer = 5;
  std::vector<std::string> tops = {"0", "1.1", "2.3", "3.7", "5.6"};
  std::string last_bottom = "8.3";
  std::vector<sounding> soundings;

  numbers() {
    for (int j = 0; j < 5; ++j) {
      for (int i = 0; i < 6; ++i) {
        const int s = j * 6 + i;
        sounding d;
        d.x = format("%.1f", 300000.0 + 40.0 * i + 3.1 * ((i * 7 + j * 3) % 5));
        d.y = format("%.1f", 6200000.0 + 40.0 * j + 2.5 * ((i * 5 + j * 11) % 4));
        for (int k = 0; k < nlayer; ++k) {
          if (s % 7 == 3 && k == s % nlayer)
            d.values.emplace_back();
          else
            d.values.emplace_back(format("%.1f", 10.0 + ((i * 71 + j * 37 + k * 29) % 900) / 10.0));
        }
        if (s % 5 != 2)
          d.doi = format("%.2f", 1.5 + 0.75 * ((i + 2 * j) % 7));
        soundings.push_back(d);
      }
    }
  }

  // The thicknesses a careful converter writes: the difference of two tops
  // taken in double, rounded once to single precision.
  float thickness(int k) const {
    const std::string& below = k + 1 < nlayer ? tops[k + 1] : last_bottom;
    return static_cast<float>(number(below) - number(tops[k]));
  }

  // The soundings file, with `dummy` where a value or depth is missing.
  std::string native(const std::string& dummy, bool doi) const {
    std::string text = "Number of layers " + std::to_string(nlayer) + "\nLayer thicknesses (m)";
    for (int k = 0; k + 1 < nlayer; ++k) text += " " + shortest(thickness(k));
    text += "\nNumber of soundings " + std::to_string(soundings.size()) + "\nx y";
    for (int k = 1; k <= nlayer; ++k) text += " rho" + std::to_string(k);
    text += doi ? " doi\n" : "\n";
    for (const sounding& d : soundings) {
      text += d.x + " " + d.y;
      for (const auto& v : d.values) text += " " + v.value_or(dummy);
      if (doi)
        text += " " + d.doi.value_or(dummy);
      text += "\n";
    }
    return text;
  }

  // An XYZ export: /DUMMY -9999 and '*' both mark missing values; tops and
  // bottoms on every record; two depths of investigation (the conservative
  // one is taken).
  std::string xyz() const {
    std::string text =
        "/ Model export\n/DUMMY\n/-9999\n/COORDINATE SYSTEM\n/WGS 84 / UTM zone 33N (epsg:32633)\n"
        "/NUMBER OF LAYERS\n/5\n/ ====\n/ LINE_NO  X  Y  DATE";
    for (const char* stem : {"RHO_I_", "DEP_TOP_", "DEP_BOT_"})
      for (int k = 1; k <= nlayer; ++k) text += "  " + (stem + std::to_string(k));
    text += "  DOI_STANDARD  DOI_CONSERVATIVE\n/ ====\n";
    int n = 0;
    for (const sounding& d : soundings) {
      const std::string missing = n++ % 2 ? "*" : "-9999";
      text += "  100  " + d.x + "  " + d.y + "  2021-09-17";
      for (const auto& v : d.values) text += "  " + v.value_or(missing);
      for (int k = 0; k < nlayer; ++k) text += "  " + tops[k];
      for (int k = 0; k < nlayer; ++k) text += "  " + (k + 1 < nlayer ? tops[k + 1] : last_bottom);
      text += d.doi ? "  " + format("%.2f", 1.5 * number(*d.doi)) : "  " + missing;
      text += "  " + d.doi.value_or(missing) + "\n";
    }
    return text;
  }

  // ASEG-GDF2: an array of values in E15.6, thicknesses (the last one real)
  // in F9.2, NULL= per field.
  std::string dfn() const {
    return "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76\n"
           "DEFN 1 ST=RECD,RT=; Line : I6 : NULL=-99999\n"
           "DEFN 2 ST=RECD,RT=; Easting : F12.1 : NULL=-99999.9, UNITS=m\n"
           "DEFN 3 ST=RECD,RT=; Northing : F12.1 : NULL=-99999.9, UNITS=m\n"
           "DEFN 4 ST=RECD,RT=; resistivity : 5E15.6 : NULL=-9999, UNITS=ohm.m\n"
           "DEFN 5 ST=RECD,RT=; thickness : 5F9.2 : UNITS=m\n"
           "DEFN 6 ST=RECD,RT=; doi : F9.2 : NULL=-9999, UNITS=m\n"
           "DEFN 7 ST=RECD,RT=; END DEFN\n";
  }
  std::string dat() const {
    std::string text = "COMM a model for the tests\n";
    for (const sounding& d : soundings) {
      text += "   100" + format("%12.1f", number(d.x)) + format("%12.1f", number(d.y));
      for (const auto& v : d.values) text += format("%15.6E", v ? number(*v) : -9999.0);
      for (int k = 0; k < nlayer; ++k) text += format("%9.2f", static_cast<double>(thickness(k)));
      text += format("%9.2f", d.doi ? number(*d.doi) : -9999.0) + "\n";
    }
    return text;
  }

  // A CSV table with zero-based arrays; an empty field or NaN is missing.
  std::string csv() const {
    std::string text = "LINE,E_MGA55,N_MGA55,DOI";
    for (const char* stem : {"RHO_I[", "DEP_TOP[", "DEP_BOT["})
      for (int k = 0; k < nlayer; ++k) text += "," + (stem + std::to_string(k)) + "]";
    text += "\n";
    int n = 0;
    for (const sounding& d : soundings) {
      const std::string missing = n++ % 3 ? "" : "NaN";
      text += "100," + d.x + "," + d.y + "," + d.doi.value_or(missing);
      for (const auto& v : d.values) text += "," + v.value_or(missing);
      for (int k = 0; k < nlayer; ++k) text += "," + tops[k];
      for (int k = 0; k < nlayer; ++k) text += "," + (k + 1 < nlayer ? tops[k + 1] : last_bottom);
      text += "\n";
    }
    return text;
  }

  // A blank-separated table with one-based names and thicknesses for all
  // layers but the last: no last bottom, so the mesh is the native one.
  std::string table() const {
    std::string text = "x y";
    for (int k = 1; k <= nlayer; ++k) text += " rho_" + std::to_string(k);
    for (int k = 1; k < nlayer; ++k) text += " thk_" + std::to_string(k);
    text += " doi\n";
    for (const sounding& d : soundings) {
      text += d.x + "\t" + d.y;
      for (const auto& v : d.values) text += " " + v.value_or("*");
      for (int k = 0; k + 1 < nlayer; ++k) text += " " + shortest(thickness(k));
      text += " " + d.doi.value_or("*") + "\n";
    }
    return text;
  }
};

class delivered_input : public ::testing::Test {
 protected:
  tool_run run(const std::vector<std::string>& args) {
    return run_tool(args, tool_options(dir.path()));
  }
  std::vector<std::string> entries() const { return list_entries(dir.path()); }
  std::string read(const std::string& name) const { return read_file(dir / name); }

  temp_folder dir;
};

std::string without_last_field(const std::string& mesh) {
  return mesh.substr(0, mesh.size() - 9);  // 8 characters and the line end
}

TEST_F(delivered_input, grids_as_the_soundings_file_a_converter_writes) {
  const numbers survey;
  write_file(dir / "survey.xyz", survey.xyz());
  write_file(dir / "survey.dfn", survey.dfn());
  write_file(dir / "survey.dat", survey.dat());
  write_file(dir / "survey.csv", survey.csv());
  write_file(dir / "survey.txt", survey.table());
  const std::string last = format("%8.2f\n", static_cast<double>(survey.thickness(4)));
  const struct {
    const char* file;
    const char* dummy;  // what the converter writes for a missing value
    bool last_bottom;   // the file gives the last layer's bottom
  } forms[] = {
      {"survey.xyz", "-9999", true}, {"survey.dat", "-9999", true}, {"survey.dfn", "-9999", true},
      {"survey.csv", "nan", true},   {"survey.txt", "nan", false},
  };
  std::string first_volume[2];
  for (const bool doi : {false, true}) {
    write_file(dir / "twin_9999.txt", survey.native("-9999", doi));
    write_file(dir / "twin_nan.txt", survey.native("nan", doi));
    std::vector<std::string> volumes;
    for (const auto& f : forms) {
      SCOPED_TRACE(std::string(f.file) + (doi ? " --doi" : ""));
      const std::string twin = f.dummy[0] == 'n' ? "twin_nan.txt" : "twin_9999.txt";
      std::vector<std::string> twin_args{twin, "twin.vol", "10", "10", "1", "--nodata", f.dummy};
      std::vector<std::string> args{f.file, "out.vol", "10", "10", "1"};
      if (doi) {
        twin_args.emplace_back("--doi");
        args.emplace_back("--doi");
      }
      const tool_run t = run(twin_args);
      ASSERT_EQ(t.status, 0) << t.err;
      ASSERT_EQ(t.err, "");
      const tool_run r = run(args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      EXPECT_TRUE(r.out.starts_with(" columns: x ")) << r.out;
      EXPECT_EQ(r.out.find("doi") != std::string::npos, doi) << r.out;
      const std::string volume = read("out.vol");
      EXPECT_TRUE(volume == read("twin.vol")) << "the volumes differ";
      const std::string mesh = read("out.vol.mesh"), twin_mesh = read("twin.vol.mesh");
      if (f.last_bottom) {
        EXPECT_EQ(mesh, without_last_field(twin_mesh) + last);
        EXPECT_NE(mesh, twin_mesh);
      } else {
        EXPECT_EQ(mesh, twin_mesh);
      }
      volumes.push_back(volume);
    }
    first_volume[doi ? 1 : 0] = volumes.front();
  }
  // The depths of investigation mask layers: --doi changes the volume.
  EXPECT_NE(first_volume[0], first_volume[1]);
}

// The description file says what the file says about itself; a soundings
// file without --crs has nothing to say and writes none, and an earlier
// run's description goes with the pair it described.
TEST_F(delivered_input, description_file) {
  const numbers survey;
  write_file(dir / "survey.xyz", survey.xyz());
  const tool_run r = run({"survey.xyz", "out.vol", "10", "10", "1", "--doi"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            " columns: x X, y Y, values RHO_I_1..RHO_I_5, doi DOI_CONSERVATIVE, top "
            "DEP_TOP_1..DEP_TOP_5, bottom DEP_BOT_5\n");
  EXPECT_EQ(read("out.vol.json"), R"json({
  "tervox_description": 1,
  "source": {
    "file": "survey.xyz",
    "format": "xyz"
  },
  "crs": {
    "epsg": 32633,
    "name": "WGS 84 / UTM zone 33N (epsg:32633)"
  },
  "property": {
    "name": "resistivity",
    "unit": "ohm m"
  },
  "length_unit": "m",
  "vertical": {
    "axis": "depth",
    "positive": "down",
    "unit": "m"
  },
  "nodata": -9999,
  "columns": {
    "x": "X",
    "y": "Y",
    "values": "RHO_I_1..RHO_I_5",
    "doi": "DOI_CONSERVATIVE",
    "line": "LINE_NO",
    "top": "DEP_TOP_1..DEP_TOP_5",
    "bottom": "DEP_BOT_5"
  }
}
)json");
  // --crs names the system; it wins over the file's.
  ASSERT_EQ(run({"survey.xyz", "out.vol", "10", "10", "1", "--crs", "epsg:7855"}).status, 0);
  EXPECT_NE(read("out.vol.json").find("\"epsg\": 7855,\n    \"name\": \"EPSG:7855\""),
            std::string::npos);

  write_file(dir / "native.txt", survey.native("-9999", false));
  const tool_run n = run({"native.txt", "out.vol", "10", "10", "1", "--nodata", "-9999"});
  ASSERT_EQ(n.status, 0) << n.err;
  EXPECT_EQ(n.out, "");
  EXPECT_EQ(entries(),
            (std::vector<std::string>{"native.txt", "out.vol", "out.vol.mesh", "survey.xyz"}));
  // A soundings file with --crs has that to say.
  ASSERT_EQ(run({"native.txt", "out.vol", "10", "10", "1", "--crs", "EPSG:32633"}).status, 0);
  EXPECT_EQ(read("out.vol.json"), R"({
  "tervox_description": 1,
  "source": {
    "file": "native.txt",
    "format": "native"
  },
  "crs": {
    "epsg": 32633,
    "name": "EPSG:32633"
  },
  "vertical": {
    "axis": "depth",
    "positive": "down"
  }
}
)");
  // A run that fails leaves the three as they were.
  const std::string before = read("out.vol.json");
  EXPECT_EQ(run({"native.txt", "out.vol", "10", "10", "1", "--x", "X"}).status, 1);
  EXPECT_EQ(read("out.vol.json"), before);
}

// Bad delivered input: one line naming the file, the line, the column and
// the value or the option that settles it; status 1; nothing written.
TEST_F(delivered_input, bad_input_is_named) {
  const std::string ok = "X,Y,RHO_1,RHO_2,THK_1\n0,0,1,2,5\n10,0,3,4,5\n0,10,5,6,5\n";
  const refused_run cases[] = {
      {"two columns could hold x",
       "in.csv",
       "X,UTMX,Y,RHO_1,RHO_2,THK_1\n0,0,0,1,2,5\n10,10,0,3,4,5\n0,0,10,5,6,5\n",
       {},
       "tervox: in.csv:1: cannot tell which column holds x: X, UTMX could all hold it; the "
       "columns are X, UTMX, Y, RHO_1..RHO_2, THK_1; name one with --x NAME\n"},
      {"no value columns",
       "in.csv",
       "X,Y,A_1,A_2,THK_1\n0,0,1,2,5\n10,0,3,4,5\n0,10,5,6,5\n",
       {},
       "tervox: in.csv:1: cannot tell which columns hold the values: none is named as the "
       "recognised ones are (RHO_I_n, RHO_n, RESISTIVITY_n, SIGMA_I_n, SIGMA_n, CONDUCTIVITY_n, "
       "with the layer as _1, 1, (1) or [0]); the columns are X, Y, A_1..A_2, THK_1; name them "
       "with --values PATTERN (RHO_I_*)\n"},
      {"--values matches nothing",
       "in.csv",
       ok,
       {"--values", "SIGMA_*"},
       "tervox: in.csv:1: no columns match --values SIGMA_* (a name with `*` where the layer "
       "stands, RHO_I_* or RHO_I[*], or an array's name); the columns are X, Y, RHO_1..RHO_2, "
       "THK_1\n"},
      {"--x names no column",
       "in.csv",
       ok,
       {"--x", "LON"},
       "tervox: in.csv:1: no column is named 'LON' (--x LON); the columns are X, Y, "
       "RHO_1..RHO_2, THK_1\n"},
      {"--doi without a depth of investigation",
       "in.csv",
       ok,
       {"--doi"},
       "tervox: in.csv:1: cannot tell which column holds doi: none is named as the recognised "
       "ones are (DOI_CONSERVATIVE, DOI_STANDARD, DOI, DEPTH_OF_INVESTIGATION); the columns are "
       "X, Y, RHO_1..RHO_2, THK_1; name it with --doi-column NAME\n"},
      {"geometry that differs between records",
       "in.csv",
       "X,Y,RHO_1,RHO_2,DEP_TOP_1,DEP_TOP_2\n0,0,1,2,0,5.0\n10,0,3,4,0,5.0\n0,10,5,6,0,5.2\n",
       {},
       "tervox: in.csv:4: column DEP_TOP_2 gives '5.2' in sounding 3, where the first record "
       "(line 2) gives '5.0'; every sounding must have the same layers (or give the thicknesses "
       "with --thicknesses LIST)\n"},
      {"no geometry and no --thicknesses",
       "in.csv",
       "X,Y,RHO_1,RHO_2\n0,0,1,2\n10,0,3,4\n0,10,5,6\n",
       {},
       "tervox: in.csv:1: the file gives no layer geometry: no columns of layer thicknesses "
       "(THK_n, THICKNESS_n), tops (DEP_TOP_n, DEPTH_TOP_n) or bottoms (DEP_BOT_n, DEPTH_BOT_n, "
       "DEPTH_BOTTOM_n); the columns are X, Y, RHO_1..RHO_2; give the thicknesses with "
       "--thicknesses LIST\n"},
      {"--thicknesses of the wrong count",
       "in.csv",
       ok,
       {"--thicknesses", "1,2,3"},
       "tervox: in.csv:1: --thicknesses gives 3 thicknesses for 2 layers (RHO_1..RHO_2); give 1 "
       "or 2\n"},
      {"a word for a number",
       "in.csv",
       "X,Y,RHO_1,RHO_2,THK_1\n0,0,1,2,5\n10,0,abc,4,5\n0,10,5,6,5\n",
       {},
       "tervox: in.csv:3: expected a number in column RHO_1 (layer 1 of sounding 2), got 'abc'\n"},
      {"an ASEG-GDF2 definition without its records",
       "in.dfn",
       "DEFN 1 ST=RECD,RT=; X : F8.1\n",
       {},
       "tervox: in.dfn: an ASEG-GDF2 file needs its pair beside it: no .dat file of the same "
       "name\n"},
      {"a column option for a soundings file",
       "in.txt",
       "Number of layers 2\nLayer thicknesses (m) 5\nNumber of soundings 3\nx y a b\n0 0 1 2\n10 "
       "0 3 4\n0 10 5 6\n",
       {"--values", "RHO_*"},
       "tervox: --values applies to survey files as delivered (xyz, gdf2, table), and 'in.txt' "
       "is a soundings file (--format names the form)\n"},
      {"a form forced on a file of another",
       "in.csv",
       ok,
       {"--format", "xyz"},
       "tervox: in.csv:1: no line names the columns: an XYZ export's header ends with a line that "
       "starts with '/ ' (slash, blank) and holds the column names\n"},
  };
  expect_refused(cases);
}

// The new options' values are checked on the command line: the usage lines,
// the fault, status 2.
TEST_F(delivered_input, refused_option_values) {
  const struct {
    std::vector<std::string> options;
    std::string err;
  } cases[] = {
      {{"--format", "shp"}, "tervox: --format must be tervox, xyz, gdf or csv, got 'shp'\n"},
      {{"--crs", "28354"},
       "tervox: --crs must be EPSG:n with n a positive whole number, got '28354'\n"},
      {{"--crs=EPSG:0"},
       "tervox: --crs must be EPSG:n with n a positive whole number, got 'EPSG:0'\n"},
      {{"--thicknesses", "1,,2"},
       "tervox: --thicknesses must be positive numbers separated by commas, got '' in '1,,2'\n"},
      {{"--thicknesses", "2,-1"},
       "tervox: --thicknesses must be positive numbers separated by commas, got '-1' in '2,-1'\n"},
      {{"--x="}, "tervox: --x needs a column name\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[0]);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"in.csv", "out.vol", "1", "1", "0"});
    const tool_run r = run(args);
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
  }
  // Each form by the user's name and the formats' own, in any case.
  const std::string ok = "X,Y,RHO_1,RHO_2,THK_1\n0,0,1,2,5\n10,0,3,4,5\n0,10,5,6,5\n";
  write_file(dir / "in.csv", ok);
  for (const char* name : {"csv", "table", "CSV"}) {
    SCOPED_TRACE(name);
    const tool_run r = run({"--format", name, "in.csv", "out.vol", "1", "1", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

}  // namespace
}  // namespace tervox_test
