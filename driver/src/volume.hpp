// The volume: every layer interpolated at every cell centre, and the volume
// file that holds it.
//
// The volume file has one value per line, nx*ny*nlayer lines and nothing else:
// the layer index varies fastest, then ix, then iy. A cell whose layer-1 value
// is the fill value (its centre lies outside the soundings' convex hull) is
// written in the short form for all its layers, every other cell in the long
// form (see formats/volume_line.hpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/output_file.hpp"
#include "grid.hpp"
#include "progress.hpp"

namespace tervox::driver {

/// The value of cells whose centre lies outside the triangulation, before the
/// back-transform: -100 in linear mode; in log mode the logarithm of the
/// single-precision 1e-10, rounded to single (about -23.02585).
float fill_value(bool log_mode);

/// The value written for v: v itself in linear mode, exp(v) rounded to single
/// in log mode. The fill value goes through the same transform, so a filled
/// cell holds exactly the transformed fill value.
float back_transform(float v, bool log_mode);

/// Centre of cell i (1-based) along an axis with cell size d and origin min:
/// (i - 0.5)*d + min, evaluated in double and rounded to single.
float cell_centre(int i, float d, float min);

/// The soundings and their triangulation as the interpolation sees them:
/// nodes ordered by increasing x, `dat` layer by layer (possibly logarithms).
struct node_data {
  int nsound = 0;
  int nlayer = 0;
  std::span<const float> xloc, yloc, dat;
  std::span<const int> iadj, iend;

  std::span<const float> layer(int k) const {
    return dat.subspan(static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(nsound),
                       static_cast<std::size_t>(nsound));
  }
};

/// Layers gridded from the soundings that have a value in them alone
/// (--skip-missing): a set of layers whose values are missing at the same
/// soundings, and the triangulation of the soundings left.
///
/// A cell outside the whole survey's hull (in the run's triangulation, or
/// blanked by the distance limit there) is filled in these layers as in every
/// other. Inside it, a layer of the set takes its value from the set's own
/// triangulation, located by a pass of its own over the grid that starts at
/// the set's node 1 for every one of its layers, as a survey of that layer
/// alone would: the cell gets exactly the value that gridding the soundings
/// with a value in the layer on their own would give it. Where that survey
/// would fill the cell (its centre outside the set's hull, or farther than
/// the distance limit from every sounding of the set), the layer is NaN
/// there; the depth of investigation that blanks the layer is interpolated
/// over the set's triangle from the set's own soundings.
struct layer_set {
  /// The soundings with values in these layers, ordered as a survey of them
  /// alone would order them, and their triangulation (iadj and iend empty
  /// when there is none:
  /// fewer than three soundings, or all on one line; the layers are then NaN
  /// inside the hull). nlayer counts the layers of the set, and dat holds
  /// their values, layer by layer in the order of `layers`.
  node_data nodes;
  std::span<const float> doi;   ///< their depths of investigation, with masks.doi; else empty
  std::span<const int> layers;  ///< the layers of the set, numbered from 1, ascending
};

/// Cells and values left out of the volume, beyond those outside the hull,
/// and layers gridded from soundings of their own. Without any (the default)
/// the volume is the plain interpolation.
struct volume_masks {
  /// A cell whose centre lies farther than this from every sounding is
  /// written as a filled cell; 0 for no limit.
  float max_distance = 0;
  /// The depth of investigation of every node (node order, as xloc), or
  /// empty. Layer k of a cell is not-a-number where its top, `tops[k-1]`,
  /// lies deeper than the depth of investigation interpolated at the cell
  /// centre over the same triangle as the layer's values.
  std::span<const float> doi;
  std::span<const double> tops;  ///< nlayer entries, layer 1's top (0) first
  /// Layers that take their values from soundings of their own (see
  /// layer_set); no layer is in two sets. The others come from `nodes`.
  std::span<const layer_set> layer_sets;
};

struct chain_plan;  // volume.cpp

/// The point locations of the volume worked out before its first byte is
/// written: where each layer's chain of start nodes runs, and so which cells
/// layer 1 finds outside the hull. The writer follows it, and it tells the
/// size of the volume file beforehand.
class volume_plan {
 public:
  volume_plan();
  ~volume_plan();
  volume_plan(volume_plan&&) noexcept;
  volume_plan& operator=(volume_plan&&) noexcept;

  /// The size of the volume file: 9 bytes a value for the cells that layer 1
  /// locates outside the hull, 12 for every other cell. Exact, but for cells
  /// that take the short form for another reason (a layer-1 value that is
  /// exactly the fill value, a cell that `masks.max_distance` blanks): the
  /// file is then smaller. Saturates at the largest 64-bit count.
  std::uint64_t file_bytes() const { return bytes_; }

 private:
  friend std::optional<volume_plan> plan_volume(const node_data&, const formats::grid&, int,
                                                std::int64_t, progress_meter*);
  friend bool write_planned_volume(const volume_plan&, const node_data&, const formats::grid&, bool,
                                   base::output_file&, int, progress_meter*, const volume_masks&);
  std::unique_ptr<chain_plan> chains_;
  std::uint64_t bytes_ = 0;
};

/// Locates every cell centre as the streamed volume will, on `threads`
/// threads, with the cells in blocks of `block_cells` cells (0: about a
/// megabyte of text each); nullopt if point location reported a broken
/// structure. A `meter`, when given, hears of the gridding.
std::optional<volume_plan> plan_volume(const node_data& nodes, const formats::grid& g, int threads,
                                       std::int64_t block_cells = 0,
                                       progress_meter* meter = nullptr);

/// Interpolates and writes the volume that `plan` was made for (the same
/// nodes and grid) as stream_volume does; false if point location
/// reported a broken structure.
bool write_planned_volume(const volume_plan& plan, const node_data& nodes, const formats::grid& g,
                          bool log_mode, base::output_file& file, int threads,
                          progress_meter* meter = nullptr, const volume_masks& masks = {});

/// Interpolates and writes the volume in file order with `threads` threads,
/// byte for byte as the plain sequence would (every layer, every
/// row, every cell, one point location per value, one start node carried
/// through all calls, the nx*ny*nlayer values held until the end), but
/// without the nx*ny*nlayer array and with one point location per cell where
/// that provably gives the same answers (see volume.cpp). Memory is bounded
/// by the soundings and a few blocks of cells, whatever the grid size.
/// Returns false if point location reported a broken structure; the file
/// then holds an incomplete volume and must not be committed. The cells go
/// to the threads in blocks of `block_cells` cells (0: about a megabyte of
/// text each); the bytes written do not depend on it.
/// A failure on any thread (std::bad_alloc when the buffers of a block
/// cannot be had) reaches the caller as an exception once every thread has
/// ended; the file is then incomplete as well.
/// A `meter`, when given, hears of the gridding and of the cells written.
/// `masks` blanks cells far from the soundings and layers below the depth of
/// investigation; they decide per cell and per layer from the same located
/// triangle, so the bytes stay independent of threads and blocks. The layer
/// sets of `masks` are located along chains of their own, planned like the
/// first chain in the same blocks, so their bytes do not depend on threads
/// and blocks either.
/// It is plan_volume followed by write_planned_volume.
bool stream_volume(const node_data& nodes, const formats::grid& g, bool log_mode,
                   base::output_file& file, int threads, std::int64_t block_cells = 0,
                   progress_meter* meter = nullptr, const volume_masks& masks = {});

}  // namespace tervox::driver
