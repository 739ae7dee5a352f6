// PNG files decoded back through cairo, for the tests of tervox-view; the
// grids they are drawn from are support/grid_files.hpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "colour.hpp"
#include "support/grid_files.hpp"

namespace tervox_test {

struct decoded_png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  ///< RGB, rows top to bottom
  tervox::view::rgb at(int x, int y) const;
};

/// Decodes the PNG file as 8-bit RGB; fails the test when cairo cannot read
/// it. Only where the build has cairo.
decoded_png read_png(const std::filesystem::path& file);

/// The colour map entry of `c`, or -1 when `c` is not in the map.
int map_index(tervox::view::rgb c);

}  // namespace tervox_test
