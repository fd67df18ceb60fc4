#!/bin/sh
# The targets of the fields beyond F_7 through the program: one random
# record per field on 2 threads, its wall time and peak memory.
#
#   bench/field_targets.sh [WDIST [THREADS]]
#
# F_8 and F_16 go through their binary images, F_9 through the projective
# points of its ternary image, F_11 and F_13 through their own points and
# the generic q-ary kernel, F_256 through its binary image (records with
# rows of blank-separated numbers from q = 11 on).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/random_codes.sh"
wdist=${1:-build/wdist}
threads=${2:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %10s %10s %10s\n' code target_s seconds peak_MiB
# q k n target
for target in "8 10 100 3" "16 8 100 5" "9 10 100 15" "11 8 60 3" "13 8 60 8" "256 4 100 5"; do
  set -- $target
  file="$work/f$1.txt"
  random_codes "$file" 1 "$2" "$3" "$1" "$1$2$3"
  /usr/bin/time -f "%e %M" -o "$work/time" "$wdist" --threads "$threads" --quiet "$file" > "$work/out"
  read -r seconds kib < "$work/time"
  printf '%-16s %10s %10s %10.1f\n' "F_$1 [$3,$2]" "$4" "$seconds" "$(echo "$kib / 1024" | bc -l)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
