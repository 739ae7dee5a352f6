#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <utility>

#include "oracle/cgal_oracle.hpp"

namespace tervox_test {
namespace {

using cgal::delaunay;
using cgal::point;

// Units in the last place that the tool's value may differ by, counted at the
// largest absolute vertex value of the triangle, on a well-shaped triangle.
constexpr double ulps_allowed = 4.0;

double ulp(float v) {
  const float a = std::fabs(v);
  return static_cast<double>(std::nextafter(a, std::numeric_limits<float>::infinity()) - a);
}

double orient(const point& a, const point& b, const point& c) {
  return (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
}

// The squared longest edge over twice the area: about 1.15 for an
// equilateral triangle, large for a sliver.
double conditioning(const point& a, const point& b, const point& c) {
  const double longest = std::max(
      {CGAL::squared_distance(a, b), CGAL::squared_distance(b, c), CGAL::squared_distance(c, a)});
  return std::max(1.0, longest / std::fabs(orient(a, b, c)));
}

// The fill value in the long form: -1.0000E+02, or 1.0000E-10 in log mode.
bool is_long_fill(const std::string& line, float fill) {
  return std::strtod(line.c_str(), nullptr) == (fill < 0 ? -100.0 : 1.0e-10);
}

}  // namespace

cgal_oracle::cgal_oracle(std::span<const float> x, std::span<const float> y,
                         const std::vector<std::vector<float>>& z, bool log_mode)
    : z_(z), log_mode_(log_mode) {
  std::vector<std::pair<point, int>> points;
  for (std::size_t i = 0; i < x.size(); ++i) {
    points.emplace_back(point(static_cast<double>(x[i]), static_cast<double>(y[i])),
                        static_cast<int>(i) + 1);
  }
  dt_.insert(points.begin(), points.end());
}

expectation cgal_oracle::at(float px, float py) const {
  const point p(static_cast<double>(px), static_cast<double>(py));
  delaunay::Locate_type lt;
  int li = 0;
  const delaunay::Face_handle f = dt_.locate(p, lt, li);
  expectation e;
  const std::size_t layers = z_.size();
  e.value.assign(layers, 0.0);
  e.scale.assign(layers, 0.0f);
  switch (lt) {
    case delaunay::OUTSIDE_CONVEX_HULL:
    case delaunay::OUTSIDE_AFFINE_HULL:
      e.kind = expectation::filled;
      return e;
    case delaunay::VERTEX: {
      const delaunay::Vertex_handle v = f->vertex(li);
      e.kind = on_hull(v) ? expectation::either : expectation::inside;
      e.conditioning = star_conditioning(v);
      // The tool may answer with any triangle around the vertex, where a
      // neighbour's weight is 0: a non-finite neighbour makes that NaN.
      auto around = dt_.incident_vertices(v);
      const auto first = around;
      do {
        if (!dt_.is_infinite(around)) {
          for (std::size_t k = 0; k < layers; ++k)
            e.finite = e.finite && std::isfinite(node_value(k, around->info()));
        }
      } while (++around != first);
      for (std::size_t k = 0; k < layers; ++k) {
        const float zv = node_value(k, v->info());
        e.finite = e.finite && std::isfinite(zv);
        e.value[k] = back(static_cast<double>(zv));
        e.scale[k] = std::fabs(zv);
      }
      return e;
    }
    case delaunay::EDGE:
      if (dt_.is_infinite(f) || dt_.is_infinite(f->neighbor(li))) {
        e.kind = expectation::filled;
        return e;
      }
      break;
    case delaunay::FACE:
      break;
  }
  e.kind = expectation::inside;
  const point& a = f->vertex(0)->point();
  const point& b = f->vertex(1)->point();
  const point& c = f->vertex(2)->point();
  const double area = orient(a, b, c);
  e.conditioning = conditioning(a, b, c);
  const double w[3] = {orient(p, b, c) / area, orient(a, p, c) / area, orient(a, b, p) / area};
  for (std::size_t k = 0; k < layers; ++k) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
      const float zi = node_value(k, f->vertex(i)->info());
      e.finite = e.finite && std::isfinite(zi);
      sum += w[i] * static_cast<double>(zi);
      e.scale[k] = std::max(e.scale[k], std::fabs(zi));
    }
    e.value[k] = back(sum);
  }
  return e;
}

double cgal_oracle::allowed(const expectation& e, std::size_t k) const {
  const double in_layer = ulps_allowed * ulp(e.scale[k]) * e.conditioning;
  if (!log_mode_)
    return in_layer;
  // The error of the interpolated logarithm becomes a relative error of the
  // value, and the exponential is rounded to single once more.
  return std::fabs(e.value[k]) * (in_layer + std::ldexp(1.0, -23));
}

std::string cgal_oracle::check_line(const expectation& e, std::size_t k, const std::string& line,
                                    const std::string& filled_line, float fill) const {
  const bool is_short = line.size() == 8;
  const bool is_long = line.size() == 11;
  if (e.kind == expectation::filled)
    return line == filled_line ? "" : "outside the hull, but not the fill value";
  // At a hull vertex each layer's search may answer exterior, and the fill
  // value then takes the form that layer 1 chose for the cell.
  if (e.kind == expectation::either &&
      (line == filled_line || (is_long_fill(line, fill) && line.size() == 11)))
    return "";
  if (!is_short && !is_long)
    return "neither form";
  // Values built from a logarithm of 0 or of a negative number are -Infinity
  // or NaN times a weight; only the form is checked there.
  if (!e.finite)
    return is_long ? "" : "a non-finite value in the short form";
  if (is_short && e.value[0] != static_cast<double>(fill))
    return "inside the hull, but in the short form";
  // Half a unit of the last digit that the line shows.
  const double shown = std::strtod(line.c_str(), nullptr);
  const std::size_t e_at = line.find('E');
  if (e_at == std::string::npos)
    return "no exponent";
  const int exponent = std::atoi(line.c_str() + e_at + 1);
  const double half_digit = 0.5 * std::pow(10.0, exponent - (is_short ? 1 : 4));
  const double error = std::fabs(shown - e.value[k]);
  if (error <= half_digit * (1.0 + 1e-9) + allowed(e, k))
    return "";
  std::ostringstream why;
  why.precision(9);
  why << "CGAL gives " << e.value[k] << " (conditioning " << e.conditioning << ")";
  return why.str();
}

bool cgal_oracle::on_hull(delaunay::Vertex_handle v) const {
  auto f = dt_.incident_faces(v);
  const auto start = f;
  do {
    if (dt_.is_infinite(f))
      return true;
  } while (++f != start);
  return false;
}

// At a vertex the tool may answer with any triangle around it.
double cgal_oracle::star_conditioning(delaunay::Vertex_handle v) const {
  double worst = 1.0;
  auto f = dt_.incident_faces(v);
  const auto start = f;
  do {
    if (!dt_.is_infinite(f)) {
      worst = std::max(
          worst, conditioning(f->vertex(0)->point(), f->vertex(1)->point(), f->vertex(2)->point()));
    }
  } while (++f != start);
  return worst;
}

float cgal_oracle::node_value(std::size_t layer, int node) const {
  return z_[layer][static_cast<std::size_t>(node - 1)];
}

double cgal_oracle::back(double v) const {
  return log_mode_ ? std::exp(v) : v;
}

}  // namespace tervox_test
