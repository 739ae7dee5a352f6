#include "cli.hpp"

#include <charconv>
#include <cstdlib>

namespace tervox {
namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the run of digits at the start of text.
std::size_t digits_at(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && is_digit(text[n])) ++n;
  return n;
}

}  // namespace

std::optional<std::vector<std::string>> split_values(std::string_view text) {
  std::vector<std::string> values;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && is_separator(text[pos])) ++pos;
    if (pos == text.size())
      break;
    // A value runs to the next separator outside quotes; "" alone is an
    // empty value, not nothing.
    std::string value;
    bool quoted = false;
    for (; pos < text.size(); ++pos) {
      const char c = text[pos];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && is_separator(c)) {
        break;
      } else {
        value += c;
      }
    }
    if (quoted)
      return std::nullopt;
    values.push_back(std::move(value));
  }
  return values;
}

std::optional<float> parse_real(std::string_view text) {
  // Check the form first, so that strtof (which also takes hexadecimal,
  // "inf", "nan" and leading blanks) only ever sees a plain decimal number.
  std::string plain(text);
  std::size_t pos = 0;
  if (pos < plain.size() && (plain[pos] == '+' || plain[pos] == '-'))
    ++pos;
  const std::size_t whole = digits_at(std::string_view(plain).substr(pos));
  pos += whole;
  std::size_t fraction = 0;
  if (pos < plain.size() && plain[pos] == '.') {
    ++pos;
    fraction = digits_at(std::string_view(plain).substr(pos));
    pos += fraction;
  }
  if (whole == 0 && fraction == 0)
    return std::nullopt;
  if (pos < plain.size()) {
    const char e = plain[pos];
    if (e != 'e' && e != 'E' && e != 'd' && e != 'D')
      return std::nullopt;
    plain[pos] = 'e';
    ++pos;
    if (pos < plain.size() && (plain[pos] == '+' || plain[pos] == '-'))
      ++pos;
    const std::size_t exponent = digits_at(std::string_view(plain).substr(pos));
    if (exponent == 0)
      return std::nullopt;
    pos += exponent;
    if (pos != plain.size())
      return std::nullopt;
  }
  // strtof rounds the decimal value once, to nearest, straight to single
  // precision (a detour through double could round twice). Out of range it
  // returns an infinity or a (possibly zero) subnormal, which is what the
  // rounding gives; ERANGE is not an error here.
  return std::strtof(plain.c_str(), nullptr);
}

std::optional<int> parse_integer(std::string_view text) {
  // from_chars takes a minus sign but no plus sign.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
      return std::nullopt;
  }
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::optional<arguments> parse_command_line(std::span<const std::string> args) {
  std::string text;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0)
      text += ' ';
    text += args[i];
  }
  const auto values = split_values(text);
  if (!values || values->size() < 5)
    return std::nullopt;
  const auto& v = *values;
  const auto dx = parse_real(v[2]);
  const auto dy = parse_real(v[3]);
  const auto log = parse_integer(v[4]);
  if (!dx || !dy || !log)
    return std::nullopt;
  return arguments{v[0], v[1], *dx, *dy, *log};
}

}  // namespace tervox
