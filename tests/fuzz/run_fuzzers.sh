#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each one for
# FUZZ_SECONDS seconds (default 60) on a copy of its seed corpus, so the
# committed corpus is never changed by a run. Any crash, leak, time-out or
# out-of-memory fails the script; the input that caused it is left in
# build/fuzz/findings/<target>/ (replay it with build/fuzz/tests/fuzz/fuzz_<target> FILE).
#
# FUZZ_TARGETS picks targets (default: reader delivered cli run view). To grow
# the seed corpus after a longer run, merge the interesting inputs back,
# minimised:
#   build/fuzz/tests/fuzz/fuzz_run -merge=1 tests/fuzz/corpus/run build/fuzz/corpus/run
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-60}
read -r -a targets <<<"${FUZZ_TARGETS:-reader delivered cli run view}"
build=build/fuzz
flags="-O1 -g -DNDEBUG -D_GLIBCXX_ASSERTIONS -fno-omit-frame-pointer"
flags+=" -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"

# Assertions are off, as in the tool that users run: the library's guards,
# not its debug assertions, must stop every walk that a broken structure or
# rounded arithmetic sends astray, and the sanitizers catch any read outside
# an array. Warnings are not errors here: this build only exists to fuzz, and the
# warning set is kept clean for g++.
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTERVOX_FUZZ=ON \
  -DTERVOX_WERROR=OFF -DTERVOX_ORACLE_TESTS=OFF -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for t in "${targets[@]}"; do
  work=$build/corpus/$t
  findings=$build/findings/$t
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings"
  cp tests/fuzz/corpus/"$t"/* "$work"/
  dict=()
  [[ -f tests/fuzz/$t.dict ]] && dict=(-dict=tests/fuzz/"$t".dict)
  echo "fuzzing $t for $seconds s"
  if ! "$build"/tests/fuzz/fuzz_"$t" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings"/ \
    "$work" 2>"$build/fuzz_$t.log"; then
    tail -n 40 "$build/fuzz_$t.log"
    echo "fuzz_$t failed; reproducer in $findings/" >&2
    status=1
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/fuzz_$t.log" || true
  fi
done
exit $status
