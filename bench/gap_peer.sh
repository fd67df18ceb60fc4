#!/bin/sh
# The peer comparison of the fields beyond F_7: GAP's GUAVA (Debian
# packages gap-core and gap-guava; another system, run as a peer) computes
# WeightDistribution of the same code records wdist computes, one file each.
#
#   bench/gap_peer.sh [WDIST [BOUND_SECONDS]]
#
# The codes are random [n, k] codes written by random_codes.sh. GAP
# gets the generator matrix from the file's element codes (the code
# c_0 + c_1 p + ... is c_0 + c_1 Z(q) + ..., Z(q) the root of the Conway
# polynomial, the element coding of wdist); its time is that of
# WeightDistribution alone, measured inside GAP, and a GAP run that passes
# BOUND_SECONDS (default 600) is stopped and shown as "> BOUND". wdist runs
# on 2 threads over the same file; its time is the whole program's.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/random_codes.sh"
wdist=${1:-build/wdist}
bound=${2:-600}
command -v gap >/dev/null || { echo "gap is not installed (apt-get install gap-core gap-guava)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %14s %12s %10s\n' code GAP_s wdist_s ratio
# GAP_PEER_SHAPES="q k n;q k n" replaces the codes (a quick check of the script).
shapes=${GAP_PEER_SHAPES:-"8 8 100;9 8 100;16 6 100"}
echo "$shapes" | tr ';' '\n' | while read -r shape; do
  set -- $shape
  q=$1 k=$2 n=$3
  file="$work/f${q}_k${k}_n${n}.txt"
  random_codes "$file" 1 "$k" "$n" "$q" "$q$k$n"
  # The GAP input: the rows of element codes, the field, the timed call.
  python3 - "$file" "$q" > "$work/run.g" <<'PY'
import sys
path, q = sys.argv[1], int(sys.argv[2])
lines = open(path).read().split("\n")
k = int(lines[0].lstrip("?").split()[0])
rows = [[int(c) for c in (line if q <= 10 else line.split())] for line in lines[1:1 + k]]
p = next(d for d in range(2, q + 1) if q % d == 0)
print(f"LoadPackage(\"guava\");; q := {q};; p := {p};; m := LogInt(q, p);;")
print("rows := " + str(rows) + ";;")
print("elt := c -> Sum([0..m-1], j -> (QuoInt(c, p^j) mod p) * Z(q)^j);;")
print("G := List(rows, r -> List(r, elt));; C := GeneratorMatCode(G, GF(q));;")
print("t := NanosecondsSinceEpoch();; w := WeightDistribution(C);; t := NanosecondsSinceEpoch() - t;;")
print("Print(\"seconds \", Float(t / 10^9), \"\\n\", w, \"\\n\");")
print("QUIT;")
PY
  gap_s="> $bound"
  if timeout "$bound" gap -q -b -o 4g "$work/run.g" < /dev/null > "$work/gap.out" 2>&1; then
    gap_s=$(sed -n 's/^seconds //p' "$work/gap.out")
  fi
  start=$(date +%s.%N)
  "$wdist" --threads 2 --quiet "$file" > "$work/wdist.out"
  end=$(date +%s.%N)
  wdist_s=$(echo "$end - $start" | bc -l)
  ratio=-
  case $gap_s in
    '>'*) ratio="> $(echo "$bound / $wdist_s" | bc -l | cut -c1-6)" ;;
    *) ratio=$(echo "$gap_s / $wdist_s" | bc -l | cut -c1-6) ;;
  esac
  # Both distributions agree where GAP finished.
  if [ "${gap_s#>}" = "$gap_s" ]; then
    gap_counts=$(sed -n '/^\[/,$p' "$work/gap.out" | tr -d ' \n\\[]' | tr ',' '\n' | awk '$1 != 0' | tr '\n' ' ')
    wdist_counts=$(tail -n +2 "$work/wdist.out" | awk 'NF == 2 {print $2}' | tr '\n' ' ')
    [ "$gap_counts" = "$wdist_counts" ] || echo "the distributions differ for F_$q [$n,$k]" >&2
  fi
  printf '%-16s %14s %12.3f %10s\n' "F_$q [$n,$k]" "$gap_s" "$wdist_s" "$ratio"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
