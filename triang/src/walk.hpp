// Point location: a directed walk from a start node to the triangle that
// contains P, or to the boundary nodes that P sees from outside. Written once
// over the list interface of packed_lists.hpp, for the packed structure and
// for the per-node lists of the workspace construction.
#pragma once

#include <cassert>
#include <cstdint>
#include <span>

#include "triang/triang.hpp"

namespace triang::detail {

/// True when P = (px, py) lies on or to the left of the directed line from
/// node a to node b. Every decision of the walk is this one test. The
/// differences and products are formed in double from the single-precision
/// inputs and never rounded back, and there is no tolerance: a point on the
/// line counts as on its left.
inline bool on_or_left_of(int a, int b, double px, double py, one_based<const float> x,
                          one_based<const float> y) {
  const double xa = static_cast<double>(x[a]);
  const double ya = static_cast<double>(y[a]);
  return (static_cast<double>(x[b]) - xa) * (py - ya) >=
         (px - xa) * (static_cast<double>(y[b]) - ya);
}

// The walk is a chain of deterministic moves, and each kind of move depends
// only on a small state: a restart only on the apex k0, a triangle crossing
// only on the arc (k1, k2) it crosses, a boundary step only on the current
// node. A run that ends therefore never repeats a state, which caps it at
//   apex restarts              n
//   wedge scans                2 * (list length + 1) per apex: 2 * |iadj| + 2n
//   triangle crossings         |iadj| + 1 (one per ordered arc)
//   boundary walks             2 * (n + 1)
// moves. A structure that breaks the adjacency invariants, or a non-finite
// point, can make the walk cycle; past this bound it certainly would never
// end, and the caller gets trfind_failed instead of a hang.
template <class Lists>
void locate(const Lists& lists, int istart, float px, float py, std::span<const float> x,
            std::span<const float> y, int& nv1, int& nv2, int& nv3) {
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const int nodes = lists.nodes();
  const double pxd = static_cast<double>(px);
  const double pyd = static_cast<double>(py);
  const auto left = [&](int a, int b) { return on_or_left_of(a, b, pxd, pyd, xs, ys); };
  const auto adj = [&](int pos) { return lists.at(pos); };

  std::int64_t moves_left = 3 * lists.entries() + 5 * static_cast<std::int64_t>(nodes) + 8;
  const auto exhausted = [&] {
    if (--moves_left >= 0) {
      return false;
    }
    assert(!"trfind: the walk exceeded its bound (broken structure or non-finite point)");
    return true;
  };
  const auto fail = [&] {
    nv1 = trfind_failed;
    nv2 = trfind_failed;
    nv3 = 0;
  };
  // Node numbers and list bounds read from a broken structure are checked
  // before they are used as subscripts, so that no read leaves the arrays.
  const auto is_node = [&](int k) { return k >= 1 && k <= nodes; };
  // A list lies inside the arrays and has at least two entries (a boundary
  // list has a neighbour before its 0), so that the entry before the last
  // one, read as the last nonzero neighbour, belongs to the list.
  const auto has_list = [&](int k) { return is_node(k) && lists.has_list(k); };
  const auto broken = [&] {
    assert(!"trfind: a node number or list end out of range (broken structure)");
    fail();
  };

  int k0 = istart > 1 ? istart : 1;
  if (!is_node(k0)) {
    assert(!"trfind: start node beyond the structure");
    fail();
    return;
  }

  // Outcomes of the wedge search and of the triangle walk.
  int k1 = 0;
  int k2 = 0;
  int right_from = 0;  // start of the rightward boundary walk, 0 for none
  int left_from = 0;   // start of the leftward boundary walk
  bool exterior = false;

  // Wedge search at the apex k0, restarted whenever k0 changes.
  for (;;) {
    if (exhausted()) {
      fail();
      return;
    }
    if (!has_list(k0)) {
      broken();
      return;
    }
    const int f = lists.first(k0);
    const int l = lists.last(k0);
    // Every entry of the apex list is a node, but a trailing 0.
    for (int pos = f; pos <= l; ++pos) {
      if (!is_node(adj(pos)) && !(pos == l && adj(pos) == outside)) {
        broken();
        return;
      }
    }
    const int kfirst = adj(f);
    int last_pos = l;  // position of klast
    int pos = f;       // position of k1
    bool wedge_found = false;
    if (adj(l) == outside) {
      last_pos = l - 1;
      const int klast = adj(last_pos);
      if (!left(k0, kfirst)) {
        right_from = kfirst;
        left_from = k0;
        exterior = true;
        break;
      }
      if (!left(klast, k0)) {
        nv1 = k0;
        left_from = klast;
        exterior = true;
        break;
      }
    } else {
      // Interior apex: turn counterclockwise until P is on the left. P
      // right of every line but the last puts it in the wedge from klast
      // round to kfirst, which closes the cycle.
      while (!left(k0, adj(pos))) {
        if (exhausted()) {
          fail();
          return;
        }
        ++pos;
        if (pos >= l) {
          k1 = adj(l);
          k2 = kfirst;
          wedge_found = true;
          break;
        }
      }
    }
    if (wedge_found) {
      break;
    }
    // P is on or left of the line to adj(pos): find the first neighbour
    // after it with P strictly on the right.
    while (pos < last_pos) {
      if (exhausted()) {
        fail();
        return;
      }
      if (!left(k0, adj(pos + 1))) {
        k1 = adj(pos);
        k2 = adj(pos + 1);
        wedge_found = true;
        break;
      }
      ++pos;
    }
    if (wedge_found) {
      break;
    }
    const int klast = adj(last_pos);
    if (!left(k0, kfirst)) {
      k1 = klast;
      k2 = kfirst;
      break;
    }
    if (px == xs[k0] && py == ys[k0]) {
      k0 = klast;
      continue;
    }
    // P is on or left of every line from k0. Either P lies on the line of a
    // neighbour's arc and that neighbour is a better apex, or P and all of
    // k0's neighbours are on one line.
    int restart = 0;
    for (pos = last_pos;; --pos) {
      if (exhausted()) {
        fail();
        return;
      }
      const int nb = adj(pos);
      if (!left(nb, k0)) {
        restart = nb;
        break;
      }
      if (pos == f) {
        break;
      }
    }
    if (restart == 0) {
      nv1 = 0;
      nv2 = 0;
      nv3 = 0;
      return;
    }
    k0 = restart;
  }

  if (!exterior) {
    // Walk across the arcs that the segment from k0 to P crosses. P stays on
    // or left of k0->k1 and strictly right of k0->k2; (k1, k2, k3) is a
    // counterclockwise triangle.
    int k3 = k0;
    for (;;) {
      if (exhausted()) {
        fail();
        return;
      }
      if (left(k1, k2)) {
        break;
      }
      if (!has_list(k2)) {
        broken();
        return;
      }
      int k4 = 0;
      const int k2_last = lists.last(k2);
      if (adj(k2_last) == k1) {
        k4 = adj(lists.first(k2));
      } else {
        const int q = lists.find(k2, k1);
        if (q == 0) {
          fail();
          return;
        }
        k4 = adj(q + 1);
        if (k4 == outside) {
          // k1-k2 is a boundary arc with P strictly beyond it.
          right_from = k2;
          left_from = k1;
          exterior = true;
          break;
        }
      }
      if (!is_node(k4)) {
        broken();
        return;
      }
      if (left(k0, k4)) {
        k3 = k1;
        k1 = k4;
      } else {
        k3 = k2;
        k2 = k4;
      }
    }

    if (!exterior) {
      // A point on a boundary arc at k1 is reported with the arc's ends, as
      // if it lay outside.
      if (!has_list(k1)) {
        broken();
        return;
      }
      const int k1_last = lists.last(k1);
      if (adj(k1_last) == outside) {
        if (adj(k1_last - 1) == k3 && left(k1, k3)) {
          nv1 = k1;
          nv2 = k3;
          nv3 = 0;
          return;
        }
        if (adj(lists.first(k1)) == k2 && left(k2, k1)) {
          nv1 = k2;
          nv2 = k1;
          nv3 = 0;
          return;
        }
      }
      nv1 = k1;
      nv2 = k2;
      nv3 = k3;
      return;
    }
  }

  // P is outside: follow the boundary to the extreme nodes P still sees.
  if (right_from != 0) {
    nv1 = right_from;
    for (;;) {
      if (exhausted()) {
        fail();
        return;
      }
      if (!has_list(nv1) || !is_node(adj(lists.first(nv1)))) {
        broken();
        return;
      }
      const int next = adj(lists.first(nv1));
      if (left(nv1, next)) {
        break;
      }
      nv1 = next;
    }
  }
  nv2 = left_from;
  for (;;) {
    if (exhausted()) {
      fail();
      return;
    }
    if (!has_list(nv2) || !is_node(adj(lists.last(nv2) - 1))) {
      broken();
      return;
    }
    const int next = adj(lists.last(nv2) - 1);
    if (left(next, nv2)) {
      break;
    }
    nv2 = next;
  }
  nv3 = 0;
}

}  // namespace triang::detail
