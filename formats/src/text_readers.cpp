// The two delivered forms that are lines of separated values: XYZ model
// exports and headed tables (CSV or blank-separated).
#include <cstdint>
#include <istream>
#include <new>
#include <string>
#include <string_view>
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

bool is_blank_line(std::string_view t) {
  return trim(t).empty();
}

bool starts_with_word(std::string_view t, std::string_view word) {
  if (t.size() < word.size())
    return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (upper(t[i]) != word[i])
      return false;
  }
  return true;
}

std::vector<std::string_view> split_blanks(std::string_view t) {
  std::vector<std::string_view> fields;
  std::size_t p = 0;
  while (p < t.size()) {
    while (p < t.size() && blank(t[p])) ++p;
    if (p == t.size())
      break;
    const std::size_t start = p;
    while (p < t.size() && !blank(t[p])) ++p;
    fields.push_back(t.substr(start, p - start));
  }
  return fields;
}

// How the values of a record are separated.
enum class separator { blanks, comma, semicolon };

// The fields of a CSV line: separated by `sep`, blanks around a field
// dropped, a field in double quotes taken whole (a doubled quote stands for
// one; the quotes are dropped, which only names need).
class csv_fields {
 public:
  csv_fields(std::string_view line, char sep) : t_(line), sep_(sep) {}
  /// The next field; false after the last.
  bool next(std::string_view& field) {
    if (done_)
      return false;
    std::size_t p = pos_;
    while (p < t_.size() && blank(t_[p])) ++p;
    if (p < t_.size() && t_[p] == '"') {
      std::size_t q = p + 1;
      while (q < t_.size()) {
        if (t_[q] == '"') {
          if (q + 1 < t_.size() && t_[q + 1] == '"') {
            q += 2;
            continue;
          }
          break;
        }
        ++q;
      }
      field = t_.substr(p + 1, q - p - 1);
      p = q < t_.size() ? q + 1 : q;
      while (p < t_.size() && t_[p] != sep_) ++p;
    } else {
      const std::size_t start = p;
      while (p < t_.size() && t_[p] != sep_) ++p;
      field = trim(t_.substr(start, p - start));
    }
    if (p < t_.size()) {
      pos_ = p + 1;
    } else {
      done_ = true;
    }
    return true;
  }

 private:
  std::string_view t_;
  char sep_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

class line_reader {
 public:
  line_reader(std::istream& in, std::string_view name, std::atomic<std::int64_t>* bytes_read)
      : src_(in, bytes_read), name_(name) {}

  /// The next line; false at the end of the input, or with `problem` set
  /// for a line beyond the buffer's limit or a failing stream.
  bool next(std::string_view& text, std::int64_t& number) {
    bool cut = false;
    if (!src_.next_line(text, number, cut)) {
      if (src_.input_error())
        problem = diagnostic::in_file(std::string(name_), "cannot read the file: an input error");
      return false;
    }
    if (cut) {
      problem = diagnostic::at_line(std::string(name_), number, "the line is longer than 64 MiB");
      return false;
    }
    // The byte-order mark that spreadsheet programs put before a CSV file.
    if (number == 1 && text.starts_with(byte_order_mark))
      text.remove_prefix(byte_order_mark.size());
    return true;
  }

  static constexpr std::string_view byte_order_mark = "\xef\xbb\xbf";
  diagnostic problem;

 private:
  free_format::source src_;
  std::string_view name_;
};

std::vector<column> named_columns(const std::vector<std::string_view>& names) {
  std::vector<column> cols;
  cols.reserve(names.size());
  for (const auto n : names) {
    column c;
    c.name.assign(n);
    c.label = concat({"column ", n});
    cols.push_back(std::move(c));
  }
  return cols;
}

// The records after the names: one per line, `ncol` values each.
class record_lines {
 public:
  record_lines(line_reader& lines, record_builder& b, std::string_view name,
               std::int64_t names_line, separator sep)
      : lines_(lines), b_(b), name_(name), cols_(b.columns()), names_line_(names_line), sep_(sep) {}

  /// Reads every record from `first` (a line already taken) on.
  bool run(std::string_view first, std::int64_t first_number, bool xyz) {
    std::string_view text = first;
    std::int64_t number = first_number;
    bool have = first.data() != nullptr;
    for (;;) {
      if (!have) {
        if (!lines_.next(text, number))
          return lines_.problem.empty() || b_.fail(lines_.problem);
      }
      have = false;
      if (is_blank_line(text))
        continue;
      if (xyz) {
        const std::string_view t = trim(text);
        if (t.front() == '/')
          continue;  // a comment
        if (geosoft_line(t))
          continue;
      }
      if (!record(text, number))
        return false;
    }
  }

 private:
  // "Line 1000" or "Tie 10": the line number of the records that follow.
  bool geosoft_line(std::string_view t) {
    const char c = upper(t.front());
    if (c != 'L' && c != 'T')
      return false;
    const auto fields = split_blanks(t);
    if (fields.size() != 2 || !((fields[0].size() == 4 && starts_with_word(fields[0], "LINE")) ||
                                (fields[0].size() == 3 && starts_with_word(fields[0], "TIE"))))
      return false;
    double v = 0;
    if (to_real(fields[1], v) != conversion::ok)
      return false;
    b_.set_line_number(v);
    return true;
  }

