#!/usr/bin/env bash
# Builds and runs every test: the debug build with warnings as errors, the
# optimised build users run (assertions off), then
# the same tests under AddressSanitizer + UndefinedBehaviorSanitizer.
# Installs what a fresh Debian 12 machine lacks (needs root or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make ninja-build nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev libcgal-dev clang libclang-rt-14-dev
  python3-vtk9 libcairo2-dev fonts-dejavu-core libnetcdf-dev libgdal-dev netcdf-bin python3-xarray
  python3-netcdf4 python3-gdal python3-matplotlib)
source examples/install_missing.sh
install_missing "${packages[@]}"

# The presets name no generator: Ninja where it is installed, as here,
# Makefiles otherwise (or whatever the caller chose).
if [[ -z ${CMAKE_GENERATOR:-} ]] && command -v ninja >/dev/null; then
  export CMAKE_GENERATOR=Ninja
fi

# The presets fix no number of jobs: the build and the tests take one per
# core of this machine unless the caller set their own.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

cmake --workflow --preset dev
cmake --workflow --preset release-tests
cmake --workflow --preset asan
