#include "grid_fixture_support.hpp"

#include <gtest/gtest.h>
#if TERVOX_VIEW_CAIRO
#  include <cairo.h>
#endif

namespace tervox_test {

using namespace tervox::view;

rgb decoded_png::at(int x, int y) const {
  const std::size_t o = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)) *
                        3;
  return {pixels[o], pixels[o + 1], pixels[o + 2]};
}

#if TERVOX_VIEW_CAIRO
decoded_png read_png(const std::filesystem::path& file) {
  decoded_png out;
  cairo_surface_t* png = cairo_image_surface_create_from_png(file.c_str());
  if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
    ADD_FAILURE() << file << ": " << cairo_status_to_string(cairo_surface_status(png));
    cairo_surface_destroy(png);
    return out;
  }
  out.width = cairo_image_surface_get_width(png);
  out.height = cairo_image_surface_get_height(png);
  const unsigned char* data = cairo_image_surface_get_data(png);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(png));
  for (int y = 0; y < out.height; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    for (int x = 0; x < out.width; ++x) {
      // Opaque pixels, 0xAARRGGBB in the machine's byte order.
      out.pixels.push_back(static_cast<std::uint8_t>(row[x] >> 16));
      out.pixels.push_back(static_cast<std::uint8_t>(row[x] >> 8));
      out.pixels.push_back(static_cast<std::uint8_t>(row[x]));
    }
  }
  cairo_surface_destroy(png);
  return out;
}
#endif

int map_index(rgb c) {
  const auto& map = colour_map();
  for (std::size_t i = 0; i < map.size(); ++i) {
    if (map[i] == c)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tervox_test
