// Small grids written as tervox writes them (its own mesh and number-form
// writers), for the tests of the readers and of tervox-view.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tervox_test {

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

}  // namespace tervox_test
