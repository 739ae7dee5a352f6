// Each delivered form against the soundings file a careful converter writes
// from the same soundings: both read, the surveys compared bit for bit.
//
// The converter copies every value, x, y and depth of investigation as
// written; writes the dummy (or the user's --nodata, or nan where the file
// names none) in place of every missing value; and writes the thicknesses
// as given, or computed in double from the first record's tops and rounded
// once to single precision, in the shortest text that reads back as that
// float. Its file is then read with --nodata <dummy>.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "formats/delivered.hpp"
#include "formats/soundings.hpp"

namespace tervox_test {
using namespace tervox::formats;
namespace {

std::vector<std::uint32_t> bits(std::span<const float> v) {
  std::vector<std::uint32_t> b;
  for (const float f : v) b.push_back(std::bit_cast<std::uint32_t>(f));
  return b;
}

// NaNs alike whatever their payload: the converter's "nan" and the reader's
// NaN need not share one.
std::vector<std::uint32_t> bits_nan_alike(std::span<const float> v) {
  std::vector<std::uint32_t> b;
  for (const float f : v)
    b.push_back(std::isnan(f) ? 0x7fc00000u : std::bit_cast<std::uint32_t>(f));
  return b;
}

std::string shortest(float f) {
  char buf[32];
  return {buf, std::to_chars(buf, buf + sizeof buf, f).ptr};
}

double to_double(const std::string& t) {
  double d = 0;
  std::string s = t;
  for (char& c : s) c = c == 'D' || c == 'd' ? 'e' : c;
  std::from_chars(s.data() + (s[0] == '+' ? 1 : 0), s.data() + s.size(), d);
  return d;
}

// Decimals just off a single-precision midpoint by less than half a
// double-precision ulp: through double they round one way, straight the
// other, so a value converted by the wrong route shows.
const char* const tricky[] = {
    "1.000000059604644776257986737988403547205962240695953369140625",
    "1.000000178813934325304513262011596452794037759304046630859375",
};

struct sounding {
  std::string line, x, y, elevation, doi, date;
  std::vector<std::string> values;    // empty text: missing
  std::vector<std::string> geometry;  // this record's tops, or thicknesses
  std::string last_bottom;            // empty: missing
};

struct model {
  int nlayer = 0;
  bool thickness_columns = false;  // THK_n (nlayer-1 of them) instead of tops
  std::vector<sounding> rows;
};

class generator {
 public:
  explicit generator(unsigned seed) : gen_(seed) {}

  std::uint32_t pick(std::uint32_t n) { return static_cast<std::uint32_t>(gen_() % n); }

  // A decimal of 1 to `digits` significant digits in fixed or exponent form.
  std::string decimal(int digits, int least_exp, int most_exp, bool negative_ok = true) {
    const int d = 1 + static_cast<int>(pick(static_cast<std::uint32_t>(digits)));
    std::string s;
    s += static_cast<char>('1' + pick(9));
    for (int i = 1; i < d; ++i) s += static_cast<char>('0' + pick(10));
    const int e =
        least_exp + static_cast<int>(pick(static_cast<std::uint32_t>(most_exp - least_exp + 1)));
    std::string out = negative_ok && pick(4) == 0 ? "-" : "";
    if (pick(5) == 0) {
      out += s.substr(0, 1);
      if (d > 1)
        out += "." + s.substr(1);
      out += pick(2) == 0 ? "E" : "e";
      out += std::to_string(e);
      return out;
    }
    // s times 10^(e - d + 1): the point after digit e+1 of s.
    const int point = e + 1;
    if (point <= 0) {
      out += "0." + std::string(static_cast<std::size_t>(-point), '0') + s;
    } else if (point >= d) {
      out += s + std::string(static_cast<std::size_t>(point - d), '0');
      if (pick(2) == 0)
        out += ".0";
    } else {
      out += s.substr(0, static_cast<std::size_t>(point)) + "." +
             s.substr(static_cast<std::size_t>(point));
    }
    return out;
  }

  // The same value spelt differently: trailing zeros after a point.
  std::string respell(const std::string& t) {
    if (t.find_first_of("eE") != std::string::npos)
      return t;
    if (t.find('.') == std::string::npos)
      return t + ".00";
    return t + "0";
  }

