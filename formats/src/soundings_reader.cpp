#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <istream>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/decimal.hpp"
#include "formats/soundings.hpp"
#include "lexer.hpp"

namespace tervox::formats {

using base::concat;
using base::diagnostic;
using base::quoted_token;
using base::shown;

namespace {

using free_format::item;
using free_format::lexer;

// The triangulation needs 6*nsound-9 adjacency positions, each an int.
constexpr int max_soundings =
    static_cast<int>((static_cast<std::int64_t>(std::numeric_limits<int>::max()) + 9) / 6);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

// Rounds a double to single precision, an overflow giving an infinity.
float to_single(double d) {
  // Half an ulp above the largest float: from here on the correctly rounded
  // result is an infinity, and the cast would not be defined.
  constexpr double limit = 0x1.ffffffp127;
  if (d >= limit) {
    return std::numeric_limits<float>::infinity();
  }
  if (d <= -limit) {
    return -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(d);
}

// ---------------------------------------------------------------------------
// Diagnostics
// ---------------------------------------------------------------------------

/// What a read statement expects, for the diagnostics.
struct expected {
  enum kind { label, nlayer, thickness, nsound, heading, x, y, layer, doi, elevation };
  kind what;
  int number = 0;    // label word, thickness or layer number; for the elevation, 1 after a doi
  int sounding = 0;  // sounding number; for a label, the header line (1 to 3)
};

std::string describe(const expected& e) {
  using std::to_string;
  switch (e.what) {
    case expected::label: {
      static constexpr const char* lines[] = {"the layer count line", "the thickness line",
                                              "the sounding count line"};
      return concat({"label word ", to_string(e.number), " of ",
                     lines[static_cast<std::size_t>(e.sounding - 1)]});
    }
    case expected::nlayer:
      return "the number of layers";
    case expected::thickness:
      return concat({"thickness ", to_string(e.number)});
    case expected::nsound:
      return "the number of soundings";
    case expected::heading:
      return "the heading line";
    case expected::x:
      return concat({"x of sounding ", to_string(e.sounding)});
    case expected::y:
      return concat({"y of sounding ", to_string(e.sounding)});
    case expected::layer:
      return concat({"layer ", to_string(e.number), " of sounding ", to_string(e.sounding)});
    case expected::doi:
      return concat({"the depth of investigation of sounding ", to_string(e.sounding),
                     " (a value after its last layer)"});
    case expected::elevation:
      return concat({"the ground elevation of sounding ", to_string(e.sounding), " (a value after ",
                     e.number == 1 ? "its depth of investigation)" : "its last layer)"});
  }
  return {};
}

std::string found_text(const item& it) {
  switch (it.what) {
    case item::value:
    case item::malformed:
      return quoted_token(it.shown);
    case item::empty:
      return "an empty value";
    case item::slash:
      return "'/'";
    case item::end_of_file:
      return "end of file";
    case item::input_error:
      return "an input error";
    case item::unterminated:
      return concat({quoted_token(it.shown), " (no closing quote on its line)"});
  }
  return {};
}

// ---------------------------------------------------------------------------
// A look at whole lines, for the warnings
// ---------------------------------------------------------------------------

// The values of a line, split as the free format splits them (blanks, tabs,
// carriage returns, commas), up to a slash; enough to tell a line of numbers.
std::vector<std::string_view> line_values(std::string_view line) {
  std::vector<std::string_view> values;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '/')
      break;
    if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++pos;
      continue;
    }
    const std::size_t end = line.find_first_of(" \t\r,/", pos);
    values.push_back(
        line.substr(pos, end == std::string_view::npos ? line.size() - pos : end - pos));
    pos = end == std::string_view::npos ? line.size() : end;
  }
  return values;
}

bool all_numbers(const std::vector<std::string_view>& values) {
  double v = 0;
  return std::all_of(values.begin(), values.end(),
                     [&](std::string_view t) { return to_real(t, v) == conversion::ok; });
}

