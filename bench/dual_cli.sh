#!/usr/bin/env bash
# Times the wdist program on the dual route's record files, whole runs
# (reading, row reduction, counting, the MacWilliams identity, writing):
#   random_40_28.txt   10,000 random binary [40, 28] codes, --format json,
#                      1 and 2 threads; the time per record
#   hamming_4095.txt   the binary Hamming code [4095, 4083] in disguise
#                      (a 4083 x 4095 matrix, counts of ~1200 digits)
#   high_rate.txt      180 high-rate records of every field, --dual auto
#                      against --dual never (the same counts are checked)
# Each run is repeated and the fastest is shown, with the load average
# before and after: the machine may be shared.
#
#   bench/dual_cli.sh [--build DIR] [--repeat N]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --repeat) repeat="$2"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_BENCH=ON \
  -DWDIST_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target wdist_bench_dual wdist_cli >/dev/null
wdist="$build_dir/wdist"

files="$(mktemp -d)"
trap 'rm -rf "$files"' EXIT
"$build_dir/bench/wdist_bench_dual" --write-files="$files"

# The fastest of $repeat runs of "$@" (output to $files/out), in seconds.
fastest() {
  local best="" t
  for ((i = 0; i < repeat; i++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >"$files/out"
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), Release"
for threads in 1 2; do
  t=$(fastest "$wdist" --format json --threads "$threads" "$files/random_40_28.txt")
  printf 'random [40,28] x 10000, %d thread(s): %.3f s whole, %.1f us per record\n' "$threads" "$t" \
    "$(awk -v t="$t" 'BEGIN { print t * 100 }')"
done
t=$(fastest "$wdist" --format json "$files/hamming_4095.txt")
printf 'Hamming [4095,4083]: %.3f s whole (%s)\n' "$t" "$(grep -o '"method": "[a-z]*"' "$files/out")"
for setting in never auto; do
  t=$(fastest "$wdist" --format json --threads 1 --dual "$setting" "$files/high_rate.txt")
  sed 's/"method": "[a-z]*", //' "$files/out" >"$files/high_$setting"
  printf 'high-rate records of every field, --dual %s: %.3f s\n' "$setting" "$t"
done
cmp -s "$files/high_never" "$files/high_auto" && echo "high-rate counts: the same under never and auto"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
