// The block-wise binary record against the straightforward chain (count the
// columns into a whole table, transform it, extract), for both counter
// widths, both shifts, small blocks that make many of them, the block size
// the program uses, and every vector path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "support/simd_paths.h"
#include "support/wht_ref.h"
#include "transform/blockwise.h"

namespace {

constexpr std::uint64_t kStale = 0xdeadbeefcafeULL;  // left in the histogram before a call
constexpr std::size_t kGuard = 8;                     // counts past A_N that must stay untouched

template <class C>
std::vector<std::uint64_t> reference_weights(const std::vector<std::uint64_t>& patterns, unsigned K, std::int64_t N,
                                             unsigned shift) {
  std::vector<C> table(std::size_t{1} << K, 0);
  for (std::uint64_t d : patterns) table[d] = static_cast<C>(table[d] + 1);
  wdist_test::walsh_hadamard_ref(table.data(), K);
  std::vector<std::uint64_t> hist(static_cast<std::size_t>(N) + 1, kStale);
  wdist_test::count_binary_weights_ref(table.data(), K, N, shift, hist.data());
  return hist;
}

template <class C>
void expect_blockwise_matches(const std::vector<std::uint64_t>& patterns, unsigned K, unsigned block_bits,
                              unsigned shift) {
  const auto N = static_cast<std::int64_t>(patterns.size());
  const std::vector<std::uint64_t> ref = reference_weights<C>(patterns, K, N, shift);
  std::vector<std::uint64_t> fast(static_cast<std::size_t>(N) + 1 + kGuard, kStale);
  std::vector<std::uint64_t> reordered = patterns;
  wdist::blockwise_binary_weights<C>(reordered.data(), reordered.size(), K, N, shift, fast.data(), block_bits);
  for (std::size_t w = 0; w < ref.size(); ++w)
    ASSERT_EQ(fast[w], ref[w]) << "K = " << K << ", blocks of 2^" << block_bits << ", n = " << N << ", shift "
                               << shift << ": A_" << w;
  for (std::size_t g = 0; g < kGuard; ++g)
    ASSERT_EQ(fast[static_cast<std::size_t>(N) + 1 + g], kStale) << "count past A_N written, offset " << g;
}

// n random K-bit patterns; every fourth one repeats an earlier pattern and
// a few are zero columns, as real generator matrices have.
std::vector<std::uint64_t> random_patterns(unsigned K, std::size_t n, std::mt19937_64& rng) {
  std::vector<std::uint64_t> p;
  const std::uint64_t mask = (std::uint64_t{1} << K) - 1;
  for (std::size_t j = 0; j < n; ++j) {
    if (j % 4 == 3)
      p.push_back(p[rng() % p.size()]);
    else if (j % 29 == 5)
      p.push_back(0);
    else
      p.push_back(rng() & mask);
  }
  return p;
}

template <class C>
class BlockwiseTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(BlockwiseTest, CounterTypes);

// Blocks smaller than a vector's lanes are taken as one vector; tables of
// one such group or less are computed whole.
TYPED_TEST(BlockwiseTest, SmallBlocksManyOfThemOnEveryPath) {
  std::mt19937_64 rng(7);
  const unsigned shapes[][2] = {{1, 0}, {4, 0}, {6, 2}, {7, 5}, {9, 4}, {12, 5}, {12, 6}, {14, 8}, {16, 12}};
  for (wdist::SimdPath path : wdist_test::offered_paths()) {
    wdist_test::ForcedPath forced(path);
    SCOPED_TRACE(wdist::simd_path_name(path));
    for (const auto& shape : shapes)
      for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{100}, std::size_t{1000}})
        for (unsigned shift : {1u, 2u})
          expect_blockwise_matches<TypeParam>(random_patterns(shape[0], n, rng), shape[0], shape[1], shift);
  }
}

// The program's block size, one and three stages of blocks above it, on
// every vector path the processor offers (each block is transformed by the
// fast kernel of that path).
TYPED_TEST(BlockwiseTest, ProgramBlockSizeOnEveryPath) {
  constexpr unsigned b = wdist::kBlockBits<TypeParam>;
  std::mt19937_64 rng(11);
  for (wdist::SimdPath path : wdist_test::offered_paths()) {
    wdist_test::ForcedPath forced(path);
    expect_blockwise_matches<TypeParam>(random_patterns(b + 1, 300, rng), b + 1, b, 1);
    expect_blockwise_matches<TypeParam>(random_patterns(b + 3, 2000, rng), b + 3, b, 2);
  }
}

