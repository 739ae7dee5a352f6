// The two pictures: a map of one layer (a depth slice) and a vertical section
// along one row or column of cells, each with axes, a title and a colour bar.
//
//   +--------------------------------------------------+
//   | title                                            |
//   |        +-----------------+   +--+                |
//   |  name  |                 |   |  | tick labels    |
//   |  ticks |      plot       |   |  |                |
//   |        +-----------------+   +--+                |
//   |          tick labels                             |
//   |             name             [] NO DATA          |
//   +--------------------------------------------------+
//
// A map is drawn north up: row iy = 1 at the bottom. Each cell is a square
// of cell_pixels. A section has x (along a row) or y (along a column) across
// and depth downwards, every layer as tall as its share of the total depth.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "colour.hpp"
#include "formats/mesh_file.hpp"
#include "raster.hpp"

namespace tervox::view {

/// Where the parts of a picture go, in pixels from the top-left corner.
struct layout {
  int width = 0, height = 0;
  int plot_x = 0, plot_y = 0, plot_w = 0, plot_h = 0;  ///< the cells
  int bar_x = 0, bar_w = 0;                            ///< the colour bar, as tall as the plot
  font text;
  int pad = 0, tick = 0;
};

/// The layout of a map of nx x ny cells and of a section of `cells` cells
/// across and `height` pixels deep.
layout slice_layout(int nx, int ny, int cell_pixels);
layout section_layout(int cells, int cell_pixels, int height);

/// Pixels per cell when none is asked for: as many as keep the drawing of
/// `cells` across (and down) within about 600 pixels, between 1 and 16.
int default_cell_pixels(int cells);

struct picture_options {
  scale_kind scale = scale_kind::automatic;
  int cell_pixels = 0;  ///< 0: default_cell_pixels
  int height = 300;     ///< a section's depth in pixels
  std::string what;     ///< what the values are, leading messages ("survey.vol: ")
};

/// Both drawings throw diagnostic_error, starting with `what`, when the drawing
/// would be more than 16384 pixels along a side.

/// A map of layer `layer` (from 1): `values` holds nx*ny values, x fastest,
/// row iy = 1 first, not-a-number where there is no value. `dots` are (x, y)
/// locations drawn as black dots; those off the grid are left out.
image draw_slice(const mesh& m, int layer, std::span<const float> values,
                 std::span<const std::pair<double, double>> dots, const picture_options& o);

/// A section along row `index` (along_row) or column `index`: `values`
/// holds nlayer values per cell, layer fastest, cells in order of increasing
/// x (or y). Throws diagnostic_error when the layer depths are unknown.
image draw_section(const mesh& m, bool along_row, int index, std::span<const float> values,
                   const picture_options& o);

}  // namespace tervox::view
