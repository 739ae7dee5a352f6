// Whether a finished structure is a triangulation of its nodes, decided with
// exact orientations.
//
// The construction's geometric tests round to single precision. Where nodes
// lie so nearly on one line that the rounding gets a side wrong (points an
// ulp off the hull's edges, coordinates of very different magnitudes), it can
// link a node on the wrong side of an edge and still finish: the lists then
// hold a clockwise or zero-area triangle, a boundary that turns the wrong
// way, triangles that their vertices list differently, or triangles that
// overlap, going twice round a node. Everything built
// on such a structure (point location, weights, fill decisions) is wrong
// without a sign of it, so the construction checks its result once at the
// end and reports a breakdown instead.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang {
namespace {

// a + b as the rounded sum and its rounding error, exactly.
struct two_sum {
  double sum, error;
};

two_sum add_exactly(double a, double b) {
  const double s = a + b;
  const double bv = s - a;
  const double av = s - bv;
  return {s, (a - av) + (b - bv)};
}

// The sign of (bx-ax)(cy-ay) - (by-ay)(cx-ax), multiplied out. A product of
// two floats is exact in double (48 significant bits, exponents within
// range), so the sign of the sum of six doubles decides: it is summed exactly
// as a non-overlapping expansion, whose last non-zero component carries the
// sign.
int orientation_by_expansion(double ax, double ay, double bx, double by, double cx, double cy) {
  const std::array<double, 6> terms{bx * cy, -(bx * ay), -(ax * cy), -(by * cx), by * ax, ay * cx};
  std::array<double, 6> e{};
  std::size_t len = 0;
  for (const double t : terms) {
    double q = t;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < len; ++i) {
      const two_sum s = add_exactly(q, e[i]);
      q = s.sum;
      if (s.error != 0)
        e[kept++] = s.error;
    }
    e[kept++] = q;
    len = kept;
  }
  for (std::size_t i = len; i-- > 0;) {
    if (e[i] != 0)
      return e[i] > 0 ? 1 : -1;
  }
  return 0;
}

// Node k's list as positions first..last in iadj, with what it says about k.
struct fan {
  int first, last;
  bool boundary;
  int stop;  // the last position whose entry starts a triangle with the next
};

// Whether k lies strictly between a and b, three points known to lie on one
// line: then a and b are in opposite directions from k. Comparisons of
// floats are exact.
bool between(float ax, float ay, float kx, float ky, float bx, float by) {
  return (ax < kx && kx < bx) || (ax > kx && kx > bx) || (ay < ky && ky < by) ||
         (ay > ky && ky > by);
}

}  // namespace

int exact_orientation(float ax, float ay, float bx, float by, float cx, float cy) {
  const double xa = static_cast<double>(ax), ya = static_cast<double>(ay);
  const double xb = static_cast<double>(bx), yb = static_cast<double>(by);
  const double xc = static_cast<double>(cx), yc = static_cast<double>(cy);
  // The usual filter: the double evaluation from differences has the exact
  // sign whenever it exceeds this bound (no product of float differences
  // overflows or underflows a double). Only nearly collinear points pay for
  // the expansion.
  const double left = (xb - xa) * (yc - ya);
  const double right = (yb - ya) * (xc - xa);
  const double det = left - right;
  constexpr double epsilon = 0x1p-53;
  constexpr double bound = (3.0 + 16.0 * epsilon) * epsilon;
  if (std::fabs(det) > bound * (std::fabs(left) + std::fabs(right)))
    return det > 0 ? 1 : -1;
  return orientation_by_expansion(xa, ya, xb, yb, xc, yc);
}

