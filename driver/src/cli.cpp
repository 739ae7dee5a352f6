#include "cli.hpp"

#include "formats/decimal.hpp"

namespace tervox {
namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',';
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
  float v = 0;
  return to_real(text, v) == conversion::ok ? std::optional<float>(v) : std::nullopt;
}

std::optional<int> parse_integer(std::string_view text) {
  int v = 0;
  return to_int(text, v) == conversion::ok ? std::optional<int>(v) : std::nullopt;
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
