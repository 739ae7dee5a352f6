// The grid as a VTK XML rectilinear grid (.vtr), which ParaView, PyVista and
// VTK itself open directly.
//
//   * points: the cell edges, x and y from the mesh, z = minus the depth (z
//     points up, the surface is at z = 0), all Float64;
//   * cell data "value" (Float32): the volume's values, not-a-number in
//     filled cells and where the file holds no number;
//   * cell data "filled" (UInt8): 1 in filled cells, 0 elsewhere, for the
//     thresholds and volume renderings that do not cope with not-a-number.
//
// VTK wants every coordinate array increasing, or it cannot locate points in
// the grid (probes, resampling, picking). So z runs upwards from the bottom
// of the deepest layer, and the cells of the last layer come first: VTK's
// cell order is x fastest, then y, then z from the bottom. The data is
// appended raw after the XML header, each array preceded by its size in
// bytes as a UInt64.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/output_file.hpp"
#include "formats/mesh_file.hpp"

namespace tervox::view {

/// A whole volume in VTK's cell order.
struct vtk_volume {
  std::vector<float> value;          ///< nx*ny*nlayer, x fastest, z upwards
  std::vector<std::uint8_t> filled;  ///< nx*ny, x fastest: the same in every layer
};

/// Reads the volume file at `path` into VTK's cell order. Throws diagnostic_error.
vtk_volume read_vtk_volume(const std::string& path, const formats::mesh& m);

/// Writes the grid to `path`, complete or not at all. Throws diagnostic_error when
/// the layer depths are unknown (see layer_depths).
base::io_result write_vtr(const std::string& path, const formats::mesh& m, const vtk_volume& v);

}  // namespace tervox::view
