#include <cassert>

#include "formats/fixed_field.hpp"
#include "formats/mesh_file.hpp"

namespace tervox {
namespace {

using mesh_fields::field;

std::string put(int v, field f) {
  return fixed_int(v, static_cast<int>(f.width));
}
std::string put(double v, field f) {
  return fixed_real(v, static_cast<int>(f.width), f.decimals);
}

// The text of a cell size: an 8-character field with 3 decimals, stripped of
// its leading blanks so that it joins the "*" directly.
std::string size_text(float size) {
  const std::string field = put(static_cast<double>(size), mesh_fields::cell_size);
  const auto first = field.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : field.substr(first);
}

}  // namespace

std::string mesh_text(const mesh_description& m) {
  assert(m.nlayer >= 1 && m.dz.size() == static_cast<std::size_t>(m.nlayer - 1));
  using namespace mesh_fields;
  std::string text;
  text += put(m.g.nx, count) + put(m.g.ny, count) + put(m.nlayer, count) + "\n";
  text += put(static_cast<double>(m.g.xmin), origin) + put(static_cast<double>(m.g.ymin), origin) +
          put(0.0, origin_z) + "\n";
  text += put(m.g.nx, repeat) + "*" + size_text(m.dx) + "\n";
  text += put(m.g.ny, repeat) + "*" + size_text(m.dy) + "\n";

  for (const float dz : m.dz) text += put(static_cast<double>(dz), thickness);
  // The last layer has no thickness in the soundings file; it is drawn half
  // as thick again as the one above it. The product stays in double and is
  // formatted from there (1.5 * 1.91f gives 2.86, where the product rounded
  // to single precision would give 2.87). With one layer there is no
  // thickness at all, and the layer is written as 1.00 thick.
  const double last = m.dz.empty() ? 1.0 : 1.5 * static_cast<double>(m.dz.back());
  text += put(last, thickness) + "\n";
  return text;
}

io_result write_mesh(const std::string& path, const mesh_description& m) {
  output_file file(path, 4096);
  if (auto r = file.open(); !r.ok())
    return r;
  file.write(mesh_text(m));
  return file.commit();
}

}  // namespace tervox
