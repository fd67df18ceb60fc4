#include "transform/blockwise.h"

#include <algorithm>
#include <cstring>

#include "transform/histogram.h"
#include "transform/wht.h"

namespace wdist {

namespace {

using Index = std::uint64_t;

// One group of blocks, the only storage the record needs besides the
// columns and the histogram.
alignas(64) unsigned char g_block[std::size_t{512} << 10];

// Per column: its entry in a block, the Walsh row it adds there (its lane
// bits) and its high bits, whose parity against the group's gives the sign.
constexpr Index kMostColumns = std::max(kBlockwiseMaxColumns<std::int16_t>, kBlockwiseMaxColumns<std::int32_t>);
std::uint32_t g_slot[kMostColumns];
std::uint8_t g_lane[kMostColumns];
std::uint64_t g_high[kMostColumns];

}  // namespace

template <class C>
void blockwise_binary_weights(std::uint64_t* patterns, std::uint64_t columns, unsigned K, std::int64_t N,
                              unsigned shift, std::uint64_t* hist, unsigned block_bits) {
  static_assert(sizeof g_block >= (std::size_t{1} << kBlockBits<C>) * sizeof(C));
  auto* w = reinterpret_cast<C*>(g_block);
  WeightTally tally{};
  begin_weight_tally<C>(tally, N, shift, Index{1} << K, hist);
  // A group is 2^lanes blocks side by side, one per vector lane, so it
  // cannot be smaller than one vector.
  const unsigned lanes = lane_bits<C>();
  if (block_bits < lanes) block_bits = lanes;
  if (K <= block_bits) {
    // The whole table is one group's worth or less: the plain record.
    const Index size = Index{1} << K;
    std::memset(w, 0, size * sizeof(C));
    for (Index j = 0; j < columns; ++j) w[patterns[j]] = static_cast<C>(w[patterns[j]] + 1);
    walsh_hadamard(w, K);
    add_to_weight_tally(tally, w, size);
    finish_weight_tally(tally);
    return;
  }
  // Message u = (g, t, l): l its low m bits (the entry in a block), t the
  // next `lanes` bits (the block's lane in the group), g the rest (the
  // group). A column d = (d_g, d_t, d_l) adds (-1)^(<g, d_g> + <t, d_t>) at
  // entry d_l of block t: Walsh row d_t, negated for odd <g, d_g>.
  const unsigned m = block_bits - lanes;
  const Index entry_mask = (Index{1} << m) - 1, lane_mask = (Index{1} << lanes) - 1;
  // Columns in the order of their entries: every group is filled front to
  // back, which the caches follow, instead of at random.
  std::sort(patterns, patterns + columns,
            [entry_mask](std::uint64_t a, std::uint64_t b) { return (a & entry_mask) < (b & entry_mask); });
  for (Index j = 0; j < columns; ++j) {
    g_slot[j] = static_cast<std::uint32_t>(patterns[j] & entry_mask);
    g_lane[j] = static_cast<std::uint8_t>((patterns[j] >> m) & lane_mask);
    g_high[j] = patterns[j] >> block_bits;
  }
  const Index groups = Index{1} << (K - block_bits);
  for (Index g = 0; g < groups; ++g) {
    fill_and_transform_lane_blocks(w, m, g_slot, g_lane, g_high, g, columns);
    add_to_weight_tally(tally, w, Index{1} << block_bits);
  }
  finish_weight_tally(tally);
}

template void blockwise_binary_weights<std::int16_t>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t, unsigned,
                                                      std::uint64_t*, unsigned);
template void blockwise_binary_weights<std::int32_t>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t, unsigned,
                                                      std::uint64_t*, unsigned);

}  // namespace wdist
