// Weight extraction: turning transformed values into counts of the weight
// histogram. Every operation clears hist[0..N] before it adds.
#pragma once

#include <cstdint>

namespace wdist {

// Binary branch: value u is N - 2*w(u) for the binary code (shift 1), or
// N - 4*w(u) for the binary image of an F_4 code (shift 2); every one of the
// 2^K messages adds 1 at (N - value) >> shift. The values are those of a
// transform, all in -N..N. Single-threaded: the sub-histograms it counts in
// are static, cache-sized buffers.
template <class C>
void count_binary_weights(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist);

// The binary extraction spread over several calls, for a table transformed
// piece by piece: begin (clears hist[0..N]), add every value once, finish
// (hist then holds what count_binary_weights gives for the same values).
// `values` is how many values will be added in all; it chooses the
// counting method. One tally at a time (the sub-histograms are static).
enum class TallyMode { plain, wide_plain, singles, pairs };
struct WeightTally {
  std::int64_t N;
  unsigned shift;
  std::uint64_t* hist;
  TallyMode mode;
  std::uint64_t bins;     // histogram indices in use (singles, pairs)
  unsigned bits;          // pairs: bits of one index in a pair cell
  std::uint64_t pending;  // values in the sub-histograms since the last fold
};
template <class C>
void begin_weight_tally(WeightTally& t, std::int64_t N, unsigned shift, std::uint64_t values, std::uint64_t* hist);
template <class C>
void add_to_weight_tally(WeightTally& t, const C* v, std::uint64_t count);
void finish_weight_tally(WeightTally& t);

// q-ary branch: entry 0 of point d is the number of nonzero columns on the
// hyperplane of d; each point adds `step` at N - bias - entry0[d].
template <class C>
void count_point_weights(const C* entry0, std::uint64_t points, std::int64_t N, std::int64_t bias,
                         std::uint64_t step, std::uint64_t* hist);

extern template void count_binary_weights<std::int16_t>(const std::int16_t*, unsigned, std::int64_t, unsigned,
                                                         std::uint64_t*);
extern template void count_binary_weights<std::int32_t>(const std::int32_t*, unsigned, std::int64_t, unsigned,
                                                         std::uint64_t*);
extern template void begin_weight_tally<std::int16_t>(WeightTally&, std::int64_t, unsigned, std::uint64_t,
                                                       std::uint64_t*);
extern template void begin_weight_tally<std::int32_t>(WeightTally&, std::int64_t, unsigned, std::uint64_t,
                                                       std::uint64_t*);
extern template void add_to_weight_tally<std::int16_t>(WeightTally&, const std::int16_t*, std::uint64_t);
extern template void add_to_weight_tally<std::int32_t>(WeightTally&, const std::int32_t*, std::uint64_t);
extern template void count_point_weights<std::int16_t>(const std::int16_t*, std::uint64_t, std::int64_t, std::int64_t,
                                                        std::uint64_t, std::uint64_t*);
extern template void count_point_weights<std::int32_t>(const std::int32_t*, std::uint64_t, std::int64_t, std::int64_t,
                                                        std::uint64_t, std::uint64_t*);

}  // namespace wdist
