#include "base/files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/diagnostic.hpp"

namespace tervox::base {

bool is_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::int64_t regular_file_size(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return 0;
  return static_cast<std::int64_t>(st.st_size);
}

io_result open_input(const std::string& path, std::string_view what, std::ifstream& in) {
  const std::string kind(what);
  if (is_folder(path))
    return {
        diagnostic::in_file(path, "cannot read the " + kind + ": " + std::string(is_a_directory))};
  in.open(path, std::ios::binary);
  const int error = errno;
  if (!in.is_open())
    return {diagnostic::in_file(path, "cannot open the " + kind + ": " + std::strerror(error))};
  return {};
}

}  // namespace tervox::base
