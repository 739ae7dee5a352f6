#include "reader.hpp"

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

#include "decimal.hpp"
#include "triang/triang.hpp"

namespace tervox {
namespace {

// The triangulation needs 6*nsound-9 adjacency positions, each an int.
constexpr int max_soundings =
    static_cast<int>((static_cast<std::int64_t>(std::numeric_limits<int>::max()) + 9) / 6);

// ---------------------------------------------------------------------------
// Buffered input
// ---------------------------------------------------------------------------

constexpr int end_of_input = -1;

// Ends an unquoted value. end_of_input is tested apart.
constexpr std::array<bool, 256> delimiter_table = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : {' ', '\t', '\r', '\n', ',', '/'}) {
    t[c] = true;
  }
  return t;
}();

bool is_delimiter(int c) {
  return c == end_of_input || delimiter_table[static_cast<std::size_t>(c)];
}
bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
bool is_quote(int c) {
  return c == '\'' || c == '"';
}

// Reads the stream in large blocks and lets the lexer look ahead from the
// current position. A token is always kept whole in the buffer: when a
// look-ahead runs past the buffered bytes, the unconsumed tail moves to the
// front and the rest is refilled (the buffer grows only for a token longer
// than itself, up to max_buffer: a longer token is cut there, so that a file
// of one endless token, gigabytes of NUL bytes say, ends with a diagnostic
// instead of being read whole into memory). Line ends are counted as they
// are consumed.
class source {
 public:
  source(std::istream& in, std::atomic<std::int64_t>* bytes_read)
      : in_(in), buf_(block_size), bytes_read_(bytes_read) {}

  /// The byte at offset k from the current position, or end_of_input.
  int at(std::size_t k) {
    if (pos_ + k < end_) {
      return static_cast<unsigned char>(buf_[pos_ + k]);
    }
    return at_slow(k);
  }
  /// The k bytes from the current position; valid until the next at() that
  /// has to read further.
  std::string_view view(std::size_t k) const { return {buf_.data() + pos_, k}; }
  /// The offset of the first delimiter (or of the end of input) at or after
  /// offset `from`. The hot path of the reader: it scans the buffer directly.
  std::size_t bare_end(std::size_t from) {
    for (;;) {
      const char* const base = buf_.data() + pos_;
      const char* p = base + from;
      const char* const e = buf_.data() + end_;
      while (p < e && !delimiter_table[static_cast<unsigned char>(*p)]) {
        ++p;
      }
      from = static_cast<std::size_t>(p - base);
      if (p < e || !fill()) {
        return from;
      }
    }
  }
  /// Converts a decimal without exponent letter D that is followed by a
  /// delimiter inside the buffer, and consumes it. False, consuming nothing,
  /// for anything else (left to the general path).
  template <class T>
  bool plain_number(T& v) {
    const char* const e = buf_.data() + end_;
    const char* const start = number_start(buf_.data() + pos_, e);
    if (start == nullptr) {
      return false;
    }
    const auto r = std::from_chars(start, e, v, std::chars_format::general);
    if (r.ec != std::errc{} || r.ptr == e || !delimiter_table[static_cast<unsigned char>(*r.ptr)]) {
      return false;
    }
    pos_ = static_cast<std::size_t>(r.ptr - buf_.data());
    return true;
  }
  /// True for a token of `len` bytes from the current position that was cut
  /// at the buffer's limit: the input goes on, but the token is no value.
  bool cut(std::size_t len) const { return len >= max_buffer; }
  /// Consumes k bytes that hold no line end.
  void advance(std::size_t k) { pos_ += k; }

  /// Consumes blanks, tabs, carriage returns and line ends.
  void skip_blanks() {
    for (;;) {
      while (pos_ < end_) {
        const char c = buf_[pos_];
        if (c == '\n') {
          ++line_;
        } else if (c != ' ' && c != '\t' && c != '\r') {
          return;
        }
        ++pos_;
      }
      if (!fill()) {
        return;
      }
    }
  }