  model make(int nlayer, int nsound, bool thickness_columns, bool tricky_ok) {
    model m;
    m.nlayer = nlayer;
    m.thickness_columns = thickness_columns;
    // One geometry: tops with up to 2 decimals, a last bottom maybe.
    std::vector<std::string> tops{"0"};
    double depth = 0;
    std::vector<std::string> thk;
    for (int k = 1; k < nlayer; ++k) {
      const std::string t = decimal(3, -1, 1, false);
      thk.push_back(t);
      depth += to_double(t);
      char buf[32];
      tops.emplace_back(buf, std::to_chars(buf, buf + 32, depth, std::chars_format::fixed, 3).ptr);
    }
    const std::string last_bottom = pick(2) == 0 ? std::string() : decimal(3, 2, 3, false);
    for (int i = 0; i < nsound; ++i) {
      sounding s;
      s.line = std::to_string(1000 + 10 * (i / 7));
      const bool trick = tricky_ok && pick(6) == 0;
      s.x = trick ? tricky[pick(2)] : decimal(10, 4, 6);
      s.y = trick ? tricky[pick(2)] : decimal(10, 5, 6);
      s.elevation = pick(8) == 0 ? std::string() : decimal(4, 0, 2);
      s.doi = pick(6) == 0 ? std::string() : decimal(4, 1, 2, false);
      s.date = "2021-09-" + std::to_string(10 + pick(20));
      for (int k = 0; k < nlayer; ++k) {
        if (pick(9) == 0)
          s.values.emplace_back();
        else if (tricky_ok && pick(20) == 0)
          s.values.emplace_back(tricky[pick(2)]);
        else
          s.values.push_back(decimal(7, -3, 3, false));
      }
      const auto& g = thickness_columns ? thk : tops;
      for (const auto& t : g) s.geometry.push_back(i > 0 && pick(3) == 0 ? respell(t) : t);
      s.last_bottom = last_bottom;
      m.rows.push_back(std::move(s));
    }
    return m;
  }

 private:
  std::mt19937 gen_;
};

// The converter's thicknesses: as written, or from the first record's tops.
std::vector<std::string> thickness_texts(const model& m) {
  const auto& g = m.rows.front().geometry;
  if (m.thickness_columns)
    return g;
  std::vector<std::string> out;
  for (int k = 0; k + 1 < m.nlayer; ++k) {
    const double a = to_double(g[static_cast<std::size_t>(k)]);
    const double b = to_double(g[static_cast<std::size_t>(k + 1)]);
    out.push_back(shortest(static_cast<float>(b - a)));
  }
  return out;
}

// The last layer's thickness the reader should keep.
std::optional<float> expected_last(const model& m) {
  if (m.thickness_columns || m.rows.front().last_bottom.empty())
    return std::nullopt;
  const float t = static_cast<float>(to_double(m.rows.front().last_bottom) -
                                     to_double(m.rows.front().geometry.back()));
  return t > 0 ? std::optional(t) : std::nullopt;
}

std::string native_file(const model& m, const std::string& missing,
                        const std::vector<std::string>& thicknesses) {
  std::string t = "Number of layers " + std::to_string(m.nlayer) + "\nLayer thicknesses (m)";
  for (const auto& th : thicknesses) t += " " + th;
  t += "\nNumber of soundings " + std::to_string(m.rows.size()) + "\nx y values doi\n";
  for (const auto& s : m.rows) {
    t += s.x + " " + s.y;
    for (const auto& v : s.values) t += " " + (v.empty() ? missing : v);
    t += " " + (s.doi.empty() ? missing : s.doi) + "\n";
  }
  return t;
}

struct read_back {
  read_outcome outcome;
  survey s;
  survey_metadata about;
};

read_back native(const std::string& text) {
  std::istringstream in(text);
  read_back r;
  r.outcome = read_soundings(in, "converted.txt", r.s, nullptr, {true, true});
  return r;
}

// Compares the delivered reading with the converter's; `nodata` is the
// --nodata the converter's file is read with.
void expect_same(const read_back& d, const read_back& n, const model& m, float nodata,
                 bool thickness_given = false) {
  ASSERT_EQ(d.outcome.status, read_status::ok) << d.outcome.problem.message();
  ASSERT_EQ(n.outcome.status, read_status::ok) << n.outcome.problem.message();
  EXPECT_EQ(d.s.nlayer, n.s.nlayer);
  EXPECT_EQ(d.s.nsound, n.s.nsound);
  EXPECT_EQ(bits(d.s.dz), bits(n.s.dz));
  EXPECT_EQ(bits(d.s.xloc), bits(n.s.xloc));
  EXPECT_EQ(bits(d.s.yloc), bits(n.s.yloc));
  EXPECT_EQ(bits_nan_alike(d.s.dat), bits_nan_alike(n.s.dat));
  EXPECT_EQ(bits_nan_alike(d.s.doi), bits_nan_alike(n.s.doi));
  ASSERT_TRUE(d.about.nodata.has_value());
  EXPECT_EQ(bits_nan_alike(std::span(&*d.about.nodata, 1)), bits_nan_alike(std::span(&nodata, 1)));
  if (!thickness_given) {
    const auto last = expected_last(m);
    EXPECT_EQ(d.s.last_dz.has_value(), last.has_value());
    if (last && d.s.last_dz) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(*d.s.last_dz), std::bit_cast<std::uint32_t>(*last));
    }
  }
  // The elevations, converted straight; a missing one is NaN.
  ASSERT_EQ(d.s.elevation.size(), m.rows.size());
  for (std::size_t i = 0; i < m.rows.size(); ++i) {
    const std::string& e = m.rows[i].elevation;
    if (e.empty()) {
      EXPECT_TRUE(std::isnan(d.s.elevation[i]));
    } else {
      float f = 0;
      std::from_chars(e.data(), e.data() + e.size(), f);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(d.s.elevation[i]), std::bit_cast<std::uint32_t>(f));
    }
  }
}

