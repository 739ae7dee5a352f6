#include "plain/plain_volume.hpp"

#include <cstddef>
#include <limits>
#include <triang/triang.hpp>

#include "formats/volume_line.hpp"

namespace tervox_test {

using tervox::driver::back_transform;
using tervox::driver::cell_centre;
using tervox::driver::fill_value;
using tervox::driver::layer_set;
using tervox::formats::long_line_size;
using tervox::formats::put_long;
using tervox::formats::put_short;

namespace {

// True when (px, py) lies farther than `limit` from every sounding.
bool far_from_every_sounding(const node_data& nodes, float px, float py, float limit) {
  const double limit_sq = static_cast<double>(limit) * static_cast<double>(limit);
  for (std::size_t i = 0; i < nodes.xloc.size(); ++i) {
    const double dx = static_cast<double>(nodes.xloc[i]) - static_cast<double>(px);
    const double dy = static_cast<double>(nodes.yloc[i]) - static_cast<double>(py);
    if (dx * dx + dy * dy <= limit_sq)
      return false;
  }
  return true;
}

// Where a layer of a layer set comes from: the set, and the layer's place
// among the set's layers.
struct own_layer {
  const layer_set* set = nullptr;
  int index = 0;  // from 1
};

// The value of layer `own` at (px, py) from its set's own soundings, by one
// interpolation call with `istart` carried through the layer's pass; NaN
// where a survey of the set's soundings alone would fill the cell. False if
// point location reported a broken structure.
bool own_value(const own_layer& own, float px, float py, const volume_masks& masks, double top,
               int& istart, float& value) {
  const node_data& nodes = own.set->nodes;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  if (nodes.iadj.empty()) {
    value = nan;
    return true;
  }
  const int from = istart;
  int ier = 0;
  triang::intrc0(nodes.nsound, px, py, nodes.xloc, nodes.yloc, nodes.layer(own.index), nodes.iadj,
                 nodes.iend, istart, value, ier);
  if (ier == triang::intrc0_ier::broken)
    return false;
  if (ier == triang::intrc0_ier::exterior)
    value = nan;
  if (ier != triang::intrc0_ier::inside)
    return true;
  if (masks.max_distance > 0 && far_from_every_sounding(nodes, px, py, masks.max_distance)) {
    value = nan;
  } else if (!own.set->doi.empty()) {
    int doi_start = from;
    float depth = 0.0f;
    int doi_ier = 0;
    triang::intrc0(nodes.nsound, px, py, nodes.xloc, nodes.yloc, own.set->doi, nodes.iadj,
                   nodes.iend, doi_start, depth, doi_ier);
    if (top > static_cast<double>(depth))
      value = nan;
  }
  return true;
}

}  // namespace

bool interpolate_volume(const node_data& nodes, const grid& g, bool log_mode,
                        std::vector<float>& dat3d, const volume_masks& masks) {
  const int nx = g.nx > 0 ? g.nx : 0;
  const int ny = g.ny > 0 ? g.ny : 0;
  const float fill = fill_value(log_mode);
  dat3d.assign(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) *
                   static_cast<std::size_t>(nodes.nlayer),
               0.0f);
  std::vector<own_layer> own(static_cast<std::size_t>(nodes.nlayer));
  for (const layer_set& set : masks.layer_sets) {
    for (std::size_t j = 0; j < set.layers.size(); ++j)
      own[static_cast<std::size_t>(set.layers[j] - 1)] = {&set, static_cast<int>(j) + 1};
  }

  // One start node for the whole run: each search starts where the previous
  // one ended, across rows and layers alike.
  int istart = 1;
  std::size_t at = 0;
  for (int k = 1; k <= nodes.nlayer; ++k) {
    const std::span<const float> z = nodes.layer(k);
    const double top = masks.tops.empty() ? 0.0 : masks.tops[static_cast<std::size_t>(k - 1)];
    const own_layer& from_set = own[static_cast<std::size_t>(k - 1)];
    // A layer of a set has a pass of its own over its set's soundings, from
    // their node 1.
    int own_start = 1;
    for (int iy = 1; iy <= ny; ++iy) {
      const float py = cell_centre(iy, g.dy, g.ymin);
      for (int ix = 1; ix <= nx; ++ix, ++at) {
        const float px = cell_centre(ix, g.dx, g.xmin);
        float pz = 0.0f;
        int ier = 0;
        const int from = istart;
        triang::intrc0(nodes.nsound, px, py, nodes.xloc, nodes.yloc, z, nodes.iadj, nodes.iend,
                       istart, pz, ier);
        if (ier == triang::intrc0_ier::broken)
          return false;
        // Only an exterior answer is replaced; the value the routine
        // extrapolated from the boundary is discarded.
        dat3d[at] = ier == triang::intrc0_ier::exterior ? fill : pz;
        bool filled = ier == triang::intrc0_ier::exterior;
        if (ier == triang::intrc0_ier::inside && masks.max_distance > 0 &&
            far_from_every_sounding(nodes, px, py, masks.max_distance)) {
          dat3d[at] = fill;
          filled = true;
        } else if (ier == triang::intrc0_ier::inside && !masks.doi.empty()) {
          // The same call on the depths, from the same start node, finds the
          // same triangle.
          int doi_start = from;
          float depth = 0.0f;
          int doi_ier = 0;
          triang::intrc0(nodes.nsound, px, py, nodes.xloc, nodes.yloc, masks.doi, nodes.iadj,
                         nodes.iend, doi_start, depth, doi_ier);
          if (top > static_cast<double>(depth))
            dat3d[at] = std::numeric_limits<float>::quiet_NaN();
        }
        // Every cell takes its step along the set's pass; a filled cell
        // keeps the fill value.
        if (from_set.set != nullptr) {
          float value = 0.0f;
          if (!own_value(from_set, px, py, masks, top, own_start, value))
            return false;
          if (!filled)
            dat3d[at] = value;
        }
      }
    }
  }
  for (float& v : dat3d) v = back_transform(v, log_mode);
  return true;
}

void write_volume(output_file& file, std::span<const float> dat3d, const grid& g, int nlayer,
                  float fill) {
  const std::size_t nx = g.nx > 0 ? static_cast<std::size_t>(g.nx) : 0;
  const std::size_t ny = g.ny > 0 ? static_cast<std::size_t>(g.ny) : 0;
  const std::size_t layers = static_cast<std::size_t>(nlayer);
  const std::size_t layer_size = nx * ny;
  std::vector<char> line(long_line_size * layers);
  for (std::size_t iy = 0; iy < ny && !file.failed(); ++iy) {
    for (std::size_t ix = 0; ix < nx; ++ix) {
      const std::size_t cell = iy * nx + ix;
      // The form is chosen from layer 1 alone and holds for the whole cell. A
      // NaN never equals the fill value.
      const bool filled = dat3d[cell] == fill;
      char* p = line.data();
      for (std::size_t k = 0; k < layers; ++k) {
        const float v = dat3d[k * layer_size + cell];
        p = filled ? put_short(p, v) : put_long(p, v);
      }
      file.write(line.data(), static_cast<std::size_t>(p - line.data()));
    }
  }
}

bool plain_volume(const node_data& nodes, const grid& g, bool log_mode, output_file& file,
                  const volume_masks& masks) {
  std::vector<float> dat3d;
  if (!interpolate_volume(nodes, g, log_mode, dat3d, masks))
    return false;
  write_volume(file, dat3d, g, nodes.nlayer, back_transform(fill_value(log_mode), log_mode));
  return true;
}

}  // namespace tervox_test
