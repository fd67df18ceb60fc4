// The level-by-level q-ary transform for any prime p up to 251, p a value
// rather than a pattern compiled per field: the kernel of F_p for the
// primes 11 <= p <= 251 (and of F_121, F_169 through their images over F_11
// and F_13); F_3, F_5 and F_7 keep their butterflies (qary.h).
//
// The contract is qary_transform's (qary.h), with q = p: planes[e][d] is
// entry e of the row of point d of PG(k-1, p), d = 0..P, P = theta_k; on
// entry planes[1][d] holds the columns on point d and the other entries of
// rows 1..P are 0; afterwards planes[e][d] counts the nonzero columns whose
// scalar product with point d is e. The kernel is the plain level loop's
// linear map of rows 1..P in the counter's wrapping arithmetic, whatever
// the entries hold; row 0 and the rows above P are never touched. A p that
// is not a prime up to 251, k < 2, or a table too large to be numbered in
// 64 bits leave the planes alone.
//
// A group of a level (p rows of p entries) costs p^3 additions: output row
// a takes at entry e the sum over b of entry e - a*b of row b. For p up to
// about 100 (16-bit counters) or 60 (32-bit) the additions run across
// consecutive groups, a vector of groups at a time, on the active SIMD
// path's widest vectors; for larger p, and for tables of a few hundred
// rows, across the entries of one group. The caller provides the scratch,
// at most a few MiB (p near 100 on the widest vectors):
// qary_generic_scratch_bytes.
#pragma once

#include <cstdint>

#include "transform/counter_types.h"

namespace wdist {

// Whether the generic kernel takes p: a prime, 2 <= p <= 251.
bool is_generic_qary_prime(int p);

// The scratch qary_generic_transform needs for p and a counter width of 16
// or 32 bits, on any SIMD path; 0 when it does not take p.
std::uint64_t qary_generic_scratch_bytes(int p, int counter_bits);

// `scratch` holds qary_generic_scratch_bytes(p, 8 * sizeof(C)) bytes,
// 64-byte aligned; its contents on entry do not matter.
template <class C>
void qary_generic_transform(C* const* point, int p, int k, void* scratch);

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_QARY_GENERIC(C) extern template void qary_generic_transform<C>(C* const*, int, int, void*);
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_QARY_GENERIC)
#undef WDIST_DECLARE_QARY_GENERIC

}  // namespace wdist