// XYZ: /DUMMY, '*' or the dummy for a missing value, geometry on every row,
// text and uncertainty columns, Geosoft line lines.
std::string xyz_file(const model& m, const std::string& dummy, generator& g) {
  const int n = m.nlayer;
  std::string t = "/INFO\n/export file written for a test\n/DUMMY\n/" + dummy +
                  "\n/COORDINATE SYSTEM\n/ETRS89 / UTM zone 33N (epsg:25833)\n"
                  "/NUMBER OF LAYERS\n/" +
                  std::to_string(n) + "\n/ ====\n/ LINE_NO UTMX UTMY ELEVATION RESDATA DATE";
  for (int k = 1; k <= n; ++k) t += " RHO_I_" + std::to_string(k);
  for (int k = 1; k <= n; ++k) t += " RHO_I_STD" + std::to_string(k);
  const int ngeom = m.thickness_columns ? n - 1 : n;
  for (int k = 1; k <= ngeom; ++k)
    t += (m.thickness_columns ? " THK_" : " DEP_TOP_") + std::to_string(k);
  if (!m.thickness_columns) {
    for (int k = 1; k <= n; ++k) t += " DEP_BOT_" + std::to_string(k);
  }
  t += " DOI_CONSERVATIVE DOI_STANDARD\n/ ====\n";
  std::string previous_line;
  for (const auto& s : m.rows) {
    if (s.line != previous_line)
      t += "Line " + s.line + "\n";
    previous_line = s.line;
    const auto missing = [&] { return g.pick(2) == 0 ? std::string("*") : dummy; };
    t += "  " + s.line + " " + s.x + " " + s.y + " " + (s.elevation.empty() ? dummy : s.elevation) +
         " 0.84 " + s.date;
    for (const auto& v : s.values) t += " " + (v.empty() ? missing() : v);
    for (int k = 0; k < n; ++k) t += g.pick(7) == 0 ? " *" : " 1.12";
    for (const auto& v : s.geometry) t += " " + v;
    if (!m.thickness_columns) {
      for (int k = 1; k < n; ++k) t += " " + s.geometry[static_cast<std::size_t>(k)];
      t += " " + (s.last_bottom.empty() ? dummy : s.last_bottom);
    }
    t += " " + (s.doi.empty() ? missing() : s.doi) + " 140.8\n";
  }
  return t;
}

// CSV: zero-based arrays, no dummy: empty, NaN or '*' for a missing value.
std::string csv_file(const model& m, generator& g, bool with_geometry) {
  const int n = m.nlayer;
  std::string t = "LINE_NO,E_N83WTM,N_N83WTM,ELEVATION,DOI_CONSERVATIVE,DATE";
  for (int k = 0; k < n; ++k) t += ",RHO_I[" + std::to_string(k) + "]";
  if (with_geometry) {
    for (int k = 0; k < n; ++k) t += ",DEP_TOP[" + std::to_string(k) + "]";
    for (int k = 0; k < n; ++k) t += ",DEP_BOT[" + std::to_string(k) + "]";
  }
  t += "\r\n";
  const auto missing = [&] {
    static const char* const marks[] = {"", "NaN", "*", " nan "};
    return std::string(marks[g.pick(4)]);
  };
  for (const auto& s : m.rows) {
    t += s.line + "," + s.x + ", " + s.y + "," + (s.elevation.empty() ? missing() : s.elevation) +
         "," + (s.doi.empty() ? missing() : s.doi) + ",\"" + s.date + "\"";
    for (const auto& v : s.values) t += "," + (v.empty() ? missing() : v);
    if (with_geometry) {
      for (const auto& v : s.geometry) t += "," + v;
      for (int k = 1; k < n; ++k) t += "," + s.geometry[static_cast<std::size_t>(k)];
      t += "," + (s.last_bottom.empty() ? missing() : s.last_bottom);
    }
    t += "\r\n";
  }
  return t;
}

