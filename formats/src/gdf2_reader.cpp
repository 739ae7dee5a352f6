// ASEG-GDF2: the .dfn's definitions, and the .dat's records cut at the
// widths they give.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <istream>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "delivered_reader.hpp"
#include "formats/decimal.hpp"
#include "source.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;
using base::quoted_token;

namespace {

using delivered::blank;
using delivered::column;
using delivered::record_builder;
using delivered::trim;
using delivered::upper;

struct attribute {
  std::string key;  // upper case
  std::string value;
};

// A field of a record type: its name, format and attributes.
struct field {
  std::string name;
  int repeat = 1;
  bool array = false;  // a repeat count is written, even 1: the elements are name[k]
  int width = 0;
  char letter = 'F';  // A, I, F, E, D or G
  std::vector<attribute> attributes;
  std::int64_t line = 0;  // of the .dfn

  const std::string* attr(std::string_view key) const {
    for (const attribute& a : attributes) {
      if (a.key == key)
        return &a.value;
    }
    return nullptr;
  }
};

struct record_type {
  std::string tag;  // the RT, as written
  std::vector<field> fields;
};

// "30E15.6": a repeat count, a letter, a width, decimals.
bool parse_format(std::string_view f, field& out) {
  std::size_t i = 0;
  int repeat = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
    repeat = repeat * 10 + (f[i] - '0');
    if (repeat > 100000)
      return false;
    ++i;
  }
  const bool counted = i > 0;
  if (i == f.size() || (counted && repeat == 0))
    return false;
  const char letter = upper(f.substr(i, 1)).front();
  if (std::string_view("AIFEDG").find(letter) == std::string_view::npos)
    return false;
  ++i;
  int width = 0;
  const auto r = std::from_chars(f.data() + i, f.data() + f.size(), width);
  if (r.ec != std::errc{} || width < 1 || width > 100000)
    return false;
  std::string_view rest(r.ptr, static_cast<std::size_t>(f.data() + f.size() - r.ptr));
  if (!rest.empty()) {
    if (rest.front() != '.' || rest.size() < 2 ||
        rest.substr(1).find_first_not_of("0123456789") != std::string_view::npos)
      return false;
  }
  out.repeat = counted ? repeat : 1;
  out.array = counted;
  out.width = width;
  out.letter = letter;
  return true;
}

// Attributes separated by commas or colons: a piece without '=' belongs to
// the value before it (LONGNAME=Conductivity, layer 1).
std::vector<attribute> parse_attributes(std::string_view t) {
  std::vector<attribute> out;
  std::size_t p = 0;
  while (p <= t.size()) {
    std::size_t q = t.find_first_of(",:", p);
    if (q == std::string_view::npos)
      q = t.size();
    const std::string_view piece = trim(t.substr(p, q - p));
    const std::size_t eq = piece.find('=');
    if (eq != std::string_view::npos) {
      out.push_back({upper(trim(piece.substr(0, eq))), std::string(trim(piece.substr(eq + 1)))});
    } else if (!piece.empty() && !out.empty()) {
      out.back().value += concat({std::string_view(&t[p - 1], 1), " ", piece});
    }
    p = q + 1;
  }
  return out;
}

struct definition {
  std::vector<record_type> types;
  diagnostic problem;

  record_type& type(std::string_view tag) {
    for (record_type& r : types) {
      if (r.tag == tag)
        return r;
    }
    types.push_back({std::string(tag), {}});
    return types.back();
  }
};

// Reads the .dfn: DEFN lines, each naming a record type (RT=) and one or
// more fields separated by semicolons.
definition read_definition(std::istream& in, std::string_view name) {
  definition d;
  std::string line;
  std::int64_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string_view t = trim(line);
    if (number == 1 && t.starts_with("\xef\xbb\xbf"))
      t = trim(t.substr(3));
    if (t.size() < 4 || upper(t.substr(0, 4)) != "DEFN")
      continue;
    t.remove_prefix(4);
    const std::size_t semi = t.find(';');
    const std::string_view head = t.substr(0, semi);
    std::string tag;
    const std::string head_upper = upper(head);
    if (const std::size_t rt = head_upper.find("RT="); rt != std::string::npos) {
      const std::size_t end = head.find_first_of(",; \t", rt + 3);
      tag = std::string(
          trim(head.substr(rt + 3, end == std::string_view::npos ? end : end - rt - 3)));
    }
    record_type& type = d.type(tag);
    if (semi == std::string_view::npos)
      continue;
    std::string_view rest = t.substr(semi + 1);
    while (!rest.empty()) {
      const std::size_t next = rest.find(';');
      const std::string_view def = trim(rest.substr(0, next));
      rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
      if (def.empty())
        continue;
      if (upper(def).starts_with("END DEFN"))
        break;
      const std::size_t c1 = def.find(':');
      field f;
      f.line = number;
      f.name = std::string(trim(def.substr(0, c1)));
      if (c1 == std::string_view::npos) {
        d.problem = diagnostic::expected_got(std::string(name), number,
                                             concat({"a format after the name of field ", f.name}),
                                             "the end of the definition");
        return d;
      }
      const std::string_view after = def.substr(c1 + 1);
      const std::size_t c2 = after.find(':');
      const std::string_view format = trim(after.substr(0, c2));
      if (!parse_format(format, f)) {
        d.problem = diagnostic::expected_got(
            std::string(name), number,
            concat({"a format such as F12.2 or 30E15.6 for field ", f.name}), quoted_token(format));
        return d;
      }
      if (c2 != std::string_view::npos)
        f.attributes = parse_attributes(after.substr(c2 + 1));
      type.fields.push_back(std::move(f));
    }
  }
  if (in.bad())
    d.problem = diagnostic::in_file(std::string(name), "cannot read the file: an input error");
  return d;
}

