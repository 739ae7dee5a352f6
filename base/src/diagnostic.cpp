#include "base/diagnostic.hpp"

namespace tervox::base {
// Appending, rather than chains of operator+ that start with a literal, keeps
// clear of a g++ 12 -Wrestrict false positive in optimised builds.
std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::string text;
  text.reserve(size);
  for (const auto part : parts) text += part;
  return text;
}

diagnostic::diagnostic(std::string file, std::int64_t line, std::string expected, std::string found,
                       std::string text, bool warning)
    : file_(std::move(file)),
      line_(line),
      expected_(std::move(expected)),
      found_(std::move(found)),
      text_(std::move(text)),
      warning_(warning) {}

diagnostic diagnostic::plain(std::string text) {
  return {{}, 0, {}, {}, std::move(text), false};
}

diagnostic diagnostic::in_file(std::string file, std::string text) {
  return {std::move(file), 0, {}, {}, std::move(text), false};
}

diagnostic diagnostic::at_line(std::string file, std::int64_t line, std::string text) {
  return {std::move(file), line, {}, {}, std::move(text), false};
}

diagnostic diagnostic::expected_got(std::string file, std::int64_t line, std::string expected,
                                    std::string found, std::string note) {
  return {std::move(file), line, std::move(expected), std::move(found), std::move(note), false};
}

diagnostic diagnostic::warning(std::string file, std::int64_t line, std::string text) {
  return {std::move(file), line, {}, {}, std::move(text), true};
}

std::string diagnostic::message() const {
  std::string m;
  if (!file_.empty()) {
    m = file_;
    if (line_ > 0)
      m += concat({":", std::to_string(line_)});
    m += ": ";
  }
  if (warning_)
    m += "warning: ";
  if (!expected_.empty())
    m += concat({"expected ", expected_, ", got ", found_});
  m += text_;
  return m;
}

std::string diagnostic_line(std::string_view prefix, const diagnostic& d) {
  return concat({prefix, d.message(), "\n"});
}

diagnostic_error::diagnostic_error(diagnostic d)
    : std::runtime_error(d.message()), d_(std::move(d)) {}

std::string quoted(std::string_view name) {
  return concat({"'", name, "'"});
}

std::string quoted_token(std::string_view token) {
  constexpr std::size_t shown_max = 40;
  std::string s = "'";
  for (std::size_t i = 0; i < token.size() && i < shown_max; ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    if (c >= 0x20 && c < 0x7f) {
      s += static_cast<char>(c);
    } else {
      static constexpr char hex[] = "0123456789abcdef";
      s += "\\x";
      s += hex[c >> 4];
      s += hex[c & 0xf];
    }
  }
  if (token.size() > shown_max)
    s += "...";
  s += '\'';
  return s;
}

std::string shown(std::string_view text, std::size_t limit) {
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  }
  if (text.size() > limit)
    out += "...";
  out += "'";
  return out;
}

diagnostic cannot_create(std::string_view path, std::string_view reason) {
  return diagnostic::plain(concat({"cannot create ", quoted(path), ": ", reason}));
}

diagnostic cannot_write(std::string_view path, std::string_view reason) {
  return diagnostic::plain(concat({"cannot write ", quoted(path), ": ", reason}));
}

diagnostic output_is_input(std::string_view output, std::string_view input_kind,
                           std::string_view input) {
  return diagnostic::plain(concat({"output file ", quoted(output), " is the ", input_kind, " ",
                                   quoted(input), "; writing it would destroy the input"}));
}

}  // namespace tervox::base
