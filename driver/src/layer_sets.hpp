// The layers that --skip-missing grids from soundings of their own.
//
// A missing value is no data: a layer whose values are missing at some
// soundings is gridded from the soundings that have a value in it, over their
// own triangulation, instead of carrying NaN into every triangle around a
// missing one. Layers missing at the same soundings share one triangulation,
// and missing values are usually nested (the deep layers lack a value where
// the sounding did not reach them), so there are few distinct sets. A layer
// with a value at every sounding uses the run's triangulation and is not a
// set at all; with no missing value the run is the run without the option,
// byte for byte.
//
// What a set costs: for m soundings and L layers, the triangulation (7m ints,
// 28 bytes a sounding), the coordinates (8 bytes a sounding), the depths of
// investigation with --doi (4), and the values twice (layer by layer, and
// side by side per sounding for the writer): 8L bytes a sounding. While it is
// built, the construction's workspace (60 bytes a sounding) comes and goes.
// In the worst case, every layer missing at soundings of its own, that is
// close to one more run's triangulation per layer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/diagnostic.hpp"
#include "formats/soundings.hpp"
#include "progress.hpp"
#include "volume.hpp"

namespace tervox::driver {

class layer_sets {
 public:
  /// The layers of `s` whose values are missing (NaN) at one sounding or
  /// more, grouped by the soundings with a value. Called once missing values
  /// are marked and before anything else turns a value into NaN (the
  /// logarithm of a negative value is a bad value, not a missing one).
  static layer_sets find(const formats::survey& s);

  /// True when every layer has a value at every sounding.
  bool empty() const { return sets_.empty(); }

  /// The soundings have been ordered for the run: position q (from 0) now
  /// holds the sounding that was at ind[q] (from 1), as triang::permut moves
  /// them. Called once.
  void reorder(std::span<const int> ind);

  /// Builds each set's soundings and triangulation from `s`, whose soundings
  /// are in the run's order (as reorder was told); `doi` when the records
  /// carry depths of investigation. A set's soundings are taken in file order
  /// and ordered as the run orders its own, so that the set's triangulation
  /// is the one a survey of those soundings alone would have, node for node
  /// (ties in x and four soundings on a circle included). A set with fewer than three
  /// soundings, or all of them on one line, gets none, and a warning on
  /// `warnings` names its layers. The fault, when the triangulation of a set
  /// broke down or would come out wrong (as the run's own would be refused),
  /// or an empty diagnostic. A `meter`, when given, hears of each set's
  /// construction as a phase of triangulating. The warnings name the
  /// layers, or `subject` where given (the ground elevation, gridded as a
  /// layer of its own).
  base::diagnostic triangulate(const formats::survey& s, bool doi, std::string_view infile,
                               std::vector<base::diagnostic>& warnings,
                               progress_meter* meter = nullptr, std::string_view subject = {});

  /// The sets, for volume_masks::layer_sets; valid once triangulated, and
  /// while this object lives unmoved.
  std::span<const layer_set> views() const { return views_; }

 private:
  struct set {
    std::vector<int> layers;             // from 1, ascending
    std::vector<unsigned char> present;  // per sounding in file order, until reordered
    std::vector<int> at;                 // then where each of those soundings is now
    std::int64_t count = 0;              // soundings with a value
    std::vector<float> x, y, dat, doi;   // the set's soundings, ordered as a survey's
    std::vector<int> iadj, iend;         // empty: no triangulation
  };
  std::vector<set> sets_;
  std::vector<layer_set> views_;
};

}  // namespace tervox::driver
