// Weight distributions through both computation paths, run by their
// drivers on files of codes and read back from the reports: codes with
// published distributions, the worked examples, rank-deficient matrices
// and zero columns. Every expectation is also checked against the brute
// force, so a wrong generator matrix here cannot pass unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "menu/store/code_context.h"
#include "menu/store/count_table.h"
#include "menu/store/gen_matrix.h"
#include "support/brute_force.h"
#include "support/known_codes.h"
#include "support/weight_runs.h"
#include "engine/plan.h"
#include "engine/record_steps.h"
#include "menu/transform/char_vector.h"

namespace {

using namespace wdist_test;

// Runs `path` over the codes in one file and returns the weight pairs of
// each block, after checking that the report has one block per code that
// repeats its head and rows.
std::vector<WeightPairs> run_codes(ComputePath path, const std::vector<TestCode>& codes) {
  std::string input;
  for (const TestCode& c : codes) input += code_record(c);
  std::string report, error;
  std::vector<ReportBlock> blocks;
  EXPECT_TRUE(run_path_on_text(path, input, report));
  EXPECT_TRUE(parse_report(report, blocks, error)) << error;
  EXPECT_EQ(blocks.size(), codes.size());
  std::vector<WeightPairs> weights;
  for (std::size_t i = 0; i < blocks.size() && i < codes.size(); ++i) {
    const ReportBlock& b = blocks[i];
    EXPECT_EQ(b.k, codes[i].k);
    EXPECT_EQ(b.n, codes[i].n);
    EXPECT_EQ(b.q, codes[i].q);
    EXPECT_EQ(b.record, static_cast<int>(i + 1));
    EXPECT_EQ(b.rows, row_texts(codes[i]));
    weights.push_back(b.weights);
  }
  weights.resize(codes.size());
  return weights;
}

WeightPairs run_one(ComputePath path, const TestCode& code) { return run_codes(path, {code}).front(); }

// The known answer of both paths and the brute force must all agree.
void check_case(const std::string& name, const TestCode& code, const WeightPairs& choice1,
                const WeightPairs& choice33) {
  SCOPED_TRACE(name + ": " + describe_code(code));
  EXPECT_EQ(nonzero_pairs(weight_distribution_ref(code)), choice1) << "the expectation disagrees with the brute force";
  EXPECT_EQ(nonzero_pairs(projective_sums_ref(code)), choice33) << "the expectation disagrees with the brute force";
  EXPECT_EQ(run_one(ComputePath::weight_distribution, code), choice1) << path_name(ComputePath::weight_distribution);
  EXPECT_EQ(run_one(ComputePath::projective_sums, code), choice33) << path_name(ComputePath::projective_sums);
}

// A published distribution (all codewords, A_0 = 1) as the weight path
// reports it: over F_3, F_5 and F_7 the zero codeword is not counted.
WeightPairs as_weight_distribution(int q, const WeightPairs& published) {
  WeightPairs out;
  for (const auto& [w, a] : published)
    if (!(w == 0 && q != 2 && q != 4)) out.emplace_back(w, a);
  return out;
}

// ... and as the projective sums report it for a full-rank code with z zero
// columns: each nonzero codeword's q - 1 multiples count once, at w + z.
WeightPairs as_projective_sums(int q, const WeightPairs& published, int z) {
  WeightPairs out;
  for (const auto& [w, a] : published)
    if (w != 0) out.emplace_back(w + z, a / static_cast<std::uint64_t>(q - 1));
  return out;
}

TEST(KnownCodes, GeneratorMatricesHaveThePublishedDistributions) {
  for (const KnownCode& known : known_codes()) {
    EXPECT_EQ(nonzero_pairs(all_message_weights(known.code)), known.published) << known.name;
  }
}

TEST(KnownCodes, BothPathsGiveThePublishedDistributions) {
  for (const KnownCode& known : known_codes()) {
    check_case(known.name, known.code, as_weight_distribution(known.code.q, known.published),
               as_projective_sums(known.code.q, known.published, 0));
  }
}

// All known codes in one file: storage sized for one record is reused or
// grown for the next, across fields and sizes, without a trace in the counts.
TEST(KnownCodes, OneRunOverAllOfThemInOneFile) {
  const std::vector<KnownCode> known = known_codes();
  std::vector<TestCode> codes;
  for (const KnownCode& c : known) codes.push_back(c.code);
  for (auto it = known.rbegin(); it != known.rend(); ++it) codes.push_back(it->code);
  for (ComputePath path : {ComputePath::weight_distribution, ComputePath::projective_sums}) {
    SCOPED_TRACE(path_name(path));
    const std::vector<WeightPairs> got = run_codes(path, codes);
    for (std::size_t i = 0; i < codes.size(); ++i) {
      const KnownCode& c = i < known.size() ? known[i] : known[2 * known.size() - 1 - i];
      const WeightPairs want = path == ComputePath::weight_distribution ? as_weight_distribution(c.code.q, c.published)
                                                                        : as_projective_sums(c.code.q, c.published, 0);
      EXPECT_EQ(got[i], want) << "record " << i + 1 << ", " << c.name;
    }
  }
}

TEST(WorkedExamples, BinaryTwoByThree) {
  check_case("rows 101, 011", TestCode{2, 3, 2, {{1, 0, 1}, {0, 1, 1}}}, {{0, 1}, {2, 3}}, {{2, 3}});
  check_case("rows 110, 011", TestCode{2, 3, 2, {{1, 1, 0}, {0, 1, 1}}}, {{0, 1}, {2, 3}}, {{2, 3}});
}

TEST(WorkedExamples, DimensionOneWithEqualColumns) {
  for (int q : {2, 3, 4, 5, 7}) {
    for (int n : {1, 4, 9}) {
      const TestCode code{1, n, q, {std::vector<int>(static_cast<std::size_t>(n), q - 1)}};
      WeightPairs choice1{{n, static_cast<std::uint64_t>(q - 1)}};
      if (q == 2 || q == 4) choice1.insert(choice1.begin(), {0, 1});
      check_case("k = 1, q = " + std::to_string(q), code, choice1, {{n, 1}});
    }
  }
  // k = 1 with zero columns: the weight is n - z; the projective sums give n.
  check_case("k = 1 with two zero columns", TestCode{1, 5, 5, {{3, 0, 1, 0, 4}}}, {{3, 4}}, {{5, 1}});
  check_case("k = 1 over F_4 with a zero column", TestCode{1, 3, 4, {{2, 0, 3}}}, {{0, 1}, {2, 3}}, {{3, 1}});
}

TEST(WorkedExamples, Tetracode) {
  // Eight nonzero codewords of weight 3; four projective points.
  check_case("tetracode", tetracode(), {{3, 8}}, {{3, 4}});
}

TEST(WorkedExamples, SimplexCodes) {
  check_case("F_3 simplex k = 3", simplex_code(3, 3), {{9, 26}}, {{9, 13}});
  check_case("F_5 simplex k = 3", simplex_code(5, 3), {{25, 124}}, {{25, 31}});
  check_case("F_7 simplex k = 2", simplex_code(7, 2), {{7, 48}}, {{7, 8}});
  check_case("F_2 simplex k = 4", simplex_code(2, 4), {{0, 1}, {8, 15}}, {{8, 15}});
  check_case("F_4 simplex k = 3", simplex_code(4, 3), {{0, 1}, {16, 63}}, {{16, 21}});
}

TEST(WorkedExamples, F4CodeWithRowOneTwoThree) {
  // Every multiple of (1, w, w^2) has weight 3. Its binary image rows are
  // 011 110 101 and 101 011 110, which span three words of weight 6; an
  // image with other multipliers would not double every weight.
  check_case("row 1 2 3", TestCode{1, 3, 4, {{1, 2, 3}}}, {{0, 1}, {3, 3}}, {{3, 1}});
  check_case("rows 1 2 3, 0 1 1", TestCode{2, 3, 4, {{1, 2, 3}, {0, 1, 1}}}, {{0, 1}, {2, 9}, {3, 6}},
             {{2, 3}, {3, 2}});
  // Length 5 and k = 2: the binary image has length 15; only weights up to 5 appear.
  const TestCode five{2, 5, 4, {{1, 2, 3, 0, 1}, {0, 1, 1, 1, 2}}};
  const WeightPairs got = run_one(ComputePath::weight_distribution, five);
  EXPECT_EQ(got, nonzero_pairs(weight_distribution_ref(five)));
  for (const auto& [w, a] : got) EXPECT_LE(w, 5);
  EXPECT_EQ(total_count(weight_distribution_ref(five)), 16u);
}

// Sum-zero codes: messages m of F_q^k followed by m_1 + ... + m_k, repeated
// `copies` times (every weight then scaled by `copies`). Over F_2 and F_4,
// characteristic 2, the words are those of F_q^(k+1) summing to zero.
TestCode sum_zero_code(int q, int k, int copies) {
  TestCode code{k, (k + 1) * copies, q, {}};
  for (int i = 0; i < k; ++i) {
    std::vector<int> row;
    for (int c = 0; c < copies; ++c)
      for (int j = 0; j <= k; ++j) row.push_back(j == i || j == k ? 1 : 0);
    code.rows.push_back(row);
  }
  return code;
}

// A_w of the sum-zero code of length m over F_q (q = 2 or 4): C(m, w) times
// the number of w nonzero elements summing to zero, ((q-1)^w + (-1)^w (q-1))/q.
WeightPairs sum_zero_weights(int q, int m, int copies) {
  WeightPairs out;
  std::uint64_t binomial = 1, power = 1;
  for (int w = 0; w <= m; ++w) {
    const auto sign = w % 2 == 0 ? std::int64_t{1} : std::int64_t{-1};
    const auto count = static_cast<std::uint64_t>((static_cast<std::int64_t>(power) + sign * (q - 1)) / q);
    if (binomial * count != 0) out.emplace_back(w * copies, binomial * count);
    binomial = binomial * static_cast<std::uint64_t>(m - w) / static_cast<std::uint64_t>(w + 1);
    power *= static_cast<std::uint64_t>(q - 1);
  }
  return out;
}

// Tables of 2^20 and 2^22 entries: beyond one cache-sized block in both
// widths, so a short code takes the block-wise record and a long one (the
// same code repeated past the block-wise column limit) the whole table.
TEST(LargeTables, ShortAndLongCodesOverBothLayouts) {
  const struct {
    int q, k, copies;
  } cases[] = {{2, 20, 1}, {2, 20, 400}, {2, 22, 3}, {4, 10, 1}, {4, 10, 250}};
  for (const auto& c : cases) {
    const TestCode code = sum_zero_code(c.q, c.k, c.copies);
    SCOPED_TRACE("q = " + std::to_string(c.q) + ", k = " + std::to_string(c.k) + ", n = " + std::to_string(code.n));
    EXPECT_EQ(run_one(ComputePath::weight_distribution, code), sum_zero_weights(c.q, c.k + 1, c.copies));
  }
}

TEST(RankDeficient, RepeatedMessagesGiveTheZeroWord) {
  // Binary and F_4: every message counts, so A_0 = q^(k - rank).
  // The zero third column shifts the projective sums by one.
  check_case("binary, equal rows", TestCode{2, 3, 2, {{1, 1, 0}, {1, 1, 0}}}, {{0, 2}, {2, 2}}, {{1, 1}, {3, 2}});
  check_case("F_4, row 2 = w * row 1", TestCode{2, 3, 4, {{1, 2, 3}, {2, 3, 1}}}, {{0, 4}, {3, 12}}, {{0, 1}, {3, 4}});
  check_case("binary, a zero row", TestCode{3, 4, 2, {{1, 0, 1, 1}, {0, 0, 0, 0}, {0, 1, 1, 0}}},
             {{0, 2}, {2, 2}, {3, 4}}, {{0, 1}, {2, 2}, {3, 4}});
  // F_3: the projective message (1, 1) gives the zero word: q - 1 = 2 at A_0.
  // The zero third column shifts the projective sums by one.
  check_case("F_3, row 2 = 2 * row 1", TestCode{2, 3, 3, {{1, 2, 0}, {2, 1, 0}}}, {{0, 2}, {2, 6}}, {{1, 1}, {3, 3}});
  // F_7, row 3 = row 1 + row 2: seven messages give the zero word, six of them nonzero.
  const TestCode dependent{3, 4, 7, {{1, 0, 2, 3}, {0, 1, 4, 5}, {1, 1, 6, 1}}};
  EXPECT_EQ(weight_distribution_ref(dependent)[0], 6u);
  EXPECT_EQ(projective_sums_ref(dependent)[0], 1u);
  check_case("F_7, row 3 = row 1 + row 2", dependent, nonzero_pairs(weight_distribution_ref(dependent)),
             nonzero_pairs(projective_sums_ref(dependent)));
  // More rows than columns.
  check_case("F_5, k > n", TestCode{3, 2, 5, {{1, 0}, {0, 1}, {1, 1}}}, {{0, 4}, {1, 40}, {2, 80}},
             {{0, 1}, {1, 10}, {2, 20}});
}

TEST(RankDeficient, AllZeroMatrix) {
  for (int q : {2, 3, 4, 5, 7}) {
    const TestCode code{2, 3, q, {{0, 0, 0}, {0, 0, 0}}};
    const std::uint64_t messages = power_of(q, 2);
    const WeightPairs choice1{{0, q == 2 || q == 4 ? messages : messages - 1}};
    check_case("zero matrix, q = " + std::to_string(q), code, choice1, {{3, point_count(q, 2)}});
  }
}

TEST(ZeroColumns, LeaveWeightsAloneAndShiftProjectiveSums) {
  for (const KnownCode& known : known_codes()) {
    if (known.code.n > 24) continue;
    // Three zero columns: one in front, two inside.
    TestCode padded = known.code;
    for (std::vector<int>& row : padded.rows) {
      row.insert(row.begin(), 0);
      row.insert(row.begin() + static_cast<std::ptrdiff_t>(row.size() / 2), 2, 0);
    }
    padded.n += 3;
    check_case(known.name + " with three zero columns", padded, as_weight_distribution(padded.q, known.published),
               as_projective_sums(padded.q, known.published, 3));
  }
}

TEST(EmptyCode, LengthZeroCountsEveryMessageAtWeightZero) {
  for (int q : {2, 3, 4, 5, 7}) {
    const TestCode code{2, 0, q, {{}, {}}};
    const std::uint64_t messages = power_of(q, 2);
    check_case("n = 0, q = " + std::to_string(q), code, {{0, q == 2 || q == 4 ? messages : messages - 1}},
               {{0, point_count(q, 2)}});
  }
}

// The point table after the q-ary transform, entry by entry: entry e of
// the row of point u counts the nonzero columns c whose normalised form c'
// has u . c' = e in F_q.
class TransformedTable : public ::testing::Test {
 protected:
  static std::vector<int> normalised(int q, std::vector<int> c) {
    for (std::size_t r = c.size(); r-- > 0;) {
      if (c[r] == 0) continue;
      const int scale = field_inv(q, c[r]);
      for (int& x : c) x = field_mul(q, scale, x);
      break;
    }
    return c;
  }

