#!/usr/bin/env bash
# wdist as an MPI job beside the program alone, on this machine: one record
# split over ranks (binary k = 34, n = 100) and a file of 10,000 small records,
# for 1 process and 1, 2 and 3 ranks, each configuration run in turn in every
# round (so that a change of load strikes all alike); the table gives the
# median wall clock over the rounds (min-max) and its ratio to the program
# alone with as many threads as cores. Every output is compared with the
# program's alone.
#
#   bench/mpi_targets.sh [--rounds R] [--build DIR] [--out DIR]
#
# Builds wdist with WDIST_MPI=ON (Release) in build-bench-mpi/ unless --build
# names a build folder that exists. Run it on a quiet machine.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench-mpi"
out_dir="$PWD/bench-results"
rounds=5

while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift ;;
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --out) out_dir="$(realpath -m "$2")"; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDIST_BUILD_TESTS=OFF \
    -DWDIST_MPI=ON >/dev/null
fi
cmake --build "$build_dir" -j2 --target wdist_cli
wdist="$build_dir/wdist"
mpirun=(mpirun -q --oversubscribe --bind-to none)
[ "$(id -u)" = 0 ] && mpirun+=(--allow-run-as-root)
cores=$(nproc)
mkdir -p "$out_dir"
cd "$out_dir"
table="$out_dir/mpi_targets.txt"
: >"$table"

# shellcheck source=bench/random_codes.sh
source "$here/random_codes.sh"

# The configurations: a name, the ranks (0: the program alone) and the
# threads per rank.
configs=("alone $cores threads:0:$cores" "1 rank x $cores threads:1:$cores" "2 ranks x 1 thread:2:1"
         "2 ranks x $cores threads:2:$cores" "3 ranks x 1 thread:3:1")

# case NAME FILE: every configuration, `rounds` times in turn.
bench_case() {
  local name="$1" file="$2"
  declare -A times=()
  for ((r = 0; r < rounds; ++r)); do
    for config in "${configs[@]}"; do
      IFS=: read -r label ranks threads <<<"$config"
      local start end
      start=$(date +%s.%N)
      if [ "$ranks" = 0 ]; then
        "$wdist" --quiet --threads "$threads" "$file" >"out.$ranks.$threads"
      else
        "${mpirun[@]}" -np "$ranks" "$wdist" --quiet --threads "$threads" "$file" >"out.$ranks.$threads"
      fi
      end=$(date +%s.%N)
      times[$label]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f ", b - a }')"
      cmp -s "out.$ranks.$threads" "out.0.$cores" || echo "$name, $label: output differs" | tee -a "$table"
    done
  done
  local base=""
  for config in "${configs[@]}"; do
    IFS=: read -r label ranks threads <<<"$config"
    local stats
    stats=$(tr ' ' '\n' <<<"${times[$label]}" | grep . | sort -n |
      awk '{ v[NR] = $1 } END { printf "%.2f %.2f %.2f", v[int((NR + 1) / 2)], v[1], v[NR] }')
    read -r median low high <<<"$stats"
    [ -z "$base" ] && base="$median"
    printf '%-22s %-22s median %7.2f s (%.2f-%.2f)  ratio %.2f\n' "$name" "$label" "$median" "$low" "$high" \
      "$(awk -v m="$median" -v b="$base" 'BEGIN { print m / b }')" | tee -a "$table"
  done
}

{ uptime; echo "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2), $cores cores; $(mpirun --version | head -1)"; } |
  tee -a "$table"
random_codes b34.txt 1 34 100 2 34
random_codes small.txt 10000 10 30 2 1030
: >empty.txt
bench_case "binary k=34 n=100" b34.txt
bench_case "10,000 binary [30,10]" small.txt
bench_case "no record (start-up)" empty.txt
uptime | tee -a "$table"