// The number of values in `values`, a repeat count n*v standing for n copies
// and n* (null values) for none; -1 when one of them is not a number.
std::int64_t count_numbers(const std::vector<std::string_view>& values) {
  std::int64_t count = 0;
  for (std::string_view t : values) {
    int copies = 1;
    const std::size_t star = t.find('*');
    if (star != std::string_view::npos && star > 0 &&
        std::all_of(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(star),
                    [](char c) { return c >= '0' && c <= '9'; })) {
      if (to_int(t.substr(0, star), copies) != conversion::ok || copies < 1)
        return -1;
      t.remove_prefix(star + 1);
      if (t.empty())
        continue;
    }
    double v = 0;
    if (to_real(t, v) != conversion::ok)
      return -1;
    count += copies;
  }
  return count;
}

// A record that ran on to the next line where that line looks like a record
// of its own: a value short, the record swallows the next sounding.
struct continuation {
  int sounding = 0;
  std::int64_t line = 0;       // where the record starts
  int values_on_line = 0;      // the values the record found there
  std::int64_t next_line = 0;  // where it went on

  std::string text(int per_record) const {
    using std::to_string;
    return concat({"sounding ", to_string(sounding), " on line ", to_string(line), " has ",
                   to_string(values_on_line), " of ", to_string(per_record),
                   " values and continues on line ", to_string(next_line),
                   ", which looks like a record of its own"});
  }
};

// Every record leaves the same values unread: most often columns before x
// and y (a line and a fiducial number, say), which shift every column after
// them, or a header that counts too few layers.
std::string surplus_text(std::int64_t surplus, int nlayer, bool doi, bool elevation) {
  using std::to_string;
  const std::string layers =
      nlayer == 1 ? "the layer" : concat({"the ", to_string(nlayer), " layers"});
  std::string order = "x, y, layer 1";
  if (nlayer == 2)
    order += ", layer 2";
  else if (nlayer > 2)
    order += concat({" ... layer ", to_string(nlayer)});
  if (doi)
    order += ", depth of investigation";
  if (elevation)
    order += ", ground elevation";
  std::string held = concat({", ", layers});
  if (doi && elevation)
    held += ", the depth of investigation and the ground elevation";
  else if (doi || elevation)
    held += doi ? " and the depth of investigation" : " and the ground elevation";
  else
    held = concat({" and ", layers});
  return concat({"every record holds ", to_string(surplus), surplus == 1 ? " value" : " values",
                 " more than x, y", held, " need; ", surplus == 1 ? "it is" : "they are",
                 " ignored, so the file may not be in the order ", order,
                 ", or the header may count too few layers"});
}

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

class reader {
 public:
  reader(std::istream& in, std::string_view name, const read_options& options,
         std::atomic<std::int64_t>* bytes_read)
      : lex_(in, bytes_read), name_(name), options_(options) {}

  read_outcome run(survey& out);

 private:
  bool fail(const expected& e, const item& it, std::string_view note = {}) {
    diagnostic_ = diagnostic::expected_got(std::string(name_), it.line, describe(e), found_text(it),
                                           std::string(note));
    return false;
  }

  // Three label words; anything is accepted but a broken token.
  bool labels(int header_line) {
    for (int w = 1; w <= 3; ++w) {
      const item it = lex_.next();
      if (it.what == item::slash) {
        return true;
      }
      if (it.what != item::value && it.what != item::empty) {
        return fail({expected::label, w, header_line}, it);
      }
    }
    return true;
  }

  bool integer(const expected& e, int& v, std::int64_t& line) {
    const item it = lex_.next();
    line = it.line;
    if (it.what != item::value) {
      return fail(e, it);
    }
    switch (to_int(it.text, v)) {
      case conversion::ok:
        return true;
      case conversion::out_of_range:
        return fail(e, it, " (out of range)");
      case conversion::not_a_number:
        break;
    }
    return fail(e, it);
  }

