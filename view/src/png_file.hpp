// Writing a picture as a PNG file (8-bit RGB, through libpng).
#pragma once

#include <string>

#include "formats/output_file.hpp"
#include "raster.hpp"

namespace tervox::view {

/// Writes `img` to `path`, complete or not at all.
io_result write_png(const std::string& path, const image& img);

}  // namespace tervox::view