namespace detail {

bool is_triangulation(int n, std::span<const float> x, std::span<const float> y,
                      std::span<const int> iadj, std::span<const int> iend) {
  if (n < 3 || iend.size() < static_cast<std::size_t>(n))
    return false;
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const one_based<const int> adj(iadj);
  const one_based<const int> last_of(iend);

  // List ends strictly increasing and within iadj; entries in range, not the
  // node itself, the 0 only last.
  int nb = 0;
  const auto fan_of = [&](int k) {
    const int f = k == 1 ? 1 : last_of[k - 1] + 1;
    const int l = last_of[k];
    const bool boundary = adj[l] == outside;
    return fan{f, l, boundary, boundary ? l - 2 : l};
  };
  for (int k = 1, previous = 0; k <= n; previous = last_of[k], ++k) {
    if (last_of[k] <= previous || last_of[k] > adj.size())
      return false;
    const fan fk = fan_of(k);
    const int neighbours = fk.last - fk.first + (fk.boundary ? 0 : 1);
    if (neighbours < (fk.boundary ? 2 : 3))
      return false;
    for (int pos = fk.first; pos <= fk.last; ++pos) {
      const int a = adj[pos];
      if (a < 0 || a > n || a == k || (a == outside && pos != fk.last))
        return false;
    }
    nb += fk.boundary ? 1 : 0;
  }
  // The number of arcs of a triangulated disk with nb boundary nodes.
  if (nb < 3 || last_of[n] != 6 * n - 6 - nb)
    return false;

  // The entry after node b in a's list, cyclically, or -1 when b is not
  // there. A boundary list ends with its 0, which is never b: b found last
  // is in an interior list, whose first entry follows its last.
  const auto after = [&](int a, int b) {
    const int first = a == 1 ? 1 : last_of[a - 1] + 1;
    const int last = last_of[a];
    for (int pos = first; pos < last; ++pos) {
      if (adj[pos] == b)
        return adj[pos + 1];
    }
    return adj[last] == b ? adj[first] : -1;
  };

  // Two checks in one pass over the lists.
  //
  // Every triangle counterclockwise, and listed alike by its three vertices.
  // Each triangle is taken once, from the vertex with the longest list (the
  // lowest-numbered of equals), and looked up in the shorter lists of the
  // other two: a survey on lines sharing x leaves nodes with a thousand
  // neighbours, whose list would otherwise be searched once for each of
  // them. Those found account for three corners each, all different; a
  // triangulated disk with nb boundary nodes has 2n - 2 - nb triangles, as
  // many as there are corners in the lists (by the count of arcs above)
  // divided by three. So when that many are found, every corner of every
  // list belongs to a checked triangle.
  //
  // How far each node's neighbours turn around it. Seen from node k, its
  // neighbours a1, a2, ... turn counterclockwise, each triangle by less than
  // a half turn. An interior node's must go round once, not twice; a
  // boundary node's at most half a turn, or the boundary would turn
  // clockwise there or fold back on itself. Measured from the ray k -> a1,
  // the neighbours lie to its left, then at most one on the opposite ray,
  // then to its right; one to the left or on the line after one to the
  // right, or one on the ray itself, starts a second round. A boundary
  // node's never lie to the right. With every triangle counterclockwise,
  // this makes the lists a triangulation of a convex region, covering it
  // once.
  const auto length = [&](int k) { return last_of[k] - (k == 1 ? 0 : last_of[k - 1]); };
  // Whether node k rather than node a takes the triangles they share.
  const auto takes = [&](int k, int a) {
    const int lk = length(k);
    const int la = length(a);
    return lk > la || (lk == la && k < a);
  };
  std::int64_t triangles = 0;
  for (int k = 1; k <= n; ++k) {
    const fan fk = fan_of(k);
    const int a1 = adj[fk.first];
    bool right = false;
    for (int pos = fk.first; pos <= fk.last && adj[pos] != outside; ++pos) {
      const int a = adj[pos];
      if (pos > fk.first) {
        const int side = exact_orientation(xs[k], ys[k], xs[a1], ys[a1], xs[a], ys[a]);
        if (side < 0) {
          if (fk.boundary)
            return false;
          right = true;
        } else if (right || (side == 0 && !between(xs[a1], ys[a1], xs[k], ys[k], xs[a], ys[a]))) {
          return false;
        }
      }
      if (pos > fk.stop)
        continue;
      const int b = pos < fk.last ? adj[pos + 1] : a1;
      if (!takes(k, a) || !takes(k, b))
        continue;
      if (after(a, b) != k || after(b, k) != a ||
          exact_orientation(xs[k], ys[k], xs[a], ys[a], xs[b], ys[b]) <= 0)
        return false;
      ++triangles;
    }
  }
  if (triangles != 2 * std::int64_t{n} - 2 - nb)
    return false;

  // The boundary: one closed chain through all nb boundary nodes.
  int start = 1;
  while (!fan_of(start).boundary) ++start;
  int k = start;
  for (int steps = 0; steps < nb; ++steps) {
    const int next = adj[fan_of(k).first];
    if (next == outside || !fan_of(next).boundary || adj[fan_of(next).last - 1] != k)
      return false;
    k = next;
    if (k == start)
      return steps + 1 == nb;
  }
  return false;
}

}  // namespace detail
}  // namespace triang
