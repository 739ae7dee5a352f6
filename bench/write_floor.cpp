// The part of a run that no arrangement of the work can avoid: formatting
// every value of the volume and writing the text. Formats `values` numbers in
// the long form on `threads` threads, in blocks of about a megabyte that this
// thread writes in order, as the tool does, but with no reading, no
// triangulation, no point location and no interpolation.
//
//   tervox_write_floor OUTPUT VALUES [THREADS]
//
// bench/volume_bench.sh runs it with the values of each survey, so that the
// tool's time can be read against what formatting and writing alone cost.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "number_format.hpp"

namespace {

struct slot {
  std::mutex m;
  std::condition_variable cv;
  std::vector<char> text;
  std::size_t used = 0;
  std::int64_t block = -1;
  std::int64_t turn = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tervox_write_floor OUTPUT VALUES [THREADS]\n");
    return 2;
  }
  const std::int64_t total = std::atoll(argv[2]);
  const int workers = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
  constexpr std::int64_t per_block = (std::int64_t{1} << 20) / tervox::long_line_size;
  const std::int64_t blocks = (total + per_block - 1) / per_block;

  // Resistivity-like values over three decades, as in the benchmark surveys.
  std::vector<float> values(std::size_t{1} << 16);
  std::mt19937 gen(1);
  for (float& v : values)
    v = static_cast<float>(std::pow(10.0, 3.0 * static_cast<double>(gen()) * 0x1p-32));

  const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  // The same scheduling as the tool's: blocks from one counter, through a
  // ring of slots that each take the next block only once theirs is written.
  std::vector<slot> slots(static_cast<std::size_t>(4 * workers));
  for (std::size_t i = 0; i < slots.size(); ++i) slots[i].turn = static_cast<std::int64_t>(i);
  std::atomic<std::int64_t> next_block{0};
  const auto slot_of = [&](std::int64_t b) -> slot& {
    return slots[static_cast<std::size_t>(b % static_cast<std::int64_t>(slots.size()))];
  };
  std::vector<std::thread> pool;
  for (int w = 0; w < workers; ++w) {
    pool.emplace_back([&] {
      std::vector<char> text;
      for (std::int64_t b = next_block++; b < blocks; b = next_block++) {
        // The buffer swapped out of a slot may be one that was never filled.
        text.resize(static_cast<std::size_t>(per_block) * tervox::long_line_size);
        const std::int64_t n = std::min(per_block, total - b * per_block);
        char* p = text.data();
        for (std::int64_t i = 0; i < n; ++i)
          p = tervox::put_long(p, values[static_cast<std::size_t>(b * per_block + i) & 0xffff]);
        slot& s = slot_of(b);
        std::unique_lock lock(s.m);
        s.cv.wait(lock, [&] { return s.turn == b; });
        std::swap(s.text, text);
        s.used = static_cast<std::size_t>(p - s.text.data());
        s.block = b;
        s.cv.notify_all();
      }
    });
  }
  int status = 0;
  for (std::int64_t b = 0; b < blocks; ++b) {
    slot& s = slot_of(b);
    std::unique_lock lock(s.m);
    s.cv.wait(lock, [&] { return s.block == b; });
    if (status == 0 && ::write(fd, s.text.data(), s.used) != static_cast<ssize_t>(s.used)) {
      std::perror(argv[1]);
      status = 1;
    }
    s.block = -1;
    s.turn = b + static_cast<std::int64_t>(slots.size());
    s.cv.notify_all();
  }
  for (std::thread& t : pool) t.join();
  return ::close(fd) == 0 ? status : 1;
}
