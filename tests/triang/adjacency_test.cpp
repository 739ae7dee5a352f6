#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "triang/triang.hpp"

namespace tervox_test {
namespace {

using triang::index;
using triang::shiftd;

#ifdef NDEBUG
constexpr bool debug_build = false;
#else
constexpr bool debug_build = true;
#endif

// One triangle 1 (0,0), 2 (1,0), 3 (0,1): three boundary nodes.
const std::vector<int> triangle_iadj = {2, 3, 0, 3, 1, 0, 1, 2, 0};
const std::vector<int> triangle_iend = {3, 6, 9};

// The same triangle with node 4 inside, joined to all three: node 4's list is
// cyclic (no 0), nodes 1 to 3 stay on the boundary.
const std::vector<int> fan_iadj = {2, 4, 3, 0, 3, 4, 1, 0, 1, 4, 2, 0, 1, 2, 3};
const std::vector<int> fan_iend = {4, 8, 12, 15};

struct index_case {
  const std::vector<int>* iadj;
  const std::vector<int>* iend;
  int kvert;
  int nbr;
  int pos;
};

TEST(index_test, finds_the_position_inside_the_list) {
  const index_case cases[] = {
      {&triangle_iadj, &triangle_iend, 1, 3, 2},
      {&triangle_iadj, &triangle_iend, 2, 3, 4},
      {&triangle_iadj, &triangle_iend, 1, 2, 1},  // first entry of the first list
      {&triangle_iadj, &triangle_iend, 3, 0, 9},  // the boundary 0 is the list's last entry
      {&triangle_iadj, &triangle_iend, 2, 0, 6},
      {&fan_iadj, &fan_iend, 4, 1, 13},  // interior node: no 0 in its list
      {&fan_iadj, &fan_iend, 4, 3, 15},
      {&fan_iadj, &fan_iend, 3, 1, 9},
      {&fan_iadj, &fan_iend, 2, 4, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "index(" << c.kvert << ", " << c.nbr << ")");
    EXPECT_EQ(index(c.kvert, c.nbr, *c.iadj, *c.iend), c.pos);
  }
}

// A neighbour missing from kvert's list asserts in debug builds and gives 0
// otherwise. Each of these values does occur in an earlier list (or, for 0,
// at the end of the list before an interior node's), so a search that ran on
// below the start of kvert's list would return that position instead.
TEST(index_test, missing_neighbour_gives_no_position) {
  const index_case cases[] = {
      {&triangle_iadj, &triangle_iend, 2, 2, 0},  // 2 stands at position 1, in node 1's list
      {&triangle_iadj, &triangle_iend, 1, 1, 0},
      {&fan_iadj, &fan_iend, 4, 0, 0},  // interior node: the 0 before it belongs to node 3
      {&fan_iadj, &fan_iend, 4, 4, 0},
      {&fan_iadj, &fan_iend, 3, 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "index(" << c.kvert << ", " << c.nbr << ")");
    int pos = -1;
    EXPECT_DEBUG_DEATH(pos = index(c.kvert, c.nbr, *c.iadj, *c.iend), "not in the list");
    if (!debug_build) {
      EXPECT_EQ(pos, c.pos);
    }
  }
}

struct shift_case {
  const char* name;
  int ifirst;
  int ilast;
  int kshift;
  std::vector<int> expected;
};

TEST(shiftd_test, moves_the_block_and_keeps_stale_copies) {
  const shift_case cases[] = {
      {"up by one, overlapping", 2, 4, 1, {1, 2, 2, 3, 4}},
      {"down by one, overlapping", 2, 4, -1, {2, 3, 4, 4, 5}},
      {"single element up", 3, 3, 2, {1, 2, 3, 4, 3}},
      {"single element down", 5, 5, -4, {5, 2, 3, 4, 5}},
      {"whole array but one, up", 1, 4, 1, {1, 1, 2, 3, 4}},
      {"far, no overlap", 1, 2, 3, {1, 2, 3, 1, 2}},
      {"up by two, overlapping", 1, 3, 2, {1, 2, 1, 2, 3}},
      {"empty block", 4, 3, 1, {1, 2, 3, 4, 5}},
      {"zero shift", 1, 5, 0, {1, 2, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> ivec = {1, 2, 3, 4, 5};
    shiftd(c.ifirst, c.ilast, c.kshift, ivec);
    EXPECT_EQ(ivec, c.expected);
  }
}

// Every block and shift that fits in a 40-entry array, against the
// definition: ivec[i + kshift] takes the former ivec[i] for i in the block,
// and every other entry keeps its value.
TEST(shiftd_test, matches_the_definition_for_every_fitting_move) {
  const int size = 40;
  std::vector<int> original(size);
  std::mt19937 gen(3);
  for (auto& v : original) {
    v = static_cast<int>(gen() % 1000);
  }
  for (int ifirst = 1; ifirst <= size; ++ifirst) {
    for (int ilast = ifirst; ilast <= size; ++ilast) {
      for (int kshift = 1 - ifirst; kshift <= size - ilast; ++kshift) {
        std::vector<int> expected = original;
        for (int i = ifirst; i <= ilast; ++i) {
          expected[static_cast<std::size_t>(i + kshift - 1)] =
              original[static_cast<std::size_t>(i - 1)];
        }
        std::vector<int> ivec = original;
        shiftd(ifirst, ilast, kshift, ivec);
        if (ivec != expected) {
          ADD_FAILURE() << "shiftd(" << ifirst << ", " << ilast << ", " << kshift << ")";
          return;
        }
      }
    }
  }
}

// A block or destination that leaves the array asserts in debug builds; the
// move is refused otherwise, so nothing outside the array is read or written.
TEST(shiftd_test, refuses_moves_outside_the_array) {
  const shift_case cases[] = {
      {"destination past the end", 3, 5, 1, {1, 2, 3, 4, 5}},
      {"destination before the start", 1, 2, -1, {1, 2, 3, 4, 5}},
      {"block past the end", 4, 6, -2, {1, 2, 3, 4, 5}},
      {"block before the start", 0, 2, 1, {1, 2, 3, 4, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The array is a window onto a larger buffer, whose guards must not change.
    std::vector<int> buffer = {-1, 1, 2, 3, 4, 5, -1};
    const std::span<int> ivec(buffer.data() + 1, 5);
    EXPECT_DEBUG_DEATH(shiftd(c.ifirst, c.ilast, c.kshift, ivec), "shiftd");
    EXPECT_EQ(std::vector<int>(ivec.begin(), ivec.end()), c.expected);
    EXPECT_EQ(buffer.front(), -1);
    EXPECT_EQ(buffer.back(), -1);
  }
}

}  // namespace
}  // namespace tervox_test
