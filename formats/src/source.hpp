// The bytes of a soundings file, read in large blocks, with the line count
// that diagnostics give.
#pragma once

#include <array>
#include <atomic>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "formats/decimal.hpp"

namespace tervox::formats::free_format {

constexpr int end_of_input = -1;

// Ends an unquoted value. end_of_input is tested apart.
constexpr std::array<bool, 256> delimiter_table = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : {' ', '\t', '\r', '\n', ',', '/'}) {
    t[c] = true;
  }
  return t;
}();

inline bool is_delimiter(int c) {
  return c == end_of_input || delimiter_table[static_cast<std::size_t>(c)];
}
inline bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
inline bool is_quote(int c) {
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

  /// The rest of the current line, up to `limit` bytes, without consuming
  /// it: for a look at what a line holds.
  std::string peek_line(std::size_t limit) {
    std::string text;
    for (std::size_t k = 0; k < limit; ++k) {
      const int c = at(k);
      if (c == end_of_input || c == '\n')
        break;
      text += static_cast<char>(c);
    }
    return text;
  }

  /// Consumes the next whole line and gives it without its line end (and
  /// without a carriage return before it) and its number. The view stays
  /// valid until the next call that reads. False when the input has ended.
  /// A line longer than the buffer's limit comes cut there with `cut` set
  /// (what is left of it then comes as the next line).
  bool next_line(std::string_view& text, std::int64_t& number, bool& cut) {
    cut = false;
    std::size_t scanned = 0;  // bytes from pos_ known to hold no line end
    for (;;) {
      const char* const base = buf_.data() + pos_;
      const void* nl = std::memchr(base + scanned, '\n', end_ - pos_ - scanned);
      if (nl != nullptr) {
        const auto len = static_cast<std::size_t>(static_cast<const char*>(nl) - base);
        text = trim_cr({base, len});
        number = line_++;
        pos_ += len + 1;
        return true;
      }
      scanned = end_ - pos_;
      if (!fill()) {
        if (scanned == 0) {
          return false;
        }
        cut = !done_;
        text = trim_cr({buf_.data() + pos_, scanned});
        number = line_;
        pos_ = end_;
        return true;
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

  static std::string_view trim_cr(std::string_view t) {
    return !t.empty() && t.back() == '\r' ? t.substr(0, t.size() - 1) : t;
  }

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

}  // namespace tervox::formats::free_format
