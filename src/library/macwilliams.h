// The MacWilliams identity in exact arithmetic: the weight distribution of
// a code from that of its dual.
//
// For a code C of length n over F_q whose dual has dimension m = n - r and
// weight distribution B_0..B_n,
//   A_j = q^(-m) * sum over i of B_i * K_j(i),
//   K_j(i) = sum over s of (-1)^s (q-1)^(j-s) C(i, s) C(n-i, j-s),
// the q-ary Krawtchouk polynomials. Everything is computed in GMP integers;
// a division that leaves a remainder means the input was not the
// distribution of a code's dual and is reported, never rounded.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wdist {

// A[0..n] from B[0..n] (B.size() == n + 1). False, with `error` saying
// which division failed, when a sum is not divisible by q^m.
bool macwilliams_transform(int q, std::int64_t n, int dual_dimension, const std::vector<mpz_class>& B,
                           std::vector<mpz_class>& A, std::string& error);

// The cost of the transform in the units the plan compares routes in
// (messages of the binary transform): for `nonzero` nonzero B_i and length n.
double macwilliams_cost(std::int64_t n, std::uint64_t nonzero);

}  // namespace wdist
