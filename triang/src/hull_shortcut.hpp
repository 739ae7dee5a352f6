// A short way to the answer of point location for a node that lands on or
// outside the boundary, for the construction in a workspace.
//
// Soundings in projected coordinates, stored in single precision, share x
// coordinates by the dozen (a float has 1/32 m steps at 500 km east), so in x
// order a survey line is added as runs of nodes on one vertical line, in no
// order along it. Each such node lies on the line of the boundary run that its
// predecessors formed, and the walk from the node added last crosses the
// triangulation along that line, some hundred triangles, to reach it. The
// answer is known from the boundary alone: walking along the boundary from
// the node added last reaches it in a few steps.
//
// Why the answer is the same. The shortcut is taken only while two facts
// hold, both checked, never assumed:
//
// 1. Every side test is exact. When all the x coordinates are multiples of
//    one power of two 2^qx and lie within 2^(qx+26) of each other, and the
//    same holds for y, every difference of two coordinates is an integer
//    times 2^q below 2^26 in magnitude, exact in double; every product of an
//    x difference and a y difference is below 2^52 units of 2^(qx+qy), exact;
//    so the side test of point location, and the orientation test here, both
//    compare exact values. Checked once over all nodes.
// 2. The structure is a proper triangulation: every triangle has positive
//    area and the boundary is a convex polygon run once counterclockwise.
//    Checked on the first fan, then kept by checking each insertion (below);
//    once a check fails, the shortcut is off for the rest of the
//    construction.
//
// With both, point location has one answer for a point on or outside the
// boundary whatever node the walk starts from:
//
// - P strictly beyond a boundary arc: the walk cannot end in a triangle (P
//   lies outside their union, the convex hull), so it leaves through some arc
//   with P strictly beyond it and follows the boundary both ways while P
//   stays strictly beyond the next arc. Seen from a point outside a convex
//   polygon, those arcs form one unbroken run; the walk returns its two ends,
//   and so does the same boundary walk from any arc of the run.
// - P strictly inside a boundary arc: no arc has P strictly beyond it, and
//   the only triangle holding P is the one on that arc. The walk ends there,
//   and the arc is either the one it was about to cross (k1, k2) or, in the
//   first triangle, the arc (k0, k1); both touch k1 and are reported, as
//   (later end, earlier end, 0) in counterclockwise boundary order. Arcs the
//   walk has crossed are interior arcs, so no other boundary arc of that
//   triangle can hold P.
//
// Keeping fact 2 through an insertion. With an exact and therefore correct
// answer, the boundary stays convex: bdyadd joins the new node to exactly the
// arcs that it sees, or to the ends of the arc it lies on. Every triangle that
// an insertion and its swaps create has the new node as a vertex, and every
// swap replaces two triangles by two others over the same quadrilateral. So
// it is enough that the new node coincides with no vertex of the located
// triangle (a coincident node would), that each swap leaves two triangles of
// positive area (a swap of a quadrilateral that is not convex would not), and
// that at the end every triangle around the new node has positive area (an
// insertion on an arc leaves a flat triangle until the swap that removes it).
// Positive triangles inside a convex boundary run once tile it exactly once:
// a proper triangulation.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>

#include "triang/triang.hpp"

namespace triang::detail {

class hull_shortcut {
 public:
  /// Boundary steps tried before the walk is left to do its work.
  static constexpr int max_steps = 48;

  /// For nodes 1..n; usable() tells whether fact 1 holds for them.
  hull_shortcut(int n, std::span<const float> x, std::span<const float> y) noexcept
      : xs_(x), ys_(y) {
    on_ = n >= 3 && exact_axis(x.first(static_cast<std::size_t>(n))) &&
          exact_axis(y.first(static_cast<std::size_t>(n)));
  }

  bool usable() const noexcept { return on_; }

  /// Fact 2 for the first fan, node k joined to the collinear chain that its
  /// list holds: every triangle at k positive, the chain on one line.
  template <class Lists>
  void check_first_fan(const Lists& lists, int k) noexcept {
    if (!on_) {
      return;
    }
    const int f = lists.first(k);
    const int l = lists.last(k) - 1;  // the last chain node, before the 0
    for (int pos = f + 2; pos <= l && on_; ++pos) {
      on_ = orient(lists.at(pos - 2), lists.at(pos - 1), xs_[lists.at(pos)], ys_[lists.at(pos)]) ==
            0.0;
    }
    check_star(lists, k);
  }

  /// The answer of point location for P = (px, py) from node k0, when P
  /// lies strictly beyond or strictly inside a boundary arc found within
  /// max_steps boundary steps from k0. False: no answer, walk.
  template <class Lists>
  bool locate(const Lists& lists, int k0, float px_in, float py_in, int& nv1, int& nv2,
              int& nv3) const noexcept {
    const double px = static_cast<double>(px_in);
    const double py = static_cast<double>(py_in);
    const int l0 = lists.last(k0);
    if (!on_ || lists.at(l0) != outside) {
      return false;
    }
    // Along the boundary towards P: counterclockwise when the next boundary
    // node lies more in P's direction than the previous one. Either way
    // gives the same answer; the direction only decides how soon.
    const int next = lists.at(lists.first(k0));
    const int prev = lists.at(l0 - 1);
    const double x0 = static_cast<double>(xs_[k0]);
    const double y0 = static_cast<double>(ys_[k0]);
    const auto towards = [&](int node) {
      return (px - x0) * (static_cast<double>(xs_[node]) - x0) +
             (py - y0) * (static_cast<double>(ys_[node]) - y0);
    };
    const bool ccw = towards(next) >= towards(prev);
    int node = k0;
    for (int step = 0; step < max_steps; ++step) {
      // The arc (a, b), counterclockwise along the boundary.
      const int a = ccw ? node : lists.at(lists.last(node) - 1);
      const int b = ccw ? lists.at(lists.first(node)) : node;
      const double side = orient(a, b, px, py);
      if (side < 0.0) {
        return ends_of_visible_run(lists, a, b, px, py, nv1, nv2, nv3);
      }
      if (side == 0.0 && strictly_between(a, b, px_in, py_in)) {
        nv1 = b;
        nv2 = a;
        nv3 = outside;
        return true;
      }
      node = ccw ? b : a;
    }
    return false;
  }

