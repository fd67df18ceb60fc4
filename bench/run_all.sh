#!/usr/bin/env bash
# Builds the benchmarks (Release, WDIST_BUILD_BENCH=ON) and runs them all,
# one after the other, writing each program's table to the results folder
# and to the screen.
#
#   bench/run_all.sh [--quick] [--build DIR] [--out DIR]
#
# --quick   binary and F_4 tables up to 2^26 entries only (a few minutes);
#           without it the binary records go up to K = 30, whose wide table
#           takes 4 GiB and whose reference transform alone runs for tens of
#           seconds.
# Run it on a quiet machine: every benchmark is single-threaded and most
# are bound by memory bandwidth, which other work shares.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
out_dir="$PWD/bench-results"
max_k=30

while [ $# -gt 0 ]; do
  case "$1" in
    --quick) max_k=26 ;;
    --build) build_dir="$2"; shift ;;
    --out) out_dir="$2"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_BENCH=ON \
  -DWDIST_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target wdist_bench_binary wdist_bench_binary_wide wdist_bench_qary wdist_bench_stream

mkdir -p "$out_dir"
run() {
  local name="$1"
  shift
  echo "== $name $*"
  # The benchmarks write scratch files (the file of small codes and its
  # report) into the working directory.
  (cd "$out_dir" && "$build_dir/bench/$name" "$@") | tee "$out_dir/$name.txt"
}

uptime
run wdist_bench_binary --max_k="$max_k"
run wdist_bench_binary_wide --max_k="$max_k"
run wdist_bench_qary
run wdist_bench_stream
uptime