  /// Consumes the rest of the current line and its line end.
  void skip_line() {
    for (;;) {
      const void* nl = std::memchr(buf_.data() + pos_, '\n', end_ - pos_);
      if (nl != nullptr) {
        pos_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data()) + 1;
        ++line_;
        return;
      }
      pos_ = end_;
      if (!fill()) {
        return;
      }
    }
  }

  std::int64_t line() const { return line_; }
  /// The number of the file's last line, for a diagnostic at end of file.
  std::int64_t last_line() const { return line_ > 1 && last_byte_ == '\n' ? line_ - 1 : line_; }
  bool input_error() const { return input_error_; }

 private:
  static constexpr std::size_t block_size = std::size_t{1} << 20;
  static constexpr std::size_t max_buffer = std::size_t{64} << 20;

  int at_slow(std::size_t k) {
    while (pos_ + k >= end_) {
      if (!fill()) {
        return end_of_input;
      }
    }
    return static_cast<unsigned char>(buf_[pos_ + k]);
  }

  // Keeps the unconsumed bytes and appends the next block; false when no
  // byte could be added.
  bool fill() {
    if (done_) {
      return false;
    }
    if (pos_ > 0) {
      std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
    }
    if (end_ == buf_.size()) {
      // Only a token that fills the whole buffer gets here. Past the limit it
      // ends where the buffer does; the input itself has not ended.
      if (buf_.size() >= max_buffer) {
        return false;
      }
      buf_.resize(2 * buf_.size());
    }
    in_.read(buf_.data() + end_, static_cast<std::streamsize>(buf_.size() - end_));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) {
      input_error_ = true;
    }
    if (!in_) {
      done_ = true;
    }
    if (got == 0) {
      done_ = true;
      return false;
    }
    end_ += got;
    last_byte_ = buf_[end_ - 1];
    if (bytes_read_ != nullptr) {
      bytes_read_->fetch_add(static_cast<std::int64_t>(got), std::memory_order_relaxed);
    }
    return true;
  }

  std::istream& in_;
  std::vector<char> buf_;
  std::atomic<std::int64_t>* bytes_read_;  // for a progress line; may be null
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool done_ = false;
  bool input_error_ = false;
  char last_byte_ = '\0';
  std::int64_t line_ = 1;
};

// ---------------------------------------------------------------------------
// Lexer: the values of one read statement
// ---------------------------------------------------------------------------

/// Possible values of item::what:
///   value         `text` is the value as written (a quoted text keeps its
///                 quotes); `shown` is the whole token, repeat count included
///   empty         a null value: nothing between two commas, a leading comma,
///                 or n* with nothing after the asterisk
///   slash         a slash ended the statement; no more values in it
///   end_of_file   the input ended
///   input_error   the stream failed while reading
///   malformed     `shown` cannot be any value: a repeat count of 0 or out of
///                 range, text glued to a closing quote, or a token cut at the
///                 buffer's limit
///   unterminated  `shown` opens a quote that its line does not close
struct item {
  enum kind { value, empty, slash, end_of_file, input_error, malformed, unterminated };
  kind what = value;
  std::string_view text;
  std::string_view shown;
  std::int64_t line = 0;
};

class lexer {
 public:
  lexer(std::istream& in, std::atomic<std::int64_t>* bytes_read) : src_(in, bytes_read) {}

  /// Starts a read statement at the current position (the start of a line).
  void begin_statement() {
    need_separator_ = false;
    slashed_ = false;
    repeat_left_ = 0;
  }
  /// Ends the statement: the rest of its last line is never read.
  void end_statement() { src_.skip_line(); }

  /// The next value of the statement. Views in the result stay valid until
  /// the next call.
  item next() {
    if (slashed_) {
      return {item::slash, {}, {}, slash_line_};
    }
    if (repeat_left_ > 0) {
      --repeat_left_;
      return {repeat_kind_, repeat_text_, repeat_shown_, repeat_line_};
    }
    item it;
    if (!at_token(it)) {
      return it;
    }
    return token(it.line);
  }

  /// The next value read as a number of type T, when it is a plain decimal
  /// that ends inside the buffer: true with `v` set. Otherwise false, with
  /// `it` holding what next() would have given, for the general conversion.
  template <class T>
  bool next_number(T& v, item& it) {
    if (slashed_ || repeat_left_ > 0) {
      it = next();
      return false;
    }
    if (!at_token(it)) {
      return false;
    }
    if (src_.plain_number(v)) {
      return true;
    }
    it = token(it.line);
    return false;
  }

  std::int64_t last_line() const { return src_.last_line(); }

  /// Skips a whole line; false when the input has ended before it.
  bool skip_whole_line() {
    if (src_.at(0) == end_of_input) {
      return false;
    }
    src_.skip_line();
    return true;
  }

