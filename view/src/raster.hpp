// An RGB picture in memory and the few drawing operations the pictures need:
// rectangles, discs and text in a small built-in bitmap font.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "colour.hpp"

namespace tervox::view {

class image {
 public:
  image(int width, int height, rgb background);

  int width() const { return width_; }
  int height() const { return height_; }
  /// Rows top to bottom, 3 bytes per pixel.
  const std::uint8_t* row(int y) const { return pixels_.data() + offset(0, y); }

  rgb at(int x, int y) const;
  /// Pixels outside the picture are ignored, so shapes may run over its edge.
  void set(int x, int y, rgb c);
  /// The pixels x0 <= x < x1, y0 <= y < y1.
  void fill(int x0, int y0, int x1, int y1, rgb c);
  /// A one-pixel line around the rectangle x0 <= x < x1, y0 <= y < y1, just
  /// outside it.
  void frame(int x0, int y0, int x1, int y1, rgb c);
  void disc(double cx, double cy, double radius, rgb c);

 private:
  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
            static_cast<std::size_t>(x)) *
           3;
  }

  int width_, height_;
  std::vector<std::uint8_t> pixels_;
};

/// The font: 5 x 7 dots in a cell of 6 x 7, each dot `scale` pixels square.
/// It has the digits, the letters (small ones drawn as capitals), blank and
/// . , - + : ( ) /; other characters are drawn as a blank.
struct font {
  int scale = 1;
  int advance() const { return 6 * scale; }
  int height() const { return 7 * scale; }
  int width(std::string_view text) const {
    return text.empty() ? 0 : static_cast<int>(text.size()) * advance() - scale;
  }
};

/// Draws `text` with its top-left corner at (x, y).
void draw_text(image& img, const font& f, int x, int y, std::string_view text, rgb c);

}  // namespace tervox::view
