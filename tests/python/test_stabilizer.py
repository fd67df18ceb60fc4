"""wdist.stabilizer_enumerators: known codes, random commuting groups against
a brute force over S and N(S) written here, the binary symplectic form
(lists and NumPy) read alike, and the refusals with the library's messages."""

import itertools
import pickle
import random
import unittest

import wdist

try:
    import numpy
except ImportError:
    numpy = None

FIVE = ["XZZXI", "IXZZX", "XIXZZ", "ZXIXZ"]
STEANE = ["IIIXXXX", "IXXIIXX", "XIXIXIX", "IIIZZZZ", "IZZIIZZ", "ZIZIZIZ"]
SHOR = ["ZZIIIIIII", "IZZIIIIII", "IIIZZIIII", "IIIIZZIII",
        "IIIIIIZZI", "IIIIIIIZZ", "XXXXXXIII", "IIIXXXXXX"]


def symplectic(op):
    """(x, z) bit tuples of a Pauli string."""
    return (tuple(int(c in "XY") for c in op), tuple(int(c in "ZY") for c in op))


def commute(a, b):
    (xa, za), (xb, zb) = a, b
    return sum(p * q for p, q in zip(xa, zb)) % 2 == sum(p * q for p, q in zip(za, xb)) % 2


def weight(op):
    x, z = op
    return sum(1 for p, q in zip(x, z) if p or q)


def brute_force(generators):
    """(A, B, rank, distance, degenerate) by listing S and N(S)."""
    n = len(generators[0])
    ops = [symplectic(g) for g in generators]
    group = set()
    for choice in itertools.product((0, 1), repeat=len(ops)):
        x, z = [0] * n, [0] * n
        for c, (gx, gz) in zip(choice, ops):
            if c:
                x = [a ^ b for a, b in zip(x, gx)]
                z = [a ^ b for a, b in zip(z, gz)]
        group.add((tuple(x), tuple(z)))
    rank = len(group).bit_length() - 1
    A, B = [0] * (n + 1), [0] * (n + 1)
    for op in group:
        A[weight(op)] += 1
    normalizer = []
    for bits in itertools.product((0, 1), repeat=2 * n):
        op = (bits[:n], bits[n:])
        if all(commute(op, g) for g in ops):
            B[weight(op)] += 1
            normalizer.append(op)
    if rank == n:
        distance = min(weight(op) for op in group if weight(op) > 0)
    else:
        distance = min(weight(op) for op in normalizer if op not in group)
    degenerate = rank < n and any(0 < weight(op) < distance for op in group)
    return A, B, rank, distance, degenerate


def random_commuting(rng, n, r):
    kept = []
    while len(kept) < r:
        op = "".join(rng.choice("IXYZ") for _ in range(n))
        if all(commute(symplectic(op), symplectic(g)) for g in kept):
            kept.append(op)
    return kept


def binary_rows(generators):
    return [list(x) + list(z) for x, z in map(symplectic, generators)]


class KnownCodes(unittest.TestCase):
    def test_the_five_qubit_code(self):
        e = wdist.stabilizer_enumerators(FIVE)
        self.assertEqual(e.A, [1, 0, 0, 0, 15, 0])
        self.assertEqual(e.B, [1, 0, 0, 30, 15, 18])
        self.assertEqual((e.n, e.k, e.rank, e.generators, e.distance), (5, 1, 4, 4, 3))
        self.assertFalse(e.degenerate)
        self.assertFalse(e.distance_in_stabilizer)
        self.assertEqual(repr(e), "StabilizerEnumerators([[5,1,3]], rank=4, degenerate=False)")
        self.assertEqual(pickle.loads(pickle.dumps(e)), e)

    def test_steane_shor_and_a_state(self):
        steane = wdist.stabilizer_enumerators(STEANE, threads=1)
        self.assertEqual((steane.k, steane.distance, steane.degenerate), (1, 3, False))
        shor = wdist.stabilizer_enumerators(SHOR)
        self.assertEqual((shor.k, shor.distance, shor.degenerate), (1, 3, True))
        bell = wdist.stabilizer_enumerators(["XX", "-ZZ"])
        self.assertEqual((bell.k, bell.distance, bell.distance_in_stabilizer), (0, 2, True))
        self.assertEqual(bell.A, bell.B)

    def test_big_counts_are_exact_ints(self):
        # 40 qubits with one generator: |N(S)| = 4**40 / 2 counts beyond 64 bits.
        e = wdist.stabilizer_enumerators(["Z" + "I" * 39])
        self.assertEqual(sum(e.B), 4 ** 40 // 2)
        self.assertTrue(all(type(b) is int for b in e.B))


class RandomGroups(unittest.TestCase):
    def test_against_brute_force_in_every_form(self):
        rng = random.Random(22)
        for t in range(30):
            n = 1 + t % 5
            generators = random_commuting(rng, n, rng.randint(1, n + 1))
            A, B, rank, distance, degenerate = brute_force(generators)
            forms = [generators, binary_rows(generators)]
            if numpy is not None:
                forms.append(numpy.array(binary_rows(generators), dtype=numpy.uint8))
            for form in forms:
                with self.subTest(t=t, generators=generators, form=type(form).__name__):
                    e = wdist.stabilizer_enumerators(form)
                    self.assertEqual((e.A, e.B, e.rank, e.k), (A, B, rank, n - rank))
                    self.assertEqual((e.distance, e.degenerate), (distance, degenerate))


class Refusals(unittest.TestCase):
    def test_messages_are_the_library_s(self):
        cases = [
            (["XI", "ZI"], "generators 1 and 2 do not commute"),
            (["XZZXI", "IXZZ"], "generator 2 is an operator on 4 qubits, generator 1 on 5"),
            (["XQZ"], "generator 1, column 2: 'Q' is not a Pauli letter (I, X, Y, Z)"),
            ([[1, 0, 1]], "a binary symplectic matrix has 2n columns (x part, then z part), not 3"),
        ]
        for generators, message in cases:
            with self.subTest(generators=generators):
                with self.assertRaises(ValueError) as raised:
                    wdist.stabilizer_enumerators(generators)
                self.assertEqual(str(raised.exception), message)
        with self.assertRaises(ValueError):
            wdist.stabilizer_enumerators([[1, 0, 2, 0]])
        with self.assertRaises(wdist.WorkLimitError):
            wdist.stabilizer_enumerators(FIVE, max_work=4)


if __name__ == "__main__":
    unittest.main()
