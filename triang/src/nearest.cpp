// The node nearest to a point, by a greedy walk over the triangulation.
//
// In a Delaunay triangulation a node that is not the nearest to a point P
// always has a neighbour nearer to P: the segment from the node to P leaves
// the node's Voronoi cell into the cell of a neighbour, and every point of
// that cell is nearer to the neighbour. So a walk that moves to the nearest
// neighbour while that is strictly nearer ends at a nearest node, from any
// start. Each step strictly lowers the distance, so no node is visited twice
// and the walk ends after at most n steps.
#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang {
namespace {

// Squared distance in double from single-precision coordinates. The
// differences of two floats are exact in double, so only the final products
// and their sum are rounded.
double distance_squared(float px, float py, float x, float y) noexcept {
  const double dx = static_cast<double>(x) - static_cast<double>(px);
  const double dy = static_cast<double>(y) - static_cast<double>(py);
  return dx * dx + dy * dy;
}

}  // namespace

int nearnd(int start, float px, float py, std::span<const float> x, std::span<const float> y,
           std::span<const int> iadj, std::span<const int> iend, double& dsq) {
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const one_based<const int> adj(iadj);
  const one_based<const int> ends(iend);
  const int n = ends.size();
  int node = start >= 1 && start <= n ? start : 1;
  double best = distance_squared(px, py, xs[node], ys[node]);
  for (int steps = 0; steps < n; ++steps) {
    int next = node;
    for (int pos = detail::first_pos(ends, node); pos <= ends[node]; ++pos) {
      const int nb = adj[pos];
      if (nb == outside)
        continue;
      const double d = distance_squared(px, py, xs[nb], ys[nb]);
      if (d < best) {
        best = d;
        next = nb;
      }
    }
    if (next == node)
      break;
    node = next;
  }
  dsq = best;
  return node;
}

}  // namespace triang
