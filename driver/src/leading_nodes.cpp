#include "leading_nodes.hpp"

#include <array>
#include <cstddef>
#include <vector>

#include "triang/triang.hpp"

namespace tervox {
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

}  // namespace

int exact_orientation(float ax, float ay, float bx, float by, float cx, float cy) {
  // (bx-ax)(cy-ay) - (by-ay)(cx-ax), multiplied out. A product of two floats
  // is exact in double (48 significant bits, exponents within range), so the
  // sign of the sum of six doubles decides: it is summed exactly as a
  // non-overlapping expansion, whose last non-zero component carries the
  // sign.
  const auto d = [](float v) { return static_cast<double>(v); };
  const std::array<double, 6> terms{d(bx) * d(cy),    -(d(bx) * d(ay)), -(d(ax) * d(cy)),
                                    -(d(by) * d(cx)), d(by) * d(ax),    d(ay) * d(cx)};
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

bool leading_nodes_agree(std::span<const float> x, std::span<const float> y) {
  const int n = static_cast<int>(x.size());
  if (n < 3)
    return true;
  const triang::one_based<const float> xs(x);
  const triang::one_based<const float> ys(y);
  // The first node exactly off the line of nodes 1 and 2; n when none is.
  int p = 3;
  while (p < n && exact_orientation(xs[1], ys[1], xs[2], ys[2], xs[p], ys[p]) == 0) ++p;
  const bool all_on_line = exact_orientation(xs[1], ys[1], xs[2], ys[2], xs[p], ys[p]) == 0;

  // The construction decides its first triangles from nodes 1..k alone,
  // where k is the first node it takes to be off the line; on nodes 1..p it
  // reaches the same decisions as on all of them, up to p.
  const auto count = static_cast<std::size_t>(p);
  std::vector<int> iadj(6 * count - 9);
  std::vector<int> iend(count);
  int ier = 0;
  triang::trmesh(p, x.first(count), y.first(count), iadj, iend, ier);
  if (all_on_line)
    return ier == triang::trmesh_ier::collinear;
  if (ier == triang::trmesh_ier::collinear)
    return p == n;  // the whole set is reported collinear: a refusal, not a wrong result
  if (ier != triang::trmesh_ier::ok)
    return true;  // reported as a failure by the run itself

  // Every triangle of the leading nodes must turn counterclockwise: node k
  // with consecutive neighbours a, b (no 0 between them) is triangle k, a, b.
  const triang::one_based<const int> adj{std::span<const int>(iadj)};
  const triang::one_based<const int> last{std::span<const int>(iend)};
  int first = 1;
  for (int k = 1; k <= p; ++k) {
    for (int pos = first; pos <= last[k]; ++pos) {
      // An interior node's list is a cycle: its last neighbour meets its first.
      const int a = adj[pos];
      const int b = adj[pos < last[k] ? pos + 1 : first];
      if (a == 0 || b == 0)
        continue;
      if (exact_orientation(xs[k], ys[k], xs[a], ys[a], xs[b], ys[b]) <= 0)
        return false;
    }
    first = last[k] + 1;
  }
  return true;
}

}  // namespace tervox
