#!/usr/bin/env bash
# The wdist program on large records and long files, as users run it: each
# case timed on the wall clock with its processor time and peak resident
# memory (/usr/bin/time), thread counts side by side in one run.
#
#   bench/stream_targets.sh [--quick] [--build DIR] [--out DIR]
#
# --quick   leaves out the cases of minutes (binary k = 40, ternary k = 22,
#           the memory runs of n = 10,000)
# Inputs are random codes of length 100 (awk, fixed seeds), written to the
# results folder with the outputs and the table (stream_targets.txt).
# Run it on a quiet machine: the thread counts only compare on free cores.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
out_dir="$PWD/bench-results"
quick=0

while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --out) out_dir="$(realpath -m "$2")"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

# A build folder given that exists keeps its own settings (it should be a
# Release build).
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build_dir" -j2 --target wdist_cli
wdist="$build_dir/wdist"
mkdir -p "$out_dir"
cd "$out_dir"
table="$out_dir/stream_targets.txt"
: >"$table"

# shellcheck source=bench/random_codes.sh
source "$here/random_codes.sh"

# run NAME THREADS FILE [OPTIONS...]: one line of the table.
run() {
  local name="$1" threads="$2" file="$3"
  shift 3
  /usr/bin/time -o time.txt -f "%e %U %M" "$wdist" --quiet --threads "$threads" "$@" "$file" >"$name.t$threads.out" || true
  read -r wall user peak <time.txt
  printf '%-28s threads %s  wall %8.2f s  cpu %8.2f s  peak %6.1f MiB\n' "$name" "$threads" "$wall" "$user" \
    "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" | tee -a "$table"
  last_wall="$wall"
}

# Stops a run after SECONDS (the memory of records too long to finish).
run_for() {
  local name="$1" seconds="$2" file="$3"
  /usr/bin/time -o time.txt -f "%e %U %M" timeout -s INT "$seconds" "$wdist" --quiet --threads 2 "$file" >/dev/null || true
  peak=$(tail -1 time.txt | awk '{ print $3 }')
  printf '%-28s threads 2  stopped after %s s        peak %6.1f MiB\n' "$name" "$seconds" \
    "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" | tee -a "$table"
}

uptime | tee -a "$table"
random_codes b32.txt 1 32 100 2 32
random_codes b36.txt 1 36 100 2 36
random_codes small.txt 10000 10 30 2 1030
random_codes t21.txt 1 21 100 3 21
random_codes f14.txt 1 14 100 5 14
random_codes s12.txt 1 12 100 7 12

run "binary k=32" 1 b32.txt
run "binary k=32" 2 b32.txt
cmp -s "binary k=32.t1.out" "binary k=32.t2.out" || echo "binary k=32: outputs differ" | tee -a "$table"
run "10,000 binary [30,10]" 1 small.txt
run "10,000 binary [30,10]" 2 small.txt
cmp -s "10,000 binary [30,10].t1.out" "10,000 binary [30,10].t2.out" || echo "small codes: outputs differ" | tee -a "$table"
run "binary k=36" 2 b36.txt
whole="$last_wall"
run "ternary k=21" 2 t21.txt
run "F_5 k=14" 2 f14.txt
run "F_7 k=12" 2 s12.txt

# Killed half way and resumed from its checkpoint.
rm -f b36.ck b36.ck.spool
half=$(awk -v t="$whole" 'BEGIN { print t / 2 }')
timeout -s KILL "$half" "$wdist" --quiet --threads 2 --checkpoint b36.ck --checkpoint-interval 1 b36.txt >/dev/null || true
run "binary k=36 resumed at $half s" 2 b36.txt --checkpoint b36.ck --checkpoint-interval 1
cmp -s "binary k=36 resumed at $half s.t2.out" "binary k=36.t2.out" || echo "resumed k=36: output differs" | tee -a "$table"

if [ "$quick" = 0 ]; then
  random_codes b40.txt 1 40 100 2 40
  random_codes t22.txt 1 22 100 3 22
  random_codes b40long.txt 1 40 10000 2 4010
  random_codes t30long.txt 1 30 10000 3 3010
  random_codes q20long.txt 1 20 10000 4 2010
  run "ternary k=22" 2 t22.txt
  run "binary k=40" 2 b40.txt
  run_for "binary [10000, 40]" 30 b40long.txt
  run_for "ternary [10000, 30]" 30 t30long.txt
  run_for "F_4 [10000, 20]" 30 q20long.txt
fi
uptime | tee -a "$table"
