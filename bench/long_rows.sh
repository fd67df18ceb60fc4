#!/usr/bin/env bash
# The wdist program on codes of few rows and a great length (10^7 columns by
# default): each record from a file and through a pipe, timed with its
# processor time and peak resident memory (/usr/bin/time), and the memory
# above the program's own (its peak on a record of one column) per entry of
# the matrix.
#
#   bench/long_rows.sh [--build DIR] [--out DIR] [--wdist PROGRAM] [--length N]
#
# --wdist   times PROGRAM instead of the build's wdist (an older build, say)
# --length  the number of columns (default 10000000)
# Inputs are random rows (awk, fixed seeds), written to the results folder
# with the table (long_rows.txt). The processor time is the measure on a
# shared machine; the wall clock only on a quiet one.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
out_dir="$PWD/bench-results"
wdist=""
length=10000000

while [ $# -gt 0 ]; do
  case "$1" in
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --out) out_dir="$(realpath -m "$2")"; shift ;;
    --wdist) wdist="$(realpath "$2")"; shift ;;
    --length) length="$2"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "$wdist" ]; then
  # A build folder given that exists keeps its own settings (it should be a
  # Release build).
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_TESTS=OFF >/dev/null
  fi
  cmake --build "$build_dir" -j2 --target wdist_cli
  wdist="$build_dir/wdist"
fi
mkdir -p "$out_dir"
cd "$out_dir"
table="$out_dir/long_rows.txt"
: >"$table"

# rows FILE K N Q SEED: one record of K rows of N digits below Q (a digit a
# printf: a row is far too long to be built as one awk string).
rows() {
  [ -f "$1" ] && return
  awk -v k="$2" -v n="$3" -v q="$4" -v seed="$5" 'BEGIN {
    srand(seed)
    printf "? %d %d %d\n", k, n, q
    for (i = 0; i < k; ++i) {
      for (j = 0; j < n; ++j) printf "%d", int(rand() * q)
      printf "\n"
    }
  }' >"$1"
}

# measure NAME K FILE: a line of the table for the file, then for the pipe.
measure() {
  local name="$1" k="$2" file="$3" how
  for how in file pipe; do
    if [ "$how" = file ]; then
      /usr/bin/time -o time.txt -f "%e %U %S %M" "$wdist" --quiet --threads 1 "$file" >"$file.out" || true
    else
      /usr/bin/time -o time.txt -f "%e %U %S %M" sh -c 'cat "$1" | "$2" --quiet --threads 1 >/dev/null' sh "$file" "$wdist" || true
    fi
    read -r wall user system peak <time.txt
    awk -v name="$name" -v how="$how" -v wall="$wall" -v cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" \
      -v peak="$peak" -v base="$base" -v entries="$((k * length))" 'BEGIN {
        printf "%-16s %-4s  wall %6.2f s  cpu %6.2f s  peak %7.1f MiB  %5.2f bytes an entry above one column\n",
          name, how, wall, cpu, peak / 1024, (peak - base) * 1024 / entries
      }' | tee -a "$table"
  done
}

printf '? 1 1 2\n1\n' >one.txt
/usr/bin/time -o time.txt -f "%M" "$wdist" --quiet --threads 1 one.txt >/dev/null
base=$(cat time.txt)

uptime | tee -a "$table"
echo "$wdist, n = $length; one column: peak $(awk -v k="$base" 'BEGIN { print k / 1024 }') MiB" | tee -a "$table"
for k in 1 2 3 4; do
  rows "b$k.txt" "$k" "$length" 2 "$k"
  measure "binary k=$k" "$k" "b$k.txt"
done
for q in 3 4 5 7; do
  rows "q$q.txt" 1 "$length" "$q" "$((10 + q))"
  measure "F_$q k=1" 1 "q$q.txt"
done
uptime | tee -a "$table"
