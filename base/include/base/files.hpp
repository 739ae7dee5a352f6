// Questions both programs ask of a path before they read or write it.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "base/diagnostic.hpp"  // io_result

namespace tervox::base {

/// True when `path` names a folder. Linux opens a folder as a stream that
/// reads nothing, so each reader asks first.
bool is_folder(const std::string& path);

/// True when both names exist and are the same file (hard links included):
/// an output written over an input would destroy it.
bool same_file(const std::string& a, const std::string& b);

/// The size of a regular file; 0 when it is not one or cannot be had.
std::int64_t regular_file_size(const std::string& path);

/// Opens the file at `path` for reading into `in`; `what` names it in
/// diagnostics ("mesh file"). Fails for a folder or a file that does not
/// open.
io_result open_input(const std::string& path, std::string_view what, std::ifstream& in);

}  // namespace tervox::base
