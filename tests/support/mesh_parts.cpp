#include "support/mesh_parts.hpp"

#include <algorithm>
#include <cstddef>

#include "triang/triang.hpp"

namespace tervox_test {

std::vector<std::array<int, 3>> triangles_of(int n, std::span<const int> iadj,
                                             std::span<const int> iend) {
  const triang::one_based<const int> adj(iadj);
  const triang::one_based<const int> end(iend.first(static_cast<std::size_t>(n)));
  std::vector<std::array<int, 3>> out;
  for (int node = 1; node <= n; ++node) {
    const int f = node == 1 ? 1 : end[node - 1] + 1;
    const int l = end[node];
    const bool on_boundary = adj[l] == triang::outside;
    for (int pos = f; pos <= (on_boundary ? l - 2 : l); ++pos) {
      const int a = adj[pos];
      const int b = pos == l ? adj[f] : adj[pos + 1];
      if (node < a && node < b) {
        out.push_back({node, a, b});
      }
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<int> boundary_of(int n, std::span<const int> iadj, std::span<const int> iend) {
  const triang::one_based<const int> adj(iadj);
  const triang::one_based<const int> end(iend.first(static_cast<std::size_t>(n)));
  std::vector<int> out;
  int start = 0;
  for (int node = 1; node <= n && start == 0; ++node) {
    if (adj[end[node]] == triang::outside) {
      start = node;
    }
  }
  if (start == 0) {
    return out;
  }
  int node = start;
  do {
    out.push_back(node);
    node = adj[node == 1 ? 1 : end[node - 1] + 1];
  } while (node != start && out.size() <= static_cast<std::size_t>(n));
  return out;
}

}  // namespace tervox_test