  // `rows`, when given, are the expected entries 0..q-1 of rows 1..P.
  static void check_table(const TestCode& code, const std::vector<std::vector<int>>& rows = {}) {
    using namespace wdist;
    SCOPED_TRACE(describe_code(code));
    const int q = code.q, k = code.k, n = code.n;
    GenMatrix g{};
    size_gen_matrix(g, k, n, q);
    g.k = g.rows;
    for (int r = 0; r < k; ++r)
      for (int j = 0; j < n; ++j) g.a[r + 1][j + 1] = static_cast<ElemCode>(entry_of(code, r, j));
    const std::uint64_t P = point_count(q, k);
    CountTable point{};
    point.q = q;
    size_count_table(point, P, static_cast<std::uint64_t>(q - 1), q);
    point.dim = k;
    size_code_context(k, n);
    // The menu's projective sums, through the record steps.
    engine::RecordPlan plan{};
    ASSERT_TRUE(engine::plan_record(engine::RecordShape{q, k, n, true}, engine::TablePolicy{UINT64_MAX, WDIST_COUNTER_BITS}, plan));
    ASSERT_EQ(plan.route, engine::Route::projective_table);
    RowPointers rows_of_g{};
    engine::PreparedRecord prepared;
    engine::prepare_record(view_of(g, q, rows_of_g), plan, prepared);
    void* planes[8] = {};
    for (int e = 0; e < q; ++e) planes[e] = point.a[e];
    engine::Workspace ws{nullptr, nullptr, nullptr, nullptr};
    std::fill(code_context.Bspec, code_context.Bspec + n + 1, 0);
    engine::run_units(prepared, 0, plan.units, ws, planes, code_context.Bspec);

    std::vector<std::vector<int>> columns;
    for (int j = 0; j < n; ++j) {
      std::vector<int> c;
      for (int r = 0; r < k; ++r) c.push_back(entry_of(code, r, j));
      if (point_index_ref(q, c) != 0) columns.push_back(normalised(q, c));
    }
    for (const std::vector<int>& u : projective_points(q, k)) {
      std::vector<Counter> want(static_cast<std::size_t>(q), 0);
      for (const std::vector<int>& c : columns) {
        int dot = 0;
        for (int r = 0; r < k; ++r)
          dot = field_add(q, dot, field_mul(q, u[static_cast<std::size_t>(r)], c[static_cast<std::size_t>(r)]));
        ++want[static_cast<std::size_t>(dot)];
      }
      const std::uint64_t d = point_index_ref(q, u);
      for (int e = 0; e < q; ++e)
        ASSERT_EQ(point.a[e][d], want[static_cast<std::size_t>(e)])
            << "entry " << e << " of row " << d << ", point " << ::testing::PrintToString(u);
    }
    for (std::size_t d = 1; d <= rows.size(); ++d)
      for (int e = 0; e < q; ++e)
        EXPECT_EQ(point.a[e][d], rows[d - 1][static_cast<std::size_t>(e)]) << "entry " << e << " of row " << d;
    EXPECT_EQ(nonzero_pairs(Weights(code_context.Bspec, code_context.Bspec + n + 1)),
              nonzero_pairs(projective_sums_ref(code)));
    release_count_table(point);
    release_gen_matrix(g);
  }
};

TEST_F(TransformedTable, TetracodeWorkedExample) {
  check_table(tetracode(), {{1, 3, 0}, {1, 2, 1}, {1, 1, 2}, {1, 2, 1}});
}

TEST_F(TransformedTable, SimplexCodesHaveTheSameHyperplaneCountEverywhere) {
  for (const auto& [q, k] : std::vector<std::pair<int, int>>{{2, 4}, {3, 3}, {4, 3}, {5, 3}, {7, 2}, {3, 4}, {2, 6}})
    check_table(simplex_code(q, k));
}

TEST_F(TransformedTable, SmallCodesOfEveryField) {
  std::uint64_t state = 0x9e3779b97f4a7c15u;
  auto next = [&state](int bound) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(bound));
  };
  for (int q : {2, 3, 4, 5, 7}) {
    for (int k = 1; k <= (q <= 3 ? 5 : 4); ++k) {
      for (int trial = 0; trial < 3; ++trial) {
        TestCode code{k, 1 + next(12), q, {}};
        for (int r = 0; r < k; ++r) {
          std::vector<int> row;
          for (int j = 0; j < code.n; ++j) row.push_back(next(q));
          code.rows.push_back(row);
        }
        check_table(code);
      }
    }
  }
}

}  // namespace
