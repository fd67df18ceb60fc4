#!/usr/bin/env bash
# Times `wdist --stabilizer` on the stabilizer targets, whole runs (reading,
# the commutation check, the binary image counted, the identity over F_4,
# writing):
#   surface5.txt   the rotated surface code [[25,1,5]] (24 generators)
#   golay.txt      the quantum Golay code [[23,1,7]] (22 generators)
#   rank32.txt     a random CSS code on 64 qubits: 16 X generators, 16 Z
#                  generators from the null space of the X part (rank 32)
#   rank40.txt     (with --rank40) the same with 20 X and 20 Z generators
#                  (rank 40: 2^40 elements, minutes), run once
# Each run is repeated and the fastest is shown, with the processor time of
# the last and the load average before and after: the machine may be shared.
#
#   bench/stabilizer_cli.sh [--build DIR] [--repeat N] [--rank40]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
repeat=3
rank40=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build_dir="$(realpath -m "$2")"; shift ;;
    --repeat) repeat="$2"; shift ;;
    --rank40) rank40=1 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j2 --target wdist_cli >/dev/null
wdist="$build_dir/wdist"

files="$(mktemp -d)"
trap 'rm -rf "$files"' EXIT
python3 - "$files" <<'PY'
import random, sys
out = sys.argv[1]

def write(name, gens):
    with open(f"{out}/{name}", "w") as f:
        f.write(f"? {len(gens)} {len(gens[0])}\n" + "\n".join(gens) + "\n")

# Rotated surface code, d = 5: face (a, b) on qubits (a-1..a, b-1..b), X when
# a + b is even; inner faces, X faces of the top and bottom rows, Z faces of
# the left and right columns.
d, gens = 5, []
for a in range(d + 1):
    for b in range(d + 1):
        x = (a + b) % 2 == 0
        inner = 1 <= a <= d - 1 and 1 <= b <= d - 1
        if not (inner or (a in (0, d) and 1 <= b <= d - 1 and x) or (b in (0, d) and 1 <= a <= d - 1 and not x)):
            continue
        op = ["I"] * (d * d)
        for i in (a - 1, a):
            for j in (b - 1, b):
                if 0 <= i < d and 0 <= j < d:
                    op[i * d + j] = "X" if x else "Z"
        gens.append("".join(op))
write("surface5.txt", gens)

# Quantum Golay: X and Z rows of the even subcode of the cyclic [23,12,7]
# code (sums of consecutive shifts of its generator polynomial).
g = [1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1]
rows = [[0] * s + g + [0] * (11 - s) for s in range(12)]
even = [[a ^ b for a, b in zip(rows[i], rows[i + 1])] for i in range(11)]
write("golay.txt", ["".join("X" if v else "I" for v in r) for r in even] +
      ["".join("Z" if v else "I" for v in r) for r in even])

# Random CSS on 64 qubits: Z rows from the null space of the X rows.
def css(name, half, seed):
    rng, n = random.Random(seed), 64
    hx = [[rng.randint(0, 1) for _ in range(n)] for _ in range(half)]
    m, pivots, r = [row[:] for row in hx], [], 0
    for c in range(n):
        p = next((i for i in range(r, len(m)) if m[i][c]), None)
        if p is None:
            continue
        m[r], m[p] = m[p], m[r]
        for i in range(len(m)):
            if i != r and m[i][c]:
                m[i] = [a ^ b for a, b in zip(m[i], m[r])]
        pivots.append(c)
        r += 1
    null = []
    for f in (c for c in range(n) if c not in pivots):
        v = [0] * n
        v[f] = 1
        for i, c in enumerate(pivots):
            v[c] = m[i][f]
        null.append(v)
    write(name, ["".join("X" if v else "I" for v in r) for r in hx] +
          ["".join("Z" if v else "I" for v in r) for r in rng.sample(null, half)])

css("rank32.txt", 16, 1)
css("rank40.txt", 20, 2)
PY

# The fastest of $repeat runs of "$@" (output to $files/out), in seconds;
# $files/cpu holds the last run's processor seconds (user + system).
fastest() {
  local best="" t
  for ((i = 0; i < repeat; i++)); do
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f '%U %S' -o "$files/cpu" "$@" >"$files/out"
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), Release"
names="surface5 golay rank32"
if [ "$rank40" = 1 ]; then names="$names rank40"; fi
for name in $names; do
  if [ "$name" = rank40 ]; then repeat=1; fi
  t=$(fastest "$wdist" --stabilizer --threads 2 "$files/$name.txt")
  printf '%-9s %s: %.3f s wall, %.3f s processor, 2 threads\n' "$name" "$(head -1 "$files/out" | cut -d' ' -f4)" \
    "$t" "$(awk '{ print $1 + $2 }' "$files/cpu")"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
