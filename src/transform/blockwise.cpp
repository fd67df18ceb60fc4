#include "transform/blockwise.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "transform/histogram.h"
#include "transform/wht.h"

namespace wdist {

namespace {

using Index = std::uint64_t;

// One block of counters, the only storage the record needs besides the
// columns and the histogram.
alignas(64) unsigned char g_block[std::size_t{512} << 10];

inline unsigned parity(std::uint64_t x) { return static_cast<unsigned>(__builtin_parityll(x)); }

}  // namespace

template <class C>
void blockwise_binary_weights(std::uint64_t* patterns, std::uint64_t columns, unsigned K, std::int64_t N,
                              unsigned shift, std::uint64_t* hist, unsigned block_bits) {
  static_assert(sizeof g_block >= (std::size_t{1} << kBlockBits<C>) * sizeof(C));
  using U = std::make_unsigned_t<C>;
  auto* w = reinterpret_cast<C*>(g_block);
  auto* wu = reinterpret_cast<U*>(g_block);
  const Index block = Index{1} << block_bits, blocks = Index{1} << (K - block_bits);
  const Index low = block - 1;
  // Columns in the order of their entries in a block: every block is then
  // filled front to back, which the caches follow, instead of at random.
  std::sort(patterns, patterns + columns, [low](std::uint64_t a, std::uint64_t b) { return (a & low) < (b & low); });
  WeightTally tally{};
  begin_weight_tally<C>(tally, N, shift, Index{1} << K, hist);
  for (Index h = 0; h < blocks; ++h) {
    std::memset(w, 0, block * sizeof(C));
    // +1 or -1 as the column's high bits meet h an even or odd number of times.
    for (Index j = 0; j < columns; ++j) {
      const std::uint64_t d = patterns[j];
      wu[d & low] = static_cast<U>(wu[d & low] + 1u - 2u * parity((d >> block_bits) & h));
    }
    walsh_hadamard(w, block_bits);
    add_to_weight_tally(tally, w, block);
  }
  finish_weight_tally(tally);
}

template void blockwise_binary_weights<std::int16_t>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t,
                                                      unsigned, std::uint64_t*, unsigned);
template void blockwise_binary_weights<std::int32_t>(std::uint64_t*, std::uint64_t, unsigned, std::int64_t,
                                                      unsigned, std::uint64_t*, unsigned);

}  // namespace wdist