 private:
  // Moves to the start of the next value. True when a token starts there;
  // false with `it` set to the null value, slash or end met instead.
  bool at_token(item& it) {
    src_.skip_blanks();
    // A comma after a value, with blanks around it, is one separator; a
    // second comma, or one that opens the statement, stands for a null value.
    if (need_separator_ && src_.at(0) == ',') {
      src_.advance(1);
      src_.skip_blanks();
    }
    need_separator_ = false;
    it.line = src_.line();
    const int c = src_.at(0);
    if (c == end_of_input) {
      it.what = src_.input_error() ? item::input_error : item::end_of_file;
      it.line = src_.last_line();
      return false;
    }
    if (c == ',') {
      src_.advance(1);
      it.what = item::empty;
      return false;
    }
    if (c == '/') {
      src_.advance(1);
      slashed_ = true;
      slash_line_ = it.line;
      it.what = item::slash;
      return false;
    }
    need_separator_ = true;
    return true;
  }

  // Lexes the token at the current position, which is not a delimiter.
  item token(std::int64_t line) {
    if (is_quote(src_.at(0))) {
      std::size_t len = 0;
      const item::kind what = scan_quoted(0, len);
      const std::string_view t = src_.view(len);
      src_.advance(len);
      return {what, t, t, line};
    }
    const std::size_t len = src_.bare_end(0);
    const std::string_view t = src_.view(len);
    if (src_.cut(len)) {
      src_.advance(len);
      return {item::malformed, t, t, line};
    }
    std::size_t digits = 0;
    while (digits < len && is_digit(t[digits])) {
      ++digits;
    }
    if (digits > 0 && digits < len && t[digits] == '*') {
      return repeated(digits, line);
    }
    src_.advance(len);
    return {item::value, t, t, line};
  }

  // n*v or n*: the count has `digits` digits.
  item repeated(std::size_t digits, std::int64_t line) {
    const std::size_t start = digits + 1;
    std::size_t len = start;
    item::kind what = item::empty;
    if (!is_delimiter(src_.at(start))) {
      what = is_quote(src_.at(start)) ? scan_quoted(start, len) : scan_bare(start, len);
    }
    const std::string_view whole = src_.view(len);
    int count = 0;
    const auto [ptr, ec] = std::from_chars(whole.data(), whole.data() + digits, count);
    if (ec != std::errc{} || count < 1) {
      what = item::malformed;
    }
    repeat_shown_.assign(whole);
    repeat_text_.assign(whole.substr(start));
    src_.advance(len);
    if (what == item::malformed || what == item::unterminated) {
      return {what, repeat_text_, repeat_shown_, line};
    }
    repeat_kind_ = what;
    repeat_line_ = line;
    repeat_left_ = count - 1;
    return {what, repeat_text_, repeat_shown_, line};
  }

  // An unquoted value: everything up to the next delimiter.
  item::kind scan_bare(std::size_t from, std::size_t& len) {
    len = src_.bare_end(from);
    return src_.cut(len) ? item::malformed : item::value;
  }

  // A quoted text from offset `from`: a doubled quote stands for one quote
  // character, and the text must close on its own line.
  item::kind scan_quoted(std::size_t from, std::size_t& len) {
    const int quote = src_.at(from);
    std::size_t k = from + 1;
    for (;;) {
      const int c = src_.at(k);
      if (c == end_of_input || c == '\n') {
        len = k;
        while (len > from + 1 && src_.at(len - 1) == '\r') {
          --len;
        }
        return item::unterminated;
      }
      if (c == quote) {
        if (src_.at(k + 1) != quote) {
          break;
        }
        ++k;
      }
      ++k;
    }
    len = k + 1;
    if (is_delimiter(src_.at(len))) {
      return item::value;
    }
    scan_bare(len, len);
    return item::malformed;
  }

  source src_;
  bool need_separator_ = false;
  bool slashed_ = false;
  std::int64_t slash_line_ = 0;
  int repeat_left_ = 0;
  item::kind repeat_kind_ = item::value;
  std::int64_t repeat_line_ = 0;
  std::string repeat_text_;
  std::string repeat_shown_;
};

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

// Joins the parts of a message. Appending, rather than chains of operator+
// that start with a literal, keeps clear of a g++ 12 -Wrestrict false
// positive in optimised builds.
std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (const std::string_view p : parts) {
    s += p;
  }
  return s;
}

/// What a read statement expects, for the diagnostics.
struct expected {
  enum kind { label, nlayer, thickness, nsound, heading, x, y, layer };
  kind what;
  int number = 0;    // label word, thickness or layer number
  int sounding = 0;  // sounding number; for a label, the header line (1 to 3)
};

