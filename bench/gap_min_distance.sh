#!/bin/sh
# The peer comparison of the minimum distance: GAP's GUAVA (Debian packages
# gap-core and gap-guava; another system, run as a peer) computes
# MinimumDistance of the same random binary codes wdist --min-distance
# searches, one file each.
#
#   bench/gap_min_distance.sh [WDIST [BOUND_SECONDS]]
#
# The codes are random binary [n, n/2] codes written by random_codes.sh
# (the same generator matrices for both systems, the same on every run).
# GAP's time is that of MinimumDistance alone, measured inside GAP; a GAP
# run that passes BOUND_SECONDS (default 400) is stopped and shown as "not
# finished in BOUND s". wdist runs on 2 threads over the same file; its
# time is the whole program's. Where both finish, their d must agree.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/random_codes.sh"
wdist=${1:-build/wdist}
bound=${2:-400}
command -v gap >/dev/null || { echo "gap is not installed (apt-get install gap-core gap-guava)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %6s %26s %6s %10s\n' code GAP_d GAP_s wdist_d wdist_s
# GAP_MD_SHAPES="k n;k n" replaces the codes (a quick check of the script).
shapes=${GAP_MD_SHAPES:-"32 64;48 96;64 128"}
echo "$shapes" | tr ';' '\n' | while read -r shape; do
  set -- $shape
  k=$1 n=$2
  file="$work/b_k${k}_n${n}.txt"
  random_codes "$file" 1 "$k" "$n" 2 "2$k$n"
  # The GAP input: the rows of the record, the timed call.
  python3 - "$file" > "$work/run.g" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
k = int(lines[0].lstrip("?").split()[0])
rows = [[int(c) for c in line] for line in lines[1:1 + k]]
print("LoadPackage(\"guava\");;")
print("rows := " + str(rows) + ";;")
print("G := List(rows, r -> List(r, c -> c * Z(2)^0));; C := GeneratorMatCode(G, GF(2));;")
print("t := NanosecondsSinceEpoch();; d := MinimumDistance(C);; t := NanosecondsSinceEpoch() - t;;")
print("Print(\"seconds \", Float(t / 10^9), \"\\n\", \"d \", d, \"\\n\");")
print("QUIT;")
PY
  gap_s="not finished in $bound s"
  gap_d=-
  if timeout "$bound" gap -q -b -o 4g "$work/run.g" < /dev/null > "$work/gap.out" 2>&1; then
    gap_s=$(sed -n 's/^seconds //p' "$work/gap.out")
    gap_d=$(sed -n 's/^d //p' "$work/gap.out")
  fi
  start=$(date +%s.%N)
  "$wdist" --min-distance --threads 2 --quiet "$file" > "$work/wdist.out"
  end=$(date +%s.%N)
  wdist_s=$(echo "$end - $start" | bc -l)
  wdist_d=$(sed -n 's/.* d=\([0-9]*\) .*/\1/p' "$work/wdist.out")
  if [ "$gap_d" != - ] && [ "$gap_d" != "$wdist_d" ]; then
    echo "the minimum distances differ for [$n,$k]: GAP $gap_d, wdist $wdist_d" >&2
  fi
  printf '%-16s %6s %26s %6s %10.3f\n' "F_2 [$n,$k]" "$gap_d" "$gap_s" "$wdist_d" "$wdist_s"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
