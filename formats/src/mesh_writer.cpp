#include "mesh.hpp"

#include <cassert>

#include "fixed_field.hpp"

namespace tervox {
namespace {

// The text of a cell size: an 8-character field with 3 decimals, stripped of
// its leading blanks so that it joins the "*" directly.
std::string size_text(float size) {
  const std::string field = fixed_real(static_cast<double>(size), 8, 3);
  const auto first = field.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : field.substr(first);
}

}  // namespace

std::string mesh_text(const mesh_description& m) {
  assert(m.nlayer >= 1 && m.dz.size() == static_cast<std::size_t>(m.nlayer - 1));
  std::string text;
  text += fixed_int(m.g.nx, 5) + fixed_int(m.g.ny, 5) + fixed_int(m.nlayer, 5) + "\n";
  text += fixed_real(static_cast<double>(m.g.xmin), 12, 1) +
          fixed_real(static_cast<double>(m.g.ymin), 12, 1) + fixed_real(0.0, 4, 1) + "\n";
  text += fixed_int(m.g.nx, 3) + "*" + size_text(m.dx) + "\n";
  text += fixed_int(m.g.ny, 3) + "*" + size_text(m.dy) + "\n";

  for (const float thickness : m.dz) text += fixed_real(static_cast<double>(thickness), 8, 2);
  // The last layer has no thickness in the soundings file; it is drawn half
  // as thick again as the one above it. The product stays in double and is
  // formatted from there (1.5 * 1.91f gives 2.86, where the product rounded
  // to single precision would give 2.87). With one layer there is no
  // thickness at all, and the layer is written as 1.00 thick.
  const double last = m.dz.empty() ? 1.0 : 1.5 * static_cast<double>(m.dz.back());
  text += fixed_real(last, 8, 2) + "\n";
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
