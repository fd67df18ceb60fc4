// Binary records of a code much shorter than its table: the characteristic
// vector, the Walsh-Hadamard transform and the weight extraction together,
// one cache-sized block of the transformed table at a time, so that the
// table of 2^K entries is never written, streamed or read.
//
// Split a message u into its high bits h and its low b bits l, a column
// pattern d likewise into d_h and d_l. Then
//   V[h, l] = sum over columns of (-1)^<h, d_h> (-1)^<l, d_l>
//           = WHT_b(w_h)[l],  w_h[e] = sum over columns with d_l = e of (-1)^<h, d_h>,
// so block h of the transformed table is the transform of 2^b entries into
// which each column adds +1 or -1. That costs one update per column and
// block instead of passes over the whole table: worth it while the code has
// far fewer columns than a block has entries. Counter arithmetic wraps, so
// the values are bit for bit those of the whole-table transform.
//
// The blocks are computed in groups of 2^block_bits entries, one block in
// each lane of the vectors of the active path. Groups are independent: any
// set of them may be computed by any thread, in any order, and their
// tallies added up.
#pragma once

#include <cstdint>

#include "transform/counter_types.h"
#include "transform/histogram.h"

namespace wdist {

// Entries in one group: 512 KiB of counters, half the L2 cache of this
// machine class, the other half for the columns and the sub-histograms.
// Besides the counter types, groups of 8-bit lanes (std::int8_t): values
// modulo 256, for a code whose weights, shifted left by the tally's shift,
// stay below 256 (the record then settles the one alias, histogram.h).
template <class C>
constexpr unsigned kBlockBits = sizeof(C) == 1 ? 19 : sizeof(C) == 2 ? 18 : 17;
inline constexpr std::uint64_t kBlockGroupBytes = std::uint64_t{512} << 10;

// Columns the block-wise record takes at most over 2^K entries when a
// whole table could be had instead: each block then spends at most one
// column update per 32 of its entries, and up to one per 2 as the table
// grows and the whole-table passes it saves cost more (measured on both
// widths: the block-wise record is as fast or faster up to these limits,
// and slower a factor of 2 to 4 beyond them).
template <class C>
constexpr std::uint64_t blockwise_max_columns(unsigned K) {
  constexpr unsigned b = kBlockBits<C>;
  if (K <= b) return 0;
  const unsigned above = K - b;
  const unsigned spare = above <= 2 ? 5 : above <= 4 ? 4 : above <= 8 ? 3 : above <= 10 ? 2 : 1;
  return std::uint64_t{1} << (b - spare);
}
template <class C>
constexpr std::uint64_t kBlockwiseMaxColumns = std::uint64_t{1} << (kBlockBits<C> - 1);

// Whether a binary record of 2^K messages and `columns` columns is better
// computed block by block: the table must span more than one block and the
// code be short enough.
template <class C>
constexpr bool prefers_blockwise(unsigned K, std::uint64_t columns) {
  return K > kBlockBits<C> && columns <= blockwise_max_columns<C>(K);
}

// The columns of a block-wise record, split once for all its groups: per
// column its entry in a block (slot), the Walsh row it adds there (its lane
// bits) and its high bits, whose parity against a group's gives the sign.
// Views into the caller's storage.
struct BlockColumns {
  const std::uint32_t* slot;
  const std::uint8_t* lane;
  const std::uint64_t* high;
  std::uint64_t columns;
  unsigned K;           // the record's table has 2^K entries
  unsigned block_bits;  // entries per group, 2^block_bits (at least one vector)
  unsigned lane_bits;   // of the vector path the columns were split for
};

// The group size a record of 2^K entries is computed in with the active
// vector path, for a wanted block_bits (less than one vector is one vector).
template <class C>
unsigned group_bits(unsigned block_bits);

// Splits the columns with bit patterns patterns[0..columns) (bit r-1 set
// when row r holds 1) for groups of 2^block_bits entries, into slot, lane
// and high (each with room for `columns` entries); the patterns are left
// reordered. block_bits must come from group_bits<C>. A record of
// 2^K <= 2^block_bits entries is one group, its columns left unsplit.
BlockColumns split_block_columns(std::uint64_t* patterns, std::uint64_t columns, unsigned K, unsigned block_bits,
                                 unsigned lane_bits, std::uint32_t* slot, std::uint8_t* lane, std::uint64_t* high);

// The number of groups: 2^(K - block_bits), or 1 for a record of one group.
std::uint64_t block_group_count(const BlockColumns& c);

// Adds groups first .. first + count - 1 to the tally (values as the whole
// table's transform would hold them). `block` holds 2^block_bits counters,
// 64-byte aligned. Each message adds 1 at (N - value) >> shift.
template <class C>
void add_block_groups(const BlockColumns& c, std::uint64_t first, std::uint64_t count, C* block, WeightTally& tally);

// The whole record in one call, single-threaded (tests and benchmarks):
// hist[0..N] = what count_binary_weights gives after the characteristic
// vector of the columns was transformed over 2^K entries. Groups of
// 2^block_bits entries (block_bits at most kBlockBits<C>, tests use smaller
// ones). columns <= kBlockwiseMaxColumns<C>. The patterns are left
// reordered.
template <class C>
void blockwise_binary_weights(std::uint64_t* patterns, std::uint64_t columns, unsigned K, std::int64_t N,
                              unsigned shift, std::uint64_t* hist, unsigned block_bits = kBlockBits<C>);

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_DECLARE_BLOCKWISE(C)                                                                               \
  extern template unsigned group_bits<C>(unsigned);                                                              \
  extern template void add_block_groups<C>(const BlockColumns&, std::uint64_t, std::uint64_t, C*, WeightTally&); \
  extern template void blockwise_binary_weights<C>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t,        \
                                                   unsigned, std::uint64_t*, unsigned);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_DECLARE_BLOCKWISE)
WDIST_DECLARE_BLOCKWISE(std::int8_t)
#undef WDIST_DECLARE_BLOCKWISE

}  // namespace wdist