std::string describe(const expected& e) {
  using std::to_string;
  switch (e.what) {
    case expected::label: {
      static constexpr const char* lines[] = {"the layer count line", "the thickness line",
                                              "the sounding count line"};
      return cat({"label word ", to_string(e.number), " of ",
                  lines[static_cast<std::size_t>(e.sounding - 1)]});
    }
    case expected::nlayer:
      return "the number of layers";
    case expected::thickness:
      return cat({"thickness ", to_string(e.number)});
    case expected::nsound:
      return "the number of soundings";
    case expected::heading:
      return "the heading line";
    case expected::x:
      return cat({"x of sounding ", to_string(e.sounding)});
    case expected::y:
      return cat({"y of sounding ", to_string(e.sounding)});
    case expected::layer:
      return cat({"layer ", to_string(e.number), " of sounding ", to_string(e.sounding)});
  }
  return {};
}

// The text found, quoted, with unprintable bytes escaped and a long text cut.
std::string quoted(std::string_view t) {
  constexpr std::size_t shown_max = 40;
  std::string s = "'";
  for (std::size_t i = 0; i < t.size() && i < shown_max; ++i) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (c >= 0x20 && c < 0x7f) {
      s += static_cast<char>(c);
    } else {
      static constexpr char hex[] = "0123456789abcdef";
      s += "\\x";
      s += hex[c >> 4];
      s += hex[c & 0xf];
    }
  }
  if (t.size() > shown_max) {
    s += "...";
  }
  s += '\'';
  return s;
}

std::string where(std::string_view name, std::int64_t line) {
  std::string s(name);
  s += ':';
  s += std::to_string(line);
  s += ": ";
  return s;
}

std::string found_text(const item& it) {
  switch (it.what) {
    case item::value:
    case item::malformed:
      return quoted(it.shown);
    case item::empty:
      return "an empty value";
    case item::slash:
      return "'/'";
    case item::end_of_file:
      return "end of file";
    case item::input_error:
      return "an input error";
    case item::unterminated:
      return cat({quoted(it.shown), " (no closing quote on its line)"});
  }
  return {};
}

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

class reader {
 public:
  reader(std::istream& in, std::string_view name, std::atomic<std::int64_t>* bytes_read)
      : lex_(in, bytes_read), name_(name) {}

  read_outcome run(survey& out);

 private:
  bool fail(const expected& e, const item& it, std::string_view note = {}) {
    diagnostic_ =
        cat({where(name_, it.line), "expected ", describe(e), ", got ", found_text(it), note});
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
      return fail(e, it);
    }
    return true;
  }

  read_outcome bad() { return {read_status::bad_input, std::move(diagnostic_)}; }

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
    diagnostic_ = cat({name_, ": cannot allocate ", array, ": ", std::to_string(values),
                       " values (", std::to_string(values * sizeof(float)), " bytes)"});
    return false;
  }

  lexer lex_;
  std::string_view name_;
  std::string diagnostic_;
};

