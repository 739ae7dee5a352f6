// Exact Delaunay check of an adjacency structure that has passed
// check_adjacency.
#pragma once

#include <span>
#include <string>

namespace tervox_test {

/// "" when no node lies strictly inside the circumcircle of a triangle, else
/// the first violation found. Every interior arc is tested once: the vertex
/// across it against the circumcircle of the triangle on its other side. A
/// triangulation that is locally Delaunay at every arc is Delaunay, so this is
/// the whole check, in linear time. The decision is exact; four nodes on one
/// circle pass with either diagonal. With slack > 0, a node inside a
/// circumcircle passes when the relative incircle determinant (see
/// incircle_relative) is at most slack.
std::string check_delaunay(int n, std::span<const float> x, std::span<const float> y,
                           std::span<const int> iadj, std::span<const int> iend,
                           double slack = 0.0);

}  // namespace tervox_test
