// Weight extraction of the q-ary transform: entry 0 of point d (d = 1..P)
// is the number of nonzero columns on the hyperplane of d, and each point
// adds `step` at N - bias - entry0[d]: q - 1 with bias z (the zero columns)
// on the weight-distribution path, 1 with bias 0 on the projective-sum path.
// The counts are added to hist[0..N]; nothing is cleared. Every index must
// lie in 0..N, which the plan's counter width guarantees.
#pragma once

#include <cstdint>

#include "transform/counter_types.h"

namespace wdist {

template <class C>
void count_qary_weights(const C* entry0, std::uint64_t points, std::int64_t N, std::int64_t bias, std::uint64_t step,
                        std::uint64_t* hist);

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_QARY_EXTRACT(C) \
  extern template void count_qary_weights<C>(const C*, std::uint64_t, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t*);
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_QARY_EXTRACT)
#undef WDIST_DECLARE_QARY_EXTRACT

}  // namespace wdist
