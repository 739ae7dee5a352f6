// tervox with the plain sequence in place of the streamed volume: the
// golden cases run through it too (golden_test), and it is the yardstick of
// the end-to-end benchmarks (bench/volume_bench.sh). Same command line, same
// files, same bytes; only the volume is computed otherwise.
#include <iostream>
#include <string>
#include <vector>

#include "plain/plain_volume.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return static_cast<int>(
      tervox::driver::run(args, std::cout, std::cerr, tervox_test::plain_volume));
}
