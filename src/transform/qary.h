// The level-by-level q-ary transform over the projective points of
// PG(k-1, q), in place over a point table in the projective layout, for
// q = 2, 3, 4, 5, 7 (any other q is left alone: such records are refused
// before they are counted).
//
// Layout: planes. point[e][d] is entry e (an element code, 0..q-1) of the
// row of point d, d = 0..P with P = theta_k. On entry point[1][d] holds the
// number of columns on point d and every other entry of rows 1..P is 0;
// row 0 and every row above P are never touched. Afterwards point[e][d] is
// the number of nonzero columns c whose scalar product with point d (both
// normalised) is e. The kernel is the same linear map of rows 1..P as the
// plain level loop, in the Counter's wrapping arithmetic, whatever the
// entries hold; its row and offset arithmetic is 64-bit.
//
// Groups are combined in vector registers and in a buffer on the stack of
// a few tens of KiB; no scratch table is needed. The vector width is the
// active SIMD path's (simd_path.h).
#pragma once

#include <cstdint>

#include "transform/counter_types.h"

namespace wdist {

template <class C>
void qary_transform(C* const* point, int q, int k);

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_QARY(C) extern template void qary_transform<C>(C* const*, int, int);
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_QARY)
#undef WDIST_DECLARE_QARY

}  // namespace wdist
