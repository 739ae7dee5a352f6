// The mesh file: five lines that describe the grid the volume is laid on.
//
//   1  nx, ny, nlayer                      three 5-character integers
//   2  xmin, ymin, 0.0                     two 12-character reals (1 decimal),
//                                          then 0.0 in 4 characters
//   3  nx*dx                               nx in 3 characters, "*", the text of
//   4  ny*dy                               the size: 8 characters, 3 decimals,
//                                          leading blanks removed
//   5  dz(1) .. dz(nlayer-1), 1.5*dz(nlayer-1)
//                                          nlayer 8-character reals (2 decimals)
//                                          on one line
//
// Values too wide for their fields are written as asterisks.
#pragma once

#include <span>
#include <string>

#include "grid.hpp"
#include "output_file.hpp"

namespace tervox {

struct mesh_description {
  grid g;
  float dx = 0, dy = 0;
  int nlayer = 1;             ///< at least 1
  std::span<const float> dz;  ///< nlayer-1 thicknesses as read
};

/// The five lines of the mesh file, each ending with a line end.
std::string mesh_text(const mesh_description& m);

/// Writes the mesh file at `path`, complete or not at all.
io_result write_mesh(const std::string& path, const mesh_description& m);

}  // namespace tervox
