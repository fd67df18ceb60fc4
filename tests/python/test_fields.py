"""Every finite field F_q, q = p^m <= 256, through wdist.weight_distribution
and wdist.read_records: the integer codes of the elements (the coefficients
over the Conway polynomial's root read base p), as lists of ints and as NumPy
arrays, against this file's own arithmetic; refused fields and entries."""

import functools
import os
import random
import tempfile
import unittest

import wdist

try:
    import numpy
except ImportError:
    numpy = None

CONWAY = {4: [1, 1, 1], 8: [1, 1, 0, 1], 16: [1, 1, 0, 0, 1], 32: [1, 0, 1, 0, 0, 1], 64: [1, 1, 0, 1, 1, 0, 1],
          128: [1, 1, 0, 0, 0, 0, 0, 1], 256: [1, 0, 1, 1, 1, 0, 0, 0, 1], 9: [2, 2, 1], 27: [1, 2, 0, 1],
          81: [2, 0, 0, 2, 1], 243: [1, 2, 0, 0, 0, 1], 25: [2, 4, 1], 125: [3, 3, 0, 1], 49: [3, 6, 1],
          121: [2, 7, 1], 169: [2, 12, 1]}


class Field:
    """F_q as polynomials over F_p modulo the Conway polynomial."""

    def __init__(self, q):
        p = 2
        while q % p:
            p += 1
        m, rest = 0, q
        while rest > 1:
            rest //= p
            m += 1
        self.q, self.p, self.m = q, p, m
        self.modulus = CONWAY.get(q, [0, 1])

    def digits(self, x):
        return [(x // self.p ** j) % self.p for j in range(self.m)]

    def code(self, digits):
        return sum(c * self.p ** j for j, c in enumerate(digits))

    def add(self, x, y):
        return self.code([(a + b) % self.p for a, b in zip(self.digits(x), self.digits(y))])

    def mul(self, x, y):
        a, b, p, m = self.digits(x), self.digits(y), self.p, self.m
        c = [0] * (2 * m)
        for i in range(m):
            for j in range(m):
                c[i + j] = (c[i + j] + a[i] * b[j]) % p
        for d in range(2 * m - 1, m - 1, -1):
            top, c[d] = c[d], 0
            for j in range(m):
                c[d - m + j] = (c[d - m + j] - top * self.modulus[j]) % p
        return self.code(c[:m])


def enumerated(field, rows):
    """A_w, every codeword once, from all q^k messages."""
    q, n = field.q, len(rows[0])
    mul, add = functools.lru_cache(maxsize=None)(field.mul), functools.lru_cache(maxsize=None)(field.add)
    counts = [0] * (n + 1)
    words = {(0,) * n}
    for row in rows:
        multiples = [tuple(mul(a, x) for x in row) for a in range(q)]
        words = {tuple(add(x, y) for x, y in zip(w, m)) for w in words for m in multiples}
    for w in words:
        counts[sum(1 for x in w if x)] += 1
    return counts


class EveryField(unittest.TestCase):
    def test_random_codes_of_every_kind_of_field(self):
        rng = random.Random(20)
        for q, k in [(8, 3), (9, 3), (11, 2), (16, 2), (25, 2), (27, 2), (49, 2), (121, 1), (169, 1), (243, 1),
                     (251, 1), (256, 1), (32, 2), (13, 2)]:
            field = Field(q)
            n = rng.randrange(3, 10)
            rows = [[rng.randrange(q) for _ in range(n)] for _ in range(k)]
            with self.subTest(q=q, rows=rows):
                expected = enumerated(field, rows)
                self.assertEqual(wdist.weight_distribution(rows, q, dual="never"), expected)
                if q ** (n - k) <= 10 ** 5:
                    self.assertEqual(wdist.weight_distribution(rows, q, dual="always"), expected)
                projective = [0] + [a // (q - 1) for a in expected[1:]]
                self.assertEqual(wdist.weight_distribution(rows, q, projective=True), projective)

    @unittest.skipIf(numpy is None, "NumPy is not installed")
    def test_numpy_arrays_of_element_codes(self):
        rng = random.Random(21)
        for q in (13, 64, 256):
            rows = [[rng.randrange(q) for _ in range(6)] for _ in range(2)]
            expected = wdist.weight_distribution(rows, q)
            for dtype in (numpy.uint8, numpy.int64, numpy.int16):
                with self.subTest(q=q, dtype=dtype):
                    self.assertEqual(wdist.weight_distribution(numpy.array(rows, dtype=dtype), q), expected)

    def test_fields_that_are_not_prime_powers_and_entries_not_below_q(self):
        for q in (1, 6, 10, 12, 257):
            with self.assertRaises(ValueError) as caught:
                wdist.weight_distribution([[1, 0]], q)
            self.assertEqual(str(caught.exception), f"q = {q}, the field must be one of the prime powers up to 256")
        with self.assertRaises(ValueError) as caught:
            wdist.weight_distribution([[1, 0, 13]], 13)
        self.assertEqual(str(caught.exception), "entry 13 in row 1, column 3 is not below q = 13")


class Records(unittest.TestCase):
    def test_rows_of_numbers_from_eleven_and_digits_below(self):
        text = "? 2 3 13\n12 0 1\n5 6 7\n? 1 3 13\n1 2\n? 1 4 9\n8012\n"
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "codes.txt")
            with open(path, "w") as f:
                f.write(text)
            with wdist.read_records(path, skip_refused=True) as records:
                read = [(r.number, r.q, r.rows) for r in records]
            self.assertEqual(read, [(1, 13, [[12, 0, 1], [5, 6, 7]]), (3, 9, [[8, 0, 1, 2]])])
            with wdist.read_records(path) as records:
                next(records)
                with self.assertRaises(ValueError) as caught:
                    next(records)
                self.assertEqual(str(caught.exception), f"{path}: record 2: row 1 holds 2 entries, not n = 3")


if __name__ == "__main__":
    unittest.main()
