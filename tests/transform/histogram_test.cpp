// The binary weight extraction against its plain twin, for both counter
// widths and both shifts (binary codes and binary images of F_4 codes),
// over table sizes and lengths that take each of its counting strategies.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "support/wht_ref.h"
#include "transform/histogram.h"
#include "transform/wht.h"

namespace {

constexpr std::uint64_t kStale = 0xdeadbeefcafeULL;  // left in the histogram before a call
constexpr std::size_t kGuard = 8;                     // counts past A_N that must stay untouched

// 2^K values N - (i << shift), i drawn so that the value stays in -N..N.
// `spread` limits i to a window around the middle, as a real code's weights
// are; 0 means the whole range.
template <class C>
std::vector<C> random_values(unsigned K, std::int64_t N, unsigned shift, std::int64_t spread, std::uint64_t seed) {
  const std::int64_t top = (2 * N) >> shift;
  std::int64_t lo = 0, hi = top;
  if (spread > 0) {
    lo = top / 2 - spread > 0 ? top / 2 - spread : 0;
    hi = top / 2 + spread < top ? top / 2 + spread : top;
  }
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::int64_t> pick(lo, hi);
  std::vector<C> v(std::size_t{1} << K);
  for (C& x : v) x = static_cast<C>(N - (pick(rng) << shift));
  return v;
}

template <class C>
void expect_extraction_matches(const std::vector<C>& v, unsigned K, std::int64_t N, unsigned shift) {
  std::vector<std::uint64_t> fast(static_cast<std::size_t>(N) + 1 + kGuard, kStale);
  std::vector<std::uint64_t> ref(static_cast<std::size_t>(N) + 1, kStale);
  wdist::count_binary_weights(v.data(), K, N, shift, fast.data());
  wdist_test::count_binary_weights_ref(v.data(), K, N, shift, ref.data());
  for (std::size_t w = 0; w < ref.size(); ++w)
    ASSERT_EQ(fast[w], ref[w]) << "K = " << K << ", N = " << N << ", shift " << shift << ": A_" << w;
  for (std::size_t g = 0; g < kGuard; ++g)
    ASSERT_EQ(fast[static_cast<std::size_t>(N) + 1 + g], kStale) << "count past A_N written, offset " << g;
}

template <class C>
class BinaryExtractionTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(BinaryExtractionTest, CounterTypes);

// Short codes: few weights, so pairs of values are counted together once
// the table is large enough, and single values below that.
TYPED_TEST(BinaryExtractionTest, ShortCodesEveryK) {
  for (unsigned shift : {1u, 2u})
    for (unsigned K = 0; K <= 20; ++K)
      for (std::int64_t N : {std::int64_t{0}, std::int64_t{1}, std::int64_t{12}, std::int64_t{63}, std::int64_t{90},
                             std::int64_t{255}}) {
        const auto v = random_values<TypeParam>(K, N, shift, 0, 100 * K + static_cast<std::uint64_t>(N));
        expect_extraction_matches(v, K, N, shift);
        if (::testing::Test::HasFatalFailure()) return;
      }
}

// Long codes: many weights, counted one value at a time into several
// sub-histograms, or directly when the table is too small for them.
TYPED_TEST(BinaryExtractionTest, LongCodes) {
  for (unsigned shift : {1u, 2u})
    for (unsigned K : {10u, 16u, 19u, 22u})
      for (std::int64_t N : {std::int64_t{300}, std::int64_t{3000}, std::int64_t{24573}}) {
        const auto v = random_values<TypeParam>(K, N, shift, 40, 7 * K + static_cast<std::uint64_t>(N));
        expect_extraction_matches(v, K, N, shift);
        if (::testing::Test::HasFatalFailure()) return;
      }
}

// A spectrum gathered around its middle with stray weights anywhere, from
// one in a million values to one in thirteen.
TYPED_TEST(BinaryExtractionTest, ConcentratedSpectrumWithStrayWeights) {
  std::mt19937_64 rng(99);
  for (unsigned shift : {1u, 2u})
    for (std::uint64_t stray_every : {std::uint64_t{1} << 20, std::uint64_t{997}, std::uint64_t{13}})
      for (std::int64_t N : {std::int64_t{150}, std::int64_t{2001}}) {
        auto v = random_values<TypeParam>(20, N, shift, 20, static_cast<std::uint64_t>(N) + stray_every);
        const auto strays = random_values<TypeParam>(20, N, shift, 0, static_cast<std::uint64_t>(3 * N));
        for (std::size_t i = rng() % stray_every; i < v.size(); i += 1 + rng() % (2 * stray_every)) v[i] = strays[i];
        v[0] = static_cast<TypeParam>(N);  // the zero codeword, far outside the middle
        expect_extraction_matches(v, 20, N, shift);
        if (::testing::Test::HasFatalFailure()) return;
      }
}

// The largest length a width allows: every value of -N..N, both ends
// included, must land in its bin.
TYPED_TEST(BinaryExtractionTest, LengthAtTheWidthLimit) {
  constexpr std::int64_t N = 32767;
  for (unsigned shift : {1u, 2u}) {
    auto v = random_values<TypeParam>(20, N, shift, 0, 11 + shift);
    v[0] = static_cast<TypeParam>(N);
    v[1] = static_cast<TypeParam>(N - (((2 * N) >> shift) << shift));
    expect_extraction_matches(v, 20, N, shift);
  }
}

// Wide counters take lengths no narrow table could: far more weights than
// any sub-histogram holds.
TEST(BinaryExtractionWideTest, LengthBeyondTheNarrowRange) {
  const std::int64_t N = 200001;
  const auto v = random_values<std::int32_t>(18, N, 1, 0, 5);
  expect_extraction_matches(v, 18, N, 1);
}

// One weight for every message: the counts of a single bin reach 2^K.
TYPED_TEST(BinaryExtractionTest, AllValuesInOneBin) {
  for (unsigned shift : {1u, 2u})
    for (std::int64_t N : {std::int64_t{8}, std::int64_t{2000}}) {
      const std::vector<TypeParam> v(std::size_t{1} << 21, static_cast<TypeParam>(N));
      expect_extraction_matches(v, 21, N, shift);
    }
}

// The whole binary branch on a random code: transform then extraction give
// the reference histogram, with q^k codewords in all and A_0 >= 1.
TYPED_TEST(BinaryExtractionTest, RandomCodeThroughTransform) {
  using C = TypeParam;
  std::mt19937_64 rng(42);
  for (unsigned K : {3u, 11u, 17u, 21u}) {
    const std::int64_t n = 3 * K + 5;
    std::vector<C> x(std::size_t{1} << K, 0);
    for (std::int64_t c = 0; c < n; ++c) ++x[rng() & (x.size() - 1)];
    wdist::walsh_hadamard(x.data(), K);
    expect_extraction_matches(x, K, n, 1);
    std::vector<std::uint64_t> hist(static_cast<std::size_t>(n) + 1);
    wdist::count_binary_weights(x.data(), K, n, 1, hist.data());
    std::uint64_t total = 0;
    for (std::uint64_t a : hist) total += a;
    EXPECT_EQ(total, std::uint64_t{1} << K);
    EXPECT_GE(hist[0], 1u);
  }
}

}  // namespace
