#!/bin/sh
# Instruction counts of each benchmark workload, cursor and dataset against
# raw sqlite3, on a reduced table (callgrind runs about 50x slower than native).
#   bench/count.sh BUILD_DIR [ROWS] [WORKLOAD...]
set -eu
Build=${1:?build directory with ztl_sqlite_bench}
Rows=${2:-100000}
shift $(( $# >= 2 ? 2 : 1 ))
Out=${TMPDIR:-/tmp}/ztl-bench-count
mkdir -p "$Out"
Work=${*:-scan-raw scan-cursor scan-dataset scan-forward lookup-raw lookup-cursor lookup-dataset insert-raw insert-cursor insert-dataset insert-array-cursor insert-array-dataset}
# Fill the table outside the measurement.
ZTL_BENCH_ROWS=$Rows "$Build/bench/ztl_sqlite_bench" --once scan-raw >/dev/null
for W in $Work; do
  ZTL_BENCH_ROWS=$Rows valgrind --tool=callgrind --collect-atstart=no \
    --toggle-collect='*Once*' --callgrind-out-file="$Out/$W.out" \
    "$Build/bench/ztl_sqlite_bench" --once "$W" >"$Out/$W.txt" 2>"$Out/$W.err"
  Ir=$(grep '^summary:' "$Out/$W.out" | cut -d' ' -f2)
  printf '%-14s %14s Ir  %s\n' "$W" "$Ir" "$(grep 'per row' "$Out/$W.txt" || true)"
done
