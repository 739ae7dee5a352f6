#!/usr/bin/env bash
# Which lines of driver/, formats/ and triang/ no test executes: builds every
# test with gcov instrumentation (build/coverage), runs them, and lists the
# lines never run, file by file. Needs gcovr (Debian: gcovr).
#
#   bash tests/coverage.sh            # the list, on standard output
#   bash tests/coverage.sh --html DIR # also an annotated copy of the sources
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/coverage
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTERVOX_WERROR=ON \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "${CTEST_PARALLEL_LEVEL:-$(nproc)}" --output-on-failure || true

filters=(--filter 'driver/' --filter 'formats/' --filter 'triang/')
# Per file: lines, lines run, and the "Missing" column, the line numbers
# (and ranges) that no test ran.
gcovr -r . "${filters[@]}" --sort-uncovered "$build"
if [[ ${1:-} == --html ]]; then
  mkdir -p "$2"
  gcovr -r . "${filters[@]}" --html-details "$2/index.html" "$build"
fi
