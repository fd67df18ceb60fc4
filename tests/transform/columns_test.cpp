// The columns as the transforms consume them: which point of PG(k-1, q)
// each column names (against the index written from its formula, and the
// block structure the q-ary transform walks), the inverse numbering, and the
// binary patterns of plain and F_4 matrices.
#include "transform/columns.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/brute_force.h"

namespace {

using namespace wdist;

// A k x n matrix from its columns (columns[j][r - 1] the entry of row r).
struct ColumnMatrix {
  std::vector<std::vector<ElemCode>> rows;
  std::vector<const ElemCode*> pointers;
  MatrixView view;
  ColumnMatrix(int q, int k, const std::vector<std::vector<int>>& columns)
      : rows(static_cast<std::size_t>(k), std::vector<ElemCode>(columns.size())) {
    for (std::size_t j = 0; j < columns.size(); ++j)
      for (std::size_t r = 0; r < static_cast<std::size_t>(k); ++r) rows[r][j] = static_cast<ElemCode>(columns[j][r]);
    for (auto& row : rows) pointers.push_back(row.data());
    view = MatrixView{q, k, static_cast<std::int64_t>(columns.size()), pointers.data()};
  }
};

std::vector<std::uint64_t> indices_of(const ColumnMatrix& m) {
  std::vector<std::uint64_t> points(static_cast<std::size_t>(m.view.n));
  point_indices(field_of(m.view.q), theta_table(m.view.q), m.view, 0, m.view.n, points.data());
  return points;
}

struct NumberedColumn {
  std::vector<int> column;  // entry of row r at r - 1
  std::uint64_t index;
};

void expect_indices(int q, int k, const std::vector<NumberedColumn>& cases) {
  std::vector<std::vector<int>> columns;
  for (const NumberedColumn& c : cases) columns.push_back(c.column);
  const std::vector<std::uint64_t> got = indices_of(ColumnMatrix(q, k, columns));
  for (std::size_t j = 0; j < cases.size(); ++j)
    EXPECT_EQ(got[j], cases[j].index) << "column " << ::testing::PrintToString(cases[j].column);
}

TEST(PointIndex, TernaryPlaneNumbersAllThirteenPoints) {
  // (row 1, row 2, row 3) after normalisation, in point-index order.
  const std::vector<std::vector<int>> points = {{0, 0, 1}, {0, 1, 1}, {0, 2, 1}, {0, 1, 0}, {1, 0, 1},
                                                {1, 1, 1}, {1, 2, 1}, {1, 1, 0}, {2, 0, 1}, {2, 1, 1},
                                                {2, 2, 1}, {2, 1, 0}, {1, 0, 0}};
  std::vector<NumberedColumn> cases;
  for (std::size_t i = 0; i < points.size(); ++i) cases.push_back({points[i], i + 1});
  // Each point again scaled by 2: multiples share an index.
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::vector<int> doubled;
    for (int x : points[i]) doubled.push_back(2 * x % 3);
    cases.push_back({doubled, i + 1});
  }
  cases.push_back({{0, 0, 0}, 0});
  expect_indices(3, 3, cases);
}

