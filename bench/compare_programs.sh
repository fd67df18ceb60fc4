#!/usr/bin/env bash
# wdist --format report beside wdist-wide on the benchmark's records: the
# same files through both programs, wall clock of the whole run, rounds
# interleaved (wdist-wide, wdist --threads 1, wdist with its default
# threads, then again), each report checked against wdist-wide's (time
# lines aside). Beside the wall clock, the processor time of each run
# (user + system, every thread): short runs on a busy machine wait for a
# core far longer than they compute, and only the latter is theirs.
#
#   bench/compare_programs.sh [--build DIR] [--out DIR] [--runs R] [--max_k K] [--instructions]
#
# --build DIR     a build with wdist, wdist-wide and the benchmark programs
#                 (default build-bench/ beside the sources; run_all.sh makes it)
# --out DIR       where the code files, the reports and the table go
#                 (default ./bench-results)
# --runs R        rounds per file (default 5)
# --max_k K       binary and F_4 records up to 2^K messages (default 30)
# --instructions  also count the instructions of each program on the file
#                 of small codes under callgrind (all threads; repeatable
#                 on a busy machine, unlike times)
#
# wdist-wide is run as a user runs it: its menu reads EXAM.txt from the
# working directory, answers 1 (weight distribution) and 4 (end) come on
# standard input, the report goes to EXAM.txt_r.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
out_dir="$PWD/bench-results"
runs=5
max_k=30
instructions=0

while [ $# -gt 0 ]; do
  case "$1" in
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --out) out_dir="$(realpath -m "$2")"; shift ;;
    --runs) runs="$2"; shift ;;
    --max_k) max_k="$2"; shift ;;
    --instructions) instructions=1 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

wide="$build_dir/wdist-wide"
wdist="$build_dir/wdist"
for program in "$wide" "$wdist" "$build_dir/bench/wdist_bench_binary" "$build_dir/bench/wdist_bench_qary"; do
  [ -x "$program" ] || { echo "missing $program (build it first, e.g. with bench/run_all.sh)" >&2; exit 2; }
done

codes="$out_dir/codes"
work="$out_dir/compare"
mkdir -p "$codes" "$work"
"$build_dir/bench/wdist_bench_binary" --write_codes="$codes"
"$build_dir/bench/wdist_bench_qary" --write_codes="$codes"

files=(small_codes.txt)
for K in 20 24 26 28 30; do [ "$K" -le "$max_k" ] && files+=("binary_K$K.txt"); done
for k in 12 13 14; do [ $((2 * k)) -le "$max_k" ] && files+=("f4_k$k.txt"); done
files+=(q3_k12.txt q3_k14.txt q3_k16.txt q3_k17.txt q5_k9.txt q5_k10.txt q5_k11.txt q7_k8.txt q7_k9.txt)

printf '1\n4\n' >"$work/answers"
TIMEFORMAT='%R %U %S'

# Wall-clock and processor seconds of one run of the command, appended to
# the files named first and second.
time_into() {
  local wall="$1" cpu="$2" line
  shift 2
  line="$({ time "$@" >/dev/null 2>&1; } 2>&1)"
  echo "$line" | awk '{print $1}' >>"$wall"
  echo "$line" | awk '{print $2 + $3}' >>"$cpu"
}

# The menu program ends with exit status 1 whenever its menu returns.
run_wide() { (cd "$work" && "$wide" <answers >/dev/null 2>&1) || [ $? = 1 ]; }
run_wdist() { "$wdist" --format report --quiet "$@" "$work/EXAM.txt" >"$work/wdist.txt"; }

# min, median and max of the numbers in a file, "median (min-max)".
summary() { sort -g "$1" | awk '{v[NR] = $1} END {printf "%.3f (%.3f-%.3f)", v[int((NR + 1) / 2)], v[1], v[NR]}'; }
# per-round ratios of two files of times, "median (min-max)".
ratios() {
  paste "$1" "$2" | awk '{printf "%.6f\n", $2 / $1}' | sort -g |
    awk '{v[NR] = $1} END {printf "%.2f (%.2f-%.2f)", v[int((NR + 1) / 2)], v[1], v[NR]}'
}

table="$out_dir/compare_programs.txt"
{
  echo "wdist --format report against wdist-wide, wall clock in seconds, median (min-max) of $runs rounds;"
  echo "x = wdist / wdist-wide per round (below 1: wdist faster), of the wall clock and of the"
  echo "processor time (user + system, every thread). Default threads: $(nproc)."
  echo
  echo "| file | wdist-wide | wdist --threads 1 | x | x cpu | wdist (default threads) | x | x cpu |"
  echo "|---|---|---|---|---|---|---|---|"
} >"$table"
cat "$table"

for f in "${files[@]}"; do
  cp "$codes/$f" "$work/EXAM.txt"
  rm -f "$work"/t_* "$work"/c_*
  # Once untimed, and the reports compared.
  run_wide
  run_wdist --threads 1
  if ! diff <(grep -v 'Time =' "$work/EXAM.txt_r") <(grep -v 'Time =' "$work/wdist.txt") >/dev/null; then
    echo "$f: the reports of wdist and wdist-wide differ" >&2
    exit 1
  fi
  for ((round = 0; round < runs; ++round)); do
    time_into "$work/t_wide" "$work/c_wide" run_wide
    time_into "$work/t_one" "$work/c_one" run_wdist --threads 1
    time_into "$work/t_all" "$work/c_all" run_wdist
  done
  line="| ${f%.txt} | $(summary "$work/t_wide") | $(summary "$work/t_one") | $(ratios "$work/t_wide" "$work/t_one")"
  line+=" | $(ratios "$work/c_wide" "$work/c_one") | $(summary "$work/t_all") | $(ratios "$work/t_wide" "$work/t_all")"
  line+=" | $(ratios "$work/c_wide" "$work/c_all") |"
  echo "$line" | tee -a "$table"
done

if [ "$instructions" = 1 ] && command -v valgrind >/dev/null; then
  cp "$codes/small_codes.txt" "$work/EXAM.txt"
  count() { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | awk '/Collected/ {print $4}'; }
  {
    echo
    echo "Instructions on small_codes (callgrind, every thread):"
    echo "  wdist-wide:                $(cd "$work" && count "$wide" <answers)"
    echo "  wdist --threads 1:         $(count "$wdist" --format report --quiet --threads 1 "$work/EXAM.txt")"
    echo "  wdist (default threads):   $(count "$wdist" --format report --quiet "$work/EXAM.txt")"
  } | tee -a "$table"
fi
rm -f "$work/EXAM.txt" "$work/EXAM.txt_r" "$work/wdist.txt" "$work"/t_* "$work"/c_*
