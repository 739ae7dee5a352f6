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
class step_bound {
 public:
  explicit step_bound(std::int64_t moves) noexcept : moves_left_(moves) {}

  /// Takes one move; false once the walk has made more than the bound.
  bool take() noexcept {
    if (--moves_left_ >= 0) {
      return true;
    }
    assert(!"trfind: the walk exceeded its bound (broken structure or non-finite point)");
    return false;
  }

 private:
  std::int64_t moves_left_;
};

/// How a phase of the walk ends: in failure, with the answer, or handing on
/// to the next phase (the walk across triangles from a wedge, the walks
/// along the boundary from beyond it, or the wedge search at a new apex).
enum class walk_end { failed, answered, wedge, beyond, restart };

/// Where the walk stands between its phases.
struct walk_position {
  int k0 = 0;          ///< apex of the wedge search, then of the triangle walk
  int k1 = 0;          ///< P on or left of k0->k1 ...
  int k2 = 0;          ///< ... and strictly right of k0->k2
  int right_from = 0;  ///< start of the rightward boundary walk, 0 when nv1 is known
  int left_from = 0;   ///< start of the leftward boundary walk
};

/// The result as trfind returns it, written to the caller only at the end.
struct walk_answer {
  int nv1 = 0;
  int nv2 = 0;
  int nv3 = 0;
};

/// What every phase reads: the lists, the coordinates, P, and the moves
/// left. One per call of locate.
template <class Lists>
struct walk {
  const Lists& lists;
  one_based<const float> xs;
  one_based<const float> ys;
  float px;
  float py;
  double pxd;
  double pyd;
  int nodes;
  step_bound steps;

  bool left(int a, int b) const { return on_or_left_of(a, b, pxd, pyd, xs, ys); }
  int adj(int pos) const { return lists.at(pos); }
  // Node numbers and list bounds read from a broken structure are checked
  // before they are used as subscripts, so that no read leaves the arrays.
  bool is_node(int k) const { return k >= 1 && k <= nodes; }
  // A list lies inside the arrays and has at least two entries (a boundary
  // list has a neighbour before its 0), so that the entry before the last
  // one, read as the last nonzero neighbour, belongs to the list.
  bool has_list(int k) const { return is_node(k) && lists.has_list(k); }
};

// The phases below are forced inline into locate: as one function, the
// walk's fields stay in registers across the phases, and most walks are a few
// moves long, so calls between the phases would be a good part of their cost.

inline walk_end out_of_range() {
  assert(!"trfind: a node number or list end out of range (broken structure)");
  return walk_end::failed;
}

/// P is on or left of every line from the apex k0, whose list runs from f to
/// last_pos without its trailing 0. Either P lies on the line of a
/// neighbour's arc and that neighbour is a better apex, or P and all of k0's
/// neighbours are on one line.
template <class Lists>
[[gnu::always_inline]] inline walk_end better_apex(walk<Lists>& w, int f, int last_pos,
                                                   walk_position& at, walk_answer& nv) {
  for (int pos = last_pos;; --pos) {
    if (!w.steps.take()) {
      return walk_end::failed;
    }
    const int nb = w.adj(pos);
    if (!w.left(nb, at.k0)) {
      at.k0 = nb;
      return walk_end::restart;
    }
    if (pos == f) {
      break;
    }
  }
  nv = {0, 0, 0};
  return walk_end::answered;
}

