// The plain sequence of the volume, which the streamed volume must match byte
// for byte: every layer, every row, every cell, one interpolation call per
// value with one start node carried through all calls, the whole
// nx*ny*nlayer volume held in memory, then written cell after cell.
//
// What the comparison checks is the streaming: the blocks and their order in
// the file, the threads, the chains of start nodes, and the argument that one
// point location per cell gives every layer the answer a location per value
// would. What it does not check: this sequence calls the same reader, grid
// placement, ordering, triangulation, cell centres, interpolation weights and
// number forms as tervox, so a fault in any of those is in both and the
// comparison passes. The independent check of those is the CGAL oracle
// (tests/oracle/cgal_whole_run_test.cpp, cgal_interpolation_test.cpp).
#pragma once

#include <span>
#include <vector>

#include "volume.hpp"

namespace tervox_test {

using tervox::base::output_file;
using tervox::driver::node_data;
using tervox::driver::volume_masks;
using tervox::formats::grid;

/// The plain sequence: for every layer, every row and every cell in
/// that order, one interpolation call with one start node carried through all
/// calls; a centre reported exterior gets the fill value. The result is
/// back-transformed in log mode and laid out as dat3d(ix, iy, k) at
/// ((k-1)*ny + (iy-1))*nx + (ix-1). Returns false (and leaves `dat3d`
/// incomplete) if point location reported a broken structure.
/// `masks` are applied in the plainest way: the distance to every sounding
/// of every cell, and the depth of investigation interpolated by its own
/// call from the same start node as the layer's value. A layer of a layer
/// set that the run's call does not fill takes the value of one call over
/// its set's soundings, along a pass of its own that starts at node 1.
bool interpolate_volume(const node_data& nodes, const grid& g, bool log_mode,
                        std::vector<float>& dat3d, const volume_masks& masks = {});

/// Writes a volume laid out as interpolate_volume leaves it. `fill` is the
/// back-transformed fill value.
void write_volume(output_file& file, std::span<const float> dat3d, const grid& g, int nlayer,
                  float fill);

/// Both steps, in the shape of the run's volume method.
bool plain_volume(const node_data& nodes, const grid& g, bool log_mode, output_file& file,
                  const volume_masks& masks = {});

}  // namespace tervox_test
