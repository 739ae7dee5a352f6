// Incremental Delaunay construction: a first fan of triangles laid out
// directly from the leading collinear nodes, then one node at a time.
#include <cstdint>

#include "detail.hpp"
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
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const one_based<int> adj(iadj);
  const one_based<int> last_of(iend);

  ier = adnode_ier::ok;
  // Only nodes 1..knew-1 are in the structure yet; handing trfind exactly
  // those lists also sizes its step bound to them.
  const int used = last_of[knew - 1];
  int nv1 = 0;
  int nv2 = 0;
  int nv3 = 0;
  trfind(knew - 1, xs[knew], ys[knew], x, y, iadj.first(static_cast<std::size_t>(used)),
         iend.first(static_cast<std::size_t>(knew - 1)), nv1, nv2, nv3);
  if (nv1 == trfind_failed) {
    ier = adnode_ier::broken;
    return;
  }
  if (nv1 == outside) {
    ier = adnode_ier::collinear;
    return;
  }
  if (nv3 == outside) {
    bdyadd(knew, nv1, nv2, iadj, iend);
  } else {
    intadd(knew, nv1, nv2, nv3, iadj, iend);
  }

  // Test every arc opposite knew, walking knew's list counterclockwise. A
  // swap inserts w into knew's list just before b and moves the start of the
  // list down by one (a and b each lose an entry before it, w gains one), so
  // b stays at p, w lands at p-1 and the end l stays put.
  int f = last_of[knew - 1] + 1;
  const int l = last_of[knew];
  const int first = adj[f];
  int a = first;
  int p = f + 1;
  int b = adj[p];
  // Each swap adds a neighbour to knew and each other pass advances along
  // its list, so a valid structure needs fewer than 2 * knew passes.
  std::int64_t passes_left = 3 * static_cast<std::int64_t>(knew);
  for (;;) {
    if (--passes_left < 0) {
      assert(!"adnode: the swap loop exceeded its bound (broken structure)");
      ier = adnode_ier::broken;
      return;
    }
    // w: the node beyond the arc a-b, or outside for a boundary arc.
    const int q = index(a, b, iadj, iend);
    if (q == 0) {
      ier = adnode_ier::broken;
      return;
    }
    const int w = q == detail::first_pos(last_of, a) ? adj[last_of[a]] : adj[q - 1];
    if (w != outside && swptst(w, knew, b, a, x, y)) {
      swap(w, knew, b, a, iadj, iend);
      b = w;
      --p;
      --f;
      continue;
    }
    if (b == first) {
      return;
    }
    a = b;
    ++p;
    if (p > l) {
      p = f;
    }
    b = adj[p];
    if (b == outside) {
      return;
    }
  }
}

void trmesh(int n, std::span<const float> x, std::span<const float> y, std::span<int> iadj,
            std::span<int> iend, int& ier) {
  if (n < 3) {
    ier = trmesh_ier::too_few_nodes;
    return;
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
      return;
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

  // After a proper first fan adnode can only succeed. Anything else means the
  // coordinates broke the construction's assumptions (coincident nodes can
  // make point location answer "collinear"; non-finite ones make it fail),
  // and knew was not linked in: going on would read its unset list end.
  for (int knew = k + 1; knew <= n; ++knew) {
    int status = adnode_ier::ok;
    adnode(knew, x, y, iadj, iend, status);
    if (status != adnode_ier::ok) {
      ier = trmesh_ier::broken;
      return;
    }
  }
}

}  // namespace triang
