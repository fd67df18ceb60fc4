// Weight extraction: turning transformed values into counts of the weight
// histogram.
#pragma once

#include <cstdint>

#include "transform/counter_types.h"

namespace wdist {

// Binary branch: value u is N - 2*w(u) for the binary code (shift 1), or
// N - 4*w(u) for the binary image of an F_4 code (shift 2); every one of the
// 2^K messages adds 1 at (N - value) >> shift. The values are those of a
// transform, all in -N..N. Clears hist[0..N] first. Single-threaded: it
// counts in a static scratch.
template <class C>
void count_binary_weights(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist);

// The sub-histograms a tally counts in before it folds them into its
// histogram: 32-bit counts, cache-sized. One per tally in progress (per
// thread); nothing in it needs clearing before use.
inline constexpr int kTallySubCount = 4;
inline constexpr std::uint64_t kTallySubBins = std::uint64_t{1} << 15;
inline constexpr int kTallyPairCount = 2;
inline constexpr unsigned kTallyPairBitsMax = 6;
struct TallyScratch {
  std::uint32_t sub[kTallySubCount][kTallySubBins];
  std::uint32_t pair[kTallyPairCount][std::uint64_t{1} << (2 * kTallyPairBitsMax)];
};

// The binary extraction spread over several calls, for a table transformed
// piece by piece: begin, add every value once, finish: hist[0..N] has then
// been added what count_binary_weights gives for the same values (begin
// clears nothing, so tallies of several pieces may add into one histogram).
// `values` is how many values will be added in all; it chooses the
// counting method. The tally counts in `scratch` until it is finished.
enum class TallyMode { plain, wide_plain, singles, pairs, window };
struct WeightTally {
  std::int64_t N;
  unsigned shift;
  std::uint64_t* hist;
  TallyScratch* scratch;
  TallyMode mode;
  std::uint64_t bins;     // histogram indices in use (singles, pairs, window)
  unsigned bits;          // pairs: bits of one index in a pair cell
  std::uint64_t pending;  // values in the sub-histograms since the last fold
  std::uint64_t window;   // window: the first index of the current chunk's window
  unsigned window_step_bits;  // window: its bins are 2^window_step_bits indices apart
  unsigned window_bins;       // window: how many
};
//
// Besides the counter types, bytes (std::int8_t): values modulo 256, each
// adding at (N - value mod 256) >> shift. Those are the weights when every
// weight w of the code has w << shift below 256; when the largest has
// exactly 256, it is counted at 0 with the zero codeword, which the record
// settles from the sum of all weights (record_steps.h).
template <class C>
void begin_weight_tally(WeightTally& t, TallyScratch& scratch, std::int64_t N, unsigned shift, std::uint64_t values,
                        std::uint64_t* hist);
template <class C>
void add_to_weight_tally(WeightTally& t, const C* v, std::uint64_t count);
void finish_weight_tally(WeightTally& t);

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_HISTOGRAM(C)                                                                                \
  extern template void count_binary_weights<C>(const C*, unsigned, std::int64_t, unsigned, std::uint64_t*);       \
  extern template void begin_weight_tally<C>(WeightTally&, TallyScratch&, std::int64_t, unsigned, std::uint64_t, \
                                             std::uint64_t*);                                                     \
  extern template void add_to_weight_tally<C>(WeightTally&, const C*, std::uint64_t);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_HISTOGRAM)
#undef WDIST_DECLARE_HISTOGRAM
extern template void begin_weight_tally<std::int8_t>(WeightTally&, TallyScratch&, std::int64_t, unsigned,
                                                     std::uint64_t, std::uint64_t*);
extern template void add_to_weight_tally<std::int8_t>(WeightTally&, const std::int8_t*, std::uint64_t);

}  // namespace wdist
