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
#pragma once

#include <cstdint>

namespace wdist {

// Entries in one block: 512 KiB of counters, half the L2 cache of this
// machine class, the other half for the columns and the sub-histograms.
template <class C>
constexpr unsigned kBlockBits = sizeof(C) == 2 ? 18 : 17;

// Columns the block-wise record takes at most over 2^K entries: each block
// then spends at most one column update per 32 of its entries, and up to
// one per 2 as the table grows and the whole-table passes it saves cost
// more (measured on both widths: the block-wise record is as fast or faster
// up to these limits, and slower a factor of 2 to 4 beyond them).
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

// Whether a binary record of 2^K messages and `columns` columns is computed
// block by block: the table must span more than one block and the code be
// short enough.
template <class C>
constexpr bool prefers_blockwise(unsigned K, std::uint64_t columns) {
  return K > kBlockBits<C> && columns <= blockwise_max_columns<C>(K);
}

// hist[0..N] = what count_binary_weights gives after the characteristic
// vector of the columns with bit patterns patterns[0..columns) (bit r-1 set
// when row r holds 1) was transformed over 2^K entries: each message adds
// 1 at (N - value) >> shift. The blocks are computed in groups of
// 2^block_bits entries, one block in each lane of the vectors of the active
// path (block_bits at most kBlockBits<C>, tests use smaller ones; less than
// one vector is taken as one vector). columns <= kBlockwiseMaxColumns<C>.
// The patterns are left reordered.
template <class C>
void blockwise_binary_weights(std::uint64_t* patterns, std::uint64_t columns, unsigned K, std::int64_t N,
                              unsigned shift, std::uint64_t* hist, unsigned block_bits = kBlockBits<C>);

extern template void blockwise_binary_weights<std::int16_t>(std::uint64_t*, std::uint64_t, unsigned,
                                                             std::int64_t, unsigned, std::uint64_t*, unsigned);
extern template void blockwise_binary_weights<std::int32_t>(std::uint64_t*, std::uint64_t, unsigned,
                                                             std::int64_t, unsigned, std::uint64_t*, unsigned);

}  // namespace wdist
