// The dual route: the dual's generator from the row-reduced basis, the
// MacWilliams identity in exact arithmetic against its term-by-term twin,
// and whole records through the dual against the direct route, the brute
// force, and codes whose distribution is known by construction (Hamming,
// Golay, disguised direct sums) at dimensions no enumeration reaches.
#include <gtest/gtest.h>

#include <random>

#include "engine/basis.h"
#include "engine/dual.h"
#include "support/code_families.h"
#include "support/library_codes.h"
#include "wdist/wdist.h"

namespace {

using namespace wdist_test;

constexpr int kFields[] = {2, 3, 4, 5, 7};

struct Dual {
  wdist::Basis basis;
  std::vector<wdist::ElemCode> rows;
};

Dual dual_of(const wdist::Code& code) {
  std::vector<const wdist::ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  Dual d;
  wdist::reduce_to_basis(wdist::MatrixView{code.q, code.k, code.n, rows.data()}, d.basis);
  wdist::dual_generator(d.basis, d.rows);
  return d;
}

// The engine's elimination (binary rows packed in words, reduced a word of
// columns at a time) against the textbook one, on widths around the word
// boundaries, more rows than columns, dependent rows and zero columns.
TEST(Basis, IsTheReducedRowEchelonFormOfTheTextbookElimination) {
  std::mt19937_64 rng(61);
  for (int q : kFields)
    for (int n : {0, 1, 7, 63, 64, 65, 127, 128, 130, 200})
      for (int trial = 0; trial < 4; ++trial) {
        const int k = 1 + static_cast<int>(rng() % (trial == 3 ? 90 : 12));
        TestCode t = random_code(rng, q, k, n, trial % 2 == 1, trial == 2 ? n / 3 : 0);
        if (trial == 3 && k >= 4)  // a sparse matrix: pivots far apart
          for (auto& row : t.rows)
            for (int& x : row) x = rng() % 16 == 0 ? x : 0;
        const wdist::Code code = to_code(t);
        SCOPED_TRACE(describe(code));
        std::vector<std::int64_t> pivots;
        const std::vector<wdist::ElemCode> expected = reduced_echelon_ref(q, n, code.entries, pivots);
        const Dual d = dual_of(code);
        EXPECT_EQ(d.basis.rank, static_cast<int>(pivots.size()));
        EXPECT_EQ(d.basis.pivots, pivots);
        EXPECT_EQ(d.basis.rows, expected);
      }
}

TEST(DualGenerator, IsOrthogonalToTheCodeAndOfComplementaryRankOverEveryField) {
  std::mt19937_64 rng(41);
  for (int q : kFields)
    for (int trial = 0; trial < 60; ++trial) {
      const int k = 1 + static_cast<int>(rng() % 9);
      const int n = static_cast<int>(rng() % 16);
      // Zero matrices (rank 0, the dual is everything) and square ones of
      // full rank (the dual is the zero code) come up among the shapes.
      const TestCode t = trial % 10 == 0 ? TestCode{k, n, q, std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n), 0))}
                                         : random_code(rng, q, k, n, trial % 3 == 1, trial % 4 == 2 ? 3 : 0);
      const wdist::Code code = to_code(t);
      SCOPED_TRACE(describe(code));
      const Dual d = dual_of(code);
      const int rank = rank_ref(q, n, code.entries);
      EXPECT_EQ(d.basis.rank, rank);
      ASSERT_EQ(d.rows.size(), static_cast<std::size_t>((n - rank) * n));
      EXPECT_TRUE(orthogonal(q, n, code.entries, d.rows));
      EXPECT_EQ(rank_ref(q, n, d.rows), n - rank);
    }
}

}  // namespace