read_outcome reader::run(survey& out) {
  std::int64_t line = 0;

  lex_.begin_statement();
  if (!labels(1) || !integer({expected::nlayer}, out.nlayer, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nlayer < 1) {
    diagnostic_ = cat({where(name_, line), "the number of layers must be at least 1, got ",
                       std::to_string(out.nlayer)});
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
  lex_.end_statement();

  lex_.begin_statement();
  if (!labels(3) || !integer({expected::nsound}, out.nsound, line)) {
    return bad();
  }
  lex_.end_statement();
  if (out.nsound < 3) {
    return {read_status::too_few_soundings, {}};
  }
  if (out.nsound > max_soundings) {
    diagnostic_ = cat({where(name_, line), "too many soundings: ", std::to_string(out.nsound),
                       "; at most ", std::to_string(max_soundings), " are supported"});
    return bad();
  }
  const int nsound = out.nsound;

  if (!lex_.skip_whole_line()) {
    item eof{item::end_of_file, {}, {}, lex_.last_line()};
    fail({expected::heading}, eof);
    return bad();
  }

  const auto n = static_cast<std::uint64_t>(nsound);
  const std::uint64_t ndat = n * static_cast<std::uint64_t>(nlayer);
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

  for (int i = 1; i <= nsound; ++i) {
    lex_.begin_statement();
    double x = 0;
    double y = 0;
    if (!real({expected::x, 0, i}, x) || !real({expected::y, 0, i}, y)) {
      return bad();
    }
    for (int k = 1; k <= nlayer; ++k) {
      // dat(i, k): entry i of the contiguous column of layer k.
      if (!real({expected::layer, k, i}, triang::one_based<float>(out.layer(k))[i])) {
        return bad();
      }
    }
    lex_.end_statement();
    out.xloc.push_back(to_single(x));
    out.yloc.push_back(to_single(y));
  }
  return {};
}

// ---------------------------------------------------------------------------
// Location checks
// ---------------------------------------------------------------------------

std::string shortest(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return {buf, r.ptr};
}

std::string point(float x, float y) {
  return cat({"(", shortest(x), ", ", shortest(y), ")"});
}

// A key that orders as the float does and is equal for 0 and -0.
std::uint32_t order_key(float v) {
  const auto bits = std::bit_cast<std::uint32_t>(v == 0.0f ? 0.0f : v);
  return (bits & 0x8000'0000u) != 0 ? ~bits : bits | 0x8000'0000u;
}

std::uint64_t location_key(float x, float y) {
  return static_cast<std::uint64_t>(order_key(x)) << 32 | order_key(y);
}

}  // namespace

read_outcome read_soundings(std::istream& in, std::string_view name, survey& out,
                            std::atomic<std::int64_t>* bytes_read) {
  reader r(in, name, bytes_read);
  return r.run(out);
}

std::string check_locations(const survey& s, std::string_view name) {
  const triang::one_based<const float> x(std::span(s.xloc));
  const triang::one_based<const float> y(std::span(s.yloc));
  const int n = x.size();

  int first_bad = 0;
  int bad_count = 0;
  for (int i = 1; i <= n; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      first_bad = first_bad == 0 ? i : first_bad;
      ++bad_count;
    }
  }
  if (bad_count > 0) {
    std::string d =
        cat({name, ": sounding ", std::to_string(first_bad),
             " has a location that is not finite: ", point(x[first_bad], y[first_bad])});
    if (bad_count > 1) {
      d += cat({"; ", std::to_string(bad_count), " soundings in all"});
    }
    return d;
  }

  try {
    // Most surveys have no duplicates: sorting the bare keys settles that
    // with half the memory of sorting them with their sounding numbers.
    std::vector<std::uint64_t> keys(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
      keys[static_cast<std::size_t>(i - 1)] = location_key(x[i], y[i]);
    }
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) == keys.end()) {
      return {};
    }
    keys = {};

    struct entry {
      std::uint64_t key;
      int sounding;
    };
    std::vector<entry> entries(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
      entries[static_cast<std::size_t>(i - 1)] = {location_key(x[i], y[i]), i};
    }
    std::sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) {
      return a.key != b.key ? a.key < b.key : a.sounding < b.sounding;
    });
    // Every sounding that repeats a location pairs with the first one there.
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t f = 0; f < entries.size();) {
      std::size_t l = f + 1;
      for (; l < entries.size() && entries[l].key == entries[f].key; ++l) {
        pairs.emplace_back(entries[f].sounding, entries[l].sounding);
      }
      f = l;
    }
    entries = {};

    constexpr std::size_t shown_max = 5;
    const std::size_t shown = std::min(pairs.size(), shown_max);
    const auto by_later = [](const std::pair<int, int>& a, const std::pair<int, int>& b) {
      return std::pair(a.second, a.first) < std::pair(b.second, b.first);
    };
    std::partial_sort(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(shown),
                      pairs.end(), by_later);
    const auto describe_pair = [&](const std::pair<int, int>& p) {
      return cat({std::to_string(p.first), " and ", std::to_string(p.second)});
    };
    std::string d(name);
    if (pairs.size() == 1) {
      const auto& p = pairs.front();
      return cat({d, ": soundings ", describe_pair(p), " are at the same location ",
                  point(x[p.first], y[p.first])});
    }
    d +=
        cat({": ", std::to_string(pairs.size()), " pairs of soundings are at the same location: "});
    for (std::size_t k = 0; k < shown; ++k) {
      const auto& p = pairs[k];
      d += cat({k > 0 ? ", " : "", describe_pair(p), " at ", point(x[p.first], y[p.first])});
    }
    if (pairs.size() > shown) {
      d += ", ...";
    }
    return d;
  } catch (const std::bad_alloc&) {
    return cat({name, ": cannot allocate the memory to compare the locations of ",
                std::to_string(n), " soundings"});
  }
}

}  // namespace tervox
