// The ground elevation's grid (--elevation): each sounding's ground
// elevation interpolated at every cell centre, written beside the volume as
// OUT.elevation in the volume file's line forms, exactly as the volume of a
// one-layer run whose only layer is the elevation would be (see volume.hpp).
//
// It is located over the run's own triangulation, so a cell takes its
// ground from the same triangle as its values, and a cell outside the hull
// (or beyond --max-distance) is a filled cell, in the short form. The
// interpolation is linear whatever the mode: the logarithm of an elevation
// means nothing, and elevations may be negative. A missing elevation (NaN)
// spreads to every cell whose triangle has it, as a missing value does; with
// --skip-missing the ground is gridded from the soundings that have one, as
// a layer with missing values is (layer_sets.hpp). The
// depth of investigation masks layers, not the ground: it leaves this grid
// alone.
//
// What it costs: one more pass over the grid, locating every cell again and
// writing one value per cell, streamed in blocks like the volume.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"
#include "base/output_file.hpp"
#include "formats/soundings.hpp"
#include "layer_sets.hpp"
#include "run.hpp"
#include "volume.hpp"

namespace tervox::driver {

/// --skip-missing: the ground as a set of its own where some soundings lack
/// an elevation (empty otherwise). `s` holds the soundings in file order,
/// missing elevations marked.
layer_sets find_ground_set(const formats::survey& s);

/// Triangulates the soundings of `ground` that have an elevation, from `s`
/// in the run's order (see layer_sets::triangulate); its warnings name the
/// ground elevation.
base::diagnostic triangulate_ground_set(layer_sets& ground, const formats::survey& s,
                                        std::string_view infile,
                                        std::vector<base::diagnostic>& warnings,
                                        progress_meter* meter);

/// Interpolates `elevation` (one per node of `nodes`, in node order) over
/// the triangulation of `nodes` and writes it into `file`, which it opens;
/// `method` in place of the streamed volume where given; `own` is the
/// ground's set under --skip-missing. The fault (a file
/// that cannot be written, a point location that broke down, naming
/// `infile`), or an empty diagnostic.
base::diagnostic write_ground(const node_data& nodes, std::span<const float> elevation,
                              const formats::grid& g, float max_distance,
                              std::span<const layer_set> own, base::output_file& file,
                              const volume_method& method, int threads, std::string_view infile);

}  // namespace tervox::driver
