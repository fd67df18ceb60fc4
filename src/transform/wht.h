// The in-place Walsh-Hadamard transform over 2^K Counters: afterwards
// v[u] = sum over d of x_d * (-1)^popcount(u & d). Counter arithmetic wraps,
// so every butterfly order gives the same bits.
#pragma once

#include <cstdint>

namespace wdist {

template <class C>
void walsh_hadamard(C* v, unsigned K);

extern template void walsh_hadamard<std::int16_t>(std::int16_t*, unsigned);
extern template void walsh_hadamard<std::int32_t>(std::int32_t*, unsigned);

}  // namespace wdist
