// The Delaunay test on the quadrilateral around an arc, and the replacement
// of that arc by the other diagonal in the packed adjacency lists.
#include <algorithm>

#include "detail.hpp"
#include "triang/triang.hpp"

namespace triang {

bool swptst(int join1, int join2, int diag1, int diag2, std::span<const float> x,
            std::span<const float> y) {
  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const auto diff = [](float a, float b) {
    return static_cast<double>(a) - static_cast<double>(b);
  };
  const auto rounded = [&](float a, float b) {
    return static_cast<double>(static_cast<float>(diff(a, b)));
  };

  // The difference of two floats is exact in double; every difference but the
  // first is nevertheless rounded to single precision as it is formed, which
  // is what decides near-cocircular quadrilaterals. The output bytes depend
  // on it: the diagonal a quadrilateral keeps decides which soundings a cell
  // is interpolated from. swptst_test.rounds_exactly_where_prescribed pins
  // each of these roundings (one row per rule), the golden files whole runs.
  const double dx11 = diff(xs[diag1], xs[join1]);
  const double dx12 = rounded(xs[diag2], xs[join1]);
  const double dx22 = rounded(xs[diag2], xs[join2]);
  const double dx21 = rounded(xs[diag1], xs[join2]);
  const double dy11 = rounded(ys[diag1], ys[join1]);
  const double dy12 = rounded(ys[diag2], ys[join1]);
  const double dy22 = rounded(ys[diag2], ys[join2]);
  const double dy21 = rounded(ys[diag1], ys[join2]);

  // Cosines (up to positive factors) of the angles at join1 and join2.
  const double c1 = dx11 * dx12 + dy11 * dy12;
  const double c2 = dx22 * dx21 + dy22 * dy21;
  if (c1 >= 0.0 && c2 >= 0.0) {
    return false;
  }
  if (c1 < 0.0 && c2 < 0.0) {
    return true;
  }

  // One angle obtuse: the sign of the sine of their sum decides; on the
  // circle (s12 == 0) the diagonal stays.
  const auto s1 = static_cast<float>(dx11 * dy12 - dx12 * dy11);
  const auto s2 = static_cast<float>(dx22 * dy21 - dx21 * dy22);
  const auto s12 = static_cast<float>(static_cast<double>(s1) * c2 + c1 * static_cast<double>(s2));
  return s12 < 0.0F;
}

namespace {

// When the gaining and losing lists interleave or nest, the swap is made one
// (gaining, losing) pair p, q at a time: p gains p2 and q loses q2, and only
// the entries between the two positions move. (w1, w2) is the pair that p's
// list holds in that order, the added entry going between them.
void move_one(int p, int q, int p2, int q2, int w1, int w2, std::span<int> iadj,
              std::span<int> iend) {
  const one_based<int> adj(iadj);
  const one_based<int> ends(iend);
  if (p < q) {
    const int f = index(p, w1, iadj, iend) + 1;
    const int l = index(q, q2, iadj, iend) - 1;
    shiftd(f, l, 1, iadj);
    adj[f] = p2;
    detail::move_ends(ends, p, q - 1, 1);
  } else {
    const int f = index(q, q2, iadj, iend) + 1;
    const int l = index(p, w2, iadj, iend) - 1;
    shiftd(f, l, -1, iadj);
    adj[l] = p2;
    detail::move_ends(ends, q, p - 1, -1);
  }
}

}  // namespace

void swap(int join1, int join2, int diag1, int diag2, std::span<int> iadj, std::span<int> iend) {
  const one_based<int> adj(iadj);
  const one_based<int> ends(iend);
  const auto pos = [&](int node, int nb) { return index(node, nb, iadj, iend); };

  // a < b gain an entry, d1 < d2 lose one. In a's list u is followed by v, in
  // b's list v by u.
  const int a = std::min(join1, join2);
  const int b = std::max(join1, join2);
  const int d1 = std::min(diag1, diag2);
  const int d2 = std::max(diag1, diag2);
  const int u = a == join1 ? diag1 : diag2;
  const int v = a == join1 ? diag2 : diag1;

  if (d2 < a) {
    // Both losing lists lie before both gaining lists: the block between the
    // two pairs moves down by 2 in one go.
    int f = pos(d1, d2) + 1;
    int l = pos(d2, d1) - 1;
    shiftd(f, l, -1, iadj);
    detail::move_ends(ends, d1, d2 - 1, -1);

    f = l + 2;
    l = pos(a, v) - 1;
    shiftd(f, l, -2, iadj);
    adj[l - 1] = b;
    detail::move_ends(ends, d2, a - 1, -2);

    f = l + 1;
    l = pos(b, u) - 1;
    shiftd(f, l, -1, iadj);
    adj[l] = a;
    detail::move_ends(ends, a, b - 1, -1);
  } else if (b < d1) {
    // Both gaining lists lie before both losing lists: the mirror image.
    int f = pos(d1, d2) + 1;
    int l = pos(d2, d1) - 1;
    shiftd(f, l, 1, iadj);
    detail::move_ends(ends, d1, d2 - 1, 1);

    l = f - 2;
    f = pos(b, v) + 1;
    shiftd(f, l, 2, iadj);
    adj[f + 1] = a;
    detail::move_ends(ends, b, d1 - 1, 2);

    l = f - 1;
    f = pos(a, u) + 1;
    shiftd(f, l, 1, iadj);
    adj[f] = b;
    detail::move_ends(ends, a, b - 1, 1);
  } else {
    // The pairs interleave or nest: pair a with d1 and b with d2.
    move_one(a, d1, b, d2, u, v, iadj, iend);
    move_one(b, d2, a, d1, v, u, iadj, iend);
  }
}

}  // namespace triang
