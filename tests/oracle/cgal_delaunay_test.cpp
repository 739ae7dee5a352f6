// Differential tests against CGAL's Delaunay triangulation (exact predicates)
// of the same single-precision points, ordered as the driver orders them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cgal_support.hpp"
#include "support/adjacency_check.hpp"
#include "support/delaunay_check.hpp"
#include "support/exact_predicates.hpp"
#include "support/mesh_parts.hpp"
#include "support/point_sets.hpp"
#include "triang/triang.hpp"

namespace tervox_test {
namespace {

constexpr int sizes[] = {3, 4, 5, 6, 8, 12, 30, 100, 300, 1000, 2000, 5000};
constexpr std::uint32_t seeds[] = {1, 2, 3};

std::string describe(point_family family, int size, std::uint32_t seed) {
  return std::string(family_name(family)) + ", " + std::to_string(size) + " points, seed " +
         std::to_string(seed);
}

template <class Check>
void for_each_set(Check check) {
  for (const point_family family : all_families) {
    for (const int size : sizes) {
      for (const std::uint32_t seed : seeds) {
        SCOPED_TRACE(describe(family, size, seed));
        const point_set points = generate(family, size, seed);
        if (points.size() < 3 || all_collinear(points.x, points.y)) {
          continue;
        }
        check(family, points);
      }
    }
  }
}

// The checkers themselves: CGAL's triangulations, cocircular quadruples and
// collinear boundary nodes included, must pass them (no false alarms), and
// one flipped arc must be caught.
TEST(cgal_delaunay_test, checkers_accept_cgal_triangulations) {
  for_each_set([](point_family, const point_set& points) {
    const cgal_structure cgal = cgal_delaunay(points.x, points.y);
    ASSERT_EQ(check_adjacency(points.size(), points.x, points.y, cgal.iadj, cgal.iend), "");
    ASSERT_EQ(check_delaunay(points.size(), points.x, points.y, cgal.iadj, cgal.iend), "");
  });
}

TEST(cgal_delaunay_test, delaunay_checker_catches_one_flipped_arc) {
  for (const int size : {4, 5, 10, 100, 1000}) {
    for (const point_family family : {point_family::uniform, point_family::projected}) {
      SCOPED_TRACE(describe(family, size, 7));
      const point_set points = generate(family, size, 7);
      const cgal_structure flipped = cgal_delaunay(points.x, points.y, true);
      EXPECT_EQ(check_adjacency(points.size(), points.x, points.y, flipped.iadj, flipped.iend), "");
      EXPECT_NE(check_delaunay(points.size(), points.x, points.y, flipped.iadj, flipped.iend), "");
    }
  }
}

// Without four points on one circle the Delaunay triangulation is unique, so
// the two must agree triangle for triangle.
TEST(cgal_delaunay_test, same_triangles_in_general_position) {
  for_each_set([](point_family family, const point_set& points) {
    if (!general_position(family)) {
      return;
    }
    const mesh m = build_mesh(points);
    ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
    const cgal_structure cgal = cgal_delaunay(m.x, m.y);
    const auto ours = triangles_of(m.n, m.iadj, m.iend);
    const auto theirs = triangles_of(m.n, cgal.iadj, cgal.iend);
    if (ours != theirs) {
      std::size_t i = 0;
      while (i < ours.size() && i < theirs.size() && ours[i] == theirs[i]) {
        ++i;
      }
      ADD_FAILURE() << ours.size() << " triangles against CGAL's " << theirs.size()
                    << "; first difference at sorted triangle " << i << ": ours "
                    << (i < ours.size() ? testing::PrintToString(ours[i]) : "none") << ", CGAL "
                    << (i < theirs.size() ? testing::PrintToString(theirs[i]) : "none")
                    << "; our Delaunay check: \"" << check_delaunay(m.n, m.x, m.y, m.iadj, m.iend)
                    << "\"";
    }
  });
}

// With four points on one circle the diagonal is a convention: both must be
// Delaunay and have the same boundary, collinear boundary nodes included.
TEST(cgal_delaunay_test, cocircular_sets_same_hull_and_both_delaunay) {
  for_each_set([](point_family family, const point_set& points) {
    if (general_position(family)) {
      return;
    }
    const mesh m = build_mesh(points);
    ASSERT_EQ(m.ier, triang::trmesh_ier::ok);
    ASSERT_EQ(check_adjacency(m.n, m.x, m.y, m.iadj, m.iend), "");
    EXPECT_EQ(check_delaunay(m.n, m.x, m.y, m.iadj, m.iend, delaunay_slack(family)), "");
    const cgal_structure cgal = cgal_delaunay(m.x, m.y);
    EXPECT_EQ(boundary_of(m.n, m.iadj, m.iend), boundary_of(m.n, cgal.iadj, cgal.iend));
    EXPECT_EQ(triangles_of(m.n, m.iadj, m.iend).size(),
              triangles_of(m.n, cgal.iadj, cgal.iend).size());
  });
}

}  // namespace
}  // namespace tervox_test
