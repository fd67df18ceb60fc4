"""wdist.minimum_distance and wdist.low_weight_counts: random codes of every
field against their complete distributions, the witness a codeword of
weight d, known codes, the same result on any number of threads, the result
objects, and errors."""

import pickle
import unittest

import codes
import wdist


def is_codeword(rows, q, word):
    """Whether `word` is in the row space (it does not raise the rank)."""
    return codes.rank(rows + [list(word)], q) == codes.rank(rows, q)


def distance_of(counts):
    return next((w for w in range(1, len(counts)) if counts[w]), None)


class MinimumDistance(unittest.TestCase):
    def test_random_codes_against_their_distributions(self):
        rng = codes.seeded(21)
        for q in codes.FIELDS:
            for k, n in ((1, 4), (3, 7), (4, 9), (2, 2)):
                rows = codes.random_rows(rng, q, k, n)
                rows.append(list(rows[0]))  # a repeated row
                with self.subTest(q=q, rows=rows):
                    counts = wdist.weight_distribution(rows, q)
                    got = wdist.minimum_distance(rows, q, threads=2)
                    self.assertEqual(got.d, distance_of(counts))
                    self.assertIn(got.method, ("information sets", "direct", "dual"))
                    self.assertEqual(got.rank, counts.rank)
                    if got.d is not None:
                        self.assertEqual(len(got.witness), n)
                        self.assertEqual(sum(1 for x in got.witness if x), got.d)
                        self.assertTrue(is_codeword(rows, q, got.witness))
                    low = wdist.low_weight_counts(rows, q, 3)
                    self.assertEqual(low, (list(counts) + [0] * 4)[:4])

    def test_known_codes(self):
        for name, q, rows, expected in codes.known_codes():
            with self.subTest(name):
                got = wdist.minimum_distance(rows, q)
                self.assertEqual(got.d, distance_of(expected))
                up_to = min(len(expected) - 1, 8)
                self.assertEqual(wdist.low_weight_counts(rows, q, up_to), expected[: up_to + 1])

    def test_threads_and_the_result_object(self):
        rng = codes.seeded(3)
        rows = codes.random_rows(rng, 2, 24, 48)
        one = wdist.minimum_distance(rows, 2, threads=1)
        for threads in (2, 3):
            self.assertEqual(wdist.minimum_distance(rows, 2, threads=threads), one)
        d, witness = one
        self.assertEqual((d, witness), (one.d, one.witness))
        self.assertIsInstance(one, tuple)
        again = pickle.loads(pickle.dumps(one))
        self.assertEqual((again, again.rank, again.method), (one, one.rank, one.method))
        self.assertEqual(wdist.minimum_distance([[0, 0, 0]], 2), (None, None))

    def test_errors(self):
        with self.assertRaises(ValueError):
            wdist.minimum_distance(["12"], 2)
        with self.assertRaises(ValueError):
            wdist.low_weight_counts(["11"], 2, 0)
        with self.assertRaises(TypeError):
            wdist.low_weight_counts(["11"], 2, "3")
        rng = codes.seeded(4)
        with self.assertRaises(wdist.WorkLimitError):
            wdist.minimum_distance(codes.random_rows(rng, 2, 60, 120), 2, max_work=1000)


if __name__ == "__main__":
    unittest.main()