TEST(PointIndex, FiveLineNormalisesByTheInverseOfTheLeadingEntry) {
  expect_indices(5, 2,
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

TEST(PointIndex, DimensionOneSendsEveryNonzeroColumnToPointOne) {
  for (int q : {2, 3, 4, 5, 7}) {
    SCOPED_TRACE("q = " + std::to_string(q));
    std::vector<NumberedColumn> cases;
    for (int x = 0; x < q; ++x) cases.push_back({{x}, x == 0 ? 0u : 1u});
    expect_indices(q, 1, cases);
  }
}

// Largest k per field for the exhaustive checks: every vector of F_q^k.
int exhaustive_dimension(int q) { return q == 2 ? 10 : q == 3 ? 6 : q == 4 ? 5 : 4; }

// Every nonzero vector of F_q^k as a column: the index agrees with the
// formula, multiples share it, the points fill 1..theta_k exactly once, and
// point_of_index gives back the normalised vector.
TEST(PointIndex, EveryVectorAgreesWithTheFormulaAndTheNumberingIsABijection) {
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
      const std::vector<std::uint64_t> got = indices_of(ColumnMatrix(q, k, columns));
      const std::uint64_t P = wdist_test::point_count(q, k);
      std::set<std::uint64_t> seen;
      for (std::size_t j = 0; j < columns.size(); ++j) {
        ASSERT_EQ(got[j], wdist_test::point_index_ref(q, columns[j])) << ::testing::PrintToString(columns[j]);
        seen.insert(got[j]);
      }
      EXPECT_EQ(seen.size(), P);
      EXPECT_EQ(*seen.begin(), 1u);
      EXPECT_EQ(*seen.rbegin(), P);

      const ThetaTable theta = theta_table(q);
      ElemCode entries[kThetaEntries];
      for (std::uint64_t d = 1; d <= P; ++d) {
        point_of_index(theta, k, d, entries);
        ASSERT_EQ(point_index_of(field_of(q), entries, k, theta), d);
        int leading = 0;
        for (int r = 0; r < k; ++r)
          if (entries[r] != 0) leading = entries[r];
        ASSERT_EQ(leading, 1) << "point " << d << " is not normalised";
      }
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
      const std::vector<std::uint64_t> got = indices_of(ColumnMatrix(q, k, points));
      const std::uint64_t below = wdist_test::point_count(q, k - 1);
      for (std::size_t j = 0; j < points.size(); ++j) {
        const std::vector<int>& u = points[j];
        const std::uint64_t rest_index = wdist_test::point_index_ref(q, std::vector<int>(u.begin() + 1, u.end()));
        if (rest_index == 0)
          ASSERT_EQ(got[j], static_cast<std::uint64_t>(q) * below + 1) << ::testing::PrintToString(u);
        else
          ASSERT_EQ(got[j], static_cast<std::uint64_t>(u[0]) * below + rest_index) << ::testing::PrintToString(u);
      }
    }
  }
}

TEST(BinaryPatterns, BitRMinusOneIsRowROnlyForTheValueOne) {
  // Other codes than 1 (an F_4 matrix read as binary) set no bit.
  const ColumnMatrix m(4, 4, {{1, 0, 1, 1}, {1, 2, 3, 1}, {3, 3, 2, 2}, {0, 1, 0, 0}, {0, 0, 0, 0}});
  std::vector<std::uint64_t> patterns(5);
  binary_patterns(m.view, 0, 5, patterns.data());
  EXPECT_EQ(patterns, (std::vector<std::uint64_t>{13, 9, 0, 2, 0}));
  binary_patterns(m.view, 3, 2, patterns.data());
  EXPECT_EQ(patterns[0], 2u);
  EXPECT_EQ(patterns[1], 0u);
}

TEST(BinaryPatterns, F4ImagePatternsHoldTheTracesOfBothMultiples) {
  // Column x of a one-row F_4 code: image row 1 holds trace(x * m_b), row 2
  // trace(x * m'_b), with (m, m') = (1, w^2), (w, 1), (w^2, w) for b = 0, 1, 2.
  const ColumnMatrix m(4, 1, {{0}, {1}, {2}, {3}});
  const int trace[4] = {0, 0, 1, 1};
  const int low[3] = {1, 2, 3}, high[3] = {3, 1, 2};
  for (int b = 0; b < 3; ++b) {
    std::vector<std::uint64_t> patterns(4);
    f4_image_patterns(m.view, b, 0, 4, patterns.data());
    for (int x = 0; x < 4; ++x) {
      const std::uint64_t want = static_cast<std::uint64_t>(trace[wdist_test::field_mul(4, x, low[b])]) |
                                 static_cast<std::uint64_t>(trace[wdist_test::field_mul(4, x, high[b])]) << 1;
      EXPECT_EQ(patterns[static_cast<std::size_t>(x)], want) << "x = " << x << ", block " << b;
      // A nonzero entry has images of weight two across the three blocks.
    }
  }
  for (int x = 1; x < 4; ++x) {
    int ones = 0;
    for (int b = 0; b < 3; ++b) ones += f4_image_entry(x, b, false);
    EXPECT_EQ(ones, 2) << "x = " << x;
  }
}

}  // namespace