bool is_comment_or_coordinates(std::string_view tag) {
  const std::string u = upper(tag);
  return u == "COMM" || u == "PROJ";
}

// A column's place in the record.
struct place {
  std::size_t offset = 0, width = 0;
  bool text = false;
};

// The coordinate system as the attributes of a field word it: PROJECTION=,
// DATUM=, EPSG=, COORDSYS=, and extraN=PROJECTION followed by the
// extraM that holds it.
void crs_of(const field& f, std::vector<std::string>& parts) {
  std::string pending;
  for (const attribute& a : f.attributes) {
    const std::string v = upper(a.value);
    if (a.key == "PROJECTION" || a.key == "DATUM" || a.key == "EPSG" || a.key == "COORDSYS" ||
        a.key == "CRS") {
      parts.push_back(concat({a.key, "=", a.value}));
    } else if (a.key.starts_with("EXTRA")) {
      if (v == "PROJECTION" || v == "DATUM" || v == "EPSG" || v == "COORDSYS" || v == "CRS") {
        pending = v;
      } else if (!pending.empty()) {
        parts.push_back(concat({pending, "=", a.value}));
        pending.clear();
      }
    }
  }
}

std::string joined(const std::vector<std::string>& parts) {
  std::string t;
  for (const auto& p : parts) {
    if (t.find(p) == std::string::npos)
      t += concat({t.empty() ? "" : "; ", p});
  }
  return t;
}

