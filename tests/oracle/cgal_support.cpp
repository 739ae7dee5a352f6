#include "cgal_support.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "cgal_types.hpp"

namespace tervox_test {
namespace {

using cgal::delaunay;
using cgal::kernel;
using cgal::point;

// Flips the first interior edge whose quadrilateral is strictly convex and
// whose far vertex lies strictly outside the circumcircle: the flipped edge
// then has the far vertex strictly inside the new triangle's circumcircle.
void flip_first(delaunay& dt) {
  for (auto e = dt.finite_edges_begin(); e != dt.finite_edges_end(); ++e) {
    const auto face = e->first;
    const int i = e->second;
    const auto other = face->neighbor(i);
    if (dt.is_infinite(face) || dt.is_infinite(other)) {
      continue;
    }
    const point& p = face->vertex(i)->point();
    const point& a = face->vertex(delaunay::cw(i))->point();
    const point& b = face->vertex(delaunay::ccw(i))->point();
    const point& q = other->vertex(other->index(face))->point();
    const bool convex = CGAL::orientation(p, q, a) != CGAL::orientation(p, q, b) &&
                        CGAL::orientation(p, q, a) != CGAL::COLLINEAR &&
                        CGAL::orientation(p, q, b) != CGAL::COLLINEAR;
    const bool strict =
        CGAL::side_of_oriented_circle(face->vertex(0)->point(), face->vertex(1)->point(),
                                      face->vertex(2)->point(), q) == CGAL::ON_NEGATIVE_SIDE;
    if (convex && strict) {
      dt.tds().flip(face, i);
      return;
    }
  }
}

}  // namespace

cgal_structure cgal_delaunay(std::span<const float> x, std::span<const float> y, bool flip_one) {
  const int n = static_cast<int>(x.size());
  std::vector<std::pair<point, int>> points;
  for (int k = 1; k <= n; ++k) {
    const auto i = static_cast<std::size_t>(k - 1);
    points.emplace_back(point(static_cast<double>(x[i]), static_cast<double>(y[i])), k);
  }
  delaunay dt(points.begin(), points.end());
  if (flip_one) {
    flip_first(dt);
  }
  std::vector<delaunay::Vertex_handle> vertex(static_cast<std::size_t>(n) + 1);
  for (auto v = dt.finite_vertices_begin(); v != dt.finite_vertices_end(); ++v) {
    vertex[static_cast<std::size_t>(v->info())] = v;
  }
  cgal_structure out;
  for (int k = 1; k <= n; ++k) {
    std::vector<int> list;
    auto c = dt.incident_vertices(vertex[static_cast<std::size_t>(k)]);
    const auto done = c;
    do {
      list.push_back(dt.is_infinite(c) ? 0 : c->info());
    } while (++c != done);
    // Around a boundary node the exterior (the infinite vertex) comes just
    // after the previous boundary node; the list starts after it and ends
    // with the 0.
    const auto zero = std::find(list.begin(), list.end(), 0);
    if (zero != list.end()) {
      std::rotate(list.begin(), zero + 1, list.end());
    }
    out.iadj.insert(out.iadj.end(), list.begin(), list.end());
    out.iend.push_back(static_cast<int>(out.iadj.size()));
  }
  out.iadj.resize(static_cast<std::size_t>(std::max(6 * n - 9, 0)), 0);
  return out;
}

}  // namespace tervox_test
