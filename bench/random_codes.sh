# Sourced by the benchmark scripts: random code records, the same for the
# same seed on every run (awk's own generator), so that scripts and reruns
# time the same codes.
#
# random_codes FILE COUNT K N Q SEED: COUNT records "?K N Q" of K rows of N
# entries below Q into FILE: digits for Q <= 10, numbers separated by
# blanks for Q >= 11.
random_codes() {
  awk -v count="$2" -v k="$3" -v n="$4" -v q="$5" -v seed="$6" 'BEGIN {
    srand(seed)
    separator = q >= 11 ? " " : ""
    for (c = 0; c < count; ++c) {
      printf "?%d %d %d\n", k, n, q
      for (i = 0; i < k; ++i) {
        row = n > 0 ? int(rand() * q) : ""
        for (j = 1; j < n; ++j) row = row separator int(rand() * q)
        print row
      }
    }
  }' >"$1"
}