  template <class T>
  bool real(const expected& e, T& v) {
    item it;
    if (lex_.next_number(v, it)) {
      return true;
    }
    if (it.what != item::value || to_real(it.text, v) != conversion::ok) {
      // The end of the file where a value is due: most often a record that
      // was short and took the next line's values, found long before.
      if (it.what == item::end_of_file && first_continuation_.sounding != 0) {
        return fail(e, it,
                    concat({"; ", first_continuation_.text(per_record_),
                            " (a record a value short takes the next line's values)"}));
      }
      return fail(e, it);
    }
    return true;
  }

  // A layer value; with accept_nan, the word nan in any case too.
  bool layer_value(const expected& e, float& v) {
    item it;
    if (lex_.next_number(v, it)) {
      return true;
    }
    if (it.what == item::value && to_real(it.text, v) == conversion::ok) {
      return true;
    }
    if (options_.accept_nan && it.what == item::value && is_nan_word(it.text)) {
      v = std::numeric_limits<float>::quiet_NaN();
      return true;
    }
    // The usual marks of a missing value: say how the run takes them.
    if (it.what == item::value && is_nan_word(it.text)) {
      return fail(e, it, "; if it marks a missing value, give --nodata nan");
    }
    if (it.what == item::value && it.text == "*") {
      return fail(e, it,
                  " (alone it is no value); if it marks a missing value, write nan in its place "
                  "and give --nodata nan");
    }
    return fail(e, it);
  }

  // The values the current statement leaves unread, every one a number:
  // copies still due from a repeat count and the values on the rest of its
  // last line, which end_statement() discards. -1 when one is not a number.
  std::int64_t numbers_left() {
    if (lex_.slashed())
      return 0;
    std::int64_t left = 0;
    if (const int copies = lex_.repeats_left(); copies > 0 && !lex_.repeated_text().empty()) {
      double v = 0;
      if (to_real(lex_.repeated_text(), v) != conversion::ok)
        return -1;
      left = copies;
    }
    const std::int64_t on_line = count_numbers(line_values(lex_.peek_line()));
    return on_line < 0 ? -1 : left + on_line;
  }

  // Called after each value of sounding i; `index` counts its values from 0.
  // Notes the first line change of the record when the new line holds as
  // many values as a whole record.
  void follow_record(int i, int index, std::int64_t& line) {
    const std::int64_t now = lex_.line();
    if (now == line || line < 0)
      return;
    const std::int64_t start = line;
    line = -1;  // only the first change of line counts
    const int on_new_line = 1 + static_cast<int>(line_values(lex_.peek_line()).size());
    if (on_new_line != per_record_)
      return;
    if (continuations_++ == 0)
      first_continuation_ = {i, start, index, now};
  }

  void warn(std::int64_t line, std::string text) {
    warnings_.push_back(diagnostic::warning(std::string(name_), line, std::move(text)));
  }

  // The records after the last sounding the header counts: lines of numbers
  // only, as many as a record needs at least (x, y and a value).
  void look_past_the_end(int nsound) {
    std::string text;
    std::int64_t line = 0, first = 0, records = 0;
    while (lex_.take_line(text, line)) {
      const auto values = line_values(text);
      if (values.size() >= 3 && all_numbers(values)) {
        first = records == 0 ? line : first;
        ++records;
      }
    }
    if (records > 0) {
      using std::to_string;
      warn(0, concat({"the header counts ", to_string(nsound), " soundings; ", to_string(records),
                      records == 1 ? " more record follows on line "
                                   : " more records follow from line ",
                      to_string(first), records == 1 ? " and is ignored" : " and are ignored"}));
    }
  }

  read_outcome bad() {
    return {read_status::bad_input, std::move(diagnostic_), std::move(warnings_)};
  }

