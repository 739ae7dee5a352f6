// Small grids written as tervox writes them (its own mesh and number-form
// writers), and PNG files decoded back through libpng, for the tests of
// tervox-view.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "colour.hpp"

namespace tervox::view::testing {

struct grid_fixture {
  int nx = 0, ny = 0;
  float xmin = 0, ymin = 0, dx = 1, dy = 1;
  std::vector<float> dz;  ///< the nlayer-1 thicknesses of a soundings file
  /// The value of layer k (from 1) of cell (ix, iy), and whether the cell is
  /// filled (written in the short form with the fill value -100).
  std::function<float(int ix, int iy, int k)> value;
  std::function<bool(int ix, int iy)> filled = [](int, int) { return false; };

  int nlayer() const { return static_cast<int>(dz.size()) + 1; }
  std::string mesh_text() const;
  std::string volume_text() const;
  /// Writes the volume at `volume` and its mesh at `volume` + ".mesh".
  void write(const std::filesystem::path& volume) const;
};

struct decoded_png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  ///< RGB, rows top to bottom
  rgb at(int x, int y) const;
};

/// Decodes an 8-bit RGB reading of the PNG file; fails the test when libpng
/// cannot read it.
decoded_png read_png(const std::filesystem::path& file);

/// The colour map entry of `c`, or -1 when `c` is not in the map.
int map_index(rgb c);

}  // namespace tervox::view::testing