/// The wedge search at one apex k0: the neighbours k1, k2 with P on or left
/// of k0->k1 and strictly right of k0->k2 (wedge), or the boundary arcs at
/// k0 that P lies beyond (beyond), or a better apex (restart).
template <class Lists>
[[gnu::always_inline]] inline walk_end search_apex(walk<Lists>& w, walk_position& at,
                                                   walk_answer& nv) {
  const int k0 = at.k0;
  if (!w.has_list(k0)) {
    return out_of_range();
  }
  const int f = w.lists.first(k0);
  const int l = w.lists.last(k0);
  // Every entry of the apex list is a node, but a trailing 0.
  for (int pos = f; pos <= l; ++pos) {
    if (!w.is_node(w.adj(pos)) && !(pos == l && w.adj(pos) == outside)) {
      return out_of_range();
    }
  }
  const int kfirst = w.adj(f);
  int last_pos = l;  // position of klast
  int pos = f;       // position of k1
  if (w.adj(l) == outside) {
    last_pos = l - 1;
    const int klast = w.adj(last_pos);
    if (!w.left(k0, kfirst)) {
      at.right_from = kfirst;
      at.left_from = k0;
      return walk_end::beyond;
    }
    if (!w.left(klast, k0)) {
      nv.nv1 = k0;
      at.left_from = klast;
      return walk_end::beyond;
    }
  } else {
    // Interior apex: turn counterclockwise until P is on the left. P right
    // of every line but the last puts it in the wedge from klast round to
    // kfirst, which closes the cycle.
    while (!w.left(k0, w.adj(pos))) {
      if (!w.steps.take()) {
        return walk_end::failed;
      }
      ++pos;
      if (pos >= l) {
        at.k1 = w.adj(l);
        at.k2 = kfirst;
        return walk_end::wedge;
      }
    }
  }
  // P is on or left of the line to adj(pos): find the first neighbour after
  // it with P strictly on the right.
  while (pos < last_pos) {
    if (!w.steps.take()) {
      return walk_end::failed;
    }
    if (!w.left(k0, w.adj(pos + 1))) {
      at.k1 = w.adj(pos);
      at.k2 = w.adj(pos + 1);
      return walk_end::wedge;
    }
    ++pos;
  }
  const int klast = w.adj(last_pos);
  if (!w.left(k0, kfirst)) {
    at.k1 = klast;
    at.k2 = kfirst;
    return walk_end::wedge;
  }
  if (w.px == w.xs[k0] && w.py == w.ys[k0]) {
    at.k0 = klast;
    return walk_end::restart;
  }
  return better_apex(w, f, last_pos, at, nv);
}

/// The wedge search, restarted at each better apex until it finds a wedge or
/// the boundary arcs P lies beyond.
template <class Lists>
[[gnu::always_inline]] inline walk_end find_wedge(walk<Lists>& w, walk_position& at,
                                                  walk_answer& nv) {
  for (;;) {
    if (!w.steps.take()) {
      return walk_end::failed;
    }
    const walk_end end = search_apex(w, at, nv);
    if (end != walk_end::restart) {
      return end;
    }
  }
}

/// The triangle (k1, k2, k3) that holds P. A point on a boundary arc at k1
/// is reported with the arc's ends, as if it lay outside.
template <class Lists>
[[gnu::always_inline]] inline walk_end triangle_answer(const walk<Lists>& w, int k1, int k2, int k3,
                                                       walk_answer& nv) {
  if (!w.has_list(k1)) {
    return out_of_range();
  }
  const int k1_last = w.lists.last(k1);
  if (w.adj(k1_last) == outside) {
    if (w.adj(k1_last - 1) == k3 && w.left(k1, k3)) {
      nv = {k1, k3, 0};
      return walk_end::answered;
    }
    if (w.adj(w.lists.first(k1)) == k2 && w.left(k2, k1)) {
      nv = {k2, k1, 0};
      return walk_end::answered;
    }
  }
  nv = {k1, k2, k3};
  return walk_end::answered;
}

