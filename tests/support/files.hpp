// Files for the tests: a throw-away folder, and whole files read and written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tervox_test {

/// A fresh empty folder, removed with its contents at the end of the scope.
class temp_folder {
 public:
  /// `in_memory`: on /dev/shm where it can be written, for the fuzz targets
  /// that make one per input.
  explicit temp_folder(bool in_memory = false);
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// Every entry under `folder`, relative to it, sorted; folders end with '/'.
std::vector<std::string> list_entries(const std::filesystem::path& folder);

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);

/// The lines of `text`, without their line ends; a last line without one
/// counts too.
std::vector<std::string> split_lines(std::string_view text);

}  // namespace tervox_test
