// Questions both programs ask of a path before they read or write it.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace tervox {

/// True when `path` names a folder. Linux opens a folder as a stream that
/// reads nothing, so each reader asks first.
bool is_folder(const std::string& path);

/// True when both names exist and are the same file (hard links included):
/// an output written over an input would destroy it.
bool same_file(const std::string& a, const std::string& b);

/// The size of a regular file; 0 when it is not one or cannot be had.
std::int64_t regular_file_size(const std::string& path);

/// Opens the file at `path` for reading; `what` names it in diagnostics
/// ("mesh file"). Throws diagnostic_error for a folder or a file that does
/// not open.
std::ifstream open_input(const std::string& path, std::string_view what);

}  // namespace tervox
