// The level-by-level q-ary transform over the projective points of
// PG(k-1, q), in place over a point table in the projective layout.
//
// Layout: planes. point[e][d] is entry e (an element code, 0..q-1) of the
// row of point d, d = 0..P with P = theta_k; scratch[e][s] is entry e of
// scratch row s, s = 1..q. On entry point[1][d] holds the number of columns
// on point d and every other entry of rows 1..P is 0; row 0 is never
// touched. Afterwards point[e][d] is the number of nonzero columns c whose
// scalar product with point d (both normalised) is e.
#pragma once

#include <cstdint>

namespace wdist {

template <class C>
void qary_transform(C* const* point, C* const* scratch, int q, int k);

// One block of a level: rows o+1..o+B, sub-blocks of A rows, top row o+B.
template <class C>
void qary_level_block(C* const* point, C* const* scratch, int q, std::uint64_t o, std::uint64_t A, std::uint64_t B);

extern template void qary_transform<std::int16_t>(std::int16_t* const*, std::int16_t* const*, int, int);
extern template void qary_transform<std::int32_t>(std::int32_t* const*, std::int32_t* const*, int, int);
extern template void qary_level_block<std::int16_t>(std::int16_t* const*, std::int16_t* const*, int, std::uint64_t,
                                                    std::uint64_t, std::uint64_t);
extern template void qary_level_block<std::int32_t>(std::int32_t* const*, std::int32_t* const*, int, std::uint64_t,
                                                    std::uint64_t, std::uint64_t);

}  // namespace wdist
