// The in-place Walsh-Hadamard transform over 2^K Counters: afterwards
// v[u] = sum over d of x_d * (-1)^popcount(u & d). Counter arithmetic wraps,
// so every butterfly order gives the same bits.
#pragma once

#include <cstdint>

#include "transform/counter_types.h"

namespace wdist {

template <class C>
void walsh_hadamard(C* v, unsigned K);

// Lane blocks, for the block-wise binary record: a group of 2^lane_bits
// independent blocks of 2^m entries, block t in lane t of 2^m vectors of
// the active vector path (entry e of block t at w[e * 2^lane_bits + t]).
// The fill clears the group, adds for every column j the Walsh row
// x = lane[j] < 2^lane_bits (lane t: (-1)^popcount(t & x)), negated when
// high[j] & group has odd parity, at entry slot[j] of every block, then
// transforms every block: afterwards block t holds the Walsh-Hadamard
// transform of what was added to it. Wrapping counter arithmetic, as above;
// besides the counter types, 8-bit lanes (std::int8_t), whose values are
// the transform's modulo 256.
template <class C>
unsigned lane_bits();
template <class C>
void fill_and_transform_lane_blocks(C* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_WHT(C)                                                                                        \
  extern template void walsh_hadamard<C>(C*, unsigned);                                                             \
  extern template unsigned lane_bits<C>();                                                                          \
  extern template void fill_and_transform_lane_blocks<C>(C*, unsigned, const std::uint32_t*, const std::uint8_t*, \
                                                         const std::uint64_t*, std::uint64_t, std::uint64_t);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_WHT)
#undef WDIST_DECLARE_WHT
extern template unsigned lane_bits<std::int8_t>();
extern template void fill_and_transform_lane_blocks<std::int8_t>(std::int8_t*, unsigned, const std::uint32_t*,
                                                                 const std::uint8_t*, const std::uint64_t*,
                                                                 std::uint64_t, std::uint64_t);

}  // namespace wdist
