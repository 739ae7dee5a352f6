// The part of a run that no arrangement of the work can avoid: formatting
// every value of the volume and writing the text. Formats `values` numbers in
// the long form on `threads` threads, in blocks of about a megabyte written
// in order through the tool's own block pipeline and output file, with no
// reading, no triangulation, no point location and no interpolation.
//
//   tervox_write_floor OUTPUT VALUES [THREADS]
//
// bench/volume_bench.sh runs it with the values of each survey, so that the
// tool's time can be read against what formatting and writing alone cost.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

#include "base/output_file.hpp"
#include "formats/volume_line.hpp"
#include "ordered_blocks.hpp"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tervox_write_floor OUTPUT VALUES [THREADS]\n");
    return 2;
  }
  const std::int64_t total = std::atoll(argv[2]);
  const int threads = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
  constexpr std::int64_t per_block = (std::int64_t{1} << 20) / tervox::formats::long_line_size;
  const std::int64_t blocks = (total + per_block - 1) / per_block;

  // Resistivity-like values over three decades, as in the benchmark surveys.
  std::vector<float> values(std::size_t{1} << 16);
  std::mt19937 gen(1);
  for (float& v : values)
    v = static_cast<float>(std::pow(10.0, 3.0 * static_cast<double>(gen()) * 0x1p-32));

  tervox::base::output_file file(argv[1]);
  if (auto r = file.open(); !r.ok()) {
    std::fprintf(stderr, "%s\n", r.problem.message().c_str());
    return 1;
  }
  tervox::driver::make_blocks_in_order(
      blocks, threads,
      [&] {
        return [&](std::int64_t b, std::vector<char>& text, std::size_t& used) {
          const std::int64_t n = std::min(per_block, total - b * per_block);
          text.resize(static_cast<std::size_t>(per_block) * tervox::formats::long_line_size);
          // The block's values, taken round the table, a run per call.
          char* p = text.data();
          for (std::int64_t i = 0; i < n;) {
            const std::size_t at = static_cast<std::size_t>(b * per_block + i) & 0xffff;
            const std::size_t run = std::min(values.size() - at, static_cast<std::size_t>(n - i));
            p = tervox::formats::put_long(p, std::span<const float>(values).subspan(at, run));
            i += static_cast<std::int64_t>(run);
          }
          used = static_cast<std::size_t>(p - text.data());
          return true;
        };
      },
      [&](const char* data, std::size_t size, std::int64_t) {
        file.write(data, size);
        return !file.failed();
      });
  if (auto r = file.commit(); !r.ok()) {
    std::fprintf(stderr, "%s\n", r.problem.message().c_str());
    return 1;
  }
  return 0;
}
