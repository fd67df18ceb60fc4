// The characteristic vector: which entry of the point table each column
// lands on, in the binary and the projective layout, checked against the
// point index written from its formula and against the block structure
// that the q-ary transform walks.
#include "transform/char_vector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "field/field_tables.h"
#include "store/count_table.h"
#include "store/gen_matrix.h"
#include "support/brute_force.h"
#include "support/known_codes.h"

namespace {

using namespace wdist;
using wdist_test::TestCode;

constexpr Counter kCanary = 77;

// The matrix of a code from its columns, columns[j][r - 1] being the entry
// of row r; the field of the code becomes current as the reader makes it.
GenMatrix load_columns(int q, int k, const std::vector<std::vector<int>>& columns) {
  GenMatrix g{};
  size_gen_matrix(g, k, static_cast<std::int32_t>(columns.size()), q);
  select_field(q);
  g.k = g.rows;
  for (std::size_t j = 0; j < columns.size(); ++j)
    for (int r = 1; r <= k; ++r) g.a[r][j + 1] = static_cast<ElemCode>(columns[j][static_cast<std::size_t>(r - 1)]);
  return g;
}

GenMatrix load_code(const TestCode& code) {
  std::vector<std::vector<int>> columns(static_cast<std::size_t>(code.n),
                                        std::vector<int>(static_cast<std::size_t>(code.k)));
  for (int r = 0; r < code.k; ++r)
    for (int j = 0; j < code.n; ++j)
      columns[static_cast<std::size_t>(j)][static_cast<std::size_t>(r)] = entry_of(code, r, j);
  return load_columns(code.q, code.k, columns);
}

// Projective layout: rows 0..theta_k of q entries; entry 1 cleared, every
// other entry a canary that counting must leave alone.
CountTable projective_table(int q, int k) {
  CountTable t{};
  const std::uint64_t P = wdist_test::point_count(q, k);
  size_count_table(t, P, static_cast<std::uint64_t>(q - 1), q);
  t.q = q;
  t.dim = k;
  for (std::uint64_t e = 0; e <= t.cols; ++e)
    for (std::uint64_t d = 0; d <= P; ++d) t.a[e][d] = e == 1 ? 0 : kCanary;
  return t;
}

// Binary layout: one plane of 2^K entries, all cleared.
CountTable binary_table(int q, int K) {
  CountTable t{};
  const std::uint64_t last = (std::uint64_t{1} << K) - 1;
  size_count_table(t, last, 0, q);
  t.q = q;
  t.dim = K;
  for (std::uint64_t d = 0; d <= last; ++d) t.a[0][d] = 0;
  return t;
}

void expect_canaries_intact(const CountTable& t) {
  for (std::uint64_t e = 0; e <= t.cols; ++e) {
    if (e == 1) continue;
    for (std::uint64_t d = 0; d <= t.rows; ++d)
      ASSERT_EQ(t.a[e][d], kCanary) << "entry " << e << " of row " << d << " was written";
  }
}

void theta_of(int q, std::uint64_t (&theta)[33]) {
  theta[0] = 0;
  for (int j = 1; j <= 32; ++j) theta[j] = wdist_test::point_count(q, j);  // only theta_1..theta_k are read
}

struct NumberedColumn {
  std::vector<int> column;  // entry of row r at r - 1
  std::uint64_t index;
};

// Counts `columns` in the projective layout through both operations that
// use it and checks that column j lands on row expected[j].
void expect_projective_rows(int q, int k, const std::vector<NumberedColumn>& cases) {
  std::vector<std::vector<int>> columns;
  for (const NumberedColumn& c : cases) columns.push_back(c.column);
  GenMatrix g = load_columns(q, k, columns);
  std::uint64_t theta[33];
  theta_of(q, theta);
  for (std::size_t j = 0; j < cases.size(); ++j)
    EXPECT_EQ(point_index(g, static_cast<std::int32_t>(j + 1), theta), cases[j].index) << "column " << j + 1;

  std::vector<Counter> want(wdist_test::point_count(q, k) + 1, 0);
  for (const NumberedColumn& c : cases) ++want[c.index];
  for (int variant = 0; variant < 2; ++variant) {
    CountTable t = projective_table(q, k);
    if (variant == 0)
      count_columns_projective(g, t);
    else if (q != 2 && q != 4)
      count_columns(g, t);
    else {
      release_count_table(t);
      continue;
    }
    for (std::uint64_t d = 0; d < want.size(); ++d)
      EXPECT_EQ(t.a[1][d], want[d]) << (variant == 0 ? "count_columns_projective" : "count_columns") << ", row " << d;
    expect_canaries_intact(t);
    release_count_table(t);
  }
  release_gen_matrix(g);
}

TEST(PointIndex, TernaryPlaneNumbersAllThirteenPoints) {
  // (row 1, row 2, row 3) after normalisation, in point-index order.
  const std::vector<std::vector<int>> points = {{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 1, 0}, {1, 0, 1},
                                                {1, 1, 1}, {1, 2, 1}, {1, 1, 0}, {2, 0, 1}, {2, 1, 1},
                                                {2, 2, 1}, {2, 1, 0}, {1, 0, 0}};
  std::vector<NumberedColumn> cases;
  for (std::size_t i = 0; i < points.size(); ++i) cases.push_back({points[i], i + 1});
  // Twice each point, the second time scaled by 2: multiples share a row.
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::vector<int> doubled;
    for (int x : points[i]) doubled.push_back(2 * x % 3);
    cases.push_back({doubled, i + 1});
  }
  cases.push_back({{0, 2, 2}, 2});
  cases.push_back({{1, 0, 2}, 9});
  expect_projective_rows(3, 3, cases);
}