  bool too_many(std::string_view field) {
    return b_.fail(diagnostic::expected_got(
        std::string(name_), b_.record_line(),
        concat({"the end of the record after ", cols_.back().label, " (the last of ",
                std::to_string(cols_.size()), " named on line ", std::to_string(names_line_), ")"}),
        quoted_token(field)));
  }
  bool too_few(std::size_t found) {
    return b_.fail(diagnostic::expected_got(
        std::string(name_), b_.record_line(),
        concat({"a value in ", cols_[found].label, " (column ", std::to_string(found + 1), " of ",
                std::to_string(cols_.size()), " named on line ", std::to_string(names_line_), ")"}),
        "the end of the line"));
  }

  bool record(std::string_view t, std::int64_t number) {
    if (!b_.begin(number))
      return false;
    const auto actions = b_.actions();
    const std::size_t ncol = actions.size();
    std::size_t i = 0;
    if (sep_ == separator::blanks) {
      const char* p = t.data();
      const char* const e = p + t.size();
      for (;;) {
        while (p < e && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
        if (p == e)
          break;
        const char* const start = p;
        while (p < e && *p != ' ' && *p != '\t' && *p != '\r') ++p;
        const std::string_view field(start, static_cast<std::size_t>(p - start));
        if (i == ncol)
          return too_many(field);
        if (actions[i].what != record_builder::kind::skip && !b_.take(static_cast<int>(i), field))
          return false;
        ++i;
      }
    } else {
      csv_fields fields(t, sep_ == separator::comma ? ',' : ';');
      std::string_view field;
      while (fields.next(field)) {
        if (i == ncol)
          return too_many(field);
        if (actions[i].what != record_builder::kind::skip && !b_.take(static_cast<int>(i), field))
          return false;
        ++i;
      }
    }
    if (i < ncol)
      return too_few(i);
    return b_.end();
  }

  line_reader& lines_;
  record_builder& b_;
  std::string_view name_;
  const std::vector<column>& cols_;
  std::int64_t names_line_;
  separator sep_;
};

// The columns taken for the values, as the metadata lists them.
std::string values_used(const survey_metadata& about) {
  for (const column_use& u : about.columns) {
    if (u.role == column_role::values)
      return u.columns;
  }
  return {};
}

read_outcome no_memory(std::string_view name) {
  return {
      read_status::bad_input,
      diagnostic::in_file(std::string(name), "cannot allocate the memory to hold the soundings"),
      {}};
}

// A header line of an XYZ export, without its slash.
struct header_line {
  std::int64_t number;
  std::string text;
};

// The keyword of a header line ("DUMMY", "COORDINATE SYSTEM", "NUMBER OF
// LAYERS") and what follows it on the same line, if anything.
bool keyword(std::string_view t, std::string_view word, std::string_view& rest) {
  if (!starts_with_word(t, word))
    return false;
  rest = t.substr(word.size());
  if (!rest.empty() && !blank(rest.front()) && rest.front() != ':' && rest.front() != '=')
    return false;
  rest = trim(rest);
  if (!rest.empty() && (rest.front() == ':' || rest.front() == '='))
    rest = trim(rest.substr(1));
  return true;
}

read_outcome xyz(std::istream& in, std::string_view name, survey& out, survey_metadata& about,
                 const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  about = {};
  about.format = survey_format::xyz;
  // Exports give depths in metres. (Appended, not assigned: g++ 12 gives a
  // false -Wrestrict on the assignment in optimised builds.)
  about.length_unit.push_back('m');
  const auto bad = [&](diagnostic d) {
    return read_outcome{read_status::bad_input, std::move(d), {}};
  };
  line_reader lines(in, name, bytes_read);
  std::vector<header_line> header;
  std::string_view text;
  std::int64_t number = 0;
  bool data = false;
  while (lines.next(text, number)) {
    if (is_blank_line(text))
      continue;
    const std::string_view t = trim(text);
    if (t.front() != '/') {
      data = true;
      break;
    }
    header.push_back({number, std::string(text.substr(text.find('/') + 1))});
  }
  if (!lines.problem.empty())
    return bad(lines.problem);
  // The last line that starts with "/ " names the columns; one of '='
  // signs only divides.
  const auto divider = [](std::string_view t) {
    t = trim(t);
    return !t.empty() && t.find_first_not_of("=-") == std::string_view::npos;
  };
  std::size_t names_at = header.size();
  for (std::size_t h = header.size(); h-- > 0;) {
    const std::string& t = header[h].text;
    if (!t.empty() && blank(t.front()) && !divider(t)) {
      names_at = h;
      break;
    }
  }
  if (names_at == header.size()) {
    return bad(diagnostic::at_line(
        std::string(name), header.empty() ? 1 : header.back().number,
        "no line names the columns: an XYZ export's header ends with a line that "
        "starts with '/ ' (slash, blank) and holds the column names"));
  }
  // Keyword lines, each followed by its value's line.
  std::optional<float> dummy;
  std::string dummy_text;
  std::int64_t layers_line = 0;
  for (std::size_t h = 0; h < names_at; ++h) {
    const std::string_view t = trim(header[h].text);
    std::string_view value;
    int which = -1;
    if (keyword(t, "DUMMY", value))
      which = 0;
    else if (keyword(t, "COORDINATE SYSTEM", value))
      which = 1;
    else if (keyword(t, "NUMBER OF LAYERS", value))
      which = 2;
    if (which < 0)
      continue;
    std::int64_t at = header[h].number;
    if (value.empty() && h + 1 < names_at && !divider(header[h + 1].text)) {
      ++h;
      value = trim(header[h].text);
      at = header[h].number;
    }
    if (which == 0) {
      float f = 0;
      double d = 0;
      if (to_real(value, f) != conversion::ok || to_real(value, d) != conversion::ok)
        return bad(diagnostic::expected_got(std::string(name), at, "a number after /DUMMY",
                                            quoted_token(value)));
      dummy = f;
      dummy_text.assign(value);
    } else if (which == 1) {
      about.crs.assign(value);
      about.epsg = epsg_from_text(value);
    } else {
      int n = 0;
      if (to_int(value, n) != conversion::ok || n < 1)
        return bad(diagnostic::expected_got(std::string(name), at,
                                            "a number of layers after /NUMBER OF LAYERS",
                                            quoted_token(value)));
      about.header_layers = n;
      layers_line = at;
    }
  }
  const std::int64_t names_line = header[names_at].number;
  std::vector<column> cols = named_columns(split_blanks(header[names_at].text));
  if (dummy) {
    for (column& c : cols) {
      double d = 0;
      to_real(dummy_text, d);
      c.null = d;
      c.null_text = dummy_text;
    }
    about.dummy = dummy_text;
  }
  delivered::plan plan;
  if (auto d = delivered::choose_columns(cols, options.columns, name, names_line, plan, about);
      !d.empty())
    return bad(std::move(d));
  if (about.header_layers != 0 && about.header_layers != plan.nlayer) {
    return bad(diagnostic::at_line(std::string(name), layers_line,
                                   concat({"the header gives ", std::to_string(about.header_layers),
                                           " layers, but the value columns (", values_used(about),
                                           ") hold ", std::to_string(plan.nlayer)})));
  }
  record_builder b(name, std::move(cols), plan, options, dummy);
  record_lines records(lines, b, name, names_line, separator::blanks);
  if (!records.run(data ? text : std::string_view(), number, true))
    return b.failed();
  return b.finish(out, about);
}

// The separator of a table: commas where its names line has one, else
// semicolons where it has one, else blanks.
separator separator_of(std::string_view names) {
  if (names.find(',') != std::string_view::npos)
    return separator::comma;
  if (names.find(';') != std::string_view::npos)
    return separator::semicolon;
  return separator::blanks;
}

read_outcome table(std::istream& in, std::string_view name, survey& out, survey_metadata& about,
                   const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  about = {};
  about.format = survey_format::table;
  const auto bad = [&](diagnostic d) {
    return read_outcome{read_status::bad_input, std::move(d), {}};
  };
  line_reader lines(in, name, bytes_read);
  std::string_view text;
  std::int64_t number = 0;
  bool found = false;
  while (lines.next(text, number)) {
    if (!is_blank_line(text)) {
      found = true;
      break;
    }
  }
  if (!lines.problem.empty())
    return bad(lines.problem);
  if (!found)
    return bad(diagnostic::in_file(
        std::string(name), "the file is empty: a table starts with a line of column names"));
  const separator sep = separator_of(text);
  std::vector<std::string_view> names;
  if (sep == separator::blanks) {
    names = split_blanks(text);
  } else {
    csv_fields fields(text, sep == separator::comma ? ',' : ';');
    std::string_view field;
    while (fields.next(field)) names.push_back(field);
  }
  std::vector<column> cols = named_columns(names);
  const std::int64_t names_line = number;
  delivered::plan plan;
  if (auto d = delivered::choose_columns(cols, options.columns, name, names_line, plan, about);
      !d.empty())
    return bad(std::move(d));
  record_builder b(name, std::move(cols), plan, options, std::nullopt);
  record_lines records(lines, b, name, names_line, sep);
  if (!records.run(std::string_view(), 0, false))
    return b.failed();
  return b.finish(out, about);
}

}  // namespace

read_outcome read_xyz(std::istream& in, std::string_view name, survey& out, survey_metadata& about,
                      const delivered_options& options, std::atomic<std::int64_t>* bytes_read) {
  try {
    return xyz(in, name, out, about, options, bytes_read);
  } catch (const std::bad_alloc&) {
    return no_memory(name);
  }
}

read_outcome read_table(std::istream& in, std::string_view name, survey& out,
                        survey_metadata& about, const delivered_options& options,
                        std::atomic<std::int64_t>* bytes_read) {
  try {
    return table(in, name, out, about, options, bytes_read);
  } catch (const std::bad_alloc&) {
    return no_memory(name);
  }
}

}  // namespace tervox::formats
