// The q-ary transform and its weight extraction against the straightforward
// level loop, entry by entry, for every q, on every SIMD path this machine
// offers and in both counter widths; the level loop itself against the
// definition of its result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "support/qary_ref.h"
#include "support/simd_paths.h"
#include "transform/qary.h"
#include "transform/qary_extract.h"
#include "transform/simd_path.h"

namespace {

using wdist::SimdPath;
using wdist_test::Row;

constexpr int kFields[] = {2, 3, 4, 5, 7};

using wdist_test::ForcedPath;
using wdist_test::offered_paths;

// Heavier runs (larger tables) when WDIST_TEST_EFFORT is 2 or more.
int test_effort() {
  const char* effort = std::getenv("WDIST_TEST_EFFORT");
  return effort != nullptr ? std::atoi(effort) : 1;
}

// A point table in the kernels' layout: q planes of rows 0..cap, cap >= P
// (storage kept from a larger record leaves rows above P that no kernel may
// touch). Plane e starts e Counters into its storage, so the planes sit at
// different alignments and no kernel can rely on aligned rows.
template <class C>
struct PlaneTable {
  int q = 0;
  Row P = 0;
  Row cap = 0;
  std::vector<std::vector<C>> storage;
  std::vector<C*> planes;
  std::vector<std::vector<C>> scratch_storage;
  std::vector<C*> scratch;
};

template <class C>
C guard_value(int e, Row d) {
  return static_cast<C>(0x3c5a ^ (d * 13 + static_cast<Row>(e) * 101));
}

// The planes of a row-major table (rows 0..P), guard values above P.
template <class C>
PlaneTable<C> to_planes(const std::vector<C>& rows, int q, Row P, Row spare_rows) {
  PlaneTable<C> t;
  t.q = q;
  t.P = P;
  t.cap = P + spare_rows;
  for (int e = 0; e < q; ++e) {
    const auto shift = static_cast<std::size_t>(e);
    t.storage.emplace_back(t.cap + 1 + shift);
    C* plane = t.storage.back().data() + shift;
    for (Row d = 0; d <= t.cap; ++d)
      plane[d] = d <= P ? rows[d * static_cast<Row>(q) + static_cast<Row>(e)] : guard_value<C>(e, d);
    t.planes.push_back(plane);
    t.scratch_storage.emplace_back(static_cast<std::size_t>(q) + 1, C{0});
    t.scratch.push_back(t.scratch_storage.back().data());
  }
  return t;
}

// Random input as the drivers hand it over: entry 1 of rows 1..P over the
// whole Counter range (so every stage wraps in the narrow width), the other
// entries 0, unless `all_entries` asks for random bits everywhere. Row 0 is
// random in every entry; no kernel may change it.
template <class C>
std::vector<C> random_rows(int q, Row P, bool all_entries, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<C> rows((P + 1) * static_cast<Row>(q), C{0});
  for (Row d = 0; d <= P; ++d)
    for (int e = 0; e < q; ++e)
      if (d == 0 || e == 1 || all_entries) rows[d * static_cast<Row>(q) + static_cast<Row>(e)] = static_cast<C>(rng());
  return rows;
}

// Compares rows 0..P of the planes with the row-major table and checks the
// guards above P; stops at the first difference so that a failure stays
// readable on tables of millions of rows.
template <class C>
void expect_same_table(const PlaneTable<C>& t, const std::vector<C>& rows, const char* what) {
  const auto q = static_cast<Row>(t.q);
  for (Row d = 0; d <= t.cap; ++d)
    for (int e = 0; e < t.q; ++e) {
      const C expected = d <= t.P ? rows[d * q + static_cast<Row>(e)] : guard_value<C>(e, d);
      ASSERT_EQ(t.planes[static_cast<std::size_t>(e)][d], expected) << what << ", q = " << t.q << ", P = " << t.P << ": row " << d << " entry "
                                          << e << (d > t.P ? " (above the table)" : "");
    }
}

template <class C>
void expect_transform_matches_reference(int q, int k, bool all_entries, std::uint64_t seed) {
  const Row P = wdist_test::theta_ref(q, k);
  const std::vector<C> input = random_rows<C>(q, P, all_entries, seed);
  std::vector<C> expected = input;
  std::vector<C> scratch((static_cast<Row>(q) + 1) * static_cast<Row>(q), C{0});
  wdist_test::qary_transform_ref(expected.data(), scratch.data(), q, k);
  for (SimdPath path : offered_paths()) {
    PlaneTable<C> t = to_planes(input, q, P, 37);
    {
      ForcedPath forced(path);
      wdist::qary_transform(t.planes.data(), q, k);
    }
    SCOPED_TRACE(testing::Message() << "k = " << k << ", path " << wdist::simd_path_name(path)
                                    << (all_entries ? ", every entry random" : ", entry 1 random"));
    expect_same_table(t, expected, "transform");
    if (testing::Test::HasFatalFailure()) return;
  }
}

// The largest k whose table has at most 2^22 rows.
int largest_k_within_2_22(int q) {
  int k = 1;
  while (wdist_test::theta_ref(q, k + 1) <= (Row{1} << 22)) ++k;
  return k;
}

template <class C>
class QaryTransformTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(QaryTransformTest, CounterTypes);

TYPED_TEST(QaryTransformTest, MatchesReferenceForEveryKUpTo2To22Rows) {
  for (int q : kFields)
    for (int k = 1; k <= largest_k_within_2_22(q); ++k) {
      expect_transform_matches_reference<TypeParam>(q, k, false, static_cast<std::uint64_t>(100 * q + k));
      if (testing::Test::HasFatalFailure()) return;
    }
}

// The level loop is one linear map of the whole table, whatever the entries
// other than 1 hold; the kernel must be the same map, not merely agree on
// the inputs the drivers produce.
TYPED_TEST(QaryTransformTest, MatchesReferenceWithEveryEntryRandom) {
  for (int q : kFields)
    for (int k = 1; wdist_test::theta_ref(q, k) <= (Row{1} << 18); ++k) {
      expect_transform_matches_reference<TypeParam>(q, k, true, static_cast<std::uint64_t>(5000 + 100 * q + k));
      if (testing::Test::HasFatalFailure()) return;
    }
}

// Tables past 2^22 rows, where more levels stream the whole table than fit
// any cache: q = 3 takes its top levels two at a time, q = 7 one at a time.
// Unoptimised (sanitizer) builds take only the second: the reference alone
// would take minutes there.
TYPED_TEST(QaryTransformTest, MatchesReferenceForLargerK) {
  struct Case {
    int q;
    int k;
  };
#ifdef NDEBUG
  std::vector<Case> cases = {{3, 15}, {7, 9}};
#else
  std::vector<Case> cases = {{7, 9}};
#endif
  if (test_effort() >= 2) cases.insert(cases.end(), {{2, 23}, {2, 24}, {3, 16}, {4, 12}, {5, 11}});
  for (const Case& c : cases) {
    expect_transform_matches_reference<TypeParam>(c.q, c.k, false, static_cast<std::uint64_t>(9000 + 100 * c.q + c.k));
    if (testing::Test::HasFatalFailure()) return;
  }
}

// The tetracode: generator rows (1,0,1,1) and (0,1,1,2) over F_3, columns on
// the points 4, 1, 2, 3. The one level (a single block, A = 1, B = 4) leaves
// every point with entry 0 equal to 1: weight 3 for all eight nonzero words.
TYPED_TEST(QaryTransformTest, TetracodeLevelGivesTheListedRows) {
  using C = TypeParam;
  const std::vector<C> input = {5, -3, 9, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
  const std::vector<C> after = {5, -3, 9, 1, 3, 0, 1, 2, 1, 1, 1, 2, 1, 2, 1};
  std::vector<C> ref = input;
  std::vector<C> scratch(12, C{0});
  wdist_test::qary_transform_ref(ref.data(), scratch.data(), 3, 2);
  EXPECT_EQ(ref, after) << "reference";
  for (SimdPath path : offered_paths()) {
    PlaneTable<C> t = to_planes(input, 3, 4, 5);
    ForcedPath forced(path);
    wdist::qary_transform(t.planes.data(), 3, 2);
    SCOPED_TRACE(wdist::simd_path_name(path));
    expect_same_table(t, after, "tetracode");
  }
}

// --- The reference against the definition of the result -----------------

int field_mul(int q, int a, int b) {
  static const int f4[4][4] = {{0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}};
  return q == 4 ? f4[a][b] : a * b % q;
}

int field_add(int q, int a, int b) { return q == 4 ? a ^ b : (a + b) % q; }

// Every normalised point u of PG(k-1, q), listed by its point index: u[r]
// is the entry of row r = 1..k, the highest nonzero row holds 1, and the
// index is theta_(k-r0+1) + sum over r < r0 of u_r * theta_(k-r).
std::vector<std::vector<int>> points_by_index(int q, int k) {
  const Row P = wdist_test::theta_ref(q, k);
  std::vector<std::vector<int>> points(P + 1);
  for (int r0 = 1; r0 <= k; ++r0) {
    Row combinations = 1;
    for (int r = 1; r < r0; ++r) combinations *= static_cast<Row>(q);
    for (Row c = 0; c < combinations; ++c) {
      std::vector<int> u(static_cast<std::size_t>(k) + 1, 0);
      u[static_cast<std::size_t>(r0)] = 1;
      Row index = wdist_test::theta_ref(q, k - r0 + 1);
      Row digits = c;
      for (int r = 1; r < r0; ++r) {
        u[static_cast<std::size_t>(r)] = static_cast<int>(digits % static_cast<Row>(q));
        digits /= static_cast<Row>(q);
        index += static_cast<Row>(u[static_cast<std::size_t>(r)]) * wdist_test::theta_ref(q, k - r);
      }
      points[index] = u;
    }
  }
  return points;
}

// After the transform, entry e of the row of point u counts the columns on
// the points c with u . c = e: checked for random column counts on every
// point, so each butterfly's index pattern and the skipped rows of every
// level are pinned by the meaning of the result, not by the loop.
TEST(QaryReferenceTest, ResultIsTheScalarProductCount) {
  for (int q : kFields)
    for (int k = 1; k <= 5 && wdist_test::theta_ref(q, k) <= 3000; ++k) {
      const Row P = wdist_test::theta_ref(q, k);
      const std::vector<std::vector<int>> u = points_by_index(q, k);
      std::mt19937 rng(static_cast<unsigned>(77 * q + k));
      std::vector<std::int32_t> rows((P + 1) * static_cast<Row>(q), 0);
      std::vector<std::int32_t> x(P + 1, 0);
      for (Row d = 1; d <= P; ++d) x[d] = rows[d * static_cast<Row>(q) + 1] = static_cast<std::int32_t>(rng() % 5);
      std::vector<std::int32_t> scratch((static_cast<Row>(q) + 1) * static_cast<Row>(q), 0);
      wdist_test::qary_transform_ref(rows.data(), scratch.data(), q, k);
      for (Row d = 1; d <= P; ++d) {
        std::vector<std::int32_t> expected(static_cast<std::size_t>(q), 0);
        for (Row c = 1; c <= P; ++c) {
          int dot = 0;
          for (int r = 1; r <= k; ++r)
            dot = field_add(q, dot, field_mul(q, u[d][static_cast<std::size_t>(r)], u[c][static_cast<std::size_t>(r)]));
          expected[static_cast<std::size_t>(dot)] += x[c];
        }
        for (int e = 0; e < q; ++e)
          ASSERT_EQ(rows[d * static_cast<Row>(q) + static_cast<Row>(e)], expected[static_cast<std::size_t>(e)])
              << "q = " << q << ", k = " << k << ", point " << d << ", entry " << e;
      }
    }
}

// --- Weight extraction -----------------------------------------------------

template <class C>
class QaryExtractTest : public ::testing::Test {};
TYPED_TEST_SUITE(QaryExtractTest, CounterTypes);

// Entry 0 of every point anywhere in 0..N - z, in runs of equal values (as
// codes of few weights give) and spread, for lengths from 1 to the narrow
// limit: the fast histogram must equal the plain one count for count.
TYPED_TEST(QaryExtractTest, MatchesReferenceOnBothPaths) {
  using C = TypeParam;
  std::mt19937_64 rng(4242);
  struct Case {
    int q;
    Row P;
    std::int64_t N;
    std::int64_t z;
  };
  const Case cases[] = {{3, 1, 1, 0},          {3, 13, 13, 2},       {5, 31, 40, 0},       {7, 400, 2, 1},
                        {3, 29524, 5000, 7},   {5, 97656, 32767, 0}, {7, 137257, 300, 10}, {2, 1048575, 20, 0},
                        {4, 349525, 900, 100}, {3, 1, 32767, 32767}};
  for (const Case& c : cases)
    for (bool runs : {false, true}) {
      const auto q = static_cast<Row>(c.q);
      std::vector<C> rows((c.P + 1) * q, C{0});
      rows[1] = static_cast<C>(c.z);
      const std::int64_t top = c.N - c.z;
      std::int64_t value = 0;
      for (Row d = 1; d <= c.P; ++d) {
        if (!runs || rng() % 64 == 0) value = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(top + 1));
        rows[d * q] = static_cast<C>(value);
      }
      std::vector<C> entry0(c.P + 1);
      for (Row d = 0; d <= c.P; ++d) entry0[d] = rows[d * q];
      // The counts add to what the histogram holds.
      constexpr std::uint64_t kHeld = 0xdead;
      std::vector<std::uint64_t> expected(static_cast<std::size_t>(c.N) + 1), got(expected.size(), kHeld);
      wdist_test::count_point_weights_ref(rows.data(), c.q, c.P, c.N, expected.data());
      for (std::uint64_t& e : expected) e += kHeld;
      wdist::count_qary_weights(entry0.data(), c.P, c.N, c.z, q - 1, got.data());
      EXPECT_EQ(got, expected) << "weights, q = " << c.q << ", P = " << c.P << ", N = " << c.N;
      wdist_test::count_projective_weights_ref(rows.data(), c.q, c.P, c.N, expected.data());
      std::fill(got.begin(), got.end(), 0);
      wdist::count_qary_weights(entry0.data(), c.P, c.N, 0, 1, got.data());
      EXPECT_EQ(got, expected) << "projective, q = " << c.q << ", P = " << c.P << ", N = " << c.N;
    }
}

// A random code's table through the transform and the extraction: the
// counts add up to q^k - 1 (every nonzero message) on the weight path and to
// theta_k on the projective path.
TYPED_TEST(QaryExtractTest, TransformedCodeCountsEveryMessage) {
  using C = TypeParam;
  for (int q : kFields) {
    const int k = 6, n = 40;
    std::mt19937 rng(static_cast<unsigned>(q));
    std::vector<std::uint8_t> matrix(static_cast<std::size_t>(k * n));
    for (auto& entry : matrix) entry = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(q));
    for (int r = 0; r < k; ++r)  // three zero columns, which every extraction must leave out
      for (int c = 0; c < 3; ++c) matrix[static_cast<std::size_t>(r * n + c)] = 0;
    const Row P = wdist_test::theta_ref(q, k);
    std::vector<C> rows((P + 1) * static_cast<Row>(q));
    wdist_test::clear_rows_ref(rows.data(), q, P);
    wdist_test::count_columns_projective_ref(matrix.data(), k, n, q, rows.data());
    PlaneTable<C> t = to_planes(rows, q, P, 0);
    wdist::qary_transform(t.planes.data(), q, k);
    std::vector<std::uint64_t> hist(n + 1);
    wdist::count_qary_weights(t.planes[0], P, n, t.planes[1][0], static_cast<Row>(q) - 1, hist.data());
    std::uint64_t total = 0;
    for (std::uint64_t h : hist) total += h;
    EXPECT_EQ(total, P * static_cast<Row>(q - 1)) << "q = " << q;
    std::fill(hist.begin(), hist.end(), 0);
    wdist::count_qary_weights(t.planes[0], P, n, 0, 1, hist.data());
    total = 0;
    for (std::uint64_t h : hist) total += h;
    EXPECT_EQ(total, P) << "q = " << q;
  }
}

}  // namespace
