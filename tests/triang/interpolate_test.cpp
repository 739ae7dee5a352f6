#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <vector>

#include "triang/triang.hpp"

namespace tervox_test {
namespace {

using r_array = std::array<float, 3>;

struct coords_case {
  const char* what;
  float px, py;
  float x1, x2, x3, y1, y2, y3;
  r_array expected;
};

TEST(coords_test, barycentric_coordinates) {
  const coords_case cases[] = {
      {"counterclockwise, A = 1", 0.25F, 0.25F, 0, 1, 0, 0, 0, 1, {0.5F, 0.25F, 0.25F}},
      {"clockwise, A = -1: each r still belongs to its vertex",
       0.25F,
       0.25F,
       1,
       0,
       0,
       0,
       0,
       1,
       {0.25F, 0.5F, 0.25F}},
      {"at vertex 1", 0, 0, 0, 1, 0, 0, 0, 1, {1, 0, 0}},
      {"at vertex 2", 1, 0, 0, 1, 0, 0, 0, 1, {0, 1, 0}},
      {"at vertex 3", 0, 1, 0, 1, 0, 0, 0, 1, {0, 0, 1}},
      {"on the edge opposite 1", 0.5F, 0.5F, 0, 1, 0, 0, 0, 1, {0, 0.5F, 0.5F}},
      {"on the edge opposite 2", 0, 0.75F, 0, 1, 0, 0, 0, 1, {0.25F, 0, 0.75F}},
      {"on the edge opposite 3", 0.75F, 0, 0, 1, 0, 0, 0, 1, {0.25F, 0.75F, 0}},
      {"outside: negative coordinates", 1, 1, 0, 1, 0, 0, 0, 1, {-1, 1, 1}},
      {"large triangle, off the origin",
       1001,
       2002,
       1000,
       1004,
       1000,
       2000,
       2000,
       2008,
       {0.5F, 0.25F, 0.25F}},
      // The edge vectors are rounded to single precision: x3 - x2 =
      // -16777215.5 becomes -2^24, so a point on the edge from vertex 1 to
      // vertex 3 gets r1 just below 1/2 (exactly 1/2 without the rounding).
      {"edge vectors rounded",
       0.5F,
       0.5F,
       0.5F,
       16777216,
       0.5F,
       0,
       0,
       1,
       {0x1.fffffep-2F, 0, 0.5F}},
      // The doubled area is kept unrounded; rounding it to single precision
      // would change the last bit of every coordinate here.
      {"area not rounded",
       8,
       0,
       0,
       3766,
       16777215,
       0,
       -1,
       4,
       {0x1.ffffbp-1F, 0x1.ff8a6ep-20F, 0x1.ff8a6ep-22F}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    r_array r{-9, -9, -9};
    int ier = -9;
    triang::coords(c.px, c.py, c.x1, c.x2, c.x3, c.y1, c.y2, c.y3, r, ier);
    EXPECT_EQ(ier, triang::coords_ier::ok);
    EXPECT_EQ(r, c.expected);
  }
}

TEST(coords_test, zero_area_leaves_r_untouched) {
  const coords_case cases[] = {
      {"collinear", 0.5F, 0.5F, 0, 1, 2, 0, 1, 2, {}},
      {"two vertices coincide", 0.5F, 0.5F, 0, 0, 1, 0, 0, 1, {}},
      {"all vertices coincide", 3, 3, 3, 3, 3, 3, 3, 3, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    r_array r{-9, -8, -7};
    int ier = -9;
    triang::coords(c.px, c.py, c.x1, c.x2, c.x3, c.y1, c.y2, c.y3, r, ier);
    EXPECT_EQ(ier, triang::coords_ier::zero_area);
    EXPECT_EQ(r, (r_array{-9, -8, -7}));
  }
}

struct structure {
  std::vector<float> x;
  std::vector<float> y;
  std::vector<float> z;
  std::vector<int> iadj;
  std::vector<int> iend;
  int n() const { return static_cast<int>(x.size()); }
};

//   3
//   | \      z = 0, 1, 2
//   1---2
structure one_triangle() {
  return {{0, 1, 0}, {0, 0, 1}, {0, 1, 2}, {2, 3, 0, 3, 1, 0, 1, 2, 0}, {3, 6, 9}};
}

//   4-------3
//   | \   / |
//   |   5   |    the square (0,0)-(2,2) around its centre 5;
//   | /   \ |    z = 10, 20, 30, 40 at the corners, 0 at the centre
//   1-------2
structure square_with_centre() {
  return {{0, 2, 2, 0, 1},
          {0, 0, 2, 2, 1},
          {10, 20, 30, 40, 0},
          {2, 5, 4, 0, 3, 5, 1, 0, 4, 5, 2, 0, 1, 5, 3, 0, 1, 2, 3, 4},
          {4, 8, 12, 16, 20}};
}

struct result {
  float pz;
  int ier;
  int istart;
  bool operator==(const result&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const result& r) {
    return os << "pz " << r.pz << " ier " << r.ier << " istart " << r.istart;
  }
};

result interpolate(const structure& s, int n, int istart, float px, float py) {
  result r{-99, -99, istart};
  triang::intrc0(n, px, py, s.x, s.y, s.z, s.iadj, s.iend, r.istart, r.pz, r.ier);
  return r;
}

struct intrc0_case {
  const char* what;
  float px, py;
  int istart;
  result expected;
};

TEST(intrc0_test, bad_n_or_istart) {
  const structure s = one_triangle();
  const struct {
    int n, istart;
  } cases[] = {{2, 1}, {0, 1}, {-3, 1}, {3, 0}, {3, -1}, {3, 4}, {2, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " istart " << c.istart);
    EXPECT_EQ(interpolate(s, c.n, c.istart, 0.25F, 0.25F),
              (result{0, triang::intrc0_ier::bad_input, c.istart}));
  }
}

TEST(intrc0_test, one_triangle) {
  const structure s = one_triangle();
  const intrc0_case cases[] = {
      // Point location answers (2, 3, 1), (3, 1, 2), (1, 2, 3) from 1, 2, 3.
      {"inside", 0.25F, 0.25F, 1, {0.75F, 0, 2}},
      {"inside", 0.25F, 0.25F, 2, {0.75F, 0, 3}},
      {"inside", 0.25F, 0.25F, 3, {0.75F, 0, 1}},
      {"below arc 1-2: d = 0.5, s = 0.5, t = 0.5", 0.5F, -1, 1, {0.5F, 1, 2}},
      {"beyond node 2: arc 3-2 passes, arc 2-1 gives d = -2", 3, -1, 1, {1, 1, 3}},
      {"below node 2: d = 0 on arc 2-1", 1, -1, 3, {1, 1, 2}},
      {"beyond arc 2-3, projects inside it", 1, 1, 1, {1.5F, 1, 3}},
      {"left of arc 3-1, projects inside it", -1, 0.25F, 2, {0.5F, 1, 1}},
      {"on boundary arc 1-2", 0.5F, 0, 1, {0.5F, 1, 2}},
      {"on boundary arc 1-2", 0.5F, 0, 3, {0.5F, 1, 2}},
      {"at boundary node 2", 1, 0, 1, {1, 1, 2}},
      {"at boundary node 2", 1, 0, 2, {1, 1, 2}},
      {"at boundary node 2", 1, 0, 3, {1, 1, 2}},
      {"at boundary node 3", 0, 1, 1, {2, 1, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << " from " << c.istart);
    EXPECT_EQ(interpolate(s, 3, c.istart, c.px, c.py), c.expected);
  }
}

TEST(intrc0_test, square_with_centre) {
  const structure s = square_with_centre();
  const intrc0_case cases[] = {
      {"at the interior node", 1, 1, 1, {0, 0, 5}},
      {"inside triangle 1-2-5, found as (2, 5, 1)", 1, 0.5F, 1, {7.5F, 0, 2}},
      {"inside triangle 2-3-5, found as (5, 2, 3)", 1.5F, 1, 3, {12.5F, 0, 5}},
      // Exterior: the walk runs clockwise from the rightmost visible node.
      {"east: arc 3-2 projects inside, t = 0.5", 5, 1, 1, {25, 1, 3}},
      {"north-east: passes arc 4-3 (s < 0), stops at 3 (d < 0)", 5, 5, 1, {30, 1, 4}},
      {"south-west corner region", -1, -3, 5, {10, 1, 2}},
      {"west, projects inside arc 4-1", -2, 0.5F, 5, {17.5F, 1, 1}},
      {"on arc 3-4", 0.5F, 2, 5, {37.5F, 1, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << " from " << c.istart);
    EXPECT_EQ(interpolate(s, 5, c.istart, c.px, c.py), c.expected);
  }
}

TEST(intrc0_test, rounding_points) {
  // Values from an independent evaluation of the prescribed arithmetic;
  // forming the products in single precision, or keeping d or t in double,
  // changes the last bit of each.
  structure inside = one_triangle();
  inside.z = {0x1.29ff9ep+2F, 0x1.2ddfc8p+3F, 0x1.9f57fep+2F};
  EXPECT_EQ(interpolate(inside, 3, 1, 0x1.d83afcp-2F, 0x1.db38bep-7F),
            (result{0x1.b8b35ep+2F, 0, 2}));

  // Triangle (0,0), (3,0), (0,3): below arc 1-2 the walk interpolates with
  // t = d / 9.
  const structure outside{{0, 3, 0},
                          {0, 0, 3},
                          {0x1.ee536ap-1F, 0x1.bea138p-2F, 0},
                          {2, 3, 0, 3, 1, 0, 1, 2, 0},
                          {3, 6, 9}};
  EXPECT_EQ(interpolate(outside, 3, 1, 0x1.4d4abcp-1F, -1), (result{0x1.b38520p-1F, 1, 2}));
}

TEST(intrc0_test, no_triangle) {
  // Collinear nodes: point location finds no triangle, istart is kept.
  const structure collinear{{0, 1, 3}, {0, 0, 0}, {1, 2, 3}, {2, 0, 3, 1, 0, 2, 0}, {2, 5, 7}};
  EXPECT_EQ(interpolate(collinear, 3, 2, 0.5F, 0), (result{0, triang::intrc0_ier::no_triangle, 2}));

  // A proper triangle whose edge vectors, rounded to single precision,
  // come out parallel: with the vertices in the order (1, 2, 3), x3 - x2 =
  // 2^24 - 0.5 rounds to 2^24 and the doubled area is exactly 0. Point
  // location from node 3 answers in that order; istart has already moved to
  // its first vertex.
  const structure sliver{
      {0, 0.5F, 16777216}, {0, 0, 16777216}, {1, 2, 3}, {2, 3, 0, 3, 1, 0, 1, 2, 0}, {3, 6, 9}};
  EXPECT_EQ(interpolate(sliver, 3, 3, 0.5F, 0.25F),
            (result{0, triang::intrc0_ier::no_triangle, 1}));
  // From node 1 the same triangle comes back as (2, 3, 1), whose rounded
  // edge vectors are not parallel.
  EXPECT_EQ(interpolate(sliver, 3, 1, 0.5F, 0.25F).ier, triang::intrc0_ier::inside);
}

TEST(intrc0_test, non_finite_input_is_reported) {
  // A not-a-number point: point location never ends, and says so.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const structure s = square_with_centre();
  result r{-99, -99, 5};
  EXPECT_DEBUG_DEATH(
      triang::intrc0(5, nan, 1, s.x, s.y, s.z, s.iadj, s.iend, r.istart, r.pz, r.ier),
      "exceeded its bound");
#ifdef NDEBUG
  EXPECT_EQ(r, (result{0, triang::intrc0_ier::broken, 5}));
#endif

  // A not-a-number node coordinate: point location answers (2, 4, 0) for
  // (2, -3), but the boundary walk skips every arc at node 1 and goes round
  // 2, 1, 4, 3, 2, ... for ever. istart has already moved to 2.
  structure bad_node = square_with_centre();
  bad_node.x[0] = nan;
  result w{-99, -99, 1};
  EXPECT_DEBUG_DEATH(triang::intrc0(5, 2, -3, bad_node.x, bad_node.y, bad_node.z, bad_node.iadj,
                                    bad_node.iend, w.istart, w.pz, w.ier),
                     "boundary walk");
#ifdef NDEBUG
  EXPECT_EQ(w, (result{0, triang::intrc0_ier::broken, 2}));
#endif
}

TEST(intrc0_test, broken_boundary_is_reported) {
  // Node 3's predecessor on the boundary (position 11) replaced by a node
  // that does not exist: point location from node 2 still answers (3, 2, 0)
  // for a point east of the square, and the boundary walk from 3 must not
  // read node 77.
  structure s = square_with_centre();
  s.iadj[10] = 77;
  result r{-99, -99, 2};
  EXPECT_DEBUG_DEATH(triang::intrc0(5, 5, 1, s.x, s.y, s.z, s.iadj, s.iend, r.istart, r.pz, r.ier),
                     "boundary node out of range");
#ifdef NDEBUG
  EXPECT_EQ(r, (result{0, triang::intrc0_ier::broken, 3}));
#endif
}

}  // namespace
}  // namespace tervox_test
