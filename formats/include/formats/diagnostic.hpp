// The one kind of failure tervox-view reports: a complete message that names
// the file (and where it helps the line and the value) concerned. Whatever
// goes wrong deep in reading or drawing unwinds to the command, which prints
// it once and exits with status 1.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
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

/// Refuses a directory given where a file is expected: Linux opens one as a
/// stream that reads nothing. `what` names the file ("mesh file").
inline void refuse_directory(const std::string& path, std::string_view what) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw view_error(where(path) + "cannot read the " + std::string(what) + ": it is a directory");
}

/// Opens the file at `path` for reading; `what` names it in messages.
inline std::ifstream open_input(const std::string& path, std::string_view what) {
  refuse_directory(path, what);
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open())
    throw view_error(where(path) + "cannot open the " + std::string(what) + ": " +
                     std::strerror(errno));
  return in;
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
