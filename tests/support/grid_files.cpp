#include "support/grid_files.hpp"

#include "formats/mesh_file.hpp"
#include "formats/volume_line.hpp"
#include "support/run_program.hpp"

namespace tervox_test {

using namespace tervox::formats;

std::string grid_fixture::mesh_text() const {
  mesh_description d;
  d.g = {xmin, ymin, nx, ny, dx, dy};
  d.nlayer = nlayer();
  d.dz = dz;
  return tervox::formats::mesh_text(d);
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
  tervox_test::write_file(volume, volume_text());
  tervox_test::write_file(volume.string() + ".mesh", mesh_text());
}

}  // namespace tervox_test