TYPED_TEST(BlockwiseTest, TakenOnlyForShortCodesBeyondOneBlock) {
  constexpr unsigned b = wdist::kBlockBits<TypeParam>;
  EXPECT_FALSE(wdist::prefers_blockwise<TypeParam>(b, 0));
  EXPECT_FALSE(wdist::prefers_blockwise<TypeParam>(b, 10));
  EXPECT_TRUE(wdist::prefers_blockwise<TypeParam>(b + 1, 10));
  EXPECT_TRUE(wdist::prefers_blockwise<TypeParam>(b + 1, std::uint64_t{1} << (b - 5)));
  EXPECT_FALSE(wdist::prefers_blockwise<TypeParam>(b + 1, (std::uint64_t{1} << (b - 5)) + 1));
  EXPECT_TRUE(wdist::prefers_blockwise<TypeParam>(b + 4, std::uint64_t{1} << (b - 4)));
  EXPECT_FALSE(wdist::prefers_blockwise<TypeParam>(b + 4, (std::uint64_t{1} << (b - 4)) + 1));
  // Every limit fits the column buffer the program keeps for it.
  for (unsigned K = 0; K < 62; ++K)
    EXPECT_LE(wdist::blockwise_max_columns<TypeParam>(K), wdist::kBlockwiseMaxColumns<TypeParam>) << K;
  EXPECT_TRUE(wdist::prefers_blockwise<TypeParam>(40, wdist::kBlockwiseMaxColumns<TypeParam>));
  EXPECT_FALSE(wdist::prefers_blockwise<TypeParam>(40, wdist::kBlockwiseMaxColumns<TypeParam> + 1));
}

// Byte lanes against the whole-table chain modulo 256: every value taken
// mod 256 and counted at (N - value mod 256) >> shift, for lengths that
// keep the weights and lengths that wrap past them, on every vector path.
void expect_byte_blocks_match(const std::vector<std::uint64_t>& patterns, unsigned K, unsigned block_bits,
                              unsigned shift) {
  const auto N = static_cast<std::int64_t>(patterns.size());
  std::vector<std::int32_t> table(std::size_t{1} << K, 0);
  for (std::uint64_t d : patterns) ++table[d];
  wdist_test::walsh_hadamard_ref(table.data(), K);
  const std::size_t bins = std::min<std::size_t>(std::size_t{256} >> shift, static_cast<std::size_t>((2 * N) >> shift) + 1);
  std::vector<std::uint64_t> ref(static_cast<std::size_t>(N) + 1 + kGuard, kStale);
  std::fill(ref.begin(), ref.begin() + N + 1, 0);
  for (std::int32_t x : table) ++ref[std::size_t{static_cast<std::uint8_t>(N - x)} >> shift];
  std::vector<std::uint64_t> fast(ref.size(), kStale);
  std::vector<std::uint64_t> reordered = patterns;
  wdist::blockwise_binary_weights<std::int8_t>(reordered.data(), reordered.size(), K, N, shift, fast.data(),
                                               block_bits);
  for (std::size_t w = 0; w < ref.size(); ++w)
    ASSERT_EQ(fast[w], ref[w]) << "K = " << K << ", blocks of 2^" << block_bits << ", n = " << N << ", shift "
                               << shift << ": index " << w << " of " << bins;
}

TEST(ByteBlockwiseTest, ValuesModulo256OnEveryPath) {
  std::mt19937_64 rng(13);
  const unsigned shapes[][2] = {{4, 0}, {7, 5}, {12, 6}, {14, 8}, {16, 12}, {21, 19}, {22, 19}};
  for (wdist::SimdPath path : wdist_test::offered_paths()) {
    wdist_test::ForcedPath forced(path);
    SCOPED_TRACE(wdist::simd_path_name(path));
    for (const auto& shape : shapes)
      for (std::size_t n : {std::size_t{1}, std::size_t{40}, std::size_t{64}, std::size_t{128}, std::size_t{192},
                            std::size_t{300}})
        for (unsigned shift : {1u, 2u}) {
          if (shape[0] > 16 && n != 128 && n != 192) continue;
          expect_byte_blocks_match(random_patterns(shape[0], n, rng), shape[0], shape[1], shift);
        }
  }
}

}  // namespace
