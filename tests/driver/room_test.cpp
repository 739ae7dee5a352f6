// Whether a volume of a known size may be written: the file-size limit, and
// the free space a run must leave on its file system. The file system is
// described here, so every side of each rule can be reached; the built
// program meets the file-size limit itself in faults_test.
#include "room.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace tervox_test {
using namespace tervox::base;
using namespace tervox::formats;
using namespace tervox::driver;
namespace {

constexpr std::uint64_t gib = std::uint64_t{1} << 30;

TEST(room_test, space_kept_free_is_5_percent_and_at_least_1_gib) {
  const struct {
    std::uint64_t file_system, keep;
  } cases[] = {
      {0, gib},
      {10 * gib, gib},
      {20 * gib, gib},  // where the two rules meet
      {20 * gib + 20, gib + 1},
      {100 * gib, 5 * gib},
      {252'000'000'000, 12'600'000'000},
      {std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::uint64_t>::max() / 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file_system);
    EXPECT_EQ(space_to_keep(c.file_system), c.keep);
  }
}

TEST(room_test, volume_fits_its_limit_and_leaves_the_space_kept_free) {
  const std::optional<std::uint64_t> unknown;
  const struct {
    const char* what;
    volume_size size;
    output_room room;  // free, file-size limit, file system
    std::string problem;
  } cases[] = {
      {"nothing known", {~std::uint64_t{0}, true}, {unknown, unknown, unknown}, ""},
      {"leaves much", {10 * gib, true}, {50 * gib, unknown, 100 * gib}, ""},
      {"leaves exactly 5%", {45 * gib, true}, {50 * gib, unknown, 100 * gib}, ""},
      {"leaves a byte less than 5%",
       {45 * gib + 1, true},
       {50 * gib, unknown, 100 * gib},
       "the grid (2000 x 1000 cells, 3 layers) needs a volume file of 48.3 GB; writing it would "
       "leave 5368709119 bytes of the 53.7 GB free on the file system of 'out.vol', less than "
       "the 5368709120 bytes (5% of the file system) that tervox leaves free; use a larger cell "
       "size than dx = 2, dy = 2.5"},
      {"leaves exactly 1 GiB of a small file system",
       {2 * gib, true},
       {3 * gib, unknown, 4 * gib},
       ""},
      {"leaves less than 1 GiB of a small file system",
       {2 * gib + 1, false},
       {3 * gib, unknown, 4 * gib},
       "the grid (2000 x 1000 cells, 3 layers) needs a volume file of up to 2.15 GB; writing it "
       "would leave 1073741823 bytes of the 3.22 GB free on the file system of 'out.vol', less "
       "than the 1073741824 bytes (1 GiB) that tervox leaves free; use a larger cell size than "
       "dx = 2, dy = 2.5"},
      {"more than is free",
       {60 * gib, true},
       {50 * gib, unknown, 100 * gib},
       "the grid (2000 x 1000 cells, 3 layers) needs a volume file of 64.4 GB, more than the "
       "53.7 GB free on the file system of 'out.vol'; use a larger cell size than dx = 2, "
       "dy = 2.5"},
      {"free space without the file system's size",
       {50 * gib, true},
       {50 * gib, unknown, unknown},
       ""},
      {"exactly the file-size limit", {1000, true}, {unknown, 1000, unknown}, ""},
      {"a byte beyond the file-size limit",
       {1001, true},
       {unknown, 1000, unknown},
       "the grid (2000 x 1000 cells, 3 layers) needs a volume file of 1001 bytes, more than the "
       "file-size limit of 1000 bytes (ulimit -f); use a larger cell size than dx = 2, "
       "dy = 2.5"},
      {"the file-size limit first",
       {60 * gib, true},
       {50 * gib, 10 * gib, 100 * gib},
       "the grid (2000 x 1000 cells, 3 layers) needs a volume file of 64.4 GB, more than the "
       "file-size limit of 10.7 GB (ulimit -f); use a larger cell size than dx = 2, dy = 2.5"},
  };
  const grid g{0, 0, 2000, 1000, 2.0f, 2.5f};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(check_volume_room(c.size, c.room, "out.vol", g, 3).message(), c.problem);
  }
}

}  // namespace
}  // namespace tervox_test
