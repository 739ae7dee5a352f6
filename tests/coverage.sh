#!/usr/bin/env bash
# Which lines of driver/, base/, formats/ and triang/ no test executes: builds
# every test with gcov instrumentation (build/coverage), runs them, and lists
# the lines never run, file by file. Needs gcovr (Debian: gcovr).
#
#   bash tests/coverage.sh            # the list, on standard output
#   bash tests/coverage.sh --html DIR # also an annotated copy of the sources
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/coverage
# The volume is computed on several threads: without atomic updates their
# counters lose increments and gcov's report of that code is inconsistent.
# Assertions are off, as in the tool that users run: the guard behind an
# assertion (a broken structure, a bad argument) is then run by the test that
# feeds it one, where with assertions on that test's child process aborts and
# its counts are never written.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTERVOX_WERROR=ON \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic -O0 -DNDEBUG" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
find "$build" -name '*.gcda' -delete
# The tests that put a file-size limit on a program skip here: the forked
# test process writes its counts before exec, under that limit (see
# coverage_run in tests/support/run_program.hpp).
TERVOX_COVERAGE_RUN=1 ctest --test-dir "$build" -j "${CTEST_PARALLEL_LEVEL:-$(nproc)}" \
  --output-on-failure || true

filters=(--filter 'driver/' --filter 'base/' --filter 'formats/' --filter 'triang/')
gcovr_args=(-r . "${filters[@]}")
# Per file: lines, lines run, and the "Missing" column, the line numbers
# (and ranges) that no test ran.
gcovr "${gcovr_args[@]}" --sort-uncovered "$build"
if [[ ${1:-} == --html ]]; then
  mkdir -p "$2"
  gcovr "${gcovr_args[@]}" --html-details "$2/index.html" "$build"
fi
