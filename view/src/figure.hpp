// A drawing surface for the pictures, through cairo: PNG, SVG or PDF as the
// output's extension says, text in a real font (DejaVu Sans where it is
// installed, fontconfig's nearest match otherwise), anti-aliased lines and
// text, and blocks of cells copied pixel for pixel.
//
// Coordinates are pixels from the top-left corner (points in SVG and PDF).
// An SVG gets the figure's texts also as its <title> and <desc>, since
// cairo draws letters as shapes: so the figure can be searched and read
// aloud, and its texts checked.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

#include "colour.hpp"

namespace tervox::view {

enum class figure_format { png, svg, pdf };

/// The format that `path`'s extension names (.png, .svg or .pdf, in any
/// case). Throws diagnostic_error for any other.
figure_format format_of(const std::string& path);

enum class align { left, centre, right };

/// Where a text went: the rectangle of its line, from the left of its first
/// letter to the advance of its last, from the font's ascent to its descent,
/// in pixels from the top-left corner (turned for upright text).
struct text_box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::string text;
};

class figure {
 public:
  figure(int width, int height, figure_format format);
  ~figure();
  figure(const figure&) = delete;
  figure& operator=(const figure&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

  /// The rectangle x0 <= x < x1, y0 <= y < y1.
  void fill(double x0, double y0, double x1, double y1, rgb c);
  /// A one-pixel line around the rectangle x0 <= x < x1, y0 <= y < y1, just
  /// outside it.
  void frame(double x0, double y0, double x1, double y1, rgb c);
  /// A disc, `opacity` from 0 (clear) to 1.
  void disc(double cx, double cy, double radius, rgb c, double opacity);

  /// Pixels of `columns` x `rows` colours, row by row from the top, drawn
  /// at (x, y) with each one `sx` x `sy` pixels (fractions allowed),
  /// sharp-edged.
  void cells(const std::vector<rgb>& colours, int columns, int rows, double x, double y, double sx,
             double sy);

  /// Text of height `size` (pixels) with the top of its line at `top`,
  /// starting, centred or ending at x; `upright` turns it a quarter turn
  /// anticlockwise, to read upwards, centred on (x, top).
  void text(double x, double top, std::string_view s, double size, align a);
  void upright_text(double x, double centre_y, std::string_view s, double size);
  double text_width(std::string_view s, double size);
  /// The height of a line of text of `size`: the font's ascent and descent.
  double text_height(double size);

  /// Every text drawn so far, where it went: so that the layout can be
  /// checked against what a reader sees.
  const std::vector<text_box>& text_boxes() const { return boxes_; }

  /// The figure's title, for the SVG <title>.
  void set_title(std::string title) { title_ = std::move(title); }

  /// Writes the figure to `path`, complete or not at all. Throws diagnostic_error.
  void save(const std::string& path);

 private:
  void set_colour(rgb c, double opacity = 1);
  void set_font(double size);

  int width_, height_;
  figure_format format_;
  std::string bytes_;  // what the SVG and PDF surfaces have written
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::string title_;
  std::vector<std::string> texts_;
  std::vector<text_box> boxes_;
};

}  // namespace tervox::view
