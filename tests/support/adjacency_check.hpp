// Full check of an adjacency structure (iadj, iend) against the invariants the
// library promises: packed lists, symmetric counterclockwise neighbour lists,
// one trailing 0 per boundary node, Euler counts, and a closed convex boundary
// that encloses exactly the triangles. Orientation is decided exactly.
#pragma once

#include <span>
#include <string>

namespace tervox_test {

/// "" when (iadj, iend) is a valid triangulation of nodes 1..n at (x, y), else
/// the first violation found, naming the node, the position in iadj and what is
/// wrong. With check_area, also requires the sum of the triangle areas to equal
/// the area enclosed by the boundary (exactly), which rules out overlapping or
/// doubly covered triangles.
std::string check_adjacency(int n, std::span<const float> x, std::span<const float> y,
                            std::span<const int> iadj, std::span<const int> iend,
                            bool check_area = true);

}  // namespace tervox_test
