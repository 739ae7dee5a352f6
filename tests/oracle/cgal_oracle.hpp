// What an independent triangulation says the volume holds at a cell centre:
// CGAL's Delaunay triangulation of the soundings (exact predicates), located
// and interpolated barycentrically in double.
//
// Whether a centre is filled: CGAL calls it filled when it lies outside the
// hull or exactly on a hull edge, which is what point location answers
// exterior for; at a hull vertex the answer depends on the start node, so
// there either is accepted. Its values, in every layer, are allowed to differ
// by a few single-precision units in the last place of the largest vertex
// value of the triangle, times the triangle's conditioning: the tool forms
// the barycentric weights from edge vectors rounded to single and rounds the
// weights to single, so on a well-shaped triangle it stays within a few
// units; on a sliver (two close soundings and a far one) the rounding of the
// edge vectors is magnified by the ratio of the squared longest edge to twice
// the area, which is that conditioning.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "oracle/cgal_types.hpp"

namespace tervox_test {

struct expectation {
  enum kind_t { inside, filled, either } kind = filled;
  std::vector<double> value;  // per layer: inside, and at a hull vertex (its values)
  std::vector<float> scale;   // per layer: the largest absolute vertex value
  double conditioning = 1.0;  // of the triangle (the largest around a vertex)
  bool finite = true;         // every vertex value a finite number
};

class cgal_oracle {
 public:
  /// Node k (1-based) at (x[k-1], y[k-1]); z[layer][k-1] its value in each
  /// layer. In log mode z holds logarithms and values come back exponentiated.
  cgal_oracle(std::span<const float> x, std::span<const float> y,
              const std::vector<std::vector<float>>& z, bool log_mode);

  expectation at(float px, float py) const;

  /// How far a tool value of layer k (0-based) may lie from the oracle's.
  double allowed(const expectation& e, std::size_t k) const;

  /// Empty when `line`, the volume file's line for layer k of a cell, agrees
  /// with `e`; else what is wrong. `filled_line` is the short form of the fill
  /// value. A filled cell is written in the short form; an inside cell in the
  /// long form, within half a unit of the last digit shown plus allowed(), or
  /// short when its layer-1 value is the fill value itself (a sounding's
  /// value of -100, say).
  std::string check_line(const expectation& e, std::size_t k, const std::string& line,
                         const std::string& filled_line, float fill) const;

 private:
  bool on_hull(cgal::delaunay::Vertex_handle v) const;
  double star_conditioning(cgal::delaunay::Vertex_handle v) const;
  float node_value(std::size_t layer, int node) const;
  double back(double v) const;

  cgal::delaunay dt_;
  std::vector<std::vector<float>> z_;
  bool log_mode_;
};

}  // namespace tervox_test
