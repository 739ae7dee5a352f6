#include "vtr_file.hpp"

#include <bit>
#include <cstdint>
#include <vector>

#include "base/output_file.hpp"
#include "formats/volume_file.hpp"

namespace tervox::view {

using base::diagnostic_error;
using base::io_result;
using base::output_file;
using formats::layer_depths;
using formats::mesh;
using formats::read_volume;
using formats::volume_request;

namespace {

// A whole volume in VTK's cell order.
struct vtk_volume {
  std::vector<float> value;          ///< nx*ny*nlayer, x fastest, z upwards
  std::vector<std::uint8_t> filled;  ///< nx*ny, x fastest: the same in every layer
};

// Arrays are written in the machine's own byte order, and the header says
// which that is.
constexpr const char* byte_order =
    std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian";

void write_block(output_file& file, const void* data, std::uint64_t bytes) {
  file.write(reinterpret_cast<const char*>(&bytes), sizeof bytes);
  file.write(static_cast<const char*>(data), static_cast<std::size_t>(bytes));
}

vtk_volume read_vtk_volume(const std::string& path, const mesh& m) {
  vtk_volume v;
  const auto plane = static_cast<std::size_t>(m.cells());
  v.value.resize(plane * static_cast<std::size_t>(m.nlayer));
  v.filled.resize(plane);
  const auto nx = static_cast<std::size_t>(m.nx);
  read_volume(path, m, volume_request::everything(m),
              [&](int ix, int iy, bool filled, std::span<const float> values) {
                const std::size_t cell =
                    static_cast<std::size_t>(iy - 1) * nx + static_cast<std::size_t>(ix - 1);
                v.filled[cell] = filled ? 1 : 0;
                // Layer k (from 1) is plane nlayer - k, counted from the bottom.
                for (std::size_t k = 0; k < values.size(); ++k)
                  v.value[(values.size() - 1 - k) * plane + cell] = values[k];
              });
  return v;
}

io_result write_file(const std::string& path, const mesh& m, const std::vector<double>& depth,
                     const vtk_volume& v) {
  std::vector<double> x, y, z;
  for (int i = 0; i <= m.nx; ++i) x.push_back(m.x_edge(i));
  for (int i = 0; i <= m.ny; ++i) y.push_back(m.y_edge(i));
  for (auto d = depth.rbegin(); d != depth.rend(); ++d) z.push_back(*d == 0 ? 0.0 : -*d);

  const std::uint64_t plane = v.filled.size();
  const std::uint64_t value_bytes = v.value.size() * sizeof(float);
  const std::uint64_t filled_bytes = plane * static_cast<std::uint64_t>(m.nlayer);
  const std::uint64_t x_bytes = x.size() * sizeof(double);
  const std::uint64_t y_bytes = y.size() * sizeof(double);
  const std::uint64_t header = sizeof(std::uint64_t);
  const std::uint64_t offsets[] = {0, header + value_bytes, 2 * header + value_bytes + filled_bytes,
                                   3 * header + value_bytes + filled_bytes + x_bytes,
                                   4 * header + value_bytes + filled_bytes + x_bytes + y_bytes};

  const std::string extent =
      "0 " + std::to_string(m.nx) + " 0 " + std::to_string(m.ny) + " 0 " + std::to_string(m.nlayer);
  const auto array = [&](const char* type, const char* name, std::uint64_t offset) {
    return std::string("        <DataArray type=\"") + type + "\" Name=\"" + name +
           "\" format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
  };
  std::string xml;
  xml += "<?xml version=\"1.0\"?>\n";
  xml += std::string("<VTKFile type=\"RectilinearGrid\" version=\"1.0\" byte_order=\"") +
         byte_order + "\" header_type=\"UInt64\">\n";
  xml += "  <RectilinearGrid WholeExtent=\"" + extent + "\">\n";
  xml += "    <Piece Extent=\"" + extent + "\">\n";
  xml += "      <CellData Scalars=\"value\">\n";
  xml += array("Float32", "value", offsets[0]);
  xml += array("UInt8", "filled", offsets[1]);
  xml += "      </CellData>\n";
  xml += "      <Coordinates>\n";
  xml += array("Float64", "x", offsets[2]);
  xml += array("Float64", "y", offsets[3]);
  xml += array("Float64", "z", offsets[4]);
  xml += "      </Coordinates>\n";
  xml += "    </Piece>\n";
  xml += "  </RectilinearGrid>\n";
  xml += "  <AppendedData encoding=\"raw\">\n   _";

  output_file file(path);
  if (auto r = file.open(); !r.ok())
    return r;
  file.write(xml);
  write_block(file, v.value.data(), value_bytes);
  file.write(reinterpret_cast<const char*>(&filled_bytes), sizeof filled_bytes);
  for (int k = 0; k < m.nlayer && !file.failed(); ++k)
    file.write(reinterpret_cast<const char*>(v.filled.data()), v.filled.size());
  write_block(file, x.data(), x_bytes);
  write_block(file, y.data(), y_bytes);
  write_block(file, z.data(), z.size() * sizeof(double));
  file.write("\n  </AppendedData>\n</VTKFile>\n");
  return file.commit();
}

}  // namespace

void write_vtr(const std::string& path, const std::string& volume, const mesh& m,
               const grid_options&) {
  const std::vector<double> depth = layer_depths(m);
  const vtk_volume v = read_vtk_volume(volume, m);
  if (const io_result r = write_file(path, m, depth, v); !r.ok())
    throw diagnostic_error(r.problem);
}

}  // namespace tervox::view
