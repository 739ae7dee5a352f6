// Deterministic point sets for the triangulation checks and benchmarks, and a
// helper that triangulates a set the way the driver does.
//
// Every coordinate comes from raw std::mt19937 output (the standard fixes the
// engine's sequence, not the distributions'), through single-precision
// arithmetic only, so a (family, size, seed) triple names the same points on
// every platform.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string_view>
#include <vector>

namespace tervox_test {

enum class point_family {
  uniform,           ///< uniform in the unit square
  clustered,         ///< tight clusters of various radii
  jittered_lines,    ///< flight lines along y, every point jittered in x and y
  shared_x_lines,    ///< flight lines along y whose points share x exactly; regular
                     ///< spacing along the lines, so many four points on a circle
  lattice,           ///< rectangular lattice, dyadic spacing: four points on a circle everywhere
  nearly_collinear,  ///< a line rounded to float and nudged by a few ulps
  projected,         ///< projected-metre coordinates: x near 5e5, y near 6e6
  tiny,              ///< coordinates of size 1e-3
  near_circle,       ///< points on a few circles, rounded to float: every four
                     ///< points of a circle are cocircular within rounding only
  projected_lines,   ///< flight lines in projected metres, x near 5e5: at float's
                     ///< 1/32 m steps there, dozens of soundings of a line share x
};

inline constexpr point_family all_families[] = {
    point_family::uniform,         point_family::clustered, point_family::jittered_lines,
    point_family::shared_x_lines,  point_family::lattice,   point_family::nearly_collinear,
    point_family::projected,       point_family::tiny,      point_family::near_circle,
    point_family::projected_lines,
};

std::string_view family_name(point_family family);

/// True when the family's sets have, in practice, no four points on one circle
/// and no three on one line, so their Delaunay triangulation is unique.
bool general_position(point_family family);

/// The largest relative incircle determinant (see incircle_relative) with
/// which a node may lie inside a circumcircle. Zero, except for near_circle:
/// the swap test rounds its cross products to single precision, so for
/// quadrilaterals that are cocircular within rounding its decision may differ
/// from the exact one in either direction.
double delaunay_slack(point_family family);

struct point_set {
  std::vector<float> x;
  std::vector<float> y;
  int size() const { return static_cast<int>(x.size()); }
  void add(float px, float py) {
    x.push_back(px);
    y.push_back(py);
  }
};

/// About n points of the family (at least 3 for n >= 3); duplicate locations
/// are dropped, keeping the first.
point_set generate(point_family family, int n, std::uint32_t seed);

/// A uniform float in [0, 1) on a 2^-24 grid from one raw draw.
float unit_draw(std::uint32_t raw);

/// The draws every generated set is made from: raw std::mt19937 output, one
/// draw per call, so that a seed names the same points everywhere.
class draws {
 public:
  explicit draws(std::uint32_t seed) : gen_(seed) {}
  /// Uniform in [0, 1) on a 2^-24 grid.
  float unit() { return unit_draw(static_cast<std::uint32_t>(gen_())); }
  /// Uniform in 0..k-1; the slight bias of the modulo does not matter here,
  /// the fixed sequence does.
  int below(int k) {
    return static_cast<int>(static_cast<std::uint32_t>(gen_()) % static_cast<std::uint32_t>(k));
  }

 private:
  std::mt19937 gen_;
};

/// v moved by `ulps` floats, up for positive, down for negative.
float nudge(float v, int ulps);

/// The set without repeated locations, the first of each kept; +0 and -0
/// are one location.
point_set without_duplicates(const point_set& in);

/// A set triangulated as the driver does it: nodes ordered by increasing x
/// with reordr (y carried along), then trmesh.
struct mesh {
  int n = 0;
  std::vector<float> x;  ///< node k at x[k-1], y[k-1]
  std::vector<float> y;
  std::vector<int> ind;   ///< node k is input point ind[k-1] (1-based)
  std::vector<int> iadj;  ///< 6n-9 entries
  std::vector<int> iend;  ///< n entries
  int ier = -1;
};

mesh build_mesh(std::span<const float> x, std::span<const float> y);
inline mesh build_mesh(const point_set& points) {
  return build_mesh(points.x, points.y);
}

}  // namespace tervox_test
