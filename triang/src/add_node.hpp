// Adding one node to a Delaunay triangulation: locate it, link it in, and
// restore the Delaunay property by swaps around it. Written once over the
// editable list interface of packed_lists.hpp, for the packed structure and
// for the per-node lists of the workspace construction. Positions held across
// an edit are kept relative to the start of knew's list, since an edit may
// move whole lists.
#pragma once

#include <cassert>
#include <cstdint>
#include <span>

#include "hull_shortcut.hpp"
#include "triang/triang.hpp"
#include "walk.hpp"

namespace triang::detail {

/// Adds node knew (>= 4) to the triangulation of nodes 1..knew-1 held in
/// lists; returns an adnode_ier value. With a shortcut, point location takes
/// it where it gives the walk's answer, and the insertion keeps it informed.
template <class Lists>
int add_node(Lists& lists, int knew, std::span<const float> x, std::span<const float> y,
             hull_shortcut* shortcut = nullptr) {
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);

  // Only nodes 1..knew-1 are in the structure yet; handing the walk exactly
  // those lists also sizes its step bound to them.
  int nv1 = 0;
  int nv2 = 0;
  int nv3 = 0;
  if (shortcut == nullptr ||
      !shortcut->locate(lists, knew - 1, xs[knew], ys[knew], nv1, nv2, nv3)) {
    locate(lists.before(knew), knew - 1, xs[knew], ys[knew], x, y, nv1, nv2, nv3);
  }
  if (nv1 == trfind_failed) {
    return adnode_ier::broken;
  }
  if (nv1 == outside) {
    return adnode_ier::collinear;
  }
  if (shortcut != nullptr) {
    shortcut->check_located(knew, nv1, nv2, nv3);
  }
  if (nv3 == outside) {
    lists.bdyadd(knew, nv1, nv2);
  } else {
    lists.intadd(knew, nv1, nv2, nv3);
  }

  // Test every arc opposite knew, walking knew's list counterclockwise: b is
  // at offset i from the start of the list, a just before it. A swap inserts
  // w into knew's list just before b, so w takes offset i and the list grows
  // by one.
  const auto entry = [&](int i) { return lists.at(lists.first(knew) + i); };
  const auto length = [&] { return lists.last(knew) - lists.first(knew) + 1; };
  const int first = entry(0);
  int a = first;
  int i = 1;
  int b = entry(i);
  // Each swap adds a neighbour to knew and each other pass advances along
  // its list, so a valid structure needs fewer than 2 * knew passes.
  std::int64_t passes_left = 3 * static_cast<std::int64_t>(knew);
  for (;;) {
    if (--passes_left < 0) {
      assert(!"adnode: the swap loop exceeded its bound (broken structure)");
      return adnode_ier::broken;
    }
    // w: the node beyond the arc a-b, or outside for a boundary arc.
    const int q = lists.find(a, b);
    if (q == 0) {
      return adnode_ier::broken;
    }
    const int w = q == lists.first(a) ? lists.at(lists.last(a)) : lists.at(q - 1);
    if (w != outside && swptst(w, knew, b, a, x, y)) {
      lists.swap(w, knew, b, a, q);
      if (shortcut != nullptr) {
        shortcut->check_swap(w, knew, b, a);
      }
      b = w;
      continue;
    }
    if (b == first) {
      break;
    }
    a = b;
    ++i;
    if (i >= length()) {
      i = 0;
    }
    b = entry(i);
    if (b == outside) {
      break;
    }
  }
  if (shortcut != nullptr) {
    shortcut->check_star(lists, knew);
  }
  return adnode_ier::ok;
}

}  // namespace triang::detail
