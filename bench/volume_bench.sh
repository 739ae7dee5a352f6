#!/usr/bin/env bash
# End-to-end benchmarks: tervox on surveys S, L and T (and T at 1e5 soundings,
# to show how the time grows) and on A, a survey of three million soundings in
# projected coordinates, against the plain sequence
# (tervox_plain), against copying the volume file with cp, against
# formatting and writing as many values with nothing else (tervox_write_floor),
# and, where python3-scipy is installed, against scipy's LinearNDInterpolator.
# Each set also runs with --max-distance of five cells, to show what blanking
# the cells far from every sounding costs.
#
#   bash bench/volume_bench.sh            # all sets, 3 runs each
#   RUNS=5 SETS="L A" bash bench/volume_bench.sh
#   PLAIN_RUNS=1 ...   # fewer runs of the slow plain sequence
#
# Each set runs in its own mode (A in log mode, the others linear); LOG=0 or
# LOG=1 forces one mode for all.
# Prints one table: medians of RUNS runs of wall time and peak resident
# memory, and the ratios, all measured in this one run. The data is generated
# once from fixed seeds into build/bench-data (several GB with the outputs).
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${RUNS:-3}
PLAIN_RUNS=${PLAIN_RUNS:-3}
SETS=${SETS:-"S L T100k T A"}
LOG=${LOG:-}
DATA=${DATA:-build/bench-data}
OUT=$DATA/out
mkdir -p "$OUT"

cmake --preset bench >/dev/null
cmake --build --preset bench --target tervox tervox_plain tervox_write_floor >/dev/null
TERVOX=build/bench/driver/tervox
PLAIN=build/bench/tests/tervox_plain
FLOOR=build/bench/bench/tervox_write_floor
SCIPY=""
if /usr/bin/python3 -c "import scipy" 2>/dev/null; then SCIPY=/usr/bin/python3; fi

# measure CMD...: prints "seconds kilobytes" of one run (wall time, peak RSS).
measure() {
  local t
  t=$(mktemp)
  if ! /usr/bin/time -f "%e %M" -o "$t" "$@" >/dev/null 2>"$t.err"; then
    echo "bench: failed: $*" >&2
    cat "$t.err" >&2
    exit 1
  fi
  tail -1 "$t"
  rm -f "$t" "$t.err"
}

# settle INPUT: every run starts from the same state of the page cache. The
# gigabytes written by earlier runs are flushed and, where we may, dropped;
# the input is read once so that it comes from memory.
settle() {
  sync
  echo 1 2>/dev/null >/proc/sys/vm/drop_caches || true
  cat "$1" >/dev/null
}

# median_of N INPUT OUTPUT CMD...: medians of N runs, "seconds kilobytes".
# OUTPUT (and its mesh file) is removed before each run: replacing a file of
# gigabytes costs the file system more than writing a new one, for tervox and
# cp alike.
median_of() {
  local n=$1 input=$2 output=$3
  shift 3
  for ((i = 0; i < n; i++)); do
    rm -f "$output" "$output.mesh"
    settle "$input"
    measure "$@"
  done |
    sort -n -k1 | awk '{t[NR]=$1; m[NR]=$2} END {i=int((NR+1)/2); print t[i], m[i]}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

printf '%-6s %9s %9s %8s | %8s %7s | %8s %8s | %8s %8s %8s | %8s %8s %8s | %8s %8s | %8s %8s\n' \
  set soundings cells size_MB tervox_s peak_MB "1thr_s" "2thr_x" plain_s plain_MB plain_x cp_x scipy_s scipy_MB floor_s floor_x mask_s mask_x
python3 bench/make_bench_data.py "$DATA" $SETS | while read -r name input size set_log; do
  log=${LOG:-$set_log}
  vol=$OUT/$name.vol
  soundings=$(sed -n 3p "$input" | awk '{print $NF}')
  read -r fast fast_kb < <(median_of "$RUNS" "$input" "$vol" "$TERVOX" "$input" "$vol" "$size" "$size" "$log")
  read -r one _ < <(median_of "$RUNS" "$input" "$vol.1" env TERVOX_THREADS=1 "$TERVOX" "$input" "$vol.1" "$size" "$size" "$log")
  cmp -s "$vol" "$vol.1" || { echo "bench: $name: one thread wrote other bytes" >&2; exit 1; }
  read -r plain plain_kb < <(median_of "$PLAIN_RUNS" "$input" "$vol.plain" "$PLAIN" "$input" "$vol.plain" "$size" "$size" "$log")
  cmp -s "$vol" "$vol.plain" || { echo "bench: $name: the plain sequence wrote other bytes" >&2; exit 1; }
  limit=$(awk -v d="$size" 'BEGIN { printf "%.6f", 5 * d }')
  read -r masked _ < <(median_of "$RUNS" "$input" "$vol.mask" "$TERVOX" --max-distance "$limit" "$input" "$vol.mask" "$size" "$size" "$log")
  read -r copy _ < <(median_of "$RUNS" "$vol" "$vol.copy" cp "$vol" "$vol.copy")
  values=$(head -1 "$vol.mesh" | awk '{print $1 * $2 * $3}')
  threads=$(nproc)
  read -r floor _ < <(median_of "$RUNS" "$input" "$vol.floor" "$FLOOR" "$vol.floor" "$values" "$threads")
  sp="-"
  sp_mb="-"
  if [[ -n $SCIPY && " ${SCIPY_SETS:-S L A} " == *" $name "* ]]; then
    read -r sp sp_kb < <(median_of 1 "$input" "$vol.scipy" "$SCIPY" bench/scipy_grid.py "$input" "$vol.scipy" "$size" "$size" "$log")
    sp_mb=$((sp_kb / 1024))
  fi
  cells=$(head -1 "$vol.mesh" | awk '{print $1 "x" $2}')
  mb=$(du -m "$vol" | cut -f1)
  printf '%-6s %9s %9s %8s | %8s %7s | %8s %8s | %8s %8s %8s | %8s %8s %8s | %8s %8s | %8s %8s\n' \
    "$name" "$soundings" "$cells" "$mb" "$fast" "$((fast_kb / 1024))" "$one" "$(ratio "$one" "$fast")" \
    "$plain" "$((plain_kb / 1024))" "$(ratio "$plain" "$fast")" "$(ratio "$fast" "$copy")" "$sp" "$sp_mb" \
    "$floor" "$(ratio "$fast" "$floor")" "$masked" "$(ratio "$masked" "$fast")"
  rm -f "$vol.1" "$vol.plain" "$vol.copy" "$vol.scipy" "$vol.floor" "$vol.mask" "$vol.mask.mesh"
done
echo "tervox_s, plain_s: median wall seconds; peak_MB: median peak RSS; 2thr_x: 1-thread time / default"
echo "plain_x: plain sequence (tervox_plain) / tervox; cp_x: tervox / cp of the same volume"
echo "scipy_s, scipy_MB: bench/scipy_grid.py on the same points (where python3-scipy is installed)"
echo "floor_s: formatting and writing as many values alone (tervox_write_floor); floor_x: tervox / floor"
echo "mask_s: tervox --max-distance of five cells; mask_x: mask_s / tervox_s"
