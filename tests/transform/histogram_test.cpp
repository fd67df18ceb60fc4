// The binary weight extraction against its plain twin, for both counter
// widths and both shifts (binary codes and binary images of F_4 codes),
// over table sizes and lengths that take each of its counting strategies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "support/simd_paths.h"
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

// The tally fed in pieces (rotating through `pieces`) against the
// definition: one 64-bit increment per value at (N - value) >> shift, added
// to what the histogram held, on every vector path the processor offers.
// `window`: the vector paths must have counted 16-bit values in the window
// to the end.
template <class C>
void expect_tally_matches(const std::vector<C>& v, std::int64_t N, unsigned shift,
                          const std::vector<std::size_t>& pieces, bool window = false) {
  const auto bins = static_cast<std::size_t>(N) + 1;
  std::vector<std::uint64_t> ref(bins + kGuard, 3);
  for (C x : v) ++ref[static_cast<std::size_t>((N - std::int64_t{x}) >> shift)];
  const auto scratch = std::make_unique<wdist::TallyScratch>();
  for (wdist::SimdPath path : wdist_test::offered_paths()) {
    wdist_test::ForcedPath forced(path);
    std::vector<std::uint64_t> fast(bins + kGuard, 3);
    wdist::WeightTally t{};
    wdist::begin_weight_tally<C>(t, *scratch, N, shift, v.size(), fast.data());
    std::size_t done = 0;
    for (std::size_t k = 0; done < v.size(); ++k) {
      const std::size_t step = std::min(pieces[k % pieces.size()], v.size() - done);
      wdist::add_to_weight_tally(t, v.data() + done, step);
      done += step;
    }
    if (window && sizeof(C) == 2 && path != wdist::SimdPath::portable) {
      EXPECT_EQ(t.mode, wdist::TallyMode::window) << wdist::simd_path_name(path) << ", N = " << N << ", shift " << shift;
    }
    wdist::finish_weight_tally(t);
    for (std::size_t i = 0; i < bins + kGuard; ++i)
      ASSERT_EQ(fast[i], ref[i]) << wdist::simd_path_name(path) << ", N = " << N << ", shift " << shift << ", index "
                                 << i;
  }
}

// The tally of bytes (values modulo 256) against its definition, one
// 64-bit increment per value at (N - value mod 256) >> shift, fed in
// pieces, on every vector path. `window`: the vector paths must have
// counted in the window to the end.
void expect_byte_tally_matches(const std::vector<std::int8_t>& v, std::int64_t N, unsigned shift,
                               const std::vector<std::size_t>& pieces, bool window = false) {
  const std::size_t bins = std::size_t{256} >> shift;
  std::vector<std::uint64_t> ref(bins + kGuard, 3);
  for (std::int8_t x : v) ++ref[std::size_t{static_cast<std::uint8_t>(N - std::int64_t{x})} >> shift];
  const auto scratch = std::make_unique<wdist::TallyScratch>();
  for (wdist::SimdPath path : wdist_test::offered_paths()) {
    wdist_test::ForcedPath forced(path);
    std::vector<std::uint64_t> fast(bins + kGuard, 3);
    wdist::WeightTally t{};
    wdist::begin_weight_tally<std::int8_t>(t, *scratch, N, shift, v.size(), fast.data());
    std::size_t done = 0;
    for (std::size_t k = 0; done < v.size(); ++k) {
      const std::size_t step = std::min(pieces[k % pieces.size()], v.size() - done);
      wdist::add_to_weight_tally(t, v.data() + done, step);
      done += step;
    }
    if (window && path != wdist::SimdPath::portable) {
      EXPECT_EQ(t.mode, wdist::TallyMode::window) << wdist::simd_path_name(path) << ", N = " << N << ", shift " << shift;
    }
    wdist::finish_weight_tally(t);
    for (std::size_t i = 0; i < bins + kGuard; ++i)
      ASSERT_EQ(fast[i], ref[i]) << wdist::simd_path_name(path) << ", N = " << N << ", shift " << shift << ", index "
                                 << i;
  }
}

