// Combinations of w of the positions 0..n-1, numbered in lexicographic
// order: the order in which the information-set walks visit the messages
// of information weight w, so that a unit of work can start at any rank.
//
// The rank of c_0 < c_1 < ... < c_(w-1) is
//   C(n, w) - 1 - sum_j C(n - 1 - c_j, w - j),
// the complement of its index in the combinatorial number system of the
// mirrored positions n - 1 - c_j.
#pragma once

#include <cstdint>

namespace wdist {

// C(n, w) for 0 <= w, n; 0 when w > n; UINT64_MAX when it is that large or
// does not fit 64 bits.
std::uint64_t binomial(std::int64_t n, std::int64_t w);

// The rank of the increasing positions c[0..w) among the w-subsets of
// 0..n-1 (C(n, w) must fit 64 bits).
std::uint64_t combination_rank(const int* c, int n, int w);

// The positions c[0..w) of rank `rank` < C(n, w).
void combination_of_rank(std::uint64_t rank, int n, int w, int* c);

// Pairs a < b of 0..n-1 in lexicographic order: the pairs whose first
// position is a start at pair_offset(n, a), and those whose first position
// exceeds a form the rest of the list.
inline std::uint64_t pair_offset(int n, int a) {
  const auto x = static_cast<std::uint64_t>(a);
  return x * (2 * static_cast<std::uint64_t>(n) - x - 1) / 2;
}
inline std::uint64_t pair_index(int n, int a, int b) { return pair_offset(n, a) + static_cast<std::uint64_t>(b - a - 1); }
// The pair at `index` < C(n, 2).
void pair_of_index(std::uint64_t index, int n, int& a, int& b);

}  // namespace wdist