read_outcome gdf2(std::istream& dfn, std::string_view dfn_name, std::istream& dat,
                  std::string_view dat_name, survey& out, survey_metadata& about,
                  const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  about = {};
  about.format = survey_format::gdf2;
  const auto bad = [&](diagnostic d) {
    return read_outcome{read_status::bad_input, std::move(d), {}};
  };
  definition def = read_definition(dfn, dfn_name);
  if (!def.problem.empty())
    return bad(std::move(def.problem));
  // The data records: those of blank type, else the first type that is not
  // a comment or a coordinate system.
  const record_type* data = nullptr;
  for (const record_type& r : def.types) {
    if (r.tag.empty() && !r.fields.empty())
      data = &r;
  }
  for (const record_type& r : def.types) {
    if (data == nullptr && !is_comment_or_coordinates(r.tag) && !r.fields.empty())
      data = &r;
  }
  if (data == nullptr) {
    return bad(diagnostic::in_file(std::string(dfn_name),
                                   "defines no data records: no DEFN line of RT= names a field"));
  }
  const record_type* proj = nullptr;
  std::vector<std::string> other_tags;
  for (const record_type& r : def.types) {
    if (&r == data || r.tag.empty())
      continue;
    if (upper(r.tag) == "PROJ")
      proj = &r;
    other_tags.push_back(r.tag);
  }
  for (const char* t : {"COMM", "PROJ"}) {
    if (std::find(other_tags.begin(), other_tags.end(), t) == other_tags.end())
      other_tags.emplace_back(t);
  }

  // The columns: an array's elements are name[0], name[1], ...
  std::vector<column> cols;
  std::vector<place> places;
  std::vector<const field*> field_of;
  std::size_t offset = 0;
  // No delivery has nearly as many; a definition with more is a broken one.
  constexpr std::size_t most_columns = 100000;
  for (const field& f : data->fields) {
    if (cols.size() + static_cast<std::size_t>(f.repeat) > most_columns) {
      return bad(diagnostic::at_line(std::string(dfn_name), f.line,
                                     concat({"the fields of the records come to more than ",
                                             std::to_string(most_columns), " columns"})));
    }
    for (int k = 0; k < f.repeat; ++k) {
      column c;
      c.name = f.array ? concat({f.name, "[", std::to_string(k), "]"}) : f.name;
      c.label = concat({"field ", c.name, " at characters ", std::to_string(offset + 1), "-",
                        std::to_string(offset + static_cast<std::size_t>(f.width))});
      if (const std::string* null = f.attr("NULL")) {
        double v = 0;
        if (to_real(*null, v) == conversion::ok) {
          c.null = v;
          c.null_text = *null;
        }
      }
      if (const std::string* u = f.attr("UNITS"))
        c.units = *u;
      else if (const std::string* u1 = f.attr("UNIT"))
        c.units = *u1;
      places.push_back({offset, static_cast<std::size_t>(f.width), f.letter == 'A'});
      field_of.push_back(&f);
      cols.push_back(std::move(c));
      offset += static_cast<std::size_t>(f.width);
    }
  }
  const std::size_t record_width = offset;

  delivered::plan plan;
  if (auto d = delivered::choose_columns(cols, options.columns, dfn_name, 0, plan, about);
      !d.empty())
    return bad(std::move(d));

  // What the attributes say of the coordinates and units.
  std::vector<std::string> crs_parts;
  for (const int c : {plan.x, plan.y}) crs_of(*field_of[static_cast<std::size_t>(c)], crs_parts);
  if (crs_parts.empty()) {
    for (const field& f : data->fields) crs_of(f, crs_parts);
  }
  for (const int c : {plan.geometry_columns.empty() ? -1 : plan.geometry_columns.front(), plan.x}) {
    if (c >= 0 && about.length_unit.empty() && !cols[static_cast<std::size_t>(c)].units.empty())
      about.length_unit = delivered::normal_unit(cols[static_cast<std::size_t>(c)].units);
  }
  const column& first_value = cols[static_cast<std::size_t>(plan.values.front())];
  std::optional<float> dummy;
  if (first_value.null) {
    float f = 0;
    if (to_real(first_value.null_text, f) == conversion::ok)
      dummy = f;
    about.dummy = first_value.null_text;
  }

  // Chosen columns, in record order, with their places.
  std::vector<int> chosen;
  record_builder b(dat_name, std::move(cols), plan, options, dummy);
  for (std::size_t c = 0; c < b.actions().size(); ++c) {
    if (b.actions()[c].what != record_builder::kind::skip)
      chosen.push_back(static_cast<int>(c));
  }

  free_format::source src(dat, bytes_read);
  std::string_view text;
  std::int64_t number = 0;
  bool cut = false;
  std::vector<std::string> proj_parts;
  while (src.next_line(text, number, cut)) {
    if (cut)
      return bad(
          diagnostic::at_line(std::string(dat_name), number, "the line is longer than 64 MiB"));
    if (trim(text).empty())
      continue;
    bool tagged = false;
    for (const std::string& tag : other_tags) {
      if (text.size() >= tag.size() && upper(text.substr(0, tag.size())) == upper(tag)) {
        tagged = true;
        if (upper(tag) == "PROJ") {
          if (proj != nullptr) {
            std::size_t at = 0;
            for (const field& f : proj->fields) {
              const auto w = static_cast<std::size_t>(f.width * f.repeat);
              const std::string_view v =
                  at < text.size() ? trim(text.substr(at, w)) : std::string_view();
              at += w;
              if (!v.empty() && upper(f.name) != "RT")
                proj_parts.push_back(concat({f.name, "=", v}));
            }
          } else {
            proj_parts.emplace_back(trim(text.substr(4)));
          }
        }
        break;
      }
    }
    if (tagged)
      continue;
    if (!b.begin(number))
      return b.failed();
    for (const int c : chosen) {
      const place& p = places[static_cast<std::size_t>(c)];
      if (p.offset >= text.size()) {
        b.fail(diagnostic::expected_got(
            std::string(dat_name), number,
            concat({"a value in ", b.columns()[static_cast<std::size_t>(c)].label}),
            concat({"the end of the record at character ", std::to_string(text.size()),
                    " (the .dfn's fields take ", std::to_string(record_width), ")"})));
        return b.failed();
      }
      if (!b.take(c, trim(text.substr(p.offset, p.width))))
        return b.failed();
    }
    if (text.size() > record_width && !trim(text.substr(record_width)).empty()) {
      b.fail(diagnostic::expected_got(
          std::string(dat_name), number,
          concat({"the end of the record at character ", std::to_string(record_width),
                  ", where the .dfn's fields end"}),
          quoted_token(trim(text.substr(record_width)))));
      return b.failed();
    }
    if (!b.end())
      return b.failed();
  }
  if (src.input_error())
    return bad(diagnostic::in_file(std::string(dat_name), "cannot read the file: an input error"));
  crs_parts.insert(crs_parts.end(), proj_parts.begin(), proj_parts.end());
  about.crs = joined(crs_parts);
  about.epsg = epsg_from_text(about.crs);
  return b.finish(out, about);
}

}  // namespace

read_outcome read_gdf2(std::istream& dfn, std::string_view dfn_name, std::istream& dat,
                       std::string_view dat_name, survey& out, survey_metadata& about,
                       const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  try {
    return gdf2(dfn, dfn_name, dat, dat_name, out, about, options, bytes_read);
  } catch (const std::bad_alloc&) {
    return {read_status::bad_input,
            diagnostic::in_file(std::string(dat_name),
                                "cannot allocate the memory to hold the soundings"),
            {}};
  }
}

}  // namespace tervox::formats