  /// After point location: a node that coincides with a located vertex would
  /// make flat triangles that no swap removes.
  void check_located(int knew, int nv1, int nv2, int nv3) noexcept {
    if (on_) {
      on_ = !same_place(knew, nv1) && !same_place(knew, nv2) &&
            (nv3 == outside || !same_place(knew, nv3));
    }
  }

  /// After a swap that replaced the arc diag1-diag2 by join1-join2: both new
  /// triangles have positive area.
  void check_swap(int join1, int join2, int diag1, int diag2) noexcept {
    if (on_) {
      on_ = orient(join1, diag1, xs_[join2], ys_[join2]) > 0.0 &&
            orient(join2, diag2, xs_[join1], ys_[join1]) > 0.0;
    }
  }

  /// After the swaps: every triangle around node has positive area.
  template <class Lists>
  void check_star(const Lists& lists, int node) noexcept {
    if (!on_) {
      return;
    }
    const int f = lists.first(node);
    const int l = lists.last(node);
    const bool interior = lists.at(l) != outside;
    const double px = static_cast<double>(xs_[node]);
    const double py = static_cast<double>(ys_[node]);
    for (int pos = f; pos < l; ++pos) {
      const int b = lists.at(pos + 1);
      if (b != outside && !(orient(lists.at(pos), b, px, py) > 0.0)) {
        on_ = false;
        return;
      }
    }
    if (interior && !(orient(lists.at(l), lists.at(f), px, py) > 0.0)) {
      on_ = false;
    }
  }

 private:
  // Whether every difference of two of the values is exact within 26 bits:
  // all of them multiples of 2^q, their range below 2^(q+26).
  static bool exact_axis(std::span<const float> v) noexcept {
    int q = 1000;
    float lo = 0.0F;
    float hi = 0.0F;
    bool first = true;
    for (const float f : v) {
      const auto bits = std::bit_cast<std::uint32_t>(f);
      const std::uint32_t field = (bits >> 23) & 0xffU;
      if (field == 0xffU) {
        return false;  // not finite
      }
      const std::uint32_t mantissa = bits & 0x7f'ffffU;
      const std::uint32_t m = field == 0 ? mantissa : mantissa | 0x80'0000U;
      if (m != 0) {
        const int e = field == 0 ? -149 : static_cast<int>(field) - 150;
        const int low = e + std::countr_zero(m);
        q = low < q ? low : q;
      }
      if (first || f < lo) {
        lo = f;
      }
      if (first || f > hi) {
        hi = f;
      }
      first = false;
    }
    if (q == 1000) {
      return true;  // all zero
    }
    // Rounding the range cannot bring it below a power of two it reaches.
    return static_cast<double>(hi) - static_cast<double>(lo) < std::ldexp(1.0, q + 26);
  }

  // Twice the signed area of the triangle a, b, P: positive when P lies
  // strictly left of the line from a to b. The same products as the side
  // test of point location, so the same exact values.
  double orient(int a, int b, double px, double py) const noexcept {
    const double xa = static_cast<double>(xs_[a]);
    const double ya = static_cast<double>(ys_[a]);
    return (static_cast<double>(xs_[b]) - xa) * (py - ya) -
           (px - xa) * (static_cast<double>(ys_[b]) - ya);
  }
  double orient(int a, int b, float px, float py) const noexcept {
    return orient(a, b, static_cast<double>(px), static_cast<double>(py));
  }

  bool same_place(int a, int b) const noexcept { return xs_[a] == xs_[b] && ys_[a] == ys_[b]; }

  // P on the line through a and b (a != b): strictly between them.
  bool strictly_between(int a, int b, float px, float py) const noexcept {
    const auto inside = [](float p, float u, float v) {
      return (u < p && p < v) || (v < p && p < u);
    };
    return xs_[a] != xs_[b] ? inside(px, xs_[a], xs_[b]) : inside(py, ys_[a], ys_[b]);
  }

  // P strictly beyond the arc (a, b): the boundary walks of point location
  // from that arc, counterclockwise from b while P stays strictly beyond the
  // next arc, clockwise from a likewise.
  template <class Lists>
  bool ends_of_visible_run(const Lists& lists, int a, int b, double px, double py, int& nv1,
                           int& nv2, int& nv3) const noexcept {
    const int bound = lists.nodes();
    int right = b;
    int steps = 0;
    for (int next = lists.at(lists.first(right)); orient(right, next, px, py) < 0.0;
         next = lists.at(lists.first(right))) {
      right = next;
      if (++steps > bound) {
        return false;
      }
    }
    int left = a;
    for (int next = lists.at(lists.last(left) - 1); orient(next, left, px, py) < 0.0;
         next = lists.at(lists.last(left) - 1)) {
      left = next;
      if (++steps > bound) {
        return false;
      }
    }
    nv1 = right;
    nv2 = left;
    nv3 = outside;
    return true;
  }

  one_based<const float> xs_;
  one_based<const float> ys_;
  bool on_ = false;
};

}  // namespace triang::detail