  // Runs `make` and turns an allocation failure into a diagnostic naming the
  // array and the number of values asked for.
  template <class F>
  bool allocate(const char* array, std::uint64_t values, F&& make) {
    try {
      make();
      return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    diagnostic_ = diagnostic::in_file(
        std::string(name_),
        concat({"cannot allocate ", array, ": ", std::to_string(values), " values (",
                std::to_string(values * sizeof(float)), " bytes)"}));
    return false;
  }

  lexer lex_;
  std::string_view name_;
  read_options options_;
  diagnostic diagnostic_;
  std::vector<diagnostic> warnings_;
  int per_record_ = 0;  // values a record holds: x, y, one per layer, the doi and the elevation
  int continuations_ = 0;
  continuation first_continuation_;
  // The numbers every record so far has left on its last line; 0 once two
  // records differ, and then no longer counted.
  std::int64_t surplus_ = 0;
};

read_outcome reader::run(survey& out) {
  std::int64_t line = 0;

  lex_.begin_statement();
  if (!labels(1) || !integer({expected::nlayer}, out.nlayer, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nlayer < 1) {
    diagnostic_ = diagnostic::at_line(
        std::string(name_), line,
        concat({"the number of layers must be at least 1, got ", std::to_string(out.nlayer)}));
    return bad();
  }
  const int nlayer = out.nlayer;

  // Only reserved: a huge layer count in a short file then ends with a
  // diagnostic at the missing thickness, not with memory touched for nothing.
  const auto ndz = static_cast<std::uint64_t>(nlayer - 1);
  if (!allocate("dz", ndz, [&] { out.dz.reserve(static_cast<std::size_t>(ndz)); })) {
    return bad();
  }
  lex_.begin_statement();
  if (!labels(2)) {
    return bad();
  }
  for (int k = 1; k < nlayer; ++k) {
    float t = 0;
    if (!real({expected::thickness, k}, t)) {
      return bad();
    }
    out.dz.push_back(t);
  }
  // One thickness too many: most likely the last layer's, which the format
  // does not hold, or a layer count one short.
  if (numbers_left() == 1) {
    const std::string layers = std::to_string(nlayer);
    warn(lex_.line(),
         nlayer == 1 ? std::string("the thickness line holds a thickness for the one layer; it is "
                                   "ignored since the last layer has none, so the number of "
                                   "layers may be off by one")
                     : concat({"the thickness line holds ", layers, " thicknesses for ", layers,
                               " layers; the last is ignored since the last layer has none, so "
                               "the number of layers may be off by one"}));
  }
  lex_.end_statement();

  lex_.begin_statement();
  if (!labels(3) || !integer({expected::nsound}, out.nsound, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nsound < 3) {
    return {read_status::too_few_soundings, {}, std::move(warnings_)};
  }
  if (out.nsound > max_soundings) {
    diagnostic_ = diagnostic::at_line(
        std::string(name_), line,
        concat({"too many soundings: ", std::to_string(out.nsound), "; at most ",
                std::to_string(max_soundings), " are supported"}));
    return bad();
  }
  const int nsound = out.nsound;

  std::string heading;
  std::int64_t heading_line = 0;
  if (!lex_.take_line(heading, heading_line)) {
    item eof{item::end_of_file, {}, {}, lex_.last_line()};
    fail({expected::heading}, eof);
    return bad();
  }
  // Without its heading line a file loses its first sounding to the skip.
  if (const auto values = line_values(heading); !values.empty() && all_numbers(values)) {
    warn(heading_line,
         "this line is skipped as the column headings, but holds only numbers; if it is the "
         "first sounding, the heading line above it is missing");
  }

  const auto n = static_cast<std::uint64_t>(nsound);
  const std::uint64_t ndat = n * static_cast<std::uint64_t>(nlayer);
  if (options_.doi && !allocate("doi", n, [&] { out.doi.reserve(static_cast<std::size_t>(n)); })) {
    return bad();
  }
  if (!allocate("xloc", n, [&] { out.xloc.reserve(static_cast<std::size_t>(n)); }) ||
      !allocate("yloc", n, [&] { out.yloc.reserve(static_cast<std::size_t>(n)); }) ||
      !allocate("dat", ndat, [&] {
        if (ndat > out.dat.max_size()) {
          throw std::length_error("dat");
        }
        out.dat.resize(static_cast<std::size_t>(ndat));
      })) {
    return bad();
  }

  if (!allocate("line", n, [&] { out.line.reserve(static_cast<std::size_t>(n)); })) {
    return bad();
  }
  if (options_.elevation &&
      !allocate("elevation", n, [&] { out.elevation.reserve(static_cast<std::size_t>(n)); })) {
    return bad();
  }
  per_record_ = 2 + nlayer + (options_.doi ? 1 : 0) + (options_.elevation ? 1 : 0);
  for (int i = 1; i <= nsound; ++i) {
    lex_.begin_statement();
    double x = 0;
    double y = 0;
    if (!real({expected::x, 0, i}, x)) {
      return bad();
    }
    const std::int64_t start = lex_.line();
    std::int64_t line_now = start;
    if (!real({expected::y, 0, i}, y)) {
      return bad();
    }
    follow_record(i, 1, line_now);
    for (int k = 1; k <= nlayer; ++k) {
      // dat(i, k): entry i of the contiguous column of layer k.
      if (!layer_value({expected::layer, k, i}, out.value(i, k))) {
        return bad();
      }
      follow_record(i, k + 1, line_now);
    }
    // A value after the last layer (the depth of investigation, then the
    // ground elevation): a record that ends without it would take the first
    // value of the next record and shift every record after it, so one found
    // on a new line that holds a whole record is refused.
    int index = nlayer + 1;
    const auto trailing = [&](const expected& e, std::vector<float>& values) {
      const std::int64_t line_before = lex_.line();
      float v = 0;
      if (!layer_value(e, v))
        return false;
      if (lex_.line() != line_before &&
          1 + static_cast<int>(line_values(lex_.peek_line()).size()) >= per_record_ - 1) {
        diagnostic_ = diagnostic::expected_got(
            std::string(name_), line_before, describe(e), "the end of its line",
            concat({"; line ", std::to_string(lex_.line()), " looks like the next record"}));
        return false;
      }
      values.push_back(v);
      follow_record(i, ++index, line_now);
      return true;
    };
    if (options_.doi && !trailing({expected::doi, 0, i}, out.doi))
      return bad();
    if (options_.elevation &&
        !trailing({expected::elevation, options_.doi ? 1 : 0, i}, out.elevation))
      return bad();
    if (i == 1)
      surplus_ = std::max<std::int64_t>(numbers_left(), 0);
    else if (surplus_ > 0 && numbers_left() != surplus_)
      surplus_ = 0;
    lex_.end_statement();
    out.xloc.push_back(to_single(x));
    out.yloc.push_back(to_single(y));
    out.line.push_back(start);
  }
  if (continuations_ > 0) {
    std::string text = first_continuation_.text(per_record_);
    if (continuations_ > 1) {
      text += concat({"; ", std::to_string(continuations_ - 1),
                      continuations_ == 2 ? " more sounding does" : " more soundings do", " so"});
    }
    warn(0, text);
  }
  if (surplus_ > 0)
    warn(out.line.front(), surplus_text(surplus_, nlayer, options_.doi, options_.elevation));
  look_past_the_end(nsound);
  return {read_status::ok, {}, std::move(warnings_)};
}

}  // namespace

read_outcome read_soundings(std::istream& in, std::string_view name, survey& out,
                            std::atomic<std::int64_t>* bytes_read, const read_options& options) {
  reader r(in, name, options, bytes_read);
  return r.run(out);
}

}  // namespace tervox::formats
