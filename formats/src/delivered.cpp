// The delivered forms: their names, telling them apart, the coordinate
// systems they name, and reading a file of any of them by its path.
#include "formats/delivered.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <set>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/files.hpp"
#include "delivered_reader.hpp"
#include "formats/decimal.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;

namespace {

// The bytes detect_format looks at: enough for any header of the forms.
std::string first_bytes(std::istream& in) {
  std::string head(64 * 1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

// A stream's first bytes, already read, in front of the rest of it: what a
// reader sees of a pipe whose form had to be told from its start.
class replayed_input : public std::streambuf {
 public:
  replayed_input(std::string head, std::streambuf* rest) : head_(std::move(head)), rest_(rest) {}

 protected:
  int_type underflow() override {
    if (!head_given_) {
      head_given_ = true;
      if (!head_.empty()) {
        setg(head_.data(), head_.data(), head_.data() + head_.size());
        return traits_type::to_int_type(*gptr());
      }
    }
    const std::streamsize n =
        rest_->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (n <= 0)
      return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string head_;
  std::streambuf* rest_;
  bool head_given_ = false;
  std::array<char, 64 * 1024> buffer_{};
};

using delivered::blank;
using delivered::trim;
using delivered::upper;

std::string extension(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return {};
  return upper(path.substr(dot));
}

// The lines of `text` that are not blank, at most `most` of them.
std::vector<std::string_view> first_lines(std::string_view text, std::size_t most) {
  std::vector<std::string_view> lines;
  std::size_t p = 0;
  while (p < text.size() && lines.size() < most) {
    std::size_t e = text.find('\n', p);
    if (e == std::string_view::npos)
      e = text.size();
    const std::string_view l = trim(text.substr(p, e - p));
    if (!l.empty())
      lines.push_back(l);
    p = e + 1;
  }
  return lines;
}

std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  const char sep = line.find(',') != std::string_view::npos   ? ','
                   : line.find(';') != std::string_view::npos ? ';'
                                                              : ' ';
  std::size_t p = 0;
  if (sep != ' ') {
    for (;;) {
      const std::size_t e = line.find(sep, p);
      fields.push_back(trim(line.substr(p, e == std::string_view::npos ? e : e - p)));
      if (e == std::string_view::npos)
        break;
      p = e + 1;
    }
    return fields;
  }
  while (p < line.size()) {
    while (p < line.size() && blank(line[p])) ++p;
    const std::size_t s = p;
    while (p < line.size() && !blank(line[p])) ++p;
    if (p > s)
      fields.push_back(line.substr(s, p - s));
  }
  return fields;
}

bool is_number(std::string_view t) {
  double v = 0;
  return to_real(t, v) == conversion::ok;
}

// Datums whose UTM-style zones map to EPSG codes.
enum class datum { gda94, gda2020, wgs84, nad83, nad27, etrs89, agd66, agd84 };

struct datum_name {
  std::string_view name;  // upper case, blanks and punctuation removed
  datum d;
};
constexpr std::array datum_names = {
    datum_name{"GDA2020", datum::gda2020}, datum_name{"GDA94", datum::gda94},
    datum_name{"GDA1994", datum::gda94},   datum_name{"WGS84", datum::wgs84},
    datum_name{"WGS1984", datum::wgs84},   datum_name{"NAD83", datum::nad83},
    datum_name{"NAD1983", datum::nad83},   datum_name{"NAD27", datum::nad27},
    datum_name{"NAD1927", datum::nad27},   datum_name{"ETRS89", datum::etrs89},
    datum_name{"ETRS1989", datum::etrs89}, datum_name{"AGD66", datum::agd66},
    datum_name{"AGD1966", datum::agd66},   datum_name{"AGD84", datum::agd84},
    datum_name{"AGD1984", datum::agd84},
};

std::optional<int> zone_code(datum d, int zone, char hemisphere) {
  const bool north = hemisphere == 'N';
  const bool south = hemisphere == 'S';
  switch (d) {
    case datum::gda94:
      return zone >= 48 && zone <= 58 && !north ? std::optional(28300 + zone) : std::nullopt;
    case datum::gda2020:
      return zone >= 46 && zone <= 59 && !north ? std::optional(7800 + zone) : std::nullopt;
    case datum::agd66:
      return zone >= 48 && zone <= 58 && !north ? std::optional(20200 + zone) : std::nullopt;
    case datum::agd84:
      return zone >= 48 && zone <= 58 && !north ? std::optional(20300 + zone) : std::nullopt;
    case datum::wgs84:
      if (zone < 1 || zone > 60 || (!north && !south))
        return std::nullopt;
      return (north ? 32600 : 32700) + zone;
    case datum::nad83:
      return zone >= 1 && zone <= 23 && !south ? std::optional(26900 + zone) : std::nullopt;
    case datum::nad27:
      return zone >= 1 && zone <= 22 && !south ? std::optional(26700 + zone) : std::nullopt;
    case datum::etrs89:
      return zone >= 28 && zone <= 38 && !south ? std::optional(25800 + zone) : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string_view format_name(survey_format f) {
  switch (f) {
    case survey_format::native:
      return "native";
    case survey_format::xyz:
      return "xyz";
    case survey_format::gdf2:
      return "gdf2";
    case survey_format::table:
      return "table";
  }
  return {};
}

std::optional<survey_format> format_from_name(std::string_view name) {
  for (const auto f :
       {survey_format::native, survey_format::xyz, survey_format::gdf2, survey_format::table}) {
    if (upper(name) == upper(format_name(f)))
      return f;
  }
  return std::nullopt;
}

survey_format detect_format(std::string_view path, std::string_view first_bytes) {
  const std::string ext = extension(path);
  if (ext == ".DFN")
    return survey_format::gdf2;
  if (first_bytes.starts_with("\xef\xbb\xbf"))
    first_bytes.remove_prefix(3);  // a byte-order mark
  const auto lines = first_lines(first_bytes, 2);
  if (lines.empty())
    return survey_format::native;
  if (upper(lines[0].substr(0, 4)) == "DEFN")
    return survey_format::gdf2;
  if (lines[0].front() == '/')
    return survey_format::xyz;
  const auto names = fields_of(lines[0]);
  if (ext == ".DAT") {
    const std::string tag = upper(lines[0].substr(0, 4));
    if (tag == "COMM" || tag == "PROJ" ||
        std::all_of(names.begin(), names.end(), [](std::string_view t) { return is_number(t); }))
      return survey_format::gdf2;
  }
  // Names are text: a line with control bytes is no heading (a binary file,
  // say), and its reader says so in its own words.
  const bool text = std::none_of(lines[0].begin(), lines[0].end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\r') || u == 0x7f;
  });
  if (text && lines.size() == 2 && names.size() >= 2 &&
      std::none_of(names.begin(), names.end(),
                   [](std::string_view t) { return t.empty() || is_number(t); }) &&
      fields_of(lines[1]).size() == names.size())
    return survey_format::table;
  return survey_format::native;
}

namespace {

// The file of the pair that is not `path`: the same name with `ext` in
// either case; empty when there is none.
std::string partner(const std::string& path, std::string_view ext) {
  const std::string e = extension(path);
  const std::string stem = e.empty() ? path : path.substr(0, path.size() - e.size());
  for (const std::string& candidate : {concat({stem, ext}), concat({stem, upper(ext)})}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec))
      return candidate;
  }
  return {};
}

}  // namespace

survey_format detect_format(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return survey_format::native;
  if (extension(path) == ".DAT" && !partner(path, ".dfn").empty())
    return survey_format::gdf2;
  return detect_format(path, first_bytes(in));
}

std::optional<int> epsg_from_text(std::string_view text) {
  const std::string u = upper(text);
  std::set<int> codes;
  for (std::size_t at = u.find("EPSG"); at != std::string::npos; at = u.find("EPSG", at + 1)) {
    std::size_t p = at + 4;
    while (p < u.size() && (u[p] == ':' || u[p] == '=' || u[p] == ' ' || u[p] == '#')) ++p;
    int code = 0;
    const auto r = std::from_chars(u.data() + p, u.data() + u.size(), code);
    const auto digits = r.ptr - (u.data() + p);
    if (r.ec == std::errc{} && digits >= 4 && digits <= 6)
      codes.insert(code);
  }
  if (!codes.empty())
    return codes.size() == 1 ? std::optional(*codes.begin()) : std::nullopt;

  // Letters and digits only: "WGS 84 / UTM zone 33N" is WGS84UTMZONE33N.
  std::string s;
  for (const char c : u) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      s += c;
  }
  std::set<datum> datums;
  for (const datum_name& d : datum_names) {
    for (std::size_t at = s.find(d.name); at != std::string::npos; at = s.find(d.name, at + 1)) {
      const std::size_t end = at + d.name.size();
      if (end < s.size() && s[end] >= '0' && s[end] <= '9')
        continue;  // GDA94 is no part of GDA9400
      datums.insert(d.d);
    }
  }
  std::set<std::pair<int, char>> zones;
  for (const std::string_view key : {"MGA", "AMG", "UTM", "ZONE"}) {
    for (std::size_t at = s.find(key); at != std::string::npos; at = s.find(key, at + 1)) {
      std::size_t p = at + key.size();
      if (s.compare(p, 4, "ZONE") == 0)
        p += 4;
      int zone = 0;
      const auto r = std::from_chars(s.data() + p, s.data() + s.size(), zone);
      const auto digits = r.ptr - (s.data() + p);
      if (r.ec != std::errc{} || digits < 1 || digits > 2)
        continue;
      const std::size_t after = p + static_cast<std::size_t>(digits);
      const char h = after < s.size() && (s[after] == 'N' || s[after] == 'S') ? s[after] : '\0';
      zones.insert({zone, h});
    }
  }
  // The same zone named with and without its hemisphere is one zone.
  if (zones.size() == 2 && zones.begin()->first == std::next(zones.begin())->first &&
      zones.begin()->second == '\0')
    zones.erase(zones.begin());
  if (datums.size() != 1 || zones.size() != 1)
    return std::nullopt;
  return zone_code(*datums.begin(), zones.begin()->first, zones.begin()->second);
}

read_outcome read_survey(const std::string& path, survey& out, survey_metadata& about,
                         const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  std::ifstream in;
  const survey_format format = options.format ? *options.format : detect_format(path);
  if (format != survey_format::gdf2) {
    if (auto r = base::open_input(path, "survey file", in); !r.ok())
      return read_outcome{read_status::bad_input, std::move(r.problem), {}};
  }
  delivered_options known = options;
  known.format = format;
  return read_survey(in, path, out, about, known, bytes_read);
}

read_outcome read_survey(std::istream& in, const std::string& path, survey& out,
                         survey_metadata& about, const delivered_options& options,
                         std::atomic<std::int64_t>* bytes_read) {
  const auto bad = [](diagnostic d) {
    return read_outcome{read_status::bad_input, std::move(d), {}};
  };
  std::optional<replayed_input> replayed;
  std::istream replayed_stream(nullptr);
  std::istream* records = &in;
  survey_format format = survey_format::native;
  if (options.format) {
    format = *options.format;
  } else if (extension(path) == ".DAT" && !partner(path, ".dfn").empty()) {
    format = survey_format::gdf2;
  } else {
    std::string head = first_bytes(in);
    format = detect_format(path, head);
    in.clear();
    if (!in.seekg(0)) {
      in.clear();
      replayed.emplace(std::move(head), in.rdbuf());
      replayed_stream.rdbuf(&*replayed);
      records = &replayed_stream;
    }
  }
  if (format == survey_format::gdf2) {
    const bool is_dfn = extension(path) == ".DFN";
    const std::string dfn_path = is_dfn ? path : partner(path, ".dfn");
    const std::string dat_path = is_dfn ? partner(path, ".dat") : path;
    if (dfn_path.empty() || dat_path.empty()) {
      return bad(
          diagnostic::in_file(path, concat({"an ASEG-GDF2 file needs its pair beside it: no ",
                                            is_dfn ? ".dat" : ".dfn", " file of the same name"})));
    }
    std::ifstream dfn, dat;
    if (auto r = base::open_input(dfn_path, "definition file", dfn); !r.ok())
      return bad(std::move(r.problem));
    if (auto r = base::open_input(dat_path, "survey file", dat); !r.ok())
      return bad(std::move(r.problem));
    return read_gdf2(dfn, dfn_path, dat, dat_path, out, about, options, bytes_read);
  }
  switch (format) {
    case survey_format::xyz:
      return read_xyz(*records, path, out, about, options, bytes_read);
    case survey_format::table:
      return read_table(*records, path, out, about, options, bytes_read);
    default:
      about = {};
      return read_soundings(*records, path, out, bytes_read, options.native);
  }
}

}  // namespace tervox::formats
