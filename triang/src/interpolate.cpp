// Piecewise-linear interpolation over the triangulation: barycentric
// coordinates in one triangle, and the nearest boundary value outside.
#include <array>

#include "triang/triang.hpp"

namespace triang {
namespace {

/// Widens a stored single-precision value for double-precision evaluation.
inline double dbl(float v) {
  return static_cast<double>(v);
}

}  // namespace

void coords(float px, float py, float x1, float x2, float x3, float y1, float y2, float y3,
            std::span<float, 3> r, int& ier) {
  const float u1 = static_cast<float>(dbl(x3) - dbl(x2));
  const float u2 = static_cast<float>(dbl(x1) - dbl(x3));
  const float u3 = static_cast<float>(dbl(x2) - dbl(x1));
  const float w1 = static_cast<float>(dbl(y3) - dbl(y2));
  const float w2 = static_cast<float>(dbl(y1) - dbl(y3));
  const float w3 = static_cast<float>(dbl(y2) - dbl(y1));

  // Twice the signed area, kept in double: rounding it would bias all three
  // coordinates the same way.
  const double area = dbl(u1) * dbl(w2) - dbl(u2) * dbl(w1);
  if (area == 0.0) {
    ier = coords_ier::zero_area;
    return;
  }
  // r1 is measured from vertex 2, the only vertex on the edge opposite 1.
  r[0] = static_cast<float>((dbl(u1) * (dbl(py) - dbl(y2)) - dbl(w1) * (dbl(px) - dbl(x2))) / area);
  r[1] = static_cast<float>((dbl(u2) * (dbl(py) - dbl(y1)) - dbl(w2) * (dbl(px) - dbl(x1))) / area);
  r[2] = static_cast<float>((dbl(u3) * (dbl(py) - dbl(y1)) - dbl(w3) * (dbl(px) - dbl(x1))) / area);
  ier = coords_ier::ok;
}

void intrc0(int n, float px, float py, std::span<const float> x, std::span<const float> y,
            std::span<const float> z, std::span<const int> iadj, std::span<const int> iend,
            int& istart, float& pz, int& ier) {
  if (n < 3 || istart < 1 || istart > n) {
    pz = 0.0F;
    ier = intrc0_ier::bad_input;
    return;
  }
  int nv1 = 0;
  int nv2 = 0;
  int nv3 = 0;
  trfind(istart, px, py, x, y, iadj, iend, nv1, nv2, nv3);
  if (nv1 == trfind_failed) {
    pz = 0.0F;
    ier = intrc0_ier::broken;
    return;
  }
  if (nv1 == outside) {
    pz = 0.0F;
    ier = intrc0_ier::no_triangle;
    return;
  }
  istart = nv1;

  const one_based<const float> xs(x);
  const one_based<const float> ys(y);
  const one_based<const float> zs(z);

  if (nv3 != outside) {
    std::array<float, 3> r{};
    int coords_status = coords_ier::ok;
    coords(px, py, xs[nv1], xs[nv2], xs[nv3], ys[nv1], ys[nv2], ys[nv3], r, coords_status);
    if (coords_status != coords_ier::ok) {
      pz = 0.0F;
      ier = intrc0_ier::no_triangle;
      return;
    }
    pz = static_cast<float>(dbl(zs[nv1]) * dbl(r[0]) + dbl(zs[nv2]) * dbl(r[1]) +
                            dbl(zs[nv3]) * dbl(r[2]));
    ier = intrc0_ier::inside;
    return;
  }

  // Exterior: walk the boundary clockwise from nv1 until the point projects
  // onto a node (d <= 0) or strictly inside an arc (s > 0). A convex
  // boundary of at most n arcs settles it within n steps; only a
  // non-finite point or a broken structure can go round for ever.
  const one_based<const int> adj(iadj);
  const one_based<const int> last_of(iend);
  const double pxd = dbl(px);
  const double pyd = dbl(py);
  int m = nv1;
  for (int step = 0; step < n; ++step) {
    // On a broken structure m's list end or its predecessor may be out of
    // range; they are checked before they are used as subscripts.
    const int m_last = last_of[m];
    const int p = m_last >= 2 && m_last <= adj.size() ? adj[m_last - 1] : outside;
    if (p < 1 || p > n || p > last_of.size()) {
      assert(!"intrc0: a boundary node out of range (broken structure)");
      pz = 0.0F;
      ier = intrc0_ier::broken;
      return;
    }
    const double xm = dbl(xs[m]);
    const double ym = dbl(ys[m]);
    const double xp = dbl(xs[p]);
    const double yp = dbl(ys[p]);
    const float d = static_cast<float>((pxd - xm) * (xp - xm) + (pyd - ym) * (yp - ym));
    if (d <= 0.0F) {
      pz = zs[m];
      ier = intrc0_ier::exterior;
      return;
    }
    const double s = (pxd - xp) * (xm - xp) + (pyd - yp) * (ym - yp);
    if (s > 0.0) {
      const double length2 = (xm - xp) * (xm - xp) + (ym - yp) * (ym - yp);
      const float t = static_cast<float>(dbl(d) / length2);
      pz = static_cast<float>(dbl(t) * dbl(zs[p]) + (1.0 - dbl(t)) * dbl(zs[m]));
      ier = intrc0_ier::exterior;
      return;
    }
    m = p;
  }
  assert(!"intrc0: the boundary walk did not end (non-finite point or broken structure)");
  pz = 0.0F;
  ier = intrc0_ier::broken;
}

}  // namespace triang
