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

#include <string>

#include "formats/mesh_file.hpp"
#include "grid_file.hpp"

namespace tervox::view {

/// Writes the grid and the volume file at `volume` to `path`, complete or
/// not at all; the options have nothing a .vtr file records. Throws
/// diagnostic_error, first when the layer depths are unknown (see
/// layer_depths), before the volume is read.
void write_vtr(const std::string& path, const std::string& volume, const formats::mesh& m,
               const grid_options& o);

}  // namespace tervox::view
