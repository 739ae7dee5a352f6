// The one kind of failure tervox-view reports: a complete message that names
// the file (and where it helps the line and the value) concerned. Whatever
// goes wrong deep in reading or drawing unwinds to the command, which prints
// it once and exits with status 1.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tervox::view {

class view_error : public std::runtime_error {
 public:
  explicit view_error(const std::string& what) : std::runtime_error(what) {}
};

/// "file:line: " or "file: " when the line is 0.
inline std::string where(std::string_view file, std::int64_t line = 0) {
  std::string text(file);
  if (line > 0) {
    text += ':';
    text += std::to_string(line);
  }
  text += ": ";
  return text;
}

/// A piece of file text as it appears in a message: quoted, control
/// characters shown as '?', and cut after `limit` characters.
inline std::string shown(std::string_view text, std::size_t limit = 24) {
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

}  // namespace tervox::view
