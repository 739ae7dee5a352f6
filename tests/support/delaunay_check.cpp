#include "support/delaunay_check.hpp"

#include <cstddef>
#include <sstream>

#include "support/exact_predicates.hpp"
#include "triang/triang.hpp"

namespace tervox_test {

std::string check_delaunay(int n, std::span<const float> x, std::span<const float> y,
                           std::span<const int> iadj, std::span<const int> iend, double slack) {
  const auto un = static_cast<std::size_t>(n);
  const triang::one_based<const float> xs(x.first(un));
  const triang::one_based<const float> ys(y.first(un));
  const triang::one_based<const int> adj(iadj);
  const triang::one_based<const int> end(iend.first(un));
  for (int node = 1; node <= n; ++node) {
    const int f = node == 1 ? 1 : end[node - 1] + 1;
    const int l = end[node];
    const bool on_boundary = adj[l] == triang::outside;
    for (int pos = f; pos <= l; ++pos) {
      const int a = adj[pos];
      // Each arc once, from its lower-numbered end.
      if (a == triang::outside || a < node) {
        continue;
      }
      // b follows a and c precedes it: triangles (node, a, b) and (node, c, a)
      // share the arc node-a. A boundary arc has only one of them.
      int b = 0;
      int c = 0;
      if (pos < l) {
        b = adj[pos + 1];
      } else if (!on_boundary) {
        b = adj[f];
      }
      if (pos > f) {
        c = adj[pos - 1];
      } else if (!on_boundary) {
        c = adj[l];
      }
      if (b == triang::outside || c == triang::outside) {
        continue;
      }
      if (incircle(xs[node], ys[node], xs[a], ys[a], xs[b], ys[b], xs[c], ys[c]) > 0 &&
          incircle_relative(xs[node], ys[node], xs[a], ys[a], xs[b], ys[b], xs[c], ys[c]) > slack) {
        std::ostringstream out;
        out << "node " << c << " lies strictly inside the circumcircle of triangle (" << node
            << ", " << a << ", " << b << "), across the arc " << node << "-" << a << " (position "
            << pos << "); relative incircle determinant "
            << incircle_relative(xs[node], ys[node], xs[a], ys[a], xs[b], ys[b], xs[c], ys[c]);
        return out.str();
      }
    }
  }
  return "";
}

}  // namespace tervox_test
