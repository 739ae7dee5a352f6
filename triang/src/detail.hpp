// Helpers shared by the routines that read or edit the adjacency structure.
// Private to the library: the driver never includes this header.
#pragma once

#include <span>

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

/// The start of the construction: finds the leading collinear nodes 1..k-1
/// (held in iend as a chain ordered along their line) and lays out the first
/// fan, node k joined to each of them, as a packed structure of nodes 1..k.
/// Returns k, or 0 with ier set when there is nothing more to add: fewer than
/// three nodes, or all nodes collinear (the chain stays in iend). Otherwise ier
/// is set to ok.
int first_fan(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
              std::span<int> iend, int& ier);

/// Whether nodes 1..n and the lists in iadj, iend form a triangulation, by
/// exact orientations: the lists well formed, as many arcs as a triangulated
/// disk has, every triangle strictly counterclockwise and listed alike by its
/// three vertices, the neighbours of an interior node going round it once
/// and those of a boundary node at most half a turn (a convex boundary), and
/// one boundary chain through every boundary node.
bool is_triangulation(int n, std::span<const float> x, std::span<const float> y,
                      std::span<const int> iadj, std::span<const int> iend);

}  // namespace triang::detail
