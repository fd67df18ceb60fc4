// Test codes as the library takes them, and their distributions by brute
// force: the bridge between the test support's own arithmetic and the
// library's values.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/brute_force.h"
#include "wdist/wdist.h"

namespace wdist_test {

wdist::Code to_code(const TestCode& code);

// A random k x n matrix over F_q; with `rank_deficient`, some rows are
// combinations of others; `zero_columns` columns are all zero.
TestCode random_code(std::mt19937_64& rng, int q, int k, int n, bool rank_deficient, int zero_columns);

// A_0..A_n of the code spanned by the rows, every codeword once, by
// enumerating all q^k messages; `rank` receives the code's dimension.
Weights codeword_weights(const TestCode& code, int& rank);

// The counts of a distribution as unsigned 64-bit values (they must fit).
Weights as_weights(const wdist::Distribution& d);

std::string describe(const wdist::Code& code);

}  // namespace wdist_test
