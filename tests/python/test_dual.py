"""wdist.weight_distribution through the dual code and the MacWilliams
identity: known and random codes as through their own messages, and
high-rate Hamming codes whose counts pass 2^64, against the closed form
from their dual, the simplex code."""

import sys
import unittest

import codes
import wdist


class ThroughTheDual(unittest.TestCase):
    def test_known_codes(self):
        for name, q, rows, expected in codes.known_codes():
            for dual in ("always", "auto"):
                with self.subTest(name, dual=dual):
                    self.assertEqual(wdist.weight_distribution(rows, q, dual=dual), expected)
                    self.assertEqual(wdist.weight_distribution(rows, q, dual=dual, projective=True),
                                     [0] + [a // (q - 1) for a in expected[1:]])

    def test_random_and_rank_deficient_codes_against_the_brute_force(self):
        rng = codes.seeded(5)
        for q in codes.FIELDS:
            for k, n in ((1, 3), (3, 5), (4, 6), (3, 3)):
                rows = codes.random_rows(rng, q, k, n)
                rows.append(list(rows[0]))  # a repeated row
                with self.subTest(q=q, rows=rows):
                    self.assertEqual(wdist.weight_distribution(rows, q, dual="always", threads=2),
                                     codes.brute_force(rows, q))

    def test_hamming_codes_with_counts_beyond_64_bits(self):
        rng = codes.seeded(11)
        largest = 0
        for q, m in ((2, 7), (2, 10), (3, 5), (4, 3), (5, 3), (7, 3)):
            rows, expected = codes.hamming(q, m, rng)
            with self.subTest(q=q, n=len(rows[0]), k=len(rows)):
                self.assertEqual(wdist.weight_distribution(rows, q, dual="always"), expected)
                # Directly, past the work limit: the automatic route is the dual.
                self.assertEqual(wdist.weight_distribution(rows, q), expected)
            largest = max(largest, *expected)
        self.assertGreater(largest, 2 ** 1000)


if __name__ == "__main__":
    sys.exit(unittest.main())
