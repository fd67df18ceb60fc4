// Codes whose weight distributions are published, with generator matrices
// built from their classical constructions, for known-answer tests and for
// example files.
#pragma once

#include <string>
#include <vector>

#include "support/brute_force.h"

namespace wdist_test {

struct KnownCode {
  std::string name;
  TestCode code;
  // The published distribution of the code: all q^k codewords, the zero
  // word included (A_0 = 1 for a full-rank matrix).
  WeightPairs published;
};

// Binary.
TestCode hamming_7_4();                   // [7,4,3]: [I | P]
TestCode extended_golay_24();             // [24,12,8]: cyclic [23,12] plus a parity column
TestCode reed_muller_first_order(int m);  // RM(1,m), [2^m, m+1, 2^(m-1)]
// Ternary.
TestCode tetracode();                  // [4,2,3], rows 1011 and 0112
TestCode ternary_golay_11();           // [11,6,5], cyclic
TestCode extended_ternary_golay_12();  // [12,6,6]: the above plus a check column
// Over F_4.
TestCode hexacode();  // [6,3,4]: (a, b, c, f(1), f(w), f(w^2)), f = a x^2 + b x + c
// Any q: every point of PG(k-1, q) once as a column, column j on point j.
TestCode simplex_code(int q, int k);
// Reed-Solomon: row i + 1 holds x^i at the given evaluation points, i = 0..k-1;
// with `at_infinity` a last column (0, ..., 0, 1) makes it doubly extended.
TestCode reed_solomon(int q, int k, const std::vector<int>& points, bool at_infinity);

// The weight distribution of any [n, k] MDS code over F_q, from the
// closed formula A_w = C(n,w) sum_{j=0}^{w-d} (-1)^j C(w,j) (q^(w-d+1-j) - 1),
// d = n - k + 1, with A_0 = 1.
WeightPairs mds_weights(int q, int n, int k);

// Every code above with its published distribution (famous codes, simplex
// codes of several fields, Reed-Solomon codes with the MDS formula).
std::vector<KnownCode> known_codes();

}  // namespace wdist_test
