// The triangles and the boundary of an adjacency structure, as plain lists,
// for comparisons with other triangulations and brute-force searches.
#pragma once

#include <array>
#include <span>
#include <vector>

namespace tervox_test {

/// Every triangle once, counterclockwise, rotated to start at its smallest
/// node; sorted. The structure must have passed check_adjacency.
std::vector<std::array<int, 3>> triangles_of(int n, std::span<const int> iadj,
                                             std::span<const int> iend);

/// The boundary nodes in counterclockwise order, starting at the smallest.
std::vector<int> boundary_of(int n, std::span<const int> iadj, std::span<const int> iend);

}  // namespace tervox_test