TEST(PointIndex, FiveLineNormalisesByTheInverseOfTheLeadingEntry) {
  expect_projective_rows(5, 2,
                         {{{0, 1}, 1},
                          {{1, 1}, 2},
                          {{2, 1}, 3},
                          {{3, 1}, 4},
                          {{4, 1}, 5},
                          {{1, 0}, 6},
                          {{2, 4}, 4},  // 4^-1 = 4 and 4 * 2 = 3
                          {{0, 3}, 1},
                          {{4, 0}, 6},
                          {{3, 3}, 2}});
}

TEST(PointIndex, BinaryPlaneInBothLayouts) {
  const std::vector<std::vector<int>> columns = {{0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1},
                                                 {1, 1, 1}, {1, 1, 0}, {1, 0, 0}};
  std::vector<NumberedColumn> cases;
  for (std::size_t i = 0; i < columns.size(); ++i) cases.push_back({columns[i], i + 1});
  expect_projective_rows(2, 3, cases);

  // Binary layout: bit r - 1 of the entry is row r.
  const std::uint64_t binary_entry[] = {4, 6, 2, 5, 7, 3, 1};
  GenMatrix g = load_columns(2, 3, columns);
  CountTable t = binary_table(2, 3);
  count_columns(g, t);
  std::vector<Counter> want(8, 0);
  for (std::uint64_t d : binary_entry) ++want[d];
  for (std::uint64_t d = 0; d < 8; ++d) EXPECT_EQ(t.a[0][d], want[d]) << "entry " << d;
  release_count_table(t);
  release_gen_matrix(g);
}

TEST(PointIndex, ZeroColumnsLandOnRowZero) {
  for (int q : {2, 3, 4, 5, 7}) {
    SCOPED_TRACE("q = " + std::to_string(q));
    GenMatrix g = load_columns(q, 3, {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 0}});
    CountTable p = projective_table(q, 3);
    count_columns_projective(g, p);
    EXPECT_EQ(p.a[1][0], 3);  // entry 1 of row 0
    EXPECT_EQ(p.a[1][wdist_test::point_index_ref(q, {0, 1, 0})], 1);
    expect_canaries_intact(p);
    release_count_table(p);

    if (q == 2 || q == 4) {
      CountTable b = binary_table(q, 3);
      count_columns(g, b);
      EXPECT_EQ(b.a[0][0], 3);
      EXPECT_EQ(b.a[0][2], 1);
      release_count_table(b);
    }
    release_gen_matrix(g);
  }
}

TEST(PointIndex, DimensionOneSendsEveryNonzeroColumnToRowOne) {
  for (int q : {2, 3, 4, 5, 7}) {
    SCOPED_TRACE("q = " + std::to_string(q));
    std::vector<NumberedColumn> cases;
    for (int x = 0; x < q; ++x) cases.push_back({{x}, x == 0 ? 0u : 1u});
    expect_projective_rows(q, 1, cases);
  }
}

TEST(PointIndex, CopiesOfOneColumnCountOnOneEntry) {
  // Up to the longest code the narrow program takes: the count must stay exact.
  for (int n : {1, 5, 1000, 32767}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    GenMatrix g = load_columns(3, 3, std::vector<std::vector<int>>(static_cast<std::size_t>(n), {2, 0, 1}));
    CountTable p = projective_table(3, 3);
    count_columns(g, p);
    for (std::uint64_t d = 0; d <= 13; ++d) EXPECT_EQ(p.a[1][d], d == 9 ? n : 0) << "row " << d;
    release_count_table(p);
    release_gen_matrix(g);

    GenMatrix b = load_columns(2, 4, std::vector<std::vector<int>>(static_cast<std::size_t>(n), {1, 0, 1, 1}));
    CountTable t = binary_table(2, 4);
    count_columns(b, t);
    for (std::uint64_t d = 0; d < 16; ++d) EXPECT_EQ(t.a[0][d], d == 13 ? n : 0) << "entry " << d;
    release_count_table(t);
    release_gen_matrix(b);
  }
}

TEST(PointIndex, BinaryLayoutSetsBitsOnlyForTheValueOne) {
  // The binary image of an F_4 code holds only 0 and 1; other codes in a
  // table of q = 4 count as 0.
  GenMatrix g = load_columns(4, 4, {{1, 2, 3, 1}, {3, 3, 2, 2}, {0, 1, 0, 0}});
  CountTable t = binary_table(4, 4);
  count_columns(g, t);
  std::vector<Counter> want(16, 0);
  ++want[9];
  ++want[0];
  ++want[2];
  for (std::uint64_t d = 0; d < 16; ++d) EXPECT_EQ(t.a[0][d], want[d]) << "entry " << d;
  release_count_table(t);
  release_gen_matrix(g);
}

