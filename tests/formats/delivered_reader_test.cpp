// The readers of delivered files, form by form: what each layout gives, the
// choice of columns, the geometry, missing values, and the diagnostics.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "formats/delivered.hpp"
#include "support/files.hpp"

namespace tervox_test {
using namespace tervox::formats;
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct result {
  read_outcome outcome;
  survey s;
  survey_metadata about;
};

// For gdf2, `text` is the .dfn and `dat` the .dat.
result read(survey_format form, const std::string& text, const std::string& dat = {},
            const delivered_options& o = {}) {
  result r;
  std::istringstream in(text);
  switch (form) {
    case survey_format::xyz:
      r.outcome = read_xyz(in, "export.xyz", r.s, r.about, o);
      break;
    case survey_format::table:
      r.outcome = read_table(in, "table.csv", r.s, r.about, o);
      break;
    case survey_format::gdf2: {
      std::istringstream records(dat);
      r.outcome = read_gdf2(in, "survey.dfn", records, "survey.dat", r.s, r.about, o);
      break;
    }
    case survey_format::native:
      break;
  }
  return r;
}

// Bit patterns, with every NaN alike.
std::vector<std::uint32_t> bits(std::span<const float> v) {
  std::vector<std::uint32_t> b;
  for (const float f : v)
    b.push_back(std::isnan(f) ? 0x7fc00000u : std::bit_cast<std::uint32_t>(f));
  return b;
}

// The user's choices, spelt as options are.
struct pick {
  column_choices c;
  pick& x(std::string v) {
    c.x = std::move(v);
    return *this;
  }
  pick& y(std::string v) {
    c.y = std::move(v);
    return *this;
  }
  pick& values(std::string v) {
    c.values = std::move(v);
    return *this;
  }
  pick& doi(std::string v) {
    c.doi = std::move(v);
    return *this;
  }
  pick& thicknesses(std::vector<float> v) {
    c.thicknesses = std::move(v);
    return *this;
  }
  operator column_choices() const { return c; }
};

delivered_options choose(column_choices c) {
  delivered_options o;
  o.columns = std::move(c);
  return o;
}

// --- XYZ exports -------------------------------------------------------------

const std::string xyz_header =
    "/INFO\n"
    "/export file written by hand\n"
    "/DUMMY\n"
    "/9999\n"
    "/COORDINATE SYSTEM\n"
    "/ETRS89 / UTM zone 33N (epsg:25833)\n"
    "/NUMBER OF LAYERS\n"
    "/3\n"
    "/ ====\n"
    "/ LINE_NO  UTMX  UTMY  ELEVATION  DATE  RHO_I_1 RHO_I_2 RHO_I_3  RHO_I_STD1 RHO_I_STD2 "
    "RHO_I_STD3  DEP_TOP_1 DEP_TOP_2 DEP_TOP_3  DEP_BOT_1 DEP_BOT_2 DEP_BOT_3  "
    "DOI_CONSERVATIVE DOI_STANDARD\n"
    "/ ====\n";
const std::string xyz_body =
    "  2001 100.5 200.25 87.3 2021-09-17 41.7 52 9999  1.1 1.2 * 0 2 5 2 5 9999 30.5 40\n"
    "  2001 101.5 200.25 88 2021-09-17 * 53 63  1.1 1.2 1.3 0.0 2.0 5.00 2 5 9999 9999 40\n"
    "  2002 100.5 201.25 * 2021-09-18 43 54 64  1.1 1.2 1.3 0 2 5 2 5 9999 31 40\n";

TEST(delivered_xyz, reads_an_export) {
  const result r = read(survey_format::xyz, xyz_header + xyz_body);
  ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
  EXPECT_EQ(r.s.nlayer, 3);
  EXPECT_EQ(r.s.nsound, 3);
  EXPECT_EQ(bits(r.s.dz), bits(std::vector<float>{2, 3}));
  EXPECT_FALSE(r.s.last_dz.has_value());  // the last bottom is the dummy
  EXPECT_EQ(bits(r.s.xloc), bits(std::vector<float>{100.5f, 101.5f, 100.5f}));
  EXPECT_EQ(bits(r.s.yloc), bits(std::vector<float>{200.25f, 200.25f, 201.25f}));
  // '*' and the dummy are both stored as the dummy.
  EXPECT_EQ(bits(r.s.dat), bits(std::vector<float>{41.7f, 9999, 43, 52, 53, 54, 9999, 63, 64}));
  EXPECT_EQ(bits(r.s.doi), bits(std::vector<float>{30.5f, 9999, 31}));
  EXPECT_EQ(bits(r.s.elevation), bits(std::vector<float>{87.3f, 88, nan}));
  EXPECT_EQ(r.s.flight_line, (std::vector<double>{2001, 2001, 2002}));
  EXPECT_EQ(r.s.line, (std::vector<std::int64_t>{12, 13, 14}));
  EXPECT_EQ(r.about.format, survey_format::xyz);
  EXPECT_EQ(r.about.epsg, 25833);
  EXPECT_EQ(r.about.crs, "ETRS89 / UTM zone 33N (epsg:25833)");
  EXPECT_EQ(r.about.nodata, 9999.0f);
  EXPECT_EQ(r.about.dummy, "9999");
  EXPECT_EQ(r.about.header_layers, 3);
  EXPECT_EQ(r.about.property, "resistivity");
  EXPECT_EQ(r.about.unit, "ohm m");
  std::string used;
  for (const column_use& u : r.about.columns)
    used += std::string(role_name(u.role)) + "=" + u.columns + " ";
  EXPECT_EQ(used,
            "x=UTMX y=UTMY values=RHO_I_1..RHO_I_3 doi=DOI_CONSERVATIVE elevation=ELEVATION "
            "line=LINE_NO top=DEP_TOP_1..DEP_TOP_3 bottom=DEP_BOT_3 ");
}

struct xyz_case {
  const char* what;
  std::string text;
  column_choices choices;
  int nlayer;
  std::vector<float> dz;
  std::optional<float> last_dz;
  std::vector<float> dat;
  std::vector<double> flight_line;
};

TEST(delivered_xyz, layouts) {
  const std::string names2 = "/ X Y RHO_1 RHO_2 THK_1\n";
  const std::string rows2 = "0 0 1 2 10\n1 0 3 4 10\n0 1 5 6 10\n";
  const std::vector<xyz_case> cases = {
      {"thicknesses one fewer than the layers",
       names2 + rows2,
       {},
       2,
       {10},
       {},
       {1, 3, 5, 2, 4, 6},
       {}},
      {"a header of names only",
       "/ X Y RHO_1 RHO_2 THK_1 THK_2\n0 0 1 2 10 25\n1 0 3 4 10 25\n"
       "0 1 5 6 10 25\n",
       {},
       2,
       {10},
       25.0f,
       {1, 3, 5, 2, 4, 6},
       {}},
      {"keywords with their value on the same line, dividers, comments and blank lines",
       "/DUMMY = -1\n/NUMBER OF LAYERS: 2\n/ =========\n" + names2 +
           "/ =========\n\n0 0 1 -1 10\n"
           "/ a comment between records\n1 0 3 4 10\n\n0 1 5 6 10\n",
       {},
       2,
       {10},
       {},
       {1, 3, 5, -1, 4, 6},
       {}},
      {"Geosoft line lines give the line number",
       "/ X Y RHO_1 RHO_2 THK_1\nLine 1000\n" + rows2 + "Tie 10\n3 3 7 8 10\n",
       {},
       2,
       {10},
       {},
       {1, 3, 5, 7, 2, 4, 6, 8},
       {1000, 1000, 1000, 10}},
      {"bottoms alone",
       "/ X Y RHO_1 RHO_2 DEP_BOT_1 DEP_BOT_2\n0 0 1 2 2.5 10\n1 0 3 4 2.5 10\n"
       "0 1 5 6 2.5 10\n",
       {},
       2,
       {2.5f},
       7.5f,
       {1, 3, 5, 2, 4, 6},
       {}},
      {"a last bottom above its top is no bottom",
       "/ X Y RHO_1 RHO_2 DEP_TOP_1 DEP_TOP_2 "
       "DEP_BOT_1 DEP_BOT_2\n0 0 1 2 0 3 3 3\n"
       "1 0 3 4 0 3 3 3\n0 1 5 6 0 3 3 3\n",
       {},
       2,
       {3},
       {},
       {1, 3, 5, 2, 4, 6},
       {}},
      {"tops differing within the precision they are written with",
       "/ X Y RHO_1 RHO_2 RHO_3 DEP_TOP_1 DEP_TOP_2 DEP_TOP_3\n0 0 1 2 3 0 3.33 10\n"
       "1 0 4 5 6 0.00 3.333 10.04\n0 1 7 8 9 0 3.3 1.0E1\n",
       {},
       3,
       {3.33f, static_cast<float>(10.0 - 3.33)},
       {},
       {1, 4, 7, 2, 5, 8, 3, 6, 9},
       {}},
      {"the user's columns and value pattern",
       "/ X Y E N A_1 A_2 B_1 B_2 THK_1\n9 9 0 0 1 2 7 7 10\n9 9 1 0 3 4 7 7 10\n"
       "9 9 0 1 5 6 7 7 10\n",
       pick().x("e").y("N").values("A_*"),
       2,
       {10},
       {},
       {1, 3, 5, 2, 4, 6},
       {}},
      {"the user's thicknesses replace the file's",
       names2 + rows2,
       pick().thicknesses({4, 8}),
       2,
       {4},
       8,
       {1, 3, 5, 2, 4, 6},
       {}},
      {"tops as elevations",
       "/ X Y RHO_1 RHO_2 RHO_3 ELEVATION_TOP_1 ELEVATION_TOP_2 "
       "ELEVATION_TOP_3\n0 0 1 2 3 100 98 93\n1 0 4 5 6 90.5 88.5 83.5\n"
       "0 1 7 8 9 80 78.0 73\n",
       {},
       3,
       {2, 5},
       {},
       {1, 4, 7, 2, 5, 8, 3, 6, 9},
       {}},
      {"one layer needs no geometry",
       "/ X Y SIGMA_I_1\n0 0 1\n1 0 2\n0 1 3\n",
       {},
       1,
       {},
       {},
       {1, 2, 3},
       {}},
      {"D exponents and signs",
       "/ X Y RHO_1 RHO_2 THK_1\n+0 -0.0 1D0 2d1 1.0D+1\n1 0 3 4 10\n"
       "0 1 5 6 10\n",
       {},
       2,
       {10},
       {},
       {1, 3, 5, 20, 4, 6},
       {}},
  };
  for (const xyz_case& c : cases) {
    SCOPED_TRACE(c.what);
    const result r = read(survey_format::xyz, c.text, {}, choose(c.choices));
    ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
    EXPECT_EQ(r.s.nlayer, c.nlayer);
    EXPECT_EQ(bits(r.s.dz), bits(c.dz));
    EXPECT_EQ(r.s.last_dz, c.last_dz);
    EXPECT_EQ(bits(r.s.dat), bits(c.dat));
    EXPECT_EQ(r.s.flight_line, c.flight_line);
  }
}

// --- Headed tables -------------------------------------------------------------

struct table_case {
  const char* what;
  std::string text;
  std::vector<float> dat;
  std::vector<float> doi;
  std::optional<float> nodata;
};

TEST(delivered_table, layouts) {
  const std::vector<table_case> cases = {
      {"CSV, zero-based arrays, empty fields and NaN",
       "LINE_NO,E_N83WTM,N_N83WTM,DOI_CONSERVATIVE,RHO_I[0],RHO_I[1],DEP_TOP[0],DEP_TOP[1]\n"
       "1,0,0,50,1,,0,5\n1,1,0,NaN,3,4,0,5\n1,0,1,,5,6,0,5\n",
       {1, 3, 5, nan, 4, 6},
       {50, nan, nan},
       nan},
      {"blank-separated, one-based in parentheses",
       "X Y RHO(1) RHO(2) THK(1)\n0 0 1 2 5\n1 0 3 4 5\n0 1 5 6 5\n",
       {1, 3, 5, 2, 4, 6},
       {},
       {}},
      {"semicolons, quoted names and CRLF",
       "\"X\";\"Y\";\"RHO_I_1\";\"RHO_I_2\";\"THK_1\"\r\n"
       "0;0;1;2;5\r\n1;0;3;*;5\r\n0;1;5;6;5\r\n",
       {1, 3, 5, 2, nan, 6},
       {},
       nan},
      {"a byte-order mark before the names",
       "\xef\xbb\xbfX,Y,RHO_1,RHO_2,THK_1\n0,0,1,2,5\n1,0,3,4,5\n0,1,5,6,5\n",
       {1, 3, 5, 2, 4, 6},
       {},
       {}},
      {"a quoted text holding the separator",
       "X,Y,NOTE,RHO_1,RHO_2,THK_1\n0,0,\"a, b\",1,2,5\n1,0,\"\"\"\",3,4,5\n0,1,,5,6,5\n",
       {1, 3, 5, 2, 4, 6},
       {},
       {}},
  };
  for (const table_case& c : cases) {
    SCOPED_TRACE(c.what);
    const result r = read(survey_format::table, c.text);
    ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
    EXPECT_EQ(bits(r.s.dat), bits(c.dat));
    EXPECT_EQ(bits(r.s.doi), bits(c.doi));
    EXPECT_EQ(r.about.nodata.has_value(), c.nodata.has_value());
    EXPECT_EQ(bits(r.s.dz), bits(std::vector<float>{5}));
  }
}

TEST(delivered_table, the_users_nodata_stands_for_missing_values) {
  delivered_options o;
  o.nodata = -9999.0f;
  const result r = read(survey_format::table,
                        "X,Y,RHO_1,RHO_2,THK_1\n0,0,1,,5\n1,0,-9999,4,5\n0,1,5,NaN,5\n", {}, o);
  ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
  EXPECT_EQ(bits(r.s.dat), bits(std::vector<float>{1, -9999, 5, -9999, 4, -9999}));
  EXPECT_EQ(r.about.nodata, -9999.0f);
}

// --- ASEG-GDF2 -------------------------------------------------------------------

const std::string dfn_commas =
    "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76\n"
    "DEFN 1 ST=RECD,RT=; Line : I6 : NULL=-99999, LONGNAME=Line Number\n"
    "DEFN 2 ST=RECD,RT=; Easting : F8.1 : NULL=-99999.9, UNITS=m, extra1=PROJECTION, "
    "extra2=GDA94/MGA54\n"
    "DEFN 3 ST=RECD,RT=; Northing : F8.1 : UNITS=m\n"
    "DEFN 4 ST=RECD,RT=; conductivity : 3E9.2 : NULL=-9999, UNITS=S/m\n"
    "DEFN 5 ST=RECD,RT=; thickness : 3F5.1 : UNITS=m\n"
    "DEFN 6 ST=RECD,RT=; depth_of_investigation : F6.1 : NULL=-99\n"
    "DEFN 7 ST=RECD,RT=; END DEFN\n";
// Line, Easting, Northing, three conductivities (9 characters each), three
// thicknesses, the depth of investigation.
const std::string dat_rows =
    "COMM a comment\n"
    "  1000   100.5   200.5 1.00E-01 2.00E-01-9999.000  2.0  3.0  0.0  40.0\n"
    "  1000   101.5   200.5 1.10E-01          2.10E-01  2.0  3.0  0.0   -99\n"
    "  1010   100.5   201.5-1.20E-01 2.20E-01 3.20E-01  2.0  3.0  0.0  41.5\n";

TEST(delivered_gdf2, reads_records_by_their_widths) {
  const result r = read(survey_format::gdf2, dfn_commas, dat_rows);
  ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
  EXPECT_EQ(r.s.nlayer, 3);
  EXPECT_EQ(bits(r.s.dz), bits(std::vector<float>{2, 3}));
  EXPECT_FALSE(r.s.last_dz.has_value());  // a last thickness of 0 is no bottom
  EXPECT_EQ(bits(r.s.xloc), bits(std::vector<float>{100.5f, 101.5f, 100.5f}));
  // A value as wide as its field touches the one before; a blank field and
  // the field's null are missing, stored as the null of the values' field.
  EXPECT_EQ(bits(r.s.dat),
            bits(std::vector<float>{0.1f, 0.11f, -0.12f, 0.2f, -9999, 0.22f, -9999, 0.21f, 0.32f}));
  EXPECT_EQ(bits(r.s.doi), bits(std::vector<float>{40, -9999, 41.5f}));
  EXPECT_EQ(r.s.flight_line, (std::vector<double>{1000, 1000, 1010}));
  EXPECT_EQ(r.s.line, (std::vector<std::int64_t>{2, 3, 4}));
  EXPECT_EQ(r.about.epsg, 28354);
  EXPECT_EQ(r.about.crs, "PROJECTION=GDA94/MGA54");
  EXPECT_EQ(r.about.property, "conductivity");
  EXPECT_EQ(r.about.unit, "S/m");
  EXPECT_EQ(r.about.length_unit, "m");
  EXPECT_EQ(r.about.nodata, -9999.0f);
  EXPECT_EQ(r.about.dummy, "-9999");
}

TEST(delivered_gdf2, dialects) {
  struct gdf_case {
    const char* what;
    std::string dfn, dat;
    column_choices choices;
    std::optional<int> epsg;
    std::string unit;
  };
  const std::string rows =
      "  1.0  2.0   10.0  20.0\n  1.0  3.0   11.0  21.0\n  2.0  2.0   12.0  22.0\n";
  const std::vector<gdf_case> cases = {
      {"attributes separated by colons, a datum, a field name as the value pattern",
       "DEFN 1 ST=RECD,RT=; X : f5.1:UNIT=m:NULL=-99.9,NAME=Easting:DATUM=GDA94\n"
       "DEFN 2 ST=RECD,RT=; Y : f5.1:UNIT=m\n"
       "DEFN 3 ST=RECD,RT=; model : 2F7.1:UNIT=ohm.m\n"
       "DEFN 4 ST=RECD,RT=; END DEFN\n",
       rows,
       pick().values("model").thicknesses({5}),
       {},
       "ohm m"},
      {"a projection record",
       "DEFN 1 ST=RECD,RT=PROJ; RT: A4\n"
       "DEFN 2 ST=RECD,RT=PROJ; COORDSYS: A24: NAME=projection name, POSC projection name\n"
       "DEFN 3 ST=RECD,RT=PROJ; END DEFN\n"
       "DEFN 1 ST=RECD,RT=; x : F5.1\nDEFN 2 ST=RECD,RT=; y : F5.1\n"
       "DEFN 3 ST=RECD,RT=; resistivity : 2F7.1\nDEFN 4 ST=RECD,RT=; END DEFN\n",
       "PROJWGS 84 / UTM zone 33S\n" + rows, pick().thicknesses({5}), 32733, "ohm m"},
      {"records of a named type and an explicit EPSG attribute",
       "DEFN 1 ST=RECD,RT=DATA; RT : A4\n"
       "DEFN 2 ST=RECD,RT=DATA; X : F5.1 : EPSG=7855\nDEFN 3 ST=RECD,RT=DATA; Y : F5.1\n"
       "DEFN 4 ST=RECD,RT=DATA; SIGMA : 2F7.1\nDEFN 5 ST=RECD,RT=DATA; END DEFN\n",
       "DATA  1.0  2.0   10.0  20.0\nDATA  1.0  3.0   11.0  21.0\nDATA  2.0  2.0   12.0  22.0\n",
       pick().thicknesses({5}), 7855, "mS/m"},
  };
  for (const gdf_case& c : cases) {
    SCOPED_TRACE(c.what);
    const result r = read(survey_format::gdf2, c.dfn, c.dat, choose(c.choices));
    ASSERT_EQ(r.outcome.status, read_status::ok) << r.outcome.problem.message();
    EXPECT_EQ(bits(r.s.dat), bits(std::vector<float>{10, 11, 12, 20, 21, 22}));
    EXPECT_EQ(bits(r.s.yloc), bits(std::vector<float>{2, 3, 2}));
    EXPECT_EQ(r.about.epsg, c.epsg) << r.about.crs;
    EXPECT_EQ(r.about.unit, c.unit);
  }
}

// --- Faults ----------------------------------------------------------------------

struct bad_case {
  const char* what;
  survey_format form;
  std::string text, dat;
  column_choices choices;
  std::string message;
};

TEST(delivered_faults, name_file_line_column_and_value) {
  const std::string names = "/ X Y RHO_1 RHO_2 THK_1\n";
  const std::string gdf =
      "DEFN 1 ST=RECD,RT=; X : F5.1\nDEFN 2 ST=RECD,RT=; Y : F5.1 : NULL=-9\n"
      "DEFN 3 ST=RECD,RT=; RHO : 2F7.1\nDEFN 4 ST=RECD,RT=; END DEFN\n";
  const std::vector<bad_case> cases = {
      {"a value that is no number",
       survey_format::xyz,
       names + "0 0 1 2 10\n1 0 3 abc 10\n",
       {},
       {},
       "export.xyz:3: expected a number in column RHO_2 (layer 2 of sounding 2), got 'abc'"},
      {"a missing x",
       survey_format::xyz,
       names + "0 0 1 2 10\n* 0 3 4 10\n",
       {},
       {},
       "export.xyz:3: expected a number in column X (x of sounding 2), got '*', which marks a "
       "missing value; a sounding needs its location"},
      {"a short record",
       survey_format::xyz,
       names + "0 0 1 2 10\n1 0 3 4\n",
       {},
       {},
       "export.xyz:3: expected a value in column THK_1 (column 5 of 5 named on line 1), got the "
       "end of the line"},
      {"a long record",
       survey_format::xyz,
       names + "0 0 1 2 10 11\n",
       {},
       {},
       "export.xyz:2: expected the end of the record after column THK_1 (the last of 5 named on "
       "line 1), got '11'"},
      {"tops as elevations that differ",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_2 ELEVATION_TOP_1 ELEVATION_TOP_2\n0 0 1 2 100.0 98.0\n1 0 3 4 90.0 87.0\n",
       {},
       {},
       "export.xyz:3: column ELEVATION_TOP_2 places the top of layer 2 3 below the first top in "
       "sounding 2, where the first record (line 2) places it 2 below; every sounding must have "
       "the "
       "same layers (or give the thicknesses with --thicknesses LIST)"},
      {"geometry that differs",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_2 DEP_TOP_1 DEP_TOP_2\n0 0 1 2 0 5.0\n1 0 3 4 0 5.06\n",
       {},
       {},
       "export.xyz:3: column DEP_TOP_2 gives '5.06' in sounding 2, where the first record (line "
       "2) gives '5.0'; every sounding must have the same layers (or give the thicknesses with "
       "--thicknesses LIST)"},
      {"a missing layer top",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_2 DEP_TOP_1 DEP_TOP_2\n0 0 1 2 0 *\n",
       {},
       {},
       "export.xyz:2: expected a number in column DEP_TOP_2 (the top of layer 2), got '*', which "
       "marks a missing value; the layers need their geometry"},
      {"no column for x",
       survey_format::xyz,
       "/ LON LAT RHO_1 THK_1\n",
       {},
       {},
       "export.xyz:1: cannot tell which column holds x: none is named as the recognised ones "
       "are (X, UTMX, UTM_X, XUTM, EASTING, EAST, E, E_..., X_...); the columns are LON, LAT, "
       "RHO_1, THK_1; name it with --x NAME"},
      {"two columns for x",
       survey_format::xyz,
       "/ X UTMX Y RHO_1\n",
       {},
       {},
       "export.xyz:1: cannot tell which column holds x: X, UTMX could all hold it; the columns "
       "are X, UTMX, Y, RHO_1; name one with --x NAME"},
      {"two runs of values",
       survey_format::xyz,
       "/ X Y RHO_I_1 RHO_I_2 SIGMA_I_1 SIGMA_I_2 RHO_I_STD1 RHO_I_STD2\n",
       {},
       {},
       "export.xyz:1: cannot tell which columns hold the values: RHO_I_1..RHO_I_2, "
       "SIGMA_I_1..SIGMA_I_2 could all hold them; name them with --values PATTERN (`*` for the "
       "layer: RHO_I_*)"},
      {"a gap in the layers",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_2 RHO_4\n",
       {},
       {},
       "export.xyz:1: the value columns jump from RHO_2 to RHO_4; a layer is missing"},
      {"a values pattern that matches nothing",
       survey_format::xyz,
       "/ X Y RHO_1\n",
       {},
       pick().values("SIG_*"),
       "export.xyz:1: no columns match --values SIG_* (a name with `*` where the layer stands, "
       "RHO_I_* or RHO_I[*], or an array's name); the columns are X, Y, RHO_1"},
      {"a layer twice",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_01\n",
       {},
       {},
       "export.xyz:1: the value columns RHO_1 and RHO_01 carry the same layer number"},
      {"too few tops",
       survey_format::xyz,
       "/ X Y RHO_1 RHO_2 DEP_TOP_1\n",
       {},
       {},
       "export.xyz:1: the columns DEP_TOP_1 give 1 layer top for 2 layers (RHO_1..RHO_2), "
       "where 2 are needed; give the thicknesses with --thicknesses LIST"},
      {"a column chosen twice",
       survey_format::xyz,
       "/ X Y RHO_1\n",
       {},
       pick().y("X"),
       "export.xyz:1: the column X is taken both for x and for y"},
      {"no geometry",
       survey_format::table,
       "X,Y,RHO[0],RHO[1]\n0,0,1,2\n",
       {},
       {},
       "table.csv:1: the file gives no layer geometry: no columns of layer thicknesses (THK_n, "
       "THICKNESS_n), tops (DEP_TOP_n, DEPTH_TOP_n) or bottoms (DEP_BOT_n, DEPTH_BOT_n, "
       "DEPTH_BOTTOM_n); the columns are X, Y, RHO[0]..RHO[1]; give the thicknesses with "
       "--thicknesses LIST"},
      {"too few thicknesses from the user",
       survey_format::table,
       "X,Y,RHO[0],RHO[1],RHO[2]\n",
       {},
       pick().thicknesses({1}),
       "table.csv:1: --thicknesses gives 1 thicknesses for 3 layers (RHO[0]..RHO[2]); give 2 or "
       "3"},
      {"a chosen column that is not there",
       survey_format::table,
       "X,Y,RHO[0]\n",
       {},
       pick().doi("DOI_STD"),
       "table.csv:1: no column is named 'DOI_STD' (--doi-column DOI_STD); the columns are X, Y, "
       "RHO[0]"},
      {"the header's layer count",
       survey_format::xyz,
       "/NUMBER OF LAYERS\n/3\n/ X Y RHO_1 RHO_2 THK_1\n",
       {},
       {},
       "export.xyz:2: the header gives 3 layers, but the value columns (RHO_1..RHO_2) hold 2"},
      {"no names line",
       survey_format::xyz,
       "/DUMMY\n/9999\n0 0 1\n",
       {},
       {},
       "export.xyz:2: no line names the columns: an XYZ export's header ends with a line that "
       "starts with '/ ' (slash, blank) and holds the column names"},
      {"a GDF2 value that is no number", survey_format::gdf2, gdf,
       "  1.0  2.0   10.0  20.0\n  1.0  3.0   1x.0  21.0\n", pick().thicknesses({5}),
       "survey.dat:2: expected a number in field RHO[0] at characters 11-17 (layer 1 of sounding "
       "2), got '1x.0'"},
      {"a GDF2 record longer than its fields", survey_format::gdf2, gdf,
       "  1.0  2.0   10.0  20.0  7\n", pick().thicknesses({5}),
       "survey.dat:1: expected the end of the record at character 24, where the .dfn's fields "
       "end, got '7'"},
      {"a GDF2 record that ends early", survey_format::gdf2, gdf, "  1.0  2.0   10.0\n",
       pick().thicknesses({5}),
       "survey.dat:1: expected a value in field RHO[1] at characters 18-24, got the end of the "
       "record at character 17 (the .dfn's fields take 24)"},
      {"a GDF2 location that is its field's null", survey_format::gdf2, gdf,
       "  1.0 -9.0   10.0  20.0\n", pick().thicknesses({5}),
       "survey.dat:1: expected a number in field Y at characters 6-10 (y of sounding 1), got "
       "'-9.0', the column's dummy; a sounding needs its location"},
      {"a GDF2 format that is none",
       survey_format::gdf2,
       "DEFN 1 ST=RECD,RT=; X : Q5\n",
       "",
       {},
       "survey.dfn:1: expected a format such as F12.2 or 30E15.6 for field X, got 'Q5'"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    const result r = read(c.form, c.text, c.dat, choose(c.choices));
    ASSERT_EQ(r.outcome.status, read_status::bad_input);
    EXPECT_EQ(r.outcome.problem.message(), c.message);
  }
}

TEST(delivered_faults, fewer_than_three_records) {
  const result r = read(survey_format::table, "X,Y,RHO_1\n0,0,1\n1,0,2\n");
  EXPECT_EQ(r.outcome.status, read_status::too_few_soundings);
}

// --- Forms and coordinate systems ----------------------------------------------

TEST(delivered_forms, detect_format) {
  struct detect_case {
    const char* path;
    std::string head;
    survey_format form;
  };
  const std::vector<detect_case> cases = {
      {"survey.txt", "Number of layers 3\nLayer thicknesses 1 2\nNumber of soundings 3\n",
       survey_format::native},
      {"survey.xyz", "/INFO\n/DUMMY\n/9999\n", survey_format::xyz},
      {"survey.dat", "\n\n/ X Y RHO_1\n", survey_format::xyz},
      {"survey.csv", "LINE_NO,E_N83WTM,N_N83WTM,RHO_I[0]\n3010,451230.5,5012877.1,56.1\n",
       survey_format::table},
      {"model.txt", "X Y RHO_1 RHO_2\n0 0 1 2\n", survey_format::table},
      {"model.txt", "X Y RHO_1 RHO_2\n0 0 1\n", survey_format::native},
      {"model.txt", std::string("X Y\0 RHO_1\n0 0 1\n", 17), survey_format::native},
      {"model.txt", "X \x7f\x03 RHO_1\n0 0 1\n", survey_format::native},
      {"table.csv", "\xef\xbb\xbfX,Y,RHO_1\n0,0,1\n", survey_format::table},
      {"survey.dfn", "", survey_format::gdf2},
      {"survey", "DEFN 1 ST=RECD,RT=; Line : I10\n", survey_format::gdf2},
      {"survey.DAT", "      1000   312004.20  1.2E+01\n", survey_format::gdf2},
      {"survey.dat", "Number of layers 3\n", survey_format::native},
      {"empty.txt", "", survey_format::native},
  };
  for (const detect_case& c : cases) {
    SCOPED_TRACE(c.path + (" " + c.head));
    EXPECT_EQ(detect_format(c.path, c.head), c.form);
  }
  EXPECT_EQ(format_from_name("XYZ"), survey_format::xyz);
  EXPECT_EQ(format_from_name("gdf"), std::nullopt);
}

TEST(delivered_forms, epsg_from_text) {
  const std::vector<std::pair<std::string, std::optional<int>>> cases = {
      {"ETRS89 / UTM zone 33N (epsg:25833)", 25833},
      {"EPSG 28354", 28354},
      {"PROJECTION=GDA94/MGA54", 28354},
      {"GDA94 / MGA zone 55", 28355},
      {"GDA2020 / MGA zone 56", 7856},
      {"WGS 84 / UTM zone 33N", 32633},
      {"WGS84 UTM 21S", 32721},
      {"WGS 84 / UTM zone 33", std::nullopt},  // which hemisphere?
      {"NAD83 / UTM zone 15N", 26915},
      {"NAD27 UTM zone 12", 26712},
      {"AGD66 / AMG zone 55", 20255},
      {"AGD84 AMG54", 20354},
      {"ETRS89 / UTM zone 32N", 25832},
      {"UTM zone 33N", std::nullopt},                // no datum
      {"GDA94", std::nullopt},                       // no zone
      {"GDA94 / MGA zone 54; WGS84", std::nullopt},  // two datums
      {"epsg:25833; EPSG=32633", std::nullopt},      // two codes
      {"GDA94 / MGA zone 12", std::nullopt},         // no such zone
  };
  for (const auto& [text, code] : cases) EXPECT_EQ(epsg_from_text(text), code) << text;
}

// --- The examples --------------------------------------------------------------

// The values as the driver marks them: equal to nodata (NaN: NaN) is missing.
std::vector<float> marked(std::vector<float> v, std::optional<float> nodata) {
  for (float& f : v) {
    if (nodata && (std::isnan(*nodata) ? std::isnan(f) : f == *nodata))
      f = nan;
  }
  return v;
}

// The three example files hold the soundings of examples/survey.txt: read in
// any form they give its layers and values to the bit where a value is not
// missing, and once missing values are marked the same survey as one
// another, with the same coordinate system.
TEST(delivered_examples, every_form_gives_the_same_survey) {
  const std::filesystem::path dir = std::filesystem::path(TERVOX_SOURCE_DIR) / "examples";
  survey native;
  survey_metadata native_about;
  ASSERT_EQ(read_survey((dir / "survey.txt").string(), native, native_about).status,
            read_status::ok);
  struct form {
    std::string name;
    survey s;
    survey_metadata about;
  };
  std::vector<form> forms;
  for (const char* name : {"delivered/survey_export.xyz", "delivered/survey.dat",
                           "delivered/survey.dfn", "delivered/survey_table.csv"}) {
    SCOPED_TRACE(name);
    form f{name, {}, {}};
    const read_outcome r = read_survey((dir / name).string(), f.s, f.about);
    ASSERT_EQ(r.status, read_status::ok) << r.problem.message();
    EXPECT_NE(f.about.format, survey_format::native);
    EXPECT_EQ(f.s.nlayer, native.nlayer);
    EXPECT_EQ(f.s.nsound, native.nsound);
    EXPECT_EQ(bits(f.s.dz), bits(native.dz));
    EXPECT_EQ(f.s.last_dz, 12.0f);
    ASSERT_TRUE(f.about.nodata.has_value());
    const std::vector<float> dat = marked(f.s.dat, f.about.nodata);
    ASSERT_EQ(dat.size(), native.dat.size());
    int missing = 0;
    for (std::size_t i = 0; i < dat.size(); ++i) {
      if (std::isnan(dat[i]))
        ++missing;
      else
        EXPECT_EQ(std::bit_cast<std::uint32_t>(dat[i]), std::bit_cast<std::uint32_t>(native.dat[i]))
            << "value " << i;
    }
    EXPECT_GT(missing, 0);
    EXPECT_EQ(f.s.elevation.size(), static_cast<std::size_t>(f.s.nsound));
    EXPECT_EQ(f.s.flight_line.size(), static_cast<std::size_t>(f.s.nsound));
    forms.push_back(std::move(f));
  }
  const form& first = forms.front();
  for (const form& f : forms) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(bits(f.s.xloc), bits(first.s.xloc));
    EXPECT_EQ(bits(f.s.yloc), bits(first.s.yloc));
    EXPECT_EQ(bits(marked(f.s.dat, f.about.nodata)), bits(marked(first.s.dat, first.about.nodata)));
    EXPECT_EQ(bits(marked(f.s.doi, f.about.nodata)), bits(marked(first.s.doi, first.about.nodata)));
    EXPECT_EQ(bits(f.s.elevation), bits(first.s.elevation));
    EXPECT_EQ(f.s.flight_line, first.s.flight_line);
    EXPECT_EQ(f.about.epsg,
              f.about.format == survey_format::table ? std::nullopt : std::optional(28354));
  }
}

}  // namespace
}  // namespace tervox_test
