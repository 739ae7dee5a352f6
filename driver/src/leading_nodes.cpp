#include "leading_nodes.hpp"

#include <cstddef>
#include <vector>

#include "triang/triang.hpp"

namespace tervox::driver {
bool leading_nodes_agree(std::span<const float> x, std::span<const float> y) {
  const int n = static_cast<int>(x.size());
  if (n < 3)
    return true;
  const triang::one_based<const float> xs(x);
  const triang::one_based<const float> ys(y);
  // The first node exactly off the line of nodes 1 and 2; n when none is.
  int p = 3;
  while (p < n && triang::exact_orientation(xs[1], ys[1], xs[2], ys[2], xs[p], ys[p]) == 0) ++p;
  const bool all_on_line = triang::exact_orientation(xs[1], ys[1], xs[2], ys[2], xs[p], ys[p]) == 0;

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
  // The construction checks what it built with exact orientations: a wrong
  // first fan comes back as a breakdown.
  return ier == triang::trmesh_ier::ok;
}

}  // namespace tervox::driver
