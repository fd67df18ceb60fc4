// Codes of known weight distribution at dimensions no brute force reaches.
// The direct sum of small codes has as its distribution the convolution of
// theirs (a codeword is a tuple of codewords of the parts, its weight the
// sum of theirs), and each part is small enough to count by brute force.
// The sum's generator matrix is then mixed, its rows by a random
// invertible matrix and its columns by a random permutation, so that no
// route finds the block structure to lean on: the code is the same up to
// the order of coordinates, and so is its distribution.
#pragma once

#include <gmpxx.h>

#include <random>
#include <vector>

#include "wdist/wdist.h"

namespace wdist_test {

struct KnownCode {
  wdist::Code code;
  std::vector<mpz_class> counts;  // A_0 .. A_n, every codeword once
  int rank = 0;
};

struct Part {
  int k;  // rows of a random part (its rank may be lower)
  int n;  // columns
};

// The mixed direct sum of random codes over F_q of the given shapes, and
// `zero_columns` all-zero columns among the others.
KnownCode mixed_direct_sum(std::mt19937_64& rng, int q, const std::vector<Part>& parts, int zero_columns = 0);

// The counts one per one-dimensional subcode, A_w / (q - 1) and 0 at w = 0:
// what Options::projective asks for.
std::vector<mpz_class> per_subcode(const std::vector<mpz_class>& counts, int q);

}  // namespace wdist_test