/// Walks across the arcs that the segment from k0 to P crosses. P stays on
/// or left of k0->k1 and strictly right of k0->k2; (k1, k2, k3) is a
/// counterclockwise triangle. Ends in the triangle that holds P, or beyond
/// the boundary arc k1-k2.
template <class Lists>
[[gnu::always_inline]] inline walk_end cross_triangles(walk<Lists>& w, walk_position& at,
                                                       walk_answer& nv) {
  const int k0 = at.k0;
  int k1 = at.k1;
  int k2 = at.k2;
  int k3 = k0;
  for (;;) {
    if (!w.steps.take()) {
      return walk_end::failed;
    }
    if (w.left(k1, k2)) {
      return triangle_answer(w, k1, k2, k3, nv);
    }
    if (!w.has_list(k2)) {
      return out_of_range();
    }
    int k4 = 0;
    const int k2_last = w.lists.last(k2);
    if (w.adj(k2_last) == k1) {
      k4 = w.adj(w.lists.first(k2));
    } else {
      const int q = w.lists.find(k2, k1);
      if (q == 0) {
        return walk_end::failed;
      }
      k4 = w.adj(q + 1);
      if (k4 == outside) {
        // k1-k2 is a boundary arc with P strictly beyond it.
        at.right_from = k2;
        at.left_from = k1;
        return walk_end::beyond;
      }
    }
    if (!w.is_node(k4)) {
      return out_of_range();
    }
    if (w.left(k0, k4)) {
      k3 = k1;
      k1 = k4;
    } else {
      k3 = k2;
      k2 = k4;
    }
  }
}

/// From the boundary node k, which sees P, moves k along the boundary to the
/// last node that still sees it: counterclockwise, to each node's first
/// neighbour, or clockwise, to its last nonzero one.
template <bool counterclockwise, class Lists>
[[gnu::always_inline]] inline walk_end follow_boundary(walk<Lists>& w, int& k) {
  for (;;) {
    if (!w.steps.take()) {
      return walk_end::failed;
    }
    if (!w.has_list(k)) {
      return out_of_range();
    }
    const int next = counterclockwise ? w.adj(w.lists.first(k)) : w.adj(w.lists.last(k) - 1);
    if (!w.is_node(next)) {
      return out_of_range();
    }
    if (counterclockwise ? w.left(k, next) : w.left(next, k)) {
      return walk_end::answered;
    }
    k = next;
  }
}

/// P is outside: the extreme boundary nodes P still sees, nv1 the
/// counterclockwise one and nv2 the clockwise one.
template <class Lists>
[[gnu::always_inline]] inline walk_end visible_ends(walk<Lists>& w, const walk_position& at,
                                                    walk_answer& nv) {
  if (at.right_from != 0) {
    nv.nv1 = at.right_from;
    if (follow_boundary<true>(w, nv.nv1) == walk_end::failed) {
      return walk_end::failed;
    }
  }
  nv.nv2 = at.left_from;
  nv.nv3 = 0;
  return follow_boundary<false>(w, nv.nv2);
}

/// Locates P from the start node istart (1 when below 1): the wedge search,
/// then the walk across triangles or, for P outside, along the boundary.
template <class Lists>
void locate(const Lists& lists, int istart, float px, float py, std::span<const float> x,
            std::span<const float> y, int& nv1, int& nv2, int& nv3) {
  const int nodes = lists.nodes();
  walk<Lists> w{lists,
                one_based<const float>(x),
                one_based<const float>(y),
                px,
                py,
                static_cast<double>(px),
                static_cast<double>(py),
                nodes,
                step_bound(3 * lists.entries() + 5 * static_cast<std::int64_t>(nodes) + 8)};

  walk_position at;
  walk_answer nv;
  walk_end end = walk_end::failed;
  at.k0 = istart > 1 ? istart : 1;
  if (!w.is_node(at.k0)) {
    assert(!"trfind: start node beyond the structure");
  } else {
    end = find_wedge(w, at, nv);
  }
  if (end == walk_end::wedge) {
    end = cross_triangles(w, at, nv);
  }
  if (end == walk_end::beyond) {
    end = visible_ends(w, at, nv);
  }
  if (end == walk_end::failed) {
    nv = {trfind_failed, trfind_failed, 0};
  }
  nv1 = nv.nv1;
  nv2 = nv.nv2;
  nv3 = nv.nv3;
}

}  // namespace triang::detail
