// Straightforward twins of the q-ary transform and of the work around it
// (clearing, counting the columns, the two weight extractions), written from
// the definition of the level loop and sharing no code with the kernels. The
// tests compare the fast kernels with these entry by entry; the benchmarks
// time them as the baseline.
//
// Layout: row-major. Row d (d = 0..P, P = theta_k) of a point table is the
// q Counters rows[d*q .. d*q + q - 1], entry e at rows[d*q + e]; the scratch
// table has rows 0..q the same way (row 0 unused). Tests convert to and from
// the kernels' planes.
#pragma once

#include <cstdint>

namespace wdist_test {

using Row = std::uint64_t;  // a row index or offset of a point table

// theta_j = (q^j - 1)/(q - 1), the number of points of PG(j - 1, q).
Row theta_ref(int q, int j);

// The level loop: for the levels i = 3..k+1 the blocks of theta_(i-1) rows,
// walked with the digit counters that skip the top rows of the higher
// levels, each block combined by its butterfly groups through the scratch
// rows; q = 4 or any prime up to 251 (2, 3, 5, 7 written out, the others
// as loops). Row 0 is never touched. Wrapping in the Counter's width.
template <class C>
void qary_transform_ref(C* rows, C* scratch, int q, int k);

// One block of a level: rows o+1..o+B, sub-blocks of A rows, top row o+B.
template <class C>
void qary_level_block_ref(C* rows, C* scratch, int q, Row o, Row A, Row B);

// Weight extraction of the weight-distribution path: clears hist[0..N],
// reads z = entry 1 of row 0, and adds q - 1 at N - z - entry 0 of every
// row 1..P.
template <class C>
void count_point_weights_ref(const C* rows, int q, Row P, std::int64_t N, std::uint64_t* hist);

// Weight extraction of the projective-sum path: clears hist[0..N] and adds
// 1 at N - entry 0 of every row 1..P.
template <class C>
void count_projective_weights_ref(const C* rows, int q, Row P, std::int64_t N, std::uint64_t* hist);

// Sets rows 0..P, entries 0..q-1, to 0.
template <class C>
void clear_rows_ref(C* rows, int q, Row P);

// Adds 1 to entry 1 of the row of each column's point index (row 0 for a
// zero column). `matrix` holds the k rows of n element codes row-major:
// the entry in row r, column c (both from 1) is matrix[(r-1)*n + c-1].
template <class C>
void count_columns_projective_ref(const std::uint8_t* matrix, int k, int n, int q, C* rows);

extern template void qary_transform_ref<std::int16_t>(std::int16_t*, std::int16_t*, int, int);
extern template void qary_transform_ref<std::int32_t>(std::int32_t*, std::int32_t*, int, int);
extern template void qary_level_block_ref<std::int16_t>(std::int16_t*, std::int16_t*, int, Row, Row, Row);
extern template void qary_level_block_ref<std::int32_t>(std::int32_t*, std::int32_t*, int, Row, Row, Row);
extern template void count_point_weights_ref<std::int16_t>(const std::int16_t*, int, Row, std::int64_t,
                                                            std::uint64_t*);
extern template void count_point_weights_ref<std::int32_t>(const std::int32_t*, int, Row, std::int64_t,
                                                            std::uint64_t*);
extern template void count_projective_weights_ref<std::int16_t>(const std::int16_t*, int, Row, std::int64_t,
                                                                 std::uint64_t*);
extern template void count_projective_weights_ref<std::int32_t>(const std::int32_t*, int, Row, std::int64_t,
                                                                 std::uint64_t*);
extern template void clear_rows_ref<std::int16_t>(std::int16_t*, int, Row);
extern template void clear_rows_ref<std::int32_t>(std::int32_t*, int, Row);
extern template void count_columns_projective_ref<std::int16_t>(const std::uint8_t*, int, int, int, std::int16_t*);
extern template void count_columns_projective_ref<std::int32_t>(const std::uint8_t*, int, int, int, std::int32_t*);

}  // namespace wdist_test
