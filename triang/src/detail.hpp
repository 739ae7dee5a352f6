// Helpers shared by the routines that read or edit the adjacency structure.
// Private to the library: the driver never includes this header.
#pragma once

#include "triang/triang.hpp"

namespace triang::detail {

/// Position in iadj of the first entry of node's list; iend[0] counts as 0,
/// so node 1's list starts at position 1.
template <class T>
constexpr int first_pos(one_based<T> iend, int node) noexcept {
  return node == 1 ? 1 : iend[node - 1] + 1;
}

/// Adds delta to iend[from..to]: the list ends of the nodes whose lists moved
/// by delta positions. Nothing happens when from > to.
constexpr void move_ends(one_based<int> iend, int from, int to, int delta) noexcept {
  for (int node = from; node <= to; ++node) {
    iend[node] += delta;
  }
}

}  // namespace triang::detail
