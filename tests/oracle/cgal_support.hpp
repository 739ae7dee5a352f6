// CGAL's Delaunay triangulation of the same points, turned into the
// library's adjacency structure so that the same checkers and comparisons
// apply to both.
#pragma once

#include <span>
#include <vector>

namespace tervox_test {

struct cgal_structure {
  std::vector<int> iadj;
  std::vector<int> iend;
};

/// The Delaunay triangulation of nodes 1..n at (x, y) (converted to double
/// exactly) by CGAL with exact predicates, as iadj/iend. With flip_one, one
/// interior arc whose quadrilateral is strictly convex and not cocircular is
/// flipped first, which leaves a valid triangulation that is not Delaunay.
/// The points must not all be collinear.
cgal_structure cgal_delaunay(std::span<const float> x, std::span<const float> y,
                             bool flip_one = false);

}  // namespace tervox_test
