#include "grid_fixture_support.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include "driver/run_tool_support.hpp"
#include "mesh.hpp"
#include "number_format.hpp"

namespace tervox::view::testing {

std::string grid_fixture::mesh_text() const {
  mesh_description d;
  d.g = {xmin, ymin, nx, ny};
  d.dx = dx;
  d.dy = dy;
  d.nlayer = nlayer();
  d.dz = dz;
  return tervox::mesh_text(d);
}

std::string grid_fixture::volume_text() const {
  std::string text;
  char line[long_line_size];
  for (int iy = 1; iy <= ny; ++iy) {
    for (int ix = 1; ix <= nx; ++ix) {
      const bool short_form = filled(ix, iy);
      for (int k = 1; k <= nlayer(); ++k) {
        char* end = short_form ? put_short(line, -100.0f) : put_long(line, value(ix, iy, k));
        text.append(line, static_cast<std::size_t>(end - line));
      }
    }
  }
  return text;
}

void grid_fixture::write(const std::filesystem::path& volume) const {
  tervox::testing::write_file(volume, volume_text());
  tervox::testing::write_file(volume.string() + ".mesh", mesh_text());
}

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

}  // namespace tervox::view::testing