std::string right(const std::string& t, std::size_t width) {
  return std::string(width > t.size() ? width - t.size() : 0, ' ') + t;
}

// ASEG-GDF2: fixed widths, arrays, per-field nulls, comments and a
// projection record; values as wide as their field touch the one before.
struct gdf2_pair {
  std::string dfn, dat;
};

gdf2_pair gdf2_files(const model& m, generator& g, bool colons) {
  const int n = m.nlayer;
  const std::string sep = colons ? ":" : ", ";
  const int ngeom = m.thickness_columns ? n - 1 : n;
  gdf2_pair p;
  p.dfn =
      "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76\n"
      "DEFN 1 ST=RECD,RT=PROJ; RT: A4\n"
      "DEFN 2 ST=RECD,RT=PROJ; COORDSYS: A40: NAME=projection name, POSC projection name\n"
      "DEFN 3 ST=RECD,RT=PROJ; DATUM: A40: NAME=datum name\n"
      "DEFN 4 ST=RECD,RT=PROJ; END DEFN\n"
      "DEFN 1 ST=RECD,RT=; Line : I10 : NULL=-99999999" +
      sep +
      "LONGNAME=Line Number\n"
      "DEFN 2 ST=RECD,RT=; DATE : A11\n"
      "DEFN 3 ST=RECD,RT=; Easting : F14.2 : NULL=-99999.99" +
      sep + "UNITS=m" + sep + "extra1=PROJECTION" + sep +
      "extra2=GDA94/MGA54\n"
      "DEFN 4 ST=RECD,RT=; Northing : F14.2 : NULL=-99999.99" +
      sep +
      "UNITS=m\n"
      "DEFN 5 ST=RECD,RT=; elevation : F10.2 : NULL=-9999" +
      sep +
      "UNITS=m\n"
      "DEFN 6 ST=RECD,RT=; conductivity : " +
      std::to_string(n) + "E12.6 : NULL=-9999" + sep + "UNITS=mS/m" + sep +
      "LONGNAME=Conductivity, layer by layer\n";
  if (ngeom > 0)
    p.dfn += "DEFN 7 ST=RECD,RT=; " + std::string(m.thickness_columns ? "thickness" : "depth_top") +
             " : " + std::to_string(ngeom) + "F9.3 : UNITS=m\n";
  if (!m.thickness_columns)
    p.dfn += "DEFN 8 ST=RECD,RT=; depth_bottom : " + std::to_string(n) + "F9.3 : NULL=-9999" + sep +
             "UNITS=m\n";
  p.dfn +=
      "DEFN 9 ST=RECD,RT=; depth_of_investigation : F9.2 : NULL=-99\n"
      "DEFN 10 ST=RECD,RT=; END DEFN\n";
  p.dat = "COMM  a comment record\nPROJ" + std::string("GDA94 / MGA zone 54").append(21, ' ') +
          "GDA94\n";
  for (const auto& s : m.rows) {
    std::string r = right(s.line, 10) + right(s.date, 11) + right(s.x, 14) + right(s.y, 14) +
                    right(s.elevation.empty() ? "-9999" : s.elevation, 10);
    for (const auto& v : s.values) {
      // A missing value is the null or a blank field.
      r += v.empty() ? (g.pick(2) == 0 ? right("-9999", 12) : std::string(12, ' ')) : right(v, 12);
    }
    for (const auto& v : s.geometry) r += right(v, 9);
    if (!m.thickness_columns) {
      for (int k = 1; k < n; ++k) r += right(s.geometry[static_cast<std::size_t>(k)], 9);
      r += right(s.last_bottom.empty() ? "-9999" : s.last_bottom, 9);
    }
    r += right(s.doi.empty() ? "-99" : s.doi, 9);
    p.dat += r + "\n";
  }
  return p;
}

