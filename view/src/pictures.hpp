// The two pictures: a map of one layer (a depth slice) and a vertical section
// along one row or column of cells, each with axes, a title and a colour bar.
//
//   +------------------------------------------------------+
//   | title                                                |
//   |        +-----------------+   +--+                 u  |
//   |  name  |                 |   |  | tick labels     n  |
//   |  ticks |      plot       |   |  |                 i  |
//   |        +-----------------+   +--+                 ts |
//   |          tick labels                                 |
//   |             name             [] no data              |
//   +------------------------------------------------------+
//
// A map is drawn north up (row iy = 1 at the bottom) and to scale: a cell
// of 400 x 100 m is four times as wide as it is tall. A section has x
// (along a row) or y (along a column) across and depth downwards, every
// layer as tall as its share of the total depth. The places of the parts
// depend only on the sizes and the text size, not on the font's measures,
// so the cells are where the layout says in every format and with every
// version of the font. Which ticks are labelled is measured with the font:
// as many as keep their labels apart.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "colour.hpp"
#include "figure.hpp"
#include "formats/mesh_file.hpp"

namespace tervox::view {

/// Where the parts of a picture go, in pixels from the top-left corner.
struct layout {
  int width = 0, height = 0;
  int plot_x = 0, plot_y = 0, plot_w = 0, plot_h = 0;  ///< the cells
  int bar_x = 0, bar_w = 0;                            ///< the colour bar, from plot_y down
  int bar_h = 0;         ///< as tall as the plot, but never too short for its labels
  double text_size = 0;  ///< pixels
  int line = 0;          ///< the height of a line of text
  int char_w = 0;        ///< room kept per character of a label
  int pad = 0, tick = 0;
};

/// The layout of a map of nx x ny cells of dx x dy, drawn to scale:
/// `cell_pixels` across each cell (its height to scale), or when 0 the
/// longer side of the drawing default_plot_pixels long and neither side
/// shorter than min_plot_pixels (a grid of one row stays readable).
/// `units` makes room for the colour bar's label.
/// `length_unit` makes room for the unit beside the vertical axis's name.
layout slice_layout(int nx, int ny, double dx, double dy, int cell_pixels, bool units = false,
                    const std::string& length_unit = "");
/// A section of `cells` cells across, `cell_pixels` each (0: the drawing
/// default_plot_pixels across), and `height` pixels deep.
layout section_layout(int cells, int cell_pixels, int height, bool units = false,
                      const std::string& length_unit = "");

/// The longer side of a drawing when no pixels per cell are asked for.
inline constexpr int default_plot_pixels = 1000;
/// The shortest side of a drawing when no pixels per cell are asked for.
inline constexpr int min_plot_pixels = 160;

struct picture_options {
  /// Linear or logarithmic; automatic decides from the values shown.
  scale_kind scale = scale_kind::automatic;
  std::optional<value_range> range;  ///< the colour range, if fixed
  std::string units;                 ///< the label of the colour bar
  /// The unit of x, y and depth ("m"), after the axes' names; none claimed
  /// when empty.
  std::string length_unit;
  std::string crs_name;  ///< the coordinate system, in the title when known
  int cell_pixels = 0;   ///< 0: the default size
  int height = 300;      ///< a section's depth in pixels
  figure_format format = figure_format::png;
  std::string what;  ///< what the values are, leading messages ("survey.vol: ")
  /// The depth a map was asked for, in its title ahead of the layer.
  std::optional<double> depth;
};

/// The layer (from 1) whose depths [top, bottom) hold `depth`: a depth on a
/// boundary belongs to the deeper layer. Throws diagnostic_error, starting
/// with `what` and naming the depth and the volume's depths, for a depth
/// above the surface or at or below the last layer's bottom, and when the
/// thicknesses are unknown.
int layer_at_depth(const formats::mesh& m, double depth, const std::string& what = "");

/// One place a section along a line takes its values from: `distance` along
/// the line from its start, at (x, y), in cell (ix, iy) from 1, or ix = iy =
/// 0 off the grid.
struct line_sample {
  double distance = 0, x = 0, y = 0;
  int ix = 0, iy = 0;
};

/// The samples of a polyline through `points` (x, y): from its start every
/// min(dx, dy) along its length, the last no further than its end. Each
/// takes the cell whose area holds it; a point on the grid's far edge takes
/// the last cell. Throws diagnostic_error, starting with `what`, for fewer
/// than two points, a line of no length, and a line wholly off the grid.
std::vector<line_sample> line_samples(const formats::mesh& m,
                                      std::span<const std::pair<double, double>> points,
                                      const std::string& what = "");

/// The length of the polyline through `points`.
double line_length(std::span<const std::pair<double, double>> points);

/// Both drawings throw diagnostic_error, starting with `what`, when the drawing
/// would be more than 16384 pixels along a side.

/// A map of layer `layer` (from 1): `values` holds nx*ny values, x fastest,
/// row iy = 1 first, not-a-number where there is no value. `dots` are (x, y)
/// locations drawn as small dark dots over the colours, smaller where they
/// lie closer together; those off the grid are left out.
std::unique_ptr<figure> draw_slice(const formats::mesh& m, int layer, std::span<const float> values,
                                   std::span<const std::pair<double, double>> dots,
                                   const picture_options& o);

/// A section along row `index` (along_row) or column `index`: `values`
/// holds nlayer values per cell, layer fastest, cells in order of increasing
/// x (or y). Throws diagnostic_error when the layer depths are unknown.
std::unique_ptr<figure> draw_section(const formats::mesh& m, bool along_row, int index,
                                     std::span<const float> values, const picture_options& o);

/// A section along the polyline through `points`, sampled by line_samples:
/// `values` holds nlayer values per sample, layer fastest, not-a-number
/// where a sample is off the grid. The horizontal axis is the distance along
/// the line. Throws diagnostic_error when the layer depths are unknown.
std::unique_ptr<figure> draw_line_section(const formats::mesh& m,
                                          std::span<const std::pair<double, double>> points,
                                          std::span<const line_sample> samples,
                                          std::span<const float> values, const picture_options& o);

/// The radius of the sounding dots at (x, y) pixels: a quarter of the
/// usual distance between a dot and its nearest neighbour, between half a
/// pixel and 2.5 pixels, so that dots along a line stay apart.
double dot_radius(std::span<const std::pair<double, double>> pixels);

}  // namespace tervox::view
