"""Codes for the module's tests, and their distributions found without it.

The brute force spans the code row by row in this file's own field
arithmetic and counts the weights of its distinct codewords; the known
codes come with their distributions from the literature or from a closed
form. Nothing here uses wdist.

Element codes are the module's: residues for prime q; for q = 4 the code
2*b + a stands for b*w + a, with w^2 = w + 1.
"""

import math
import random

FIELDS = (2, 3, 4, 5, 7)


def add(q, a, b):
    return a ^ b if q == 4 else (a + b) % q


def mul(q, a, b):
    if q != 4:
        return a * b % q
    p = 0
    for bit in range(2):
        if b >> bit & 1:
            p ^= a << bit
    return p ^ 0b111 if p & 0b100 else p  # w^2 = w + 1


def neg(q, a):
    return a if q == 4 else (q - a) % q


def inverse(q, a):
    return next(b for b in range(1, q) if mul(q, a, b) == 1)


def span(rows, q):
    """Every codeword of the code spanned by the rows, once."""
    n = len(rows[0]) if rows else 0
    words = {(0,) * n}
    for row in rows:
        words = {tuple(add(q, v, mul(q, c, r)) for v, r in zip(word, row)) for word in words for c in range(q)}
    return words


def brute_force(rows, q, projective=False):
    """A_0 .. A_n from the definition (A_w / (q - 1) and 0 at w = 0 when projective)."""
    n = len(rows[0]) if rows else 0
    counts = [0] * (n + 1)
    for word in span(rows, q):
        counts[sum(1 for x in word if x)] += 1
    if projective:
        counts = [0] + [c // (q - 1) for c in counts[1:]]
    return counts


def rank(rows, q):
    m = [list(r) for r in rows]
    r = 0
    for col in range(len(m[0]) if m else 0):
        pivot = next((i for i in range(r, len(m)) if m[i][col]), None)
        if pivot is None:
            continue
        m[r], m[pivot] = m[pivot], m[r]
        scale = inverse(q, m[r][col])
        m[r] = [mul(q, scale, x) for x in m[r]]
        for i in range(len(m)):
            if i != r and m[i][col]:
                f = neg(q, m[i][col])
                m[i] = [add(q, x, mul(q, f, y)) for x, y in zip(m[i], m[r])]
        r += 1
    return r


def random_rows(rng, q, k, n):
    return [[rng.randrange(q) for _ in range(n)] for _ in range(k)]


def mixed(rng, rows, q, operations=None):
    """The same code by another generator matrix: rows added to one another
    with random factors, then the rows shuffled."""
    k = len(rows)
    n = len(rows[0]) if rows else 0
    # Binary rows as integers: long codes are mixed in a blink.
    work = [int("".join(map(str, r)) or "0", 2) for r in rows] if q == 2 else [list(r) for r in rows]
    for _ in range(operations if operations is not None else 4 * k):
        i, j = rng.randrange(k), rng.randrange(k)
        if i == j:
            continue
        if q == 2:
            work[i] ^= work[j]
        else:
            c = rng.randrange(1, q)
            work[i] = [add(q, x, mul(q, c, y)) for x, y in zip(work[i], work[j])]
    if q == 2:
        work = [[int(c) for c in format(r, "b").zfill(n)] for r in work]
    rng.shuffle(work)
    return work


def from_pairs(n, pairs):
    counts = [0] * (n + 1)
    for w, c in pairs.items():
        counts[w] = c
    return counts


# ---- known codes


def hamming_7_4():
    rows = ["1000110", "0100101", "0010011", "0001111"]
    return [[int(c) for c in r] for r in rows], from_pairs(7, {0: 1, 3: 7, 4: 7, 7: 1})


def cyclic(q, generator, n):
    """The cyclic code of length n with the generator polynomial's
    coefficients (constant term first): its n - deg g shifts."""
    k = n - (len(generator) - 1)
    return [[0] * i + list(generator) + [0] * (k - 1 - i) for i in range(k)]


def extended_golay():
    rows = cyclic(2, [1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1], 23)
    rows = [r + [sum(r) % 2] for r in rows]
    return rows, from_pairs(24, {0: 1, 8: 759, 12: 2576, 16: 759, 24: 1})


def ternary_golay():
    # x^5 + x^4 - x^3 + x^2 - 1
    rows = cyclic(3, [2, 0, 1, 2, 1, 1], 11)
    return rows, from_pairs(11, {0: 1, 5: 132, 6: 132, 8: 330, 9: 110, 11: 24})


def hexacode():
    w = 2
    rows = [[1, 0, 0, 1, w, w], [0, 1, 0, w, 1, w], [0, 0, 1, w, w, 1]]
    return rows, from_pairs(6, {0: 1, 4: 45, 6: 18})


def reed_solomon(q, k):
    """The [q, k] code of the polynomials of degree < k evaluated at every
    element of the prime field F_q, and its distribution as an MDS code."""
    n = q
    rows = [[pow(x, i, q) for x in range(q)] for i in range(k)]
    d = n - k + 1
    counts = [0] * (n + 1)
    counts[0] = 1
    for w in range(d, n + 1):
        counts[w] = math.comb(n, w) * sum(
            (-1) ** j * math.comb(w, j) * (q ** (w - d + 1 - j) - 1) for j in range(w - d + 1))
    return rows, counts


def known_codes():
    """(name, q, rows, distribution) of every known code of the tests."""
    yield ("Hamming [7,4]", 2) + hamming_7_4()
    yield ("extended Golay [24,12]", 2) + extended_golay()
    yield ("ternary Golay [11,6]", 3) + ternary_golay()
    yield ("hexacode [6,3]", 4) + hexacode()
    for q, k in ((5, 2), (5, 3), (7, 3), (7, 5)):
        yield (f"Reed-Solomon [{q},{k}] over F_{q}", q) + reed_solomon(q, k)


# ---- high-rate codes through their duals


def projective_points(q, m):
    """Every nonzero vector of F_q^m whose first nonzero coordinate is 1."""
    points = []
    for lead in range(m):
        for tail in range(q ** (m - 1 - lead)):
            v = [0] * lead + [1]
            for _ in range(m - 1 - lead):
                v.append(tail % q)
                tail //= q
            points.append(v)
    return points


def hamming(q, m, rng):
    """The q-ary Hamming code of redundancy m, [(q^m - 1)/(q - 1), n - m],
    by a mixed generator matrix with its columns permuted, and its
    distribution: its dual is the simplex code, whose q^m - 1 nonzero words
    all weigh q^(m - 1), so by the MacWilliams identity
        A_w = q^-m (K_w(0) + (q^m - 1) K_w(q^(m-1)))
    with the Krawtchouk polynomial K_w(x) = sum_j (-1)^j (q-1)^(w-j) C(x,j) C(n-x,w-j)."""
    points = projective_points(q, m)
    units = [p for p in points if sum(1 for x in p if x) == 1]
    others = [p for p in points if sum(1 for x in p if x) != 1]
    n, k = len(points), len(others)
    # H = [A | I]: G = [I | -A^T].
    rows = [[1 if j == i else 0 for j in range(k)] + [neg(q, x) for x in others[i]] for i in range(k)]
    rows = mixed(rng, rows, q, operations=2 * k)
    order = list(range(n))
    rng.shuffle(order)
    rows = [[r[j] for j in order] for r in rows]

    # K_w(x) is the coefficient of z^w in (1 + (q-1)z)^(n-x) (1 - z)^x.
    def krawtchouk(x):
        a = [math.comb(n - x, i) * (q - 1) ** i for i in range(n - x + 1)]
        b = [(-1) ** j * math.comb(x, j) for j in range(x + 1)]
        product = [0] * (n + 1)
        for i, ai in enumerate(a):
            for j, bj in enumerate(b):
                product[i + j] += ai * bj
        return product

    counts = []
    for k0, kx in zip(krawtchouk(0), krawtchouk(q ** (m - 1))):
        total = k0 + (q ** m - 1) * kx
        assert total % q ** m == 0
        counts.append(total // q ** m)
    assert len(units) == m
    return rows, counts


def seeded(seed):
    return random.Random(seed)