TEST(delivered_differential, xyz_matches_the_converted_file) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    generator g(seed);
    const model m = g.make(1 + static_cast<int>(g.pick(8)), 30 + static_cast<int>(g.pick(40)),
                           seed % 3 == 0, true);
    const std::string dummy = seed % 2 == 0 ? "9999" : "-9999.99";
    std::istringstream in(xyz_file(m, dummy, g));
    read_back d;
    d.outcome = read_xyz(in, "export.xyz", d.s, d.about);
    const read_back n = native(native_file(m, dummy, thickness_texts(m)));
    expect_same(d, n, m, std::stof(dummy));
    EXPECT_EQ(d.about.epsg, 25833);
    EXPECT_EQ(d.about.dummy, dummy);
    EXPECT_EQ(d.about.property, "resistivity");
    // The survey lines from the LINE_NO column.
    ASSERT_EQ(d.s.flight_line.size(), m.rows.size());
    for (std::size_t i = 0; i < m.rows.size(); ++i)
      EXPECT_EQ(d.s.flight_line[i], std::stod(m.rows[i].line));
  }
}

TEST(delivered_differential, xyz_with_the_users_nodata) {
  generator g(99);
  const model m = g.make(6, 50, false, true);
  std::istringstream in(xyz_file(m, "9999", g));
  read_back d;
  delivered_options o;
  o.nodata = -1.0f;
  d.outcome = read_xyz(in, "export.xyz", d.s, d.about, o);
  expect_same(d, native(native_file(m, "-1", thickness_texts(m))), m, -1.0f);
}

TEST(delivered_differential, csv_matches_the_converted_file) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    generator g(100 + seed);
    const model m =
        g.make(1 + static_cast<int>(g.pick(8)), 30 + static_cast<int>(g.pick(40)), false, true);
    std::istringstream in(csv_file(m, g, true));
    read_back d;
    d.outcome = read_table(in, "table.csv", d.s, d.about);
    expect_same(d, native(native_file(m, "nan", thickness_texts(m))), m,
                std::numeric_limits<float>::quiet_NaN());
  }
}

TEST(delivered_differential, csv_without_geometry_takes_the_users_thicknesses) {
  generator g(7);
  const model m = g.make(5, 40, false, false);
  std::istringstream in(csv_file(m, g, false));
  read_back d;
  delivered_options o;
  o.columns.thicknesses = {1.5f, 2.25f, 3.0f, 0.1f, 40.0f};
  d.outcome = read_table(in, "table.csv", d.s, d.about, o);
  expect_same(d, native(native_file(m, "nan", {"1.5", "2.25", "3", "0.1"})), m,
              std::numeric_limits<float>::quiet_NaN(), true);
  ASSERT_TRUE(d.s.last_dz.has_value());
  EXPECT_EQ(*d.s.last_dz, 40.0f);
}

TEST(delivered_differential, gdf2_matches_the_converted_file) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    generator g(200 + seed);
    // Values up to 12 characters, as wide as their field, so that some touch
    // the field before them.
    model m = g.make(1 + static_cast<int>(g.pick(8)), 30 + static_cast<int>(g.pick(40)),
                     seed % 2 == 0, false);
    for (auto& s : m.rows) {
      s.x = s.x.substr(0, 14);
      s.y = s.y.substr(0, 14);
      for (auto& v : s.values) {
        if (v.size() > 12)
          v = v.substr(0, 12);
        if (!v.empty() && (v.back() == 'e' || v.back() == 'E' || v.back() == '-'))
          v.pop_back();
      }
      if (s.x.back() == 'e' || s.x.back() == 'E' || s.x.back() == '-')
        s.x.pop_back();
      if (s.y.back() == 'e' || s.y.back() == 'E' || s.y.back() == '-')
        s.y.pop_back();
    }
    const gdf2_pair files = gdf2_files(m, g, seed % 3 == 0);
    std::istringstream dfn(files.dfn), dat(files.dat);
    read_back d;
    d.outcome = read_gdf2(dfn, "survey.dfn", dat, "survey.dat", d.s, d.about);
    expect_same(d, native(native_file(m, "-9999", thickness_texts(m))), m, -9999.0f);
    EXPECT_EQ(d.about.epsg, 28354) << d.about.crs;
    EXPECT_EQ(d.about.unit, "mS/m");
    EXPECT_EQ(d.about.property, "conductivity");
    EXPECT_EQ(d.about.length_unit, "m");
  }
}

}  // namespace
}  // namespace tervox_test
