#!/usr/bin/env bash
# Builds the benchmarks and both kinds of program (Release,
# WDIST_BUILD_BENCH=ON) and runs every benchmark, one after the other,
# writing each program's output to the results folder and to the screen:
# the binary records (both counter widths), the q-ary records, the generic
# q-ary kernel and the new fields' records, and bench/compare_programs.sh
# (wdist --format report beside wdist-wide).
# The tables of bench/README.md are the ones these programs print last.
#
#   bench/run_all.sh [--quick] [--runs R] [--build DIR] [--out DIR]
#
# --quick   binary and F_4 tables up to 2^26 entries only, 3 rounds, the new
#           fields' kernels without their records (a few minutes); without
#           it the binary records go up to K = 30, whose
#           wide table takes 4 GiB, 5 rounds each after one untimed round
#           (the reference transform alone runs for seconds per round).
# --runs R  timed rounds per record (default 5)
# Run it on a quiet machine: every benchmark is single-threaded and most
# are bound by memory bandwidth, which other work shares. The head of every
# output says what the machine was and how busy.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
out_dir="$PWD/bench-results"
max_k=30
runs=5
records=1

while [ $# -gt 0 ]; do
  case "$1" in
    --quick) max_k=26; runs=3; records=0 ;;
    --runs) runs="$2"; shift ;;
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --out) out_dir="$(realpath -m "$2")"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_BENCH=ON \
  -DWDIST_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target wdist_bench_binary wdist_bench_binary_wide wdist_bench_qary wdist_bench_stream \
  wdist_bench_qary_generic wdist_cli wdist-wide

mkdir -p "$out_dir"

# The machine: processor (family and model tell the generation apart),
# caches, memory, huge-page settings, kernel, compiler, load.
machine() {
  echo "== machine"
  grep -m1 'model name' /proc/cpuinfo || true
  grep -m1 -E '^cpu family' /proc/cpuinfo || true
  grep -m1 -E '^model\s' /proc/cpuinfo || true
  echo "cpus: $(nproc)"
  for index in /sys/devices/system/cpu/cpu0/cache/index*; do
    [ -r "$index/size" ] && echo "cache L$(cat "$index/level") $(cat "$index/type"): $(cat "$index/size")"
  done
  grep -m1 MemTotal /proc/meminfo || true
  echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null)," \
    "defrag: $(cat /sys/kernel/mm/transparent_hugepage/defrag 2>/dev/null)"
  echo "kernel: $(uname -r); compiler: $(c++ --version | head -1)"
  uptime
}
machine | tee "$out_dir/machine.txt"

run() {
  local name="$1"
  shift
  echo "== $name $*"
  # The benchmarks write scratch files (the file of small codes and its
  # report) into the working directory.
  (cd "$out_dir" && "$build_dir/bench/$name" "$@" --benchmark_color=false) 2>&1 | tee "$out_dir/$name.txt"
  uptime | tee -a "$out_dir/$name.txt"
}

run wdist_bench_binary --max_k="$max_k" --runs="$runs"
run wdist_bench_binary_wide --max_k="$max_k" --runs="$runs"
run wdist_bench_qary --runs="$runs"
run wdist_bench_stream
run wdist_bench_qary_generic --runs="$runs" --records="$records"
echo "== compare_programs.sh"
"$here/compare_programs.sh" --build "$build_dir" --out "$out_dir" --runs "$runs" --max_k "$max_k"
uptime
