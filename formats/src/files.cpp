#include "formats/files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "formats/diagnostic.hpp"

namespace tervox {

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

std::ifstream open_input(const std::string& path, std::string_view what) {
  if (is_folder(path))
    throw diagnostic_error(
        {path,
         0,
         {},
         {},
         "cannot read the " + std::string(what) + ": " + std::string(is_a_directory)});
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open())
    throw diagnostic_error(
        {path, 0, {}, {}, "cannot open the " + std::string(what) + ": " + std::strerror(errno)});
  return in;
}

}  // namespace tervox
