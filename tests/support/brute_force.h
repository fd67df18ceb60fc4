// Weight distributions counted from the definition, the slow twin of the
// characteristic vector and its transforms: every message is multiplied
// with the generator matrix in this file's own field arithmetic and the
// weight of each product is tallied. Nothing here touches the program's
// field tables, point numbering or counters.
//
// Element codes are those of the program: the residue for prime q; for
// q = 4 the code 2*c1 + c0 stands for c1*w + c0 with w^2 = w + 1.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace wdist_test {

// A generator matrix as the tests hold it: rows[i][j] is the element code
// of row i + 1, column j + 1 (k rows of n entries each).
struct TestCode {
  int k;
  int n;
  int q;
  std::vector<std::vector<int>> rows;
};

// Entry of row i + 1, column j + 1.
inline int& entry_of(TestCode& code, int i, int j) {
  return code.rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
}
inline int entry_of(const TestCode& code, int i, int j) {
  return code.rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
}

// Counts per weight, index w = 0..n.
using Weights = std::vector<std::uint64_t>;
// The nonzero counts as (w, count) pairs in increasing w: what a report's
// weight line lists.
using WeightPairs = std::vector<std::pair<int, std::uint64_t>>;

// F_q on element codes, q in {2, 3, 4, 5, 7}.
int field_add(int q, int a, int b);
int field_mul(int q, int a, int b);
int field_inv(int q, int a);  // a != 0

// q^k and (q^k - 1)/(q - 1), the number of points of PG(k-1, q).
std::uint64_t power_of(int q, int k);
std::uint64_t point_count(int q, int k);

// The number of all-zero columns.
int zero_columns(const TestCode& code);

// A_w over all q^k messages, the zero message included.
Weights all_message_weights(const TestCode& code);

// What the weight-distribution path reports: over F_2 and F_4 every
// message counts, the zero message included; over F_3, F_5 and F_7 only
// the nonzero messages count (A_0 is the number of nonzero messages that
// give the zero word).
Weights weight_distribution_ref(const TestCode& code);

// What the projective-sum path reports: one count per one-dimensional
// subspace of messages, at the weight of its codewords plus the number of
// zero columns. Index range 0..n.
Weights projective_sums_ref(const TestCode& code);

WeightPairs nonzero_pairs(const Weights& w);
std::uint64_t total_count(const Weights& w);

// The point index of a column from its formula: with r0 the highest row
// holding a nonzero entry and c' the column scaled so that row r0 holds 1,
//   theta_(k-r0+1) + sum over r < r0 of c'_r * theta_(k-r);
// 0 for the zero column. column[r - 1] is the entry of row r.
std::uint64_t point_index_ref(int q, const std::vector<int>& column);

// Every normalised nonzero vector of F_q^k (its highest nonzero coordinate
// is 1), one per point of PG(k-1, q), in no particular order.
std::vector<std::vector<int>> projective_points(int q, int k);

// The code as an input record: "?k n q" and the k rows of digits.
std::string code_record(const TestCode& code);
// The rows as the report prints them, one string of digits each.
std::vector<std::string> row_texts(const TestCode& code);
// One line of parameters and rows for failure messages.
std::string describe_code(const TestCode& code);
std::string describe_pairs(const WeightPairs& pairs);

}  // namespace wdist_test