// Tables of 2^22 values: the least the window tally is offered for.
// Indices gathered around centre(chunk) (normal, spread sd) on a grid of
// `step`, within 0 .. (2N >> shift); chunks of 2^16 values, as the tally's.
template <class C, class Centre>
std::vector<C> gathered_values(unsigned K, std::int64_t N, unsigned shift, double sd, std::int64_t step, Centre centre,
                               std::uint64_t seed) {
  const std::int64_t top = (2 * N) >> shift;
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> spread(0, sd);
  std::vector<C> v(std::size_t{1} << K);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::int64_t c = centre(i >> 16);
    const std::int64_t index = std::clamp<std::int64_t>(c + step * std::llround(spread(rng)), 0, top);
    v[i] = static_cast<C>(N - (index << shift));
  }
  return v;
}

template <class C>
class WeightTallyTest : public ::testing::Test {};
TYPED_TEST_SUITE(WeightTallyTest, CounterTypes);

const std::vector<std::size_t> kWholeBlocks{std::size_t{1} << 18};
const std::vector<std::size_t> kOddPieces{1, 31, 33, 65535, 65537, 100003, 7};

// Weights gathered as a code's are, every index or every 2nd or 4th one
// (binary images of F_4 codes, even codes): nearly every value falls into
// the window, every byte counter fills many times over, and the pieces
// are of any length.
TYPED_TEST(WeightTallyTest, GatheredWeightsOnAGrid) {
  for (unsigned shift : {1u, 2u})
    for (std::int64_t step : {1, 2, 4})
      for (std::int64_t N : {std::int64_t{192}, std::int64_t{32767}}) {
        const std::int64_t middle = ((2 * N) >> shift) / 2;
        const auto v = gathered_values<TypeParam>(22, N, shift, 4.0, step, [&](std::size_t) { return middle; },
                                                  static_cast<std::uint64_t>(N * step) + shift);
        // The window's bins step with the grid when it has room for them.
        const bool window = ((2 * N) >> shift) + 1 >= 64 * step;
        expect_tally_matches(v, N, shift, kWholeBlocks, window);
        expect_tally_matches(v, N, shift, kOddPieces, window);
        if (::testing::Test::HasFatalFailure()) return;
      }
}

