#!/usr/bin/env python3
"""Writes a random code record over F_q in wdist's record format.

Usage: field_codes.py Q K N [SEED] > FILE

Rows are digit strings for q <= 10 and blank-separated numbers for q >= 11
(element codes as in the README: the digits base p of an element's
coordinates over the Conway polynomial's root). The entries are uniform
over 0 .. q-1, so the code has full rank with overwhelming probability.
"""
import random
import sys


def main() -> int:
    if len(sys.argv) not in (4, 5):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    q, k, n = (int(a) for a in sys.argv[1:4])
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) == 5 else q * 1000 + k)
    out = [f"? {k} {n} {q} random code over F_{q}"]
    for _ in range(k):
        row = [rng.randrange(q) for _ in range(n)]
        out.append("".join(map(str, row)) if q <= 10 else " ".join(map(str, row)))
    sys.stdout.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
