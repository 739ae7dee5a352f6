// Incremental Delaunay construction: a first fan of triangles laid out
// directly from the leading collinear nodes, then one node at a time.
#include <cstddef>
#include <cstdint>

#include "add_node.hpp"
#include "detail.hpp"
#include "node_lists.hpp"
#include "packed_lists.hpp"
#include "triang/triang.hpp"

namespace triang {
namespace {

/// Widens a stored single-precision value for double-precision evaluation.
inline double dbl(float v) {
  return static_cast<double>(v);
}

}  // namespace

void adnode(int knew, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, int& ier) {
  detail::packed_lists lists(iadj, iend);
  ier = detail::add_node(lists, knew, x, y);
}

namespace detail {

int first_fan(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
              std::span<int> iend, int& ier) {
  if (n < 3) {
    ier = trmesh_ier::too_few_nodes;
    return 0;
  }
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const one_based<int> adj(iadj);
  // Until the first fan is laid out, iend holds the chain: the node numbers
  // of the leading collinear nodes in their order along the line.
  const one_based<int> chain(iend);

  ier = trmesh_ier::ok;
  chain[1] = 1;
  chain[2] = 2;
  float xl = xs[1];
  float yl = ys[1];
  float xr = xs[2];
  float yr = ys[2];
  int k = 2;
  int m = 0;

  // Each product and sum is formed in double and rounded only where a named
  // quantity is stored, so the signs of cross and dot are those of the exact
  // products of the single-precision differences. The chain's direction is
  // recomputed on every pass; it only changes when an end moves.
  for (;;) {
    const float dxr = static_cast<float>(dbl(xr) - dbl(xl));
    const float dyr = static_cast<float>(dbl(yr) - dbl(yl));
    if (k == n) {
      ier = trmesh_ier::collinear;
      return 0;
    }
    m = k;
    ++k;
    const float dxk = static_cast<float>(dbl(xs[k]) - dbl(xl));
    const float dyk = static_cast<float>(dbl(ys[k]) - dbl(yl));
    const float cross = static_cast<float>(dbl(dxr) * dbl(dyk) - dbl(dyr) * dbl(dxk));
    if (cross > 0.0F) {
      // k lies left of the chain: reverse it so that k lies to its right.
      for (int i = 1; i <= m / 2; ++i) {
        const int keep = chain[i];
        chain[i] = chain[k - i];
        chain[k - i] = keep;
      }
      break;
    }
    if (cross < 0.0F) {
      break;
    }
    const float dot = static_cast<float>(dbl(dxr) * dbl(dxk) + dbl(dyr) * dbl(dyk));
    if (!(dot > 0.0F)) {
      // At the first node or behind it: k becomes the new first node.
      shiftd(1, m, 1, iend);
      chain[1] = k;
      xl = xs[k];
      yl = ys[k];
      continue;
    }
    // Ahead of the first node: in front of the first chain node it reaches.
    // s keeps the unrounded differences; only s itself is rounded.
    bool placed = false;
    for (int i = 2; i <= m; ++i) {
      const int j = chain[i];
      const double xj = dbl(xs[j]);
      const double yj = dbl(ys[j]);
      const float s = static_cast<float>((dbl(xl) - xj) * (dbl(xs[k]) - xj) +
                                         (dbl(yl) - yj) * (dbl(ys[k]) - yj));
      if (s >= 0.0F) {
        shiftd(i, m, 1, iend);
        chain[i] = k;
        placed = true;
        break;
      }
    }
    if (!placed) {
      // Beyond the last node: k becomes the new last node.
      chain[k] = k;
      xr = xs[k];
      yr = ys[k];
    }
  }

  // First fan: k joined to every chain node c(1..m), all nodes on the
  // boundary. Node j's list ends at 4j, one less for each chain end at or
  // below j, since the two ends have three entries and the others four.
  const int c1 = chain[1];
  const int cm = chain[m];
  const auto list_end = [&](int node) {
    return 4 * node - (node >= c1 ? 1 : 0) - (node >= cm ? 1 : 0);
  };
  for (int i = 1; i <= m; ++i) {
    const int node = chain[i];
    int pos = list_end(node);
    adj[pos] = outside;
    if (i < m) {
      adj[--pos] = chain[i + 1];
    }
    adj[--pos] = k;
    if (i > 1) {
      adj[pos - 1] = chain[i - 1];
    }
  }
  // k's list: the chain from c(m) back to c(1), then the 0 at 5m-1.
  for (int i = 1; i <= m; ++i) {
    adj[4 * m - 1 + (m - i)] = chain[i];
  }
  adj[5 * m - 1] = outside;

  const one_based<int> last_of(iend);
  int t = 0;
  for (int node = 1; node <= m; ++node) {
    t += 4 - (node == c1 ? 1 : 0) - (node == cm ? 1 : 0);
    last_of[node] = t;
  }
  last_of[k] = t + k;
  return k;
}

}  // namespace detail

void trmesh(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, int& ier) {
  const int k = detail::first_fan(n, x, y, iadj, iend, ier);
  if (k == 0) {
    return;
  }
  // After a proper first fan adding a node can only succeed. Anything else
  // means the coordinates broke the construction's assumptions (coincident
  // nodes can make point location answer "collinear"; non-finite ones make
  // it fail), and knew was not linked in: going on would read its unset list
  // end.
  detail::packed_lists lists(iadj, iend);
  for (int knew = k + 1; knew <= n; ++knew) {
    if (detail::add_node(lists, knew, x, y) != adnode_ier::ok) {
      ier = trmesh_ier::broken;
      return;
    }
  }
  // Rounded tests can misjudge nearly collinear nodes and still finish.
  if (!detail::is_triangulation(n, x, y, iadj, iend)) {
    ier = trmesh_ier::broken;
  }
}

std::size_t trmesh_work_size(int n) {
  return detail::node_lists::work_size(n);
}

// The same construction, edit for edit, on per-node lists in the workspace;
// the lists are packed into iadj and iend once at the end (also when the
// construction breaks down, so that the arrays hold what the packed routine
// leaves).
void trmesh(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, std::span<int> work, int& ier,
            std::atomic<std::int64_t>* nodes_linked) {
  const std::size_t need = trmesh_work_size(n);
  if (need == 0 || work.size() < need) {
    trmesh(n, x, y, iadj, iend, ier);
    if (nodes_linked != nullptr && ier == trmesh_ier::ok) {
      nodes_linked->store(n, std::memory_order_relaxed);
    }
    return;
  }
  const int k = detail::first_fan(n, x, y, iadj, iend, ier);
  if (k == 0) {
    return;
  }
  detail::node_lists lists(n, iadj.size(), work);
  lists.load(iadj, iend, k);
  detail::hull_shortcut shortcut(n, x, y);
  shortcut.check_first_fan(lists, k);
  for (int knew = k + 1; knew <= n; ++knew) {
    if (detail::add_node(lists, knew, x, y, &shortcut) != adnode_ier::ok) {
      ier = trmesh_ier::broken;
      break;
    }
    if (nodes_linked != nullptr) {
      nodes_linked->store(knew, std::memory_order_relaxed);
    }
  }
  lists.pack(iadj, iend);
  if (ier == trmesh_ier::ok && !detail::is_triangulation(n, x, y, iadj, iend)) {
    ier = trmesh_ier::broken;
  }
}

}  // namespace triang