// The centre moves from chunk to chunk (cosets of one record differ in
// their mean weight), up to both ends of the index range, where the window
// cannot be centred and the values below its first bin wrap around.
TYPED_TEST(WeightTallyTest, WindowFollowsTheChunksToBothEnds) {
  for (unsigned shift : {1u, 2u})
    for (std::int64_t N : {std::int64_t{100}, std::int64_t{32767}}) {
      const std::int64_t top = (2 * N) >> shift;
      const auto centre = [top](std::size_t chunk) {
        const std::int64_t at[] = {0, top, top / 2, 3, top - 5, top / 3, 17};
        return at[chunk % 7];
      };
      for (std::int64_t step : {1, 2}) {
        const auto v = gathered_values<TypeParam>(22, N, shift, 4.0, step, centre, 5 + shift);
        // Chunks of the data and the tally coincide for whole blocks only.
        expect_tally_matches(v, N, shift, kWholeBlocks, N > 100 && step == 1);
        expect_tally_matches(v, N, shift, kOddPieces);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
}

// Adversaries of the window: every value far outside it (the extreme values
// N and -N, alternating, so the window sits in the empty middle); spread
// thinly over the whole range; a grid the sample shows but with every
// 97th value off it; values whose bits below the shift are not zero.
TYPED_TEST(WeightTallyTest, ValuesTheWindowMisses) {
  for (unsigned shift : {1u, 2u})
    for (std::int64_t N : {std::int64_t{150}, std::int64_t{32767}}) {
      const std::int64_t top = (2 * N) >> shift;
      std::vector<TypeParam> ends(std::size_t{1} << 22);
      for (std::size_t i = 0; i < ends.size(); ++i)
        ends[i] = static_cast<TypeParam>(i % 2 == 0 ? N : N - (top << shift));
      expect_tally_matches(ends, N, shift, kOddPieces);
      expect_tally_matches(random_values<TypeParam>(22, N, shift, 0, 31 + shift), N, shift, kWholeBlocks);
      auto off_grid = gathered_values<TypeParam>(22, N, shift, 3.0, 4, [top](std::size_t) { return top / 2; }, 8);
      for (std::size_t i = 0; i < off_grid.size(); i += 97)
        off_grid[i] = static_cast<TypeParam>(N - ((top / 2 + 1 + static_cast<std::int64_t>(i % 5)) << shift));
      expect_tally_matches(off_grid, N, shift, kWholeBlocks);
      std::mt19937_64 rng(static_cast<std::uint64_t>(N) + shift);
      std::vector<TypeParam> unaligned(std::size_t{1} << 22);
      for (TypeParam& x : unaligned) x = static_cast<TypeParam>(N / 3 - static_cast<std::int64_t>(rng() % 64));
      expect_tally_matches(unaligned, N, shift, kOddPieces);
      if (::testing::Test::HasFatalFailure()) return;
    }
}

// Every value in one bin: each lane's byte counter overflows many times over
// unless it is flushed, and one bin ends up holding every value.
TYPED_TEST(WeightTallyTest, AllValuesInOneBinOfAWideRange) {
  for (unsigned shift : {1u, 2u})
    for (std::int64_t value : {std::int64_t{1000}, std::int64_t{0}, std::int64_t{-1000}}) {
      const std::vector<TypeParam> v(std::size_t{1} << 22, static_cast<TypeParam>(value));
      expect_tally_matches(v, 1000, shift, kOddPieces);
    }
}

// Bytes: the weights of codes with n << shift <= 256 modulo 256 (the
// window's indices below its first bin wrap to the top of the byte's
// range), gathered on grids, with a centre that moves to both ends, and
// the window's adversaries (values at both ends, spread over every index,
// off the grid); the lengths N of a binary code, of F_4's image (3n) and
// of F_8's (7n), and an N whose values wrap past the bins. Every index is
// one a code of that N can have, as the tally requires.
TEST(ByteTallyTest, GatheredMovingAndMissedWeights) {
  struct Shape {
    std::int64_t N;
    unsigned shift;
  };
  for (const Shape s : {Shape{128, 1}, Shape{100, 1}, Shape{192, 2}, Shape{224, 3}, Shape{1000, 2}}) {
    SCOPED_TRACE(::testing::Message() << "N = " << s.N << ", shift " << s.shift);
    // The weights: 0 .. min(n, 2N >> shift), n = 256 >> shift.
    const std::int64_t top = std::min<std::int64_t>((std::int64_t{256} >> s.shift) - 1, (2 * s.N) >> s.shift);
    for (std::int64_t step : {1, 2, 4}) {
      const std::int64_t middle = top / 2;
      const auto v = gathered_values<std::int8_t>(22, s.N, s.shift, 3.0, step, [&](std::size_t) { return middle; },
                                                  static_cast<std::uint64_t>(s.N * step));
      expect_byte_tally_matches(v, s.N, s.shift, kWholeBlocks, top + 1 >= 32 * step);
      expect_byte_tally_matches(v, s.N, s.shift, kOddPieces);
    }
    const auto centre = [top](std::size_t chunk) {
      const std::int64_t at[] = {0, top, top / 2, 3, top - 5, top / 3, 17};
      return std::min(at[chunk % 7], top);
    };
    expect_byte_tally_matches(gathered_values<std::int8_t>(22, s.N, s.shift, 4.0, 1, centre, 5), s.N, s.shift,
                              kWholeBlocks);
    std::vector<std::int8_t> ends(std::size_t{1} << 22);
    for (std::size_t i = 0; i < ends.size(); ++i)
      ends[i] = static_cast<std::int8_t>(i % 2 == 0 ? s.N : s.N - (top << s.shift));
    expect_byte_tally_matches(ends, s.N, s.shift, kOddPieces);
    std::mt19937_64 rng(static_cast<std::uint64_t>(s.N));
    std::vector<std::int8_t> any(std::size_t{1} << 22);
    for (std::int8_t& x : any) x = static_cast<std::int8_t>(s.N - static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(top + 1) << s.shift));
    expect_byte_tally_matches(any, s.N, s.shift, kOddPieces);
    auto off_grid = gathered_values<std::int8_t>(22, s.N, s.shift, 3.0, 4, [top](std::size_t) { return top / 2; }, 8);
    for (std::size_t i = 0; i < off_grid.size(); i += 97)
      off_grid[i] = static_cast<std::int8_t>(s.N - ((top / 2 + 1 + static_cast<std::int64_t>(i % 3)) << s.shift));
    expect_byte_tally_matches(off_grid, s.N, s.shift, kWholeBlocks);
    // Small tables: counted one by one or in sub-histograms.
    for (unsigned K : {3u, 9u, 14u})
      expect_byte_tally_matches(std::vector<std::int8_t>(any.begin(), any.begin() + (std::ptrdiff_t{1} << K)), s.N,
                                s.shift, kOddPieces);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
