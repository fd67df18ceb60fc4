"""wdist.weight_distribution on the code's own messages: known codes of every
field, random codes against the brute force, every form rows may take, and
the exceptions with their texts. The route through the dual code is
tested in test_dual.py."""

import array
import pickle
import subprocess
import sys
import textwrap
import unittest

import codes
import wdist

try:
    import numpy
except ImportError:
    numpy = None


def direct(rows, q, **options):
    return wdist.weight_distribution(rows, q, dual="never", **options)


class KnownCodes(unittest.TestCase):
    def test_known_distributions_of_every_field(self):
        for name, q, rows, expected in codes.known_codes():
            with self.subTest(name):
                self.assertEqual(direct(rows, q), expected)
                projective = [0] + [a // (q - 1) for a in expected[1:]]
                self.assertEqual(direct(rows, q, projective=True, threads=1), projective)

    def test_counts_are_python_ints_and_the_version_is_the_library_s(self):
        rows, _ = codes.hamming_7_4()
        self.assertTrue(all(type(a) is int for a in direct(rows, 2)))
        self.assertRegex(wdist.__version__, r"^\d+\.\d+\.\d+$")


class RandomCodes(unittest.TestCase):
    def test_random_codes_against_the_brute_force(self):
        rng = codes.seeded(20240611)
        # At most about 2500 messages: the brute force stays quick.
        shapes = {2: [(1, 1), (3, 9), (6, 14), (10, 20)], 3: [(2, 5), (5, 11), (7, 13)], 4: [(2, 4), (4, 9), (5, 12)],
                  5: [(1, 6), (3, 8), (4, 11)], 7: [(2, 3), (3, 9), (4, 10)]}
        for q, dims in shapes.items():
            for k, n in dims:
                for trial in range(3):
                    rows = codes.random_rows(rng, q, k, n)
                    with self.subTest(q=q, k=k, n=n, rows=rows):
                        self.assertEqual(direct(rows, q, threads=1 + trial % 2), codes.brute_force(rows, q))
                        self.assertEqual(direct(rows, q, projective=True), codes.brute_force(rows, q, True))

    def test_rank_deficient_rows_count_every_codeword_once(self):
        rng = codes.seeded(7)
        for q in codes.FIELDS:
            base = codes.random_rows(rng, q, 3, 8)
            combination = [codes.add(q, codes.mul(q, 1, a), codes.mul(q, q - 1, b)) for a, b in zip(base[0], base[1])]
            cases = {
                "a repeated row": base + [base[2]],
                "a zero row": [[0] * 8] + base,
                "a combination of rows": base + [combination],
                "rows that span a line": [base[0], [codes.mul(q, q - 1, x) for x in base[0]]],
            }
            for what, rows in cases.items():
                with self.subTest(q=q, case=what):
                    counts = direct(rows, q)
                    self.assertEqual(counts, codes.brute_force(rows, q))
                    self.assertEqual(sum(counts), q ** codes.rank(rows, q))

    def test_the_zero_code_and_the_empty_length(self):
        for q in codes.FIELDS:
            self.assertEqual(direct([[0, 0, 0]] * 2, q), [1, 0, 0, 0])
            self.assertEqual(direct([[0, 0, 0]], q, projective=True), [0, 0, 0, 0])
            self.assertEqual(direct([[]], q), [1])


class Results(unittest.TestCase):
    def test_the_result_is_the_list_with_the_rank_and_method(self):
        rows, expected = codes.hamming_7_4()
        for dual, method in (("never", "direct"), ("always", "dual")):
            with self.subTest(dual=dual):
                r = wdist.weight_distribution(rows + [rows[0]], 2, dual=dual)
                self.assertIsInstance(r, list)
                self.assertEqual(r, expected)
                self.assertEqual(repr(r), repr(expected))
                self.assertEqual((r.rank, r.method), (4, method))
                self.assertIs(type(r.distribution), list)
                self.assertEqual(r.distribution, expected)
                copy = pickle.loads(pickle.dumps(r))
                self.assertEqual((copy, copy.rank, copy.method), (expected, 4, method))
        zero = wdist.weight_distribution([[0, 0]], 3)
        self.assertEqual((zero, zero.rank), ([1, 0, 0], 0))


class RowForms(unittest.TestCase):
    """Every form of rows gives the same code: the hexacode over F_4."""

    rows, expected = codes.hexacode()

    def check(self, rows, what):
        with self.subTest(what):
            self.assertEqual(direct(rows, 4), self.expected)

    def test_sequences_strings_and_iterables(self):
        self.check([tuple(r) for r in self.rows], "tuples")
        self.check(tuple(self.rows), "a tuple of lists")
        self.check((list(r) for r in self.rows), "a generator of rows")
        self.check(["".join(map(str, r)) for r in self.rows], "strings of digits")
        self.check([[True, False, False, 1, 2, 2], *self.rows[1:]], "bools among the ints")

    def test_buffers(self):
        self.check([bytes(r) for r in self.rows], "bytes")
        self.check([bytearray(r) for r in self.rows], "bytearray")
        for typecode in "bBhHiIlLqQ":
            self.check([array.array(typecode, r) for r in self.rows], "array.array " + typecode)
        flat = bytes(x for r in self.rows for x in r)
        self.check(memoryview(flat).cast("B", (3, 6)), "a two-dimensional memoryview")
        wide = array.array("i", [x for r in self.rows for x in r])
        self.check(memoryview(wide).cast("B").cast("i", (3, 6)), "a two-dimensional memoryview of ints")
        # Every other item of a longer buffer: strides, not contiguous memory.
        spread = [array.array("h", [v for x in r for v in (x, 9)]) for r in self.rows]
        self.check([memoryview(s)[::2] for s in spread], "strided memoryviews")

    @unittest.skipIf(numpy is None, "NumPy is not installed")
    def test_numpy_arrays(self):
        a = numpy.array(self.rows)
        self.check(a, "a two-dimensional array")
        self.check(a.astype(numpy.uint8), "uint8")
        self.check(a.astype(">i4"), "big-endian int32")
        self.check(numpy.asfortranarray(a), "column-major")
        self.check(numpy.array(numpy.array(self.rows).T).T, "a transposed view")
        self.check(list(a), "rows of an array")
        self.assertEqual(direct(numpy.array([[True, False, True], [False, True, True]]), 2), [1, 0, 3, 0])


class BadInput(unittest.TestCase):
    def raises(self, exception, text, rows, q, **options):
        with self.assertRaises(exception) as caught:
            wdist.weight_distribution(rows, q, **options)
        self.assertEqual(str(caught.exception), text)

    def test_the_library_s_reasons(self):
        self.raises(ValueError, "q = 6, the field must be one of the prime powers up to 256", [[1, 0]], 6)
        self.raises(ValueError, "q = -2, the field must be one of the prime powers up to 256", [[1, 0]], -2)
        self.raises(ValueError, f"q = {2 ** 70}, the field must be one of the prime powers up to 256", [[1, 0]], 2 ** 70)
        self.raises(ValueError, "k = 0, the dimension must be at least 1", [], 2)
        self.raises(ValueError, "entry 3 in row 1, column 2 is not below q = 3", [[1, 3, 0]], 3)
        self.raises(ValueError, "entry 5 in row 2, column 1 is not below q = 5", [[0, 4], [5, 0]], 5)

    def test_entries_beyond_a_byte_and_negative_ones_are_named_in_row_order(self):
        self.raises(ValueError, "entry 1000 in row 2, column 1 is not below q = 2", [[0, 1], [1000, 0]], 2)
        self.raises(ValueError, "entry 2 in row 1, column 2 is not below q = 2", [[0, 2], [1000, 0]], 2)
        self.raises(ValueError, "entry 256 in row 1, column 1 is not below q = 7", [[256]], 7)
        self.raises(ValueError, f"entry {2 ** 80} in row 1, column 2 is not below q = 2", [[0, 2 ** 80]], 2)
        self.raises(ValueError, "entry -1 in row 1, column 3 is negative", [[0, 1, -1]], 2)
        self.raises(ValueError, "entry -1 in row 1, column 1 is negative", [array.array("b", [-1])], 2)
        self.raises(ValueError, f"entry {2 ** 64 - 1} in row 1, column 1 is not below q = 2",
                    [array.array("Q", [2 ** 64 - 1])], 2)

    def test_malformed_rows(self):
        self.raises(ValueError, "row 2 is of length 1, row 1 of length 2", [[1, 0], [1]], 2)
        self.raises(ValueError, "row 3 is of length 3, row 1 of length 2", [b"\x01\x00", [0, 1], "101"], 2)
        self.raises(ValueError, "row 1, column 2: 'x' is not a digit", ["1x"], 2)
        self.raises(TypeError, "row 1, column 1: 1.0 is not an integer (convert field elements with int())",
                    [[1.0]], 2)
        self.raises(TypeError, "row 2 is not a sequence of element codes", [[1], 1], 2)
        for rows in (7, "1000110"):
            self.raises(TypeError, "rows must be a sequence of rows or a two-dimensional buffer of integers", rows, 2)
        self.raises(TypeError, "q must be an integer, not 2.0", [[1]], 2.0)

    def test_characters_that_are_not_digits_are_named_by_row_and_column(self):
        # Only the ASCII digits are digits; the character is shown as Python
        # shows it, so that no character cuts or garbles the text.
        self.raises(ValueError, "row 1, column 2: '\uff10' is not a digit", ["1\uff101"], 2)
        self.raises(ValueError, "row 2, column 3: '\u00e9' is not a digit", ["101", "10\u00e9"], 2)
        self.raises(ValueError, "row 1, column 4: '\u0663' is not a digit", ["101\u0663"], 2)
        self.raises(ValueError, "row 1, column 2: '\\x00' is not a digit", ["1\x001"], 2)
        self.raises(ValueError, "row 1, column 2: '\\ud800' is not a digit", ["1\ud8001"], 2)
        self.raises(ValueError, "row 1, column 1: '\\n' is not a digit", ["\n"], 2)
        self.raises(ValueError, "row 1, column 3: \"'\" is not a digit", ["10'"], 2)

    def test_texts_of_any_characters_come_whole(self):
        self.raises(ValueError, "dual must be 'auto', 'never' or 'always', not 'a\\x00b'", [[1]], 2, dual="a\0b")
        self.raises(ValueError, "dual must be 'auto', 'never' or 'always', not '\\ud800'", [[1]], 2, dual="\ud800")
        self.raises(TypeError, "dual must be 'auto', 'never' or 'always', not 5", [[1]], 2, dual=5)
        self.raises(TypeError, "q must be an integer, not \\ud800", [[1]], "\ud800")
        self.raises(ValueError, "threads must be None or a number in 1 .. 4096, not \\ud800", [[1]], 2,
                    threads="\ud800")
        self.raises(TypeError, "row 1, column 1: \\ud800 is not an integer (convert field elements with int())",
                    [["\ud800"]], 2)
        self.raises(TypeError, "row 1, column 1: a\x00b is not an integer (convert field elements with int())",
                    [["a\0b"]], 2)

    def test_options(self):
        self.raises(ValueError, "dual must be 'auto', 'never' or 'always', not 'sometimes'", [[1]], 2, dual="sometimes")
        self.raises(ValueError, "threads must be None or a number in 1 .. 4096, not 0", [[1]], 2, threads=0)
        self.raises(ValueError, "threads must be None or a number in 1 .. 4096, not 5000", [[1]], 2, threads=5000)
        self.raises(ValueError, "max_work must lie in 1 .. 2**62, not 0.5", [[1]], 2, max_work=0.5)
        # Numbers too large for a float are values out of range like 2**63.
        for value in (2 ** 63, 2 ** 1100, -(2 ** 1100), float("inf"), float("nan")):
            self.raises(ValueError, f"max_work must lie in 1 .. 2**62, not {value}", [[1]], 2, max_work=value)
        self.raises(TypeError, "max_work must be a number, not x", [[1]], 2, max_work="x")
        with self.assertRaises(TypeError):
            wdist.weight_distribution([[1]], 2, "never")  # the options are keywords

    def test_the_work_limit(self):
        rng = codes.seeded(3)
        rows = codes.random_rows(rng, 2, 60, 64)
        with self.assertRaises(wdist.WorkLimitError) as caught:
            direct(rows, 2)
        self.assertIsInstance(caught.exception, ValueError)
        self.assertRegex(str(caught.exception), r"^needs about 2\^60\.0 messages .* more than the work limit 2\^48\.0$")
        rows = codes.random_rows(rng, 2, 12, 20)
        self.assertRaises(wdist.WorkLimitError, direct, rows, 2, max_work=2 ** 11)
        self.assertEqual(sum(direct(rows, 2, max_work=2 ** 12)), 2 ** codes.rank(rows, 2))

    def test_memory_that_cannot_be_had(self):
        # A child whose address space ends 8 MiB past what it holds: the
        # worker's whole table of a long binary code of dimension 22 (2^22
        # counters of 32 bits) does not fit.
        script = textwrap.dedent("""
            import random, resource, wdist
            rng = random.Random(22)
            rows = [bytes(rng.randrange(2) for _ in range(20000)) for _ in range(22)]
            with open("/proc/self/status") as f:
                size = next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmSize"))
            resource.setrlimit(resource.RLIMIT_AS, (size + (8 << 20), resource.RLIM_INFINITY))
            try:
                wdist.weight_distribution(rows, 2, dual="never", threads=1)
            except MemoryError as e:
                print("MemoryError:", e)
        """)
        run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
        self.assertRegex(run.stdout, r"^MemoryError: a worker's .* cannot be had\n$", run.stderr)


class Help(unittest.TestCase):
    def test_help_shows_the_interface(self):
        text = wdist.__doc__ + wdist.weight_distribution.__doc__ + wdist.read_records.__doc__
        for phrase in ("weight_distribution(rows, q, *, projective=False, dual='auto', threads=None",
                       "read_records(path, *, skip_refused=False)", "KeyboardInterrupt", "WorkLimitError",
                       "rank (the code's dimension), method ('direct' or 'dual'"):
            self.assertIn(phrase, text)


if __name__ == "__main__":
    sys.exit(unittest.main())
