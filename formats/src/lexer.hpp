// The lexer of the free format: the values of one read statement, with
// separators, null values, slashes, quoted texts and repeat counts resolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "source.hpp"

namespace tervox::formats::free_format {

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

  /// What the statement has not taken yet of a repeat count: the copies
  /// still due and their text (empty for null values). None once a slash
  /// has ended the statement.
  int repeats_left() const { return slashed_ ? 0 : repeat_left_; }
  std::string_view repeated_text() const {
    return repeat_kind_ == item::value ? std::string_view(repeat_text_) : std::string_view();
  }
  /// True when a slash has ended the statement: the rest of its line is no
  /// part of it.
  bool slashed() const { return slashed_; }

  std::int64_t last_line() const { return src_.last_line(); }
  /// The line of the current position: after a value, the line it is on.
  std::int64_t line() const { return src_.line(); }

  /// The rest of the current line, not consumed; at most `limit` bytes.
  std::string peek_line(std::size_t limit = 1 << 16) { return src_.peek_line(limit); }

  /// Takes the next whole line into `text` (at most `limit` bytes of it)
  /// and its number into `line`; false when the input has ended.
  bool take_line(std::string& text, std::int64_t& line, std::size_t limit = 1 << 16) {
    if (src_.at(0) == end_of_input)
      return false;
    line = src_.line();
    text = src_.peek_line(limit);
    src_.skip_line();
    return true;
  }

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

}  // namespace tervox::formats::free_format
