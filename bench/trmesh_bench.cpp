// Construction time of the triangulation, ordering included, beside CGAL's
// construction of the same points (exact predicates, its own spatial sort);
// and point location on the finished triangulation, as the driver does it for
// every cell of a grid.
//
//   build/<dir>/bench/tervox_bench --benchmark_filter=trmesh
//   build/<dir>/bench/tervox_bench --benchmark_filter=trfind
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace {

using tervox_test::point_family;
using tervox_test::point_set;

const point_set& points(point_family family, int n) {
  static std::map<std::pair<point_family, int>, point_set> cache;
  auto it = cache.find({family, n});
  if (it == cache.end()) {
    it = cache.emplace(std::pair{family, n}, tervox_test::generate(family, n, 2024)).first;
  }
  return it->second;
}

// What the driver does: sort by x carrying y along, then triangulate, in
// place or with the workspace construction (allocated once, like iadj and
// iend). An empty workspace selects the in-place construction.
void triangulate_with_ordering(benchmark::State& state, point_family family, bool workspace) {
  const point_set& p = points(family, static_cast<int>(state.range(0)));
  const int n = p.size();
  const auto un = static_cast<std::size_t>(n);
  std::vector<float> x;
  std::vector<float> y;
  std::vector<int> ind(un);
  std::vector<int> iadj(6 * un - 9);
  std::vector<int> iend(un);
  std::vector<int> work(workspace ? triang::trmesh_work_size(n) : 0);
  int ier = -1;
  for (auto _ : state) {
    state.PauseTiming();
    x = p.x;
    y = p.y;
    state.ResumeTiming();
    triang::reordr(n, 2, x, y, std::span<float>{}, ind);
    triang::trmesh(n, x, y, iadj, iend, work, ier);
    benchmark::DoNotOptimize(iadj.data());
    benchmark::ClobberMemory();
  }
  if (ier != triang::trmesh_ier::ok) {
    state.SkipWithError("trmesh did not succeed");
  }
  state.counters["points"] = static_cast<double>(n);
}

void trmesh_with_ordering(benchmark::State& state, point_family family) {
  triangulate_with_ordering(state, family, false);
}
void trmesh_work_with_ordering(benchmark::State& state, point_family family) {
  triangulate_with_ordering(state, family, true);
}

void cgal_construction(benchmark::State& state, point_family family) {
  using kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
  const point_set& p = points(family, static_cast<int>(state.range(0)));
  std::vector<kernel::Point_2> cgal_points;
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    cgal_points.emplace_back(static_cast<double>(p.x[i]), static_cast<double>(p.y[i]));
  }
  for (auto _ : state) {
    CGAL::Delaunay_triangulation_2<kernel> dt(cgal_points.begin(), cgal_points.end());
    benchmark::DoNotOptimize(dt.number_of_faces());
  }
  state.counters["points"] = static_cast<double>(p.size());
}

// Point location of the centres of a 1000 x 1000 grid over the points'
// bounding box, row by row, each walk starting from the node the one before
// ended at: the driver's pass over the cells of a layer. Mostly short walks
// inside the triangulation, and along the boundary for the cells outside it.
void trfind_grid(benchmark::State& state, point_family family) {
  static std::map<std::pair<point_family, int>, tervox_test::mesh> meshes;
  const int size = static_cast<int>(state.range(0));
  auto it = meshes.find({family, size});
  if (it == meshes.end()) {
    it = meshes.emplace(std::pair{family, size}, tervox_test::build_mesh(points(family, size)))
             .first;
  }
  const tervox_test::mesh& m = it->second;
  if (m.ier != triang::trmesh_ier::ok) {
    state.SkipWithError("trmesh did not succeed");
    return;
  }
  constexpr int cells = 1000;
  const auto [xlo, xhi] = std::minmax_element(m.x.begin(), m.x.end());
  const auto [ylo, yhi] = std::minmax_element(m.y.begin(), m.y.end());
  const float dx = (*xhi - *xlo) / cells;
  const float dy = (*yhi - *ylo) / cells;
  std::int64_t sum = 0;
  for (auto _ : state) {
    int istart = 1;
    for (int j = 0; j < cells; ++j) {
      const float py = *ylo + (static_cast<float>(j) + 0.5F) * dy;
      for (int i = 0; i < cells; ++i) {
        const float px = *xlo + (static_cast<float>(i) + 0.5F) * dx;
        int nv1 = 0;
        int nv2 = 0;
        int nv3 = 0;
        triang::trfind(istart, px, py, m.x, m.y, m.iadj, m.iend, nv1, nv2, nv3);
        if (nv1 > 0) {
          istart = nv1;
        }
        sum += nv1 + nv2 + nv3;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["locations"] = benchmark::Counter(static_cast<double>(cells) * cells,
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

// Uniform points, and a survey: flight lines along y, the soundings of a line
// sharing x exactly.
#define TERVOX_TRIANGULATION_BENCH(fn, family)        \
  BENCHMARK_CAPTURE(fn, family, point_family::family) \
      ->Arg(100'000)                                  \
      ->Arg(1'000'000)                                \
      ->Unit(benchmark::kMillisecond)

TERVOX_TRIANGULATION_BENCH(trmesh_with_ordering, uniform);
TERVOX_TRIANGULATION_BENCH(trmesh_work_with_ordering, uniform);
TERVOX_TRIANGULATION_BENCH(cgal_construction, uniform);
TERVOX_TRIANGULATION_BENCH(trmesh_with_ordering, shared_x_lines);
TERVOX_TRIANGULATION_BENCH(trmesh_work_with_ordering, shared_x_lines);
TERVOX_TRIANGULATION_BENCH(cgal_construction, shared_x_lines);
TERVOX_TRIANGULATION_BENCH(trfind_grid, uniform);
TERVOX_TRIANGULATION_BENCH(trfind_grid, shared_x_lines);
TERVOX_TRIANGULATION_BENCH(trfind_grid, projected_lines);

}  // namespace
