// The generic q-ary kernel against the straightforward level loop, entry by
// entry, for primes on both sides of every shape decision (a vector of
// groups or one group at a time, the transposed low levels on each vector
// width, regions and the levels above them), on every SIMD path this
// machine offers (AVX-512 only where the processor has it), in both counter
// widths; the level loop itself against the definition of its result for
// primes beyond 7; and a code's weight distribution through the kernel.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "support/plane_tables.h"
#include "support/qary_ref.h"
#include "support/simd_paths.h"
#include "transform/qary_extract.h"
#include "transform/qary_generic.h"
#include "transform/simd_path.h"

namespace {

using wdist::SimdPath;
using wdist_test::expect_same_table;
using wdist_test::ForcedPath;
using wdist_test::offered_paths;
using wdist_test::Planes;
using wdist_test::random_rows;
using wdist_test::Row;
using wdist_test::Scratch;
using wdist_test::to_planes;

template <class C>
void expect_kernel_matches_reference(int p, int k, bool all_entries, std::uint64_t seed) {
  const Row P = wdist_test::theta_ref(p, k);
  const std::vector<C> input = random_rows<C>(p, P, all_entries, seed);
  std::vector<C> expected = input;
  std::vector<C> reference_scratch((static_cast<Row>(p) + 1) * static_cast<Row>(p), C{0});
  wdist_test::qary_transform_ref(expected.data(), reference_scratch.data(), p, k);
  const std::uint64_t bytes = wdist::qary_generic_scratch_bytes(p, 8 * sizeof(C));
  ASSERT_GT(bytes, 0u) << "p = " << p;
  for (SimdPath path : offered_paths()) {
    SCOPED_TRACE(testing::Message() << "p = " << p << ", k = " << k << ", " << 8 * sizeof(C) << "-bit, path "
                                    << wdist::simd_path_name(path)
                                    << (all_entries ? ", every entry random" : ", entry 1 random"));
    Planes<C> t = to_planes(input, p, P, 41);
    Scratch scratch(bytes);
    {
      ForcedPath forced(path);
      wdist::qary_generic_transform(t.planes.data(), p, k, scratch.data());
    }
    EXPECT_TRUE(scratch.canary_intact()) << "written beyond the scratch of " << bytes << " bytes";
    expect_same_table(t, expected);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// The reference's additions per table at most: unoptimised (sanitizer)
// builds run a tenth, the reference alone would take minutes there.
#ifdef NDEBUG
constexpr double kReferenceBudget = 1.5e8;
#else
constexpr double kReferenceBudget = 1.5e7;
#endif

// Additions the reference spends on a table: about p^2 per row and level.
double reference_cost(int p, int k) {
  return static_cast<double>(wdist_test::theta_ref(p, k)) * p * p * (k - 1);
}

template <class C>
class QaryGenericTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(QaryGenericTest, CounterTypes);

// Primes on both sides of each decision: 2..7 (transposed copies deeper
// than T(2)), 11 and 13 (copies of T(3) on the avx2 path), 17..61 (a vector
// of groups at a time in both widths), 67 and 89 (in 16-bit counters only),
// 103 and beyond (one group at a time in both); tables no larger than one
// copy of the transposed depth (one group at a time for every p); each up
// to the largest k the reference computes within a few hundred million
// additions, so that 11 and 13 reach the levels above a region (in
// optimised builds).
TYPED_TEST(QaryGenericTest, MatchesReferenceForEveryPrimeShape) {
  const int primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 61, 67, 89, 103, 127, 251};
  for (int p : primes)
    for (int k = 1; k == 1 || reference_cost(p, k) <= kReferenceBudget; ++k) {
      expect_kernel_matches_reference<TypeParam>(p, k, false, static_cast<std::uint64_t>(1000 * p + k));
      if (testing::Test::HasFatalFailure()) return;
    }
}

// The level loop is one linear map whatever the entries hold; the kernel
// must be the same map.
TYPED_TEST(QaryGenericTest, MatchesReferenceWithEveryEntryRandom) {
  const int primes[] = {3, 11, 13, 17, 31, 61, 67, 103, 251};
  for (int p : primes)
    for (int k = 2; reference_cost(p, k) <= kReferenceBudget / 8; ++k) {
      expect_kernel_matches_reference<TypeParam>(p, k, true, static_cast<std::uint64_t>(7000 + 100 * p + k));
      if (testing::Test::HasFatalFailure()) return;
    }
}

TEST(QaryGenericShapeTest, TakesThePrimesUpTo251Only) {
  for (int p : {2, 3, 11, 13, 97, 251}) {
    EXPECT_TRUE(wdist::is_generic_qary_prime(p)) << p;
    EXPECT_GT(wdist::qary_generic_scratch_bytes(p, 16), 0u) << p;
    EXPECT_GT(wdist::qary_generic_scratch_bytes(p, 32), 0u) << p;
  }
  for (int p : {-7, 0, 1, 4, 9, 121, 169, 253, 256, 257}) {
    EXPECT_FALSE(wdist::is_generic_qary_prime(p)) << p;
    EXPECT_EQ(wdist::qary_generic_scratch_bytes(p, 16), 0u) << p;
  }
  EXPECT_EQ(wdist::qary_generic_scratch_bytes(11, 8), 0u);
  // A few MiB at most on any path: the scratch is per thread.
  for (int p = 2; p <= 251; ++p)
    for (int bits : {16, 32}) EXPECT_LE(wdist::qary_generic_scratch_bytes(p, bits), std::uint64_t{4} << 20) << p;
  // A q that is not a prime leaves the planes alone.
  const int q = 9, k = 3;
  const Row P = wdist_test::theta_ref(q, k);
  const std::vector<std::int16_t> input = random_rows<std::int16_t>(q, P, true, 9);
  Planes<std::int16_t> t = to_planes(input, q, P, 3);
  Scratch scratch(1 << 16);
  wdist::qary_generic_transform(t.planes.data(), q, k, scratch.data());
  expect_same_table(t, input);
}

// --- The reference against the definition, for primes beyond 7 ----------

// Every normalised point u of PG(k-1, p) by its point index: the highest
// nonzero row r0 holds 1, and the index is theta_(k-r0+1) + sum over
// r < r0 of u_r * theta_(k-r).
std::vector<std::vector<int>> points_by_index(int p, int k) {
  const Row P = wdist_test::theta_ref(p, k);
  std::vector<std::vector<int>> points(P + 1);
  for (int r0 = 1; r0 <= k; ++r0) {
    Row combinations = 1;
    for (int r = 1; r < r0; ++r) combinations *= static_cast<Row>(p);
    for (Row c = 0; c < combinations; ++c) {
      std::vector<int> u(static_cast<std::size_t>(k) + 1, 0);
      u[static_cast<std::size_t>(r0)] = 1;
      Row index = wdist_test::theta_ref(p, k - r0 + 1);
      Row digits = c;
      for (int r = 1; r < r0; ++r) {
        u[static_cast<std::size_t>(r)] = static_cast<int>(digits % static_cast<Row>(p));
        digits /= static_cast<Row>(p);
        index += static_cast<Row>(u[static_cast<std::size_t>(r)]) * wdist_test::theta_ref(p, k - r);
      }
      points[index] = u;
    }
  }
  return points;
}

// After the transform, entry e of the row of point u counts the columns on
// the points c with u . c = e (mod p).
TEST(QaryGenericReferenceTest, ResultIsTheScalarProductCount) {
  for (int p : {11, 13, 17, 29})
    for (int k = 2; k <= 3; ++k) {
      const Row P = wdist_test::theta_ref(p, k);
      const std::vector<std::vector<int>> u = points_by_index(p, k);
      std::mt19937 rng(static_cast<unsigned>(31 * p + k));
      std::vector<std::int32_t> rows((P + 1) * static_cast<Row>(p), 0), x(P + 1, 0);
      for (Row d = 1; d <= P; ++d) x[d] = rows[d * static_cast<Row>(p) + 1] = static_cast<std::int32_t>(rng() % 4);
      std::vector<std::int32_t> scratch((static_cast<Row>(p) + 1) * static_cast<Row>(p), 0);
      wdist_test::qary_transform_ref(rows.data(), scratch.data(), p, k);
      for (Row d = 1; d <= P; ++d) {
        std::vector<std::int32_t> expected(static_cast<std::size_t>(p), 0);
        for (Row c = 1; c <= P; ++c) {
          int dot = 0;
          for (int r = 1; r <= k; ++r) dot += u[d][static_cast<std::size_t>(r)] * u[c][static_cast<std::size_t>(r)];
          expected[static_cast<std::size_t>(dot % p)] += x[c];
        }
        for (int e = 0; e < p; ++e)
          ASSERT_EQ(rows[d * static_cast<Row>(p) + static_cast<Row>(e)], expected[static_cast<std::size_t>(e)])
              << "p = " << p << ", k = " << k << ", point " << d << ", entry " << e;
      }
    }
}

// --- A code through the kernel ---------------------------------------------

// A random [40, 4] code over F_p with zero and repeated columns: the
// columns counted on their points, the generic transform and the q-ary
// extraction give the weight distribution of the code's nonzero messages,
// counted message by message.
TYPED_TEST(QaryGenericTest, WeightDistributionOfACode) {
  using C = TypeParam;
  for (int p : {11, 13, 19, 53, 101}) {
    const int k = p > 20 || kReferenceBudget < 1e8 ? 3 : 4, n = 40;
    std::mt19937 rng(static_cast<unsigned>(p));
    std::vector<std::uint8_t> matrix(static_cast<std::size_t>(k * n));
    for (auto& entry : matrix) entry = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(p));
    for (int r = 0; r < k; ++r) {
      matrix[static_cast<std::size_t>(r * n)] = 0;  // a zero column
      matrix[static_cast<std::size_t>(r * n + 1)] = static_cast<std::uint8_t>(3 * matrix[static_cast<std::size_t>(r * n + 2)] % p);
    }
    std::vector<std::uint64_t> expected(n + 1, 0);
    std::uint64_t messages = 1;
    for (int r = 0; r < k; ++r) messages *= static_cast<std::uint64_t>(p);
    for (std::uint64_t m = 1; m < messages; ++m) {
      int weight = 0;
      for (int c = 0; c < n; ++c) {
        int dot = 0;
        std::uint64_t digits = m;
        for (int r = 0; r < k; ++r, digits /= static_cast<std::uint64_t>(p))
          dot += static_cast<int>(digits % static_cast<std::uint64_t>(p)) * matrix[static_cast<std::size_t>(r * n + c)];
        weight += dot % p != 0 ? 1 : 0;
      }
      expected[static_cast<std::size_t>(weight)] += 1;
    }
    const Row P = wdist_test::theta_ref(p, k);
    std::vector<C> rows((P + 1) * static_cast<Row>(p));
    wdist_test::clear_rows_ref(rows.data(), p, P);
    wdist_test::count_columns_projective_ref(matrix.data(), k, n, p, rows.data());
    Planes<C> t = to_planes(rows, p, P, 0);
    Scratch scratch(wdist::qary_generic_scratch_bytes(p, 8 * sizeof(C)));
    wdist::qary_generic_transform(t.planes.data(), p, k, scratch.data());
    std::vector<std::uint64_t> got(n + 1, 0);
    wdist::count_qary_weights(t.planes[0], P, n, t.planes[1][0], static_cast<Row>(p) - 1, got.data());
    EXPECT_EQ(got, expected) << "p = " << p;
  }
}

}  // namespace