TEST(PointIndex, CountsAddToWhatTheTableHolds) {
  GenMatrix g = load_columns(5, 2, {{1, 1}, {0, 2}});
  CountTable p = projective_table(5, 2);
  count_columns_projective(g, p);
  count_columns_projective(g, p);
  EXPECT_EQ(p.a[1][2], 2);
  EXPECT_EQ(p.a[1][1], 2);
  release_count_table(p);
  release_gen_matrix(g);
}

// Largest k per field for the exhaustive checks: every vector of F_q^k.
int exhaustive_dimension(int q) { return q == 2 ? 10 : q == 3 ? 6 : q == 4 ? 5 : 4; }

// Every nonzero vector of F_q^k as a column: the index agrees with the
// formula, multiples share it, and the points fill 1..theta_k exactly once.
TEST(PointIndex, EveryVectorAgreesWithTheFormulaAndPointsAreABijection) {
  for (int q : {2, 3, 4, 5, 7}) {
    for (int k = 1; k <= exhaustive_dimension(q); ++k) {
      SCOPED_TRACE("q = " + std::to_string(q) + ", k = " + std::to_string(k));
      std::vector<std::vector<int>> columns;
      std::vector<int> v(static_cast<std::size_t>(k), 0);
      for (;;) {
        int i = 0;
        while (i < k && ++v[static_cast<std::size_t>(i)] == q) v[static_cast<std::size_t>(i++)] = 0;
        if (i == k) break;
        columns.push_back(v);
      }
      GenMatrix g = load_columns(q, k, columns);
      std::uint64_t theta[33];
      theta_of(q, theta);
      const std::uint64_t P = wdist_test::point_count(q, k);
      std::set<std::uint64_t> seen_points;
      for (std::size_t j = 0; j < columns.size(); ++j) {
        const std::uint64_t got = point_index(g, static_cast<std::int32_t>(j + 1), theta);
        ASSERT_EQ(got, wdist_test::point_index_ref(q, columns[j])) << "column " << ::testing::PrintToString(columns[j]);
        seen_points.insert(got);
      }
      EXPECT_EQ(seen_points.size(), P);
      EXPECT_EQ(*seen_points.begin(), 1u);
      EXPECT_EQ(*seen_points.rbegin(), P);

      CountTable t = projective_table(q, k);
      count_columns_projective(g, t);
      for (std::uint64_t d = 1; d <= P; ++d) ASSERT_EQ(t.a[1][d], q - 1) << "row " << d;
      EXPECT_EQ(t.a[1][0], 0);
      expect_canaries_intact(t);
      release_count_table(t);
      release_gen_matrix(g);
    }
  }
}

// The blocks the q-ary transform walks: the points whose row-1 entry is t
// and whose rows 2..k are not all zero take t*theta_(k-1) + (their index as
// points of rows 2..k); the last index is the point (1, 0, ..., 0).
TEST(PointIndex, PointsSplitIntoBlocksByTheirFirstRow) {
  for (int q : {2, 3, 4, 5, 7}) {
    for (int k = 2; k <= exhaustive_dimension(q); ++k) {
      SCOPED_TRACE("q = " + std::to_string(q) + ", k = " + std::to_string(k));
      const std::vector<std::vector<int>> points = wdist_test::projective_points(q, k);
      GenMatrix g = load_columns(q, k, points);
      std::uint64_t theta[33];
      theta_of(q, theta);
      const std::uint64_t below = wdist_test::point_count(q, k - 1);
      for (std::size_t j = 0; j < points.size(); ++j) {
        const std::vector<int>& u = points[j];
        const std::vector<int> rest(u.begin() + 1, u.end());
        const std::uint64_t got = point_index(g, static_cast<std::int32_t>(j + 1), theta);
        const std::uint64_t rest_index = wdist_test::point_index_ref(q, rest);
        if (rest_index == 0)
          ASSERT_EQ(got, q * below + 1) << ::testing::PrintToString(u);
        else
          ASSERT_EQ(got, static_cast<std::uint64_t>(u[0]) * below + rest_index) << ::testing::PrintToString(u);
      }
      release_gen_matrix(g);
    }
  }
}

TEST(PointIndex, SimplexCodeCoversEveryRowOnce) {
  for (const auto& [q, k] : std::vector<std::pair<int, int>>{{2, 4}, {3, 3}, {4, 3}, {5, 3}, {7, 2}}) {
    SCOPED_TRACE("q = " + std::to_string(q) + ", k = " + std::to_string(k));
    GenMatrix g = load_code(wdist_test::simplex_code(q, k));
    CountTable t = projective_table(q, k);
    count_columns_projective(g, t);
    for (std::uint64_t d = 0; d <= t.rows; ++d) EXPECT_EQ(t.a[1][d], d == 0 ? 0 : 1) << "row " << d;
    release_count_table(t);
    release_gen_matrix(g);
  }
}

}  // namespace
