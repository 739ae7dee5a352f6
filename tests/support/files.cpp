#include "support/files.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tervox_test {

temp_folder::temp_folder(bool in_memory) {
  const std::filesystem::path shm = "/dev/shm";
  std::error_code ec;
  const std::filesystem::path base =
      in_memory && std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
          ? shm
          : std::filesystem::temp_directory_path();
  std::string pattern = (base / "tervox-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  path_ = pattern;
}

temp_folder::~temp_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> list_entries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    std::string name = std::filesystem::relative(e.path(), folder).string();
    if (e.is_directory())
      name += '/';
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  if (!out)
    throw std::runtime_error("cannot write " + file.string());
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

}  // namespace tervox_test
