#include "grid_fixture_support.hpp"

#include <gtest/gtest.h>
#include <png.h>

namespace tervox_test {

using namespace tervox::view;

rgb decoded_png::at(int x, int y) const {
  const std::size_t o = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)) *
                        3;
  return {pixels[o], pixels[o + 1], pixels[o + 2]};
}

decoded_png read_png(const std::filesystem::path& file) {
  decoded_png out;
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&img, file.c_str()) == 0) {
    ADD_FAILURE() << file << ": " << img.message;
    return out;
  }
  img.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(img.width);
  out.height = static_cast<int>(img.height);
  out.pixels.resize(PNG_IMAGE_SIZE(img));
  if (png_image_finish_read(&img, nullptr, out.pixels.data(), 0, nullptr) == 0) {
    ADD_FAILURE() << file << ": " << img.message;
    png_image_free(&img);
    return {};
  }
  return out;
}

int map_index(rgb c) {
  const auto& map = colour_map();
  for (std::size_t i = 0; i < map.size(); ++i) {
    if (map[i] == c)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tervox_test
