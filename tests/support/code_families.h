// Codes whose weight distribution is known without counting them, for the
// routes that reach dimensions no enumeration can: the q-ary Hamming codes
// (duals of simplex codes), the Golay codes, and direct sums of small codes
// disguised by a random change of basis and a column permutation. Beside
// them the MacWilliams identity from its definition, the explicit binomial
// sums of the Krawtchouk polynomials: the twin of the library's recurrence.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <random>
#include <vector>

#include "wdist/wdist.h"

namespace wdist_test {

using Counts = std::vector<mpz_class>;

// The Hamming code of redundancy m over F_q: length n = (q^m - 1)/(q - 1),
// dimension n - m, one row per column of its parity-check matrix (a point
// of PG(m-1, q)) that is not a unit vector. With `shuffle` the points are
// in random order, so the pivots of the row-reduced form are scattered.
wdist::Code hamming_code(int q, int m, std::mt19937_64* shuffle);

// A_0..A_n of that code from its dual, the simplex code, whose q^m - 1
// nonzero words all weigh q^(m-1):
//   A(y) = q^-m [(1 + (q-1)y)^n + (q^m - 1)(1 + (q-1)y)^(n-q^(m-1)) (1 - y)^(q^(m-1))],
// expanded by binomial sums.
Counts hamming_weights(int q, int m);

// For q = 2 the classical recurrence of the binary Hamming codes, which
// needs no Krawtchouk values at all:
//   (j+1) A_{j+1} = C(n, j) - A_j - (n - j + 1) A_{j-1},  A_0 = 1, A_1 = 0.
Counts binary_hamming_weights(int m);

// The extended binary Golay code [24, 12, 8] and the extended ternary
// Golay code [12, 6, 6]; both equal their duals.
wdist::Code binary_golay_code();
wdist::Code ternary_golay_code();

// The code spanned by the block-diagonal matrix of the parts (same q).
wdist::Code direct_sum(const std::vector<wdist::Code>& parts);
// Its distribution: the convolution of the parts'.
Counts convolution(const Counts& a, const Counts& b);

// The same code in disguise: its rows replaced by those of R * G for a
// random invertible R over F_q, its columns randomly permuted. The weight
// distribution is that of `code`.
wdist::Code disguised(const wdist::Code& code, std::mt19937_64& rng);

// B_0..B_n of the code spanned by `rows` (k x n over F_q), every codeword
// once, by enumerating all q^k messages.
Counts enumerated_weights(int q, int k, std::int64_t n, const std::vector<wdist::ElemCode>& rows);

// S_j = sum_i B_i K_j(i), with K_j(i) = sum_s (-1)^s (q-1)^(j-s) C(i,s) C(n-i,j-s)
// summed term by term, for any integers B_i.
Counts krawtchouk_sums_ref(int q, std::int64_t n, const Counts& B);
// A_j = q^-m S_j; empty when a sum is not divisible by q^m.
Counts macwilliams_ref(int q, std::int64_t n, int m, const Counts& B);

// G * H^T over F_q, every entry; true when all are zero.
bool orthogonal(int q, std::int64_t n, const std::vector<wdist::ElemCode>& g, const std::vector<wdist::ElemCode>& h);
// The reduced row echelon form of a k x n matrix over F_q by the textbook
// elimination, one entry at a time: its nonzero rows, and their pivot
// columns in `pivots`.
std::vector<wdist::ElemCode> reduced_echelon_ref(int q, std::int64_t n, std::vector<wdist::ElemCode> rows,
                                                 std::vector<std::int64_t>& pivots);
// The rank of a k x n matrix over F_q, from that form.
int rank_ref(int q, std::int64_t n, const std::vector<wdist::ElemCode>& rows);

}  // namespace wdist_test
