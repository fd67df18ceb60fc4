#include "transform/blockwise.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "transform/wht.h"

namespace wdist {

namespace {

using Index = std::uint64_t;

// The transform of a table of one group at most. Bytes have no whole-table
// kernel, and such tables are small: the plain butterflies.
template <class C>
void transform_one_group(C* v, unsigned K) {
  if constexpr (sizeof(C) > 1) {
    walsh_hadamard(v, K);
  } else {
    const Index size = Index{1} << K;
    for (Index h = 1; h < size; h *= 2)
      for (Index b = 0; b < size; b += 2 * h)
        for (Index x = b; x < b + h; ++x) {
          const C e = v[x], f = v[x + h];
          v[x] = static_cast<C>(e + f);
          v[x + h] = static_cast<C>(e - f);
        }
  }
}

}  // namespace

template <class C>
unsigned group_bits(unsigned block_bits) {
  // A group is 2^lanes blocks side by side, one per vector lane, so it
  // cannot be smaller than one vector.
  const unsigned lanes = lane_bits<C>();
  return block_bits < lanes ? lanes : block_bits;
}

BlockColumns split_block_columns(std::uint64_t* patterns, std::uint64_t columns, unsigned K, unsigned block_bits,
                                 unsigned lane_bits, std::uint32_t* slot, std::uint8_t* lane, std::uint64_t* high) {
  const BlockColumns c{slot, lane, high, columns, K, block_bits, lane_bits};
  if (K <= block_bits) {
    // One group: the plain record counts each column at its pattern.
    for (Index j = 0; j < columns; ++j) slot[j] = static_cast<std::uint32_t>(patterns[j]);
    return c;
  }
  // Message u = (g, t, l): l its low m bits (the entry in a block), t the
  // next `lanes` bits (the block's lane in the group), g the rest (the
  // group). A column d = (d_g, d_t, d_l) adds (-1)^(<g, d_g> + <t, d_t>) at
  // entry d_l of block t: Walsh row d_t, negated for odd <g, d_g>.
  const unsigned lanes = lane_bits;
  const unsigned m = block_bits - lanes;
  const Index entry_mask = (Index{1} << m) - 1, lane_mask = (Index{1} << lanes) - 1;
  // Columns in the order of their entries: every group is filled front to
  // back, which the caches follow, instead of at random.
  std::sort(patterns, patterns + columns,
            [entry_mask](std::uint64_t a, std::uint64_t b) { return (a & entry_mask) < (b & entry_mask); });
  for (Index j = 0; j < columns; ++j) {
    slot[j] = static_cast<std::uint32_t>(patterns[j] & entry_mask);
    lane[j] = static_cast<std::uint8_t>((patterns[j] >> m) & lane_mask);
    high[j] = patterns[j] >> block_bits;
  }
  return c;
}

std::uint64_t block_group_count(const BlockColumns& c) {
  return c.K <= c.block_bits ? 1 : Index{1} << (c.K - c.block_bits);
}

template <class C>
void add_block_groups(const BlockColumns& c, std::uint64_t first, std::uint64_t count, C* block, WeightTally& tally) {
  if (c.K <= c.block_bits) {
    // The whole table is one group's worth or less: the plain record.
    if (first != 0 || count == 0) return;
    const Index size = Index{1} << c.K;
    std::memset(block, 0, size * sizeof(C));
    for (Index j = 0; j < c.columns; ++j) block[c.slot[j]] = static_cast<C>(block[c.slot[j]] + 1);
    transform_one_group(block, c.K);
    add_to_weight_tally(tally, block, size);
    return;
  }
  const unsigned m = c.block_bits - c.lane_bits;
  for (Index g = first; g < first + count; ++g) {
    fill_and_transform_lane_blocks(block, m, c.slot, c.lane, c.high, g, c.columns);
    add_to_weight_tally(tally, block, Index{1} << c.block_bits);
  }
}

template <class C>
void blockwise_binary_weights(std::uint64_t* patterns, std::uint64_t columns, unsigned K, std::int64_t N,
                              unsigned shift, std::uint64_t* hist, unsigned block_bits) {
  block_bits = group_bits<C>(block_bits);
  std::vector<std::uint32_t> slot(columns);
  std::vector<std::uint8_t> lane(columns);
  std::vector<std::uint64_t> high(columns);
  const BlockColumns c = split_block_columns(patterns, columns, K, block_bits, lane_bits<C>(), slot.data(),
                                             lane.data(), high.data());
  auto* block = static_cast<C*>(::operator new(kBlockGroupBytes, std::align_val_t{64}));
  auto* scratch = new TallyScratch;
  std::memset(hist, 0, static_cast<std::size_t>(N + 1) * sizeof *hist);
  WeightTally tally{};
  begin_weight_tally<C>(tally, *scratch, N, shift, Index{1} << K, hist);
  add_block_groups(c, 0, block_group_count(c), block, tally);
  finish_weight_tally(tally);
  delete scratch;
  ::operator delete(block, std::align_val_t{64});
}

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_BLOCKWISE(C)                                                                    \
  template unsigned group_bits<C>(unsigned);                                                              \
  template void add_block_groups<C>(const BlockColumns&, std::uint64_t, std::uint64_t, C*, WeightTally&); \
  template void blockwise_binary_weights<C>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t, unsigned, \
                                            std::uint64_t*, unsigned);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_BLOCKWISE)
WDIST_INSTANTIATE_BLOCKWISE(std::int8_t)

}  // namespace wdist
