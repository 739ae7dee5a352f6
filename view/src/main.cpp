#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "view_run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto status = static_cast<int>(tervox::view::run(args, std::cout, std::cerr));
  // A failed run has already removed what it wrote and said why. It ends
  // without the libraries' exit handlers: after a write that failed (a full
  // disk), HDF5's own would close the NetCDF file it left half-written, and
  // crash doing so.
  if (status != 0) {
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(status);
  }
  return status;
}
