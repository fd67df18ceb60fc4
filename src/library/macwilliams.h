// The MacWilliams identity in exact arithmetic: the weight distribution of
// a code from that of its dual.
//
// For a code C of length n over F_q whose dual has dimension m = n - r and
// weight distribution B_0..B_n,
//   A_j = q^(-m) * sum over i of B_i * K_j(i),
//   K_j(i) = sum over s of (-1)^s (q-1)^(j-s) C(i, s) C(n-i, j-s),
// the q-ary Krawtchouk polynomials. Everything is computed in exact
// integers (64-bit ones where a bound on every value allows it, GMP's
// otherwise); a division that leaves a remainder means the input was not
// the distribution of a code's dual and is reported, never rounded.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wdist {

// S_j = sum over i of B_i * K_j(i) for j = 0..n, any integers B_i
// (B.size() == n + 1): the identity's sums before the division. Each
// nonzero B_i costs one row K_0(i)..K_n(i), O(n) operations on integers of
// up to n log2(q) bits.
void krawtchouk_sums(int q, std::int64_t n, const std::vector<mpz_class>& B, std::vector<mpz_class>& S);

// A[0..n] from B[0..n]: the sums divided by q^m. False, with `error`
// naming the weight, when a sum is not divisible by q^m or negative.
bool macwilliams_transform(int q, std::int64_t n, int dual_dimension, const std::vector<mpz_class>& B,
                           std::vector<mpz_class>& A, std::string& error);

// What the dual route costs beyond counting the dual's messages, in the
// units the plan compares routes in (messages of the binary route, about a
// third of a nanosecond each): a fixed part for a record of length n over
// F_q, and one Krawtchouk row per possible nonzero B_i (at most n + 1, and
// at most the q^m words of a dual of dimension m).
double macwilliams_cost(int q, std::int64_t n, int dual_dimension);

}  // namespace wdist
