#include "formats/description.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tervox_test {
using namespace tervox::formats;
namespace {

description full() {
  description d;
  d.source_file = "survey.xyz";
  d.source_format = "xyz";
  d.epsg = 28354;
  d.crs_name = "GDA94 / MGA zone 54";
  d.property = "resistivity";
  d.unit = "ohm m";
  d.length_unit = "m";
  d.nodata = -9999;
  d.columns = {
      {"x", "UTMX"}, {"y", "UTMY"}, {"values", "RHO_I_1..RHO_I_30"}, {"doi", "DOI_CONSERVATIVE"}};
  return d;
}

TEST(description_test, text_of_a_full_description) {
  EXPECT_EQ(description_text(full()), R"({
  "tervox_description": 1,
  "source": {
    "file": "survey.xyz",
    "format": "xyz"
  },
  "crs": {
    "epsg": 28354,
    "name": "GDA94 / MGA zone 54"
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
    "x": "UTMX",
    "y": "UTMY",
    "values": "RHO_I_1..RHO_I_30",
    "doi": "DOI_CONSERVATIVE"
  }
}
)");
}

// What is unknown is left out, never guessed: no crs without a code, no
// unit for the vertical axis without a length unit, no NaN nodata.
TEST(description_test, unknowns_are_left_out) {
  description d;
  d.nodata = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(description_text(d), R"({
  "tervox_description": 1,
  "vertical": {
    "axis": "depth",
    "positive": "down"
  }
}
)");
  d.epsg = 7855;
  EXPECT_NE(description_text(d).find(R"("name": "EPSG:7855")"), std::string::npos);
}

void expect_same(const description& a, const description& b) {
  EXPECT_EQ(a.source_file, b.source_file);
  EXPECT_EQ(a.source_format, b.source_format);
  EXPECT_EQ(a.epsg, b.epsg);
  EXPECT_EQ(a.crs_name, b.crs_name);
  EXPECT_EQ(a.property, b.property);
  EXPECT_EQ(a.unit, b.unit);
  EXPECT_EQ(a.length_unit, b.length_unit);
  EXPECT_EQ(a.vertical_axis, b.vertical_axis);
  EXPECT_EQ(a.vertical_positive, b.vertical_positive);
  EXPECT_EQ(a.nodata, b.nodata);
  EXPECT_EQ(a.columns, b.columns);
  EXPECT_EQ(a.elevation_file, b.elevation_file);
}

TEST(description_test, round_trips) {
  description partial;
  partial.property = "conductivity";
  partial.nodata = 1e-30;  // no whole number: written with its fraction
  description fractional = full();
  fractional.nodata = -99999.5;
  fractional.columns = {{"values", "conductivity[0..29]"}, {"x", "E\xc3\xa9"}};
  fractional.elevation_file = "out.vol.elevation";
  for (const description& d : {full(), description{}, partial, fractional}) {
    const std::string text = description_text(d);
    const description_outcome back = read_description(text, "out.vol.json");
    ASSERT_TRUE(back.about) << back.problem.message() << "\n" << text;
    expect_same(*back.about, d);
  }
}

TEST(description_test, unknown_members_are_ignored) {
  const description_outcome back = read_description(
      R"({"tervox_description": 2, "later": [1, {"a": null}],
          "property": {"name": "resistivity", "scale": "log"}})",
      "v.json");
  ASSERT_TRUE(back.about) << back.problem.message();
  EXPECT_EQ(back.about->property, "resistivity");
  EXPECT_FALSE(back.about->epsg);
}

struct bad_case {
  const char* what;
  const char* text;
  const char* message;
};

const bad_case bad_cases[] = {
    {"empty", "", "v.json: not a description file: parse error at line 1, column 1"},
    {"cut short", "{\"tervox_description\": 1,\n  \"crs\": {",
     "v.json: not a description file: parse error at line 2, column 11"},
    {"not an object", "[1, 2]", "v.json: not a description file: no member \"tervox_description\""},
    {"another program's JSON", R"({"name": "x"})",
     "v.json: not a description file: no member \"tervox_description\""},
    {"version as text", R"({"tervox_description": "1"})",
     "v.json: member \"tervox_description\" should be an integer"},
    {"epsg as text", R"({"tervox_description": 1, "crs": {"epsg": "28354"}})",
     "v.json: member \"crs.epsg\" should be a positive integer"},
    {"epsg fractional", R"({"tervox_description": 1, "crs": {"epsg": 28354.5}})",
     "v.json: member \"crs.epsg\" should be a positive integer"},
    {"crs a string", R"({"tervox_description": 1, "crs": "EPSG:28354"})",
     "v.json: member \"crs\" should be an object"},
    {"unit a number", R"({"tervox_description": 1, "property": {"unit": 5}})",
     "v.json: member \"property.unit\" should be a string"},
    {"nodata as text (NaN is no JSON)", R"({"tervox_description": 1, "nodata": "NaN"})",
     "v.json: member \"nodata\" should be a number"},
    {"column a number", R"({"tervox_description": 1, "columns": {"x": 1}})",
     "v.json: member \"columns.x\" should be a string"},
    {"elevation an object", R"({"tervox_description": 1, "elevation": {"file": "v.elevation"}})",
     "v.json: member \"elevation\" should be a string"},
};

TEST(description_test, bad_text_is_named) {
  for (const bad_case& c : bad_cases) {
    SCOPED_TRACE(c.what);
    const description_outcome back = read_description(c.text, "v.json");
    EXPECT_FALSE(back.about);
    EXPECT_TRUE(back.problem.message().starts_with(c.message)) << back.problem.message();
  }
}

}  // namespace
}  // namespace tervox_test
