#include <iostream>
#include <string>
#include <vector>

#include "run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return static_cast<int>(tervox::driver::run(args, std::cout, std::cerr));
}
