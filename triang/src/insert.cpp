// Linking one more node into the adjacency structure, outside the boundary or
// inside a triangle, without restoring the Delaunay property (adnode does that
// afterwards). The added node is always the highest-numbered one, so its list
// is appended at the end and every other list only moves up.
#include <algorithm>
#include <cassert>
#include <utility>

#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang {

void bdyadd(int knew, int nv1, int nv2, std::span<int> iadj, std::span<int> iend) {
  const one_based<int> adj(iadj);
  const one_based<int> ends(iend);
  const int m = knew - 1;
  const int last = ends[m];

  // knew becomes the first entry of nv2's list and the last neighbour of nv1
  // (just before its 0). Both insertion points are found before anything
  // moves; the higher one is made first, so every entry moves only once.
  const int p1 = detail::first_pos(ends, nv2);
  const int p2 = ends[nv1];
  const int pmax = std::max(p1, p2);
  const int pmin = std::min(p1, p2);
  const int high_node = std::max(nv1, nv2);
  const int low_node = std::min(nv1, nv2);

  shiftd(pmax, last, 2, iadj);
  adj[pmax + 1] = knew;
  detail::move_ends(ends, high_node, m, 2);

  shiftd(pmin, pmax - 1, 1, iadj);
  adj[pmin] = knew;
  detail::move_ends(ends, low_node, high_node - 1, 1);

  // knew's list: nv1, then the boundary walked clockwise from nv1 up to nv2.
  // The nodes strictly between them become interior: their trailing 0 turns
  // into knew, from now on their last neighbour. Every step writes one entry,
  // and the walk stops at a node that does not exist or at the end of iadj,
  // so a bad nv1 or nv2 cannot send it through memory.
  int pos = last + 2;
  adj[++pos] = nv1;
  int nb = adj[ends[nv1] - 2];
  while (nb != nv2) {
    const bool valid = nb >= 1 && nb <= m && adj.contains(pos + 3);
    assert(valid && "bdyadd: nv2 is not on the boundary clockwise from nv1");
    if (!valid) {
      break;
    }
    adj[++pos] = nb;
    adj[ends[nb]] = knew;
    nb = adj[ends[nb] - 1];
  }
  adj[++pos] = nv2;
  adj[++pos] = outside;
  ends[knew] = pos;
}

void intadd(int knew, int nv1, int nv2, int nv3, std::span<int> iadj, std::span<int> iend) {
  const one_based<int> adj(iadj);
  const one_based<int> ends(iend);
  const int m = knew - 1;

  // knew goes into each vertex's list right after the next vertex
  // counterclockwise, that is between the other two vertices.
  struct vertex {
    int node;
    int pos;  // insertion position in the current iadj
  };
  vertex hi = {nv1, index(nv1, nv2, iadj, iend) + 1};
  vertex mid = {nv2, index(nv2, nv3, iadj, iend) + 1};
  vertex lo = {nv3, index(nv3, nv1, iadj, iend) + 1};
  if (hi.node < mid.node) {
    std::swap(hi, mid);
  }
  if (mid.node < lo.node) {
    std::swap(mid, lo);
  }
  if (hi.node < mid.node) {
    std::swap(hi, mid);
  }

  // From the highest position down: the tail moves up by 3, the part between
  // mid's and hi's insertion points by 2, the part between lo's and mid's by 1.
  shiftd(hi.pos, ends[m], 3, iadj);
  adj[hi.pos + 2] = knew;
  detail::move_ends(ends, hi.node, m, 3);

  shiftd(mid.pos, hi.pos - 1, 2, iadj);
  adj[mid.pos + 1] = knew;
  detail::move_ends(ends, mid.node, hi.node - 1, 2);

  shiftd(lo.pos, mid.pos - 1, 1, iadj);
  adj[lo.pos] = knew;
  detail::move_ends(ends, lo.node, mid.node - 1, 1);

  const int t = ends[m];
  adj[t + 1] = nv1;
  adj[t + 2] = nv2;
  adj[t + 3] = nv3;
  ends[knew] = t + 3;
}

}  // namespace triang
