// The blocked, vectorised Walsh-Hadamard kernel against the plain loops,
// entry by entry, on every SIMD path this machine offers and in both
// counter widths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "support/simd_paths.h"
#include "support/wht_ref.h"
#include "transform/simd_path.h"
#include "transform/wht.h"

namespace {

using wdist::SimdPath;

using wdist_test::ForcedPath;
using wdist_test::offered_paths;

// Guard entries on both sides of the table: a kernel that writes outside
// its 2^K entries changes them.
constexpr std::size_t kGuard = 64;

template <class C>
struct GuardedTable {
  std::vector<C> storage;
  C* v;
  std::size_t size;
};

template <class C>
C guard_value(std::size_t i) {
  return static_cast<C>(0x5a5a ^ (i * 7));
}

// Uniform random bits over the whole Counter range: sums and differences
// wrap in every stage, which the fast kernel must reproduce bit for bit.
template <class C>
GuardedTable<C> random_table(unsigned K, std::uint64_t seed) {
  const std::size_t size = std::size_t{1} << K;
  GuardedTable<C> t{std::vector<C>(size + 2 * kGuard), nullptr, size};
  t.v = t.storage.data() + kGuard;
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i < size; ++i) t.v[i] = static_cast<C>(rng());
  for (std::size_t i = 0; i < kGuard; ++i) {
    t.storage[i] = guard_value<C>(i);
    t.storage[kGuard + size + i] = guard_value<C>(i + kGuard);
  }
  return t;
}

template <class C>
void expect_guards_intact(const GuardedTable<C>& t) {
  for (std::size_t i = 0; i < kGuard; ++i) {
    ASSERT_EQ(t.storage[i], guard_value<C>(i)) << "guard below the table, entry " << i;
    ASSERT_EQ(t.storage[kGuard + t.size + i], guard_value<C>(i + kGuard)) << "guard above the table, entry " << i;
  }
}

// The first differing entry, or size when the tables agree; reporting one
// index keeps a failure readable at 2^26 entries.
template <class C>
std::size_t first_difference(const C* a, const C* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (a[i] != b[i]) return i;
  return size;
}

template <class C>
void expect_matches_reference(unsigned K, SimdPath path, std::uint64_t seed) {
  GuardedTable<C> fast = random_table<C>(K, seed);
  std::vector<C> ref(fast.v, fast.v + fast.size);
  wdist_test::walsh_hadamard_ref(ref.data(), K);
  {
    ForcedPath forced(path);
    wdist::walsh_hadamard(fast.v, K);
  }
  const std::size_t at = first_difference(fast.v, ref.data(), fast.size);
  ASSERT_EQ(at, fast.size) << "K = " << K << ", path " << wdist::simd_path_name(path) << ": entry " << at
                           << " is " << fast.v[at] << ", reference " << ref[at];
  expect_guards_intact(fast);
}

template <class C>
class WalshHadamardTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(WalshHadamardTest, CounterTypes);

TYPED_TEST(WalshHadamardTest, MatchesReferenceForEverySmallK) {
  for (SimdPath path : offered_paths())
    for (unsigned K = 0; K <= 22; ++K) {
      expect_matches_reference<TypeParam>(K, path, 1000 + K);
      if (::testing::Test::HasFatalFailure()) return;
    }
}

// Sizes above one L2 block, so the passes that stream the whole table run
// with every radix they can take (two, three and four stages at a time).
// Unoptimised (sanitizer) builds stop at 2^24: the reference alone would
// take minutes there.
#ifdef NDEBUG
constexpr unsigned kLargeKs[] = {23, 24, 26};
#else
constexpr unsigned kLargeKs[] = {23, 24};
#endif

TYPED_TEST(WalshHadamardTest, MatchesReferenceForLargeK) {
  for (SimdPath path : offered_paths())
    for (unsigned K : kLargeKs) {
      expect_matches_reference<TypeParam>(K, path, 2000 + K);
      if (::testing::Test::HasFatalFailure()) return;
    }
}

// The transform is its own inverse up to the factor 2^K, in wrapping
// arithmetic: applying it twice multiplies every entry by 2^K.
TYPED_TEST(WalshHadamardTest, TwiceIsScaledIdentity) {
  using C = TypeParam;
  using U = std::make_unsigned_t<C>;
  for (SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    for (unsigned K : {0u, 1u, 5u, 9u, 13u, 17u, 20u}) {
      GuardedTable<C> t = random_table<C>(K, 3000 + K);
      const std::vector<C> original(t.v, t.v + t.size);
      wdist::walsh_hadamard(t.v, K);
      wdist::walsh_hadamard(t.v, K);
      for (std::size_t i = 0; i < t.size; ++i) {
        const auto expected = static_cast<C>(static_cast<U>(static_cast<U>(original[i]) << K));
        ASSERT_EQ(t.v[i], expected) << "K = " << K << ", path " << wdist::simd_path_name(path) << ", entry " << i;
      }
    }
  }
}

// Columns (1,0), (1,1), (0,1) of a [3,2] code: x = [0,1,1,1] becomes
// [3,-1,-1,-1], N - 2w for the weights 0, 2, 2, 2.
TYPED_TEST(WalshHadamardTest, SmallCodeGivesItsWeights) {
  for (SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    TypeParam v[4] = {0, 1, 1, 1};
    wdist::walsh_hadamard(v, 2);
    EXPECT_EQ(v[0], 3);
    EXPECT_EQ(v[1], -1);
    EXPECT_EQ(v[2], -1);
    EXPECT_EQ(v[3], -1);
  }
}

// A single point d: the transform is the character row (-1)^popcount(u & d)
// times the count, on a table large enough to take every pass.
TYPED_TEST(WalshHadamardTest, SinglePointGivesSignedCharacter) {
  using C = TypeParam;
  constexpr unsigned K = 21;
  const std::uint64_t d = 0x15a5a3;
  for (SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    std::vector<C> v(std::size_t{1} << K, 0);
    v[d] = 7;
    wdist::walsh_hadamard(v.data(), K);
    for (std::uint64_t u = 0; u < v.size(); ++u) {
      const C expected = (__builtin_popcountll(u & d) & 1) != 0 ? -7 : 7;
      ASSERT_EQ(v[u], expected) << "path " << wdist::simd_path_name(path) << ", entry " << u;
    }
  }
}

}  // namespace
