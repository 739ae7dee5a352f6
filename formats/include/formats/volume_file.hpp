// Reading the volume file: one value per line, layer fastest, then x, then y.
//
// A cell is written in one of two forms in all its layers: the short form
// (8 characters, "-1.0E+02" or " 1.0E-10") when its centre lies outside the
// soundings' hull and it holds the fill value, the long form (11 characters,
// " 1.2346E+02") otherwise. The form, not the value, says which cells are
// filled: -100 is also an ordinary value in linear mode. Values the writer
// spells as words or could not fit ("NaN", "Infinity", "-Infinity", all
// asterisks) are read as not-a-number.
//
// The file is read once, front to back, in large blocks; only the cells and
// layers asked for are converted to numbers, every line is still checked for
// its form, and the line count must be the one the mesh gives.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "formats/mesh_file.hpp"
#include "formats/volume_line.hpp"

namespace tervox::formats {

/// The cells wanted, counted from 1 and inclusive, and the layer: 0 for all
/// of them, or one layer k.
struct volume_request {
  int ix_first = 1, ix_last = 0;
  int iy_first = 1, iy_last = 0;
  int layer = 0;

  static volume_request everything(const mesh& m, int layer = 0) {
    return {1, m.nx, 1, m.ny, layer};
  }
};

/// Called once per wanted cell, in file order. `values` holds the wanted
/// layers (all nlayer of them, or the one asked for); a filled cell's values
/// are not-a-number.
using cell_sink = std::function<void(int ix, int iy, bool filled, std::span<const float> values)>;

/// Reads the volume file at `path` laid out as `m` says. Throws diagnostic_error
/// naming the file and line when the file cannot be read, holds something
/// other than values in the two forms, mixes the forms within one cell, or
/// has more or fewer lines than the mesh describes.
void read_volume(const std::string& path, const mesh& m, const volume_request& request,
                 const cell_sink& sink);

/// Refuses a volume file too small for the lines that `m` describes (each
/// line holds 9 or 12 bytes with its line end), before anything is read or
/// allocated: a mesh that claims many more cells than its volume holds
/// would otherwise have arrays of its size allocated first. Leaves a file
/// whose size cannot be had (missing, not a regular file) to the reader.
/// Throws diagnostic_error.
void check_volume_size(const std::string& path, const mesh& m);

}  // namespace tervox::formats
