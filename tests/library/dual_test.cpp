// The dual route: the dual's generator from the row-reduced basis, the
// MacWilliams identity in exact arithmetic against its term-by-term twin,
// and whole records through the dual against the direct route, the brute
// force, and codes whose distribution is known by construction (Hamming,
// Golay, disguised direct sums) at dimensions no enumeration reaches.
#include <gtest/gtest.h>

#include <random>

#include "engine/basis.h"
#include "engine/dual.h"
#include "library/macwilliams.h"
#include "support/code_families.h"
#include "support/library_codes.h"
#include "wdist/plan.h"
#include "wdist/wdist.h"

namespace {

using namespace wdist_test;

constexpr int kFields[] = {2, 3, 4, 5, 7};

int brute_dimension(int q) { return q == 2 ? 12 : q == 3 ? 7 : q == 4 ? 6 : 5; }

wdist::Distribution computed(const wdist::Code& code, wdist::DualRoute route, bool projective = false,
                             unsigned threads = 1) {
  wdist::Options options;
  options.dual = route;
  options.projective = projective;
  options.threads = threads;
  wdist::Distribution d;
  const wdist::Status s = wdist::weight_distribution(code, options, d);
  EXPECT_TRUE(s) << s.message << " for " << describe(code);
  return d;
}

struct Dual {
  wdist::engine::Basis basis;
  std::vector<wdist::ElemCode> rows;
};

Dual dual_of(const wdist::Code& code) {
  std::vector<const wdist::ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  Dual d;
  wdist::engine::reduce_to_basis(wdist::MatrixView{code.q, code.k, code.n, rows.data()}, d.basis);
  wdist::engine::dual_generator(d.basis, d.rows);
  return d;
}

mpz_class power(int q, int e) {
  mpz_class p;
  mpz_ui_pow_ui(p.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(e));
  return p;
}

// The engine's elimination (binary rows packed in words, reduced a word of
// columns at a time), on a copy and in the matrix's own storage, against
// the textbook one, on widths around the word boundaries, more rows than
// columns, dependent rows and zero columns.
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
        // The same reduced in the matrix's own storage.
        std::vector<wdist::ElemCode> entries = code.entries;
        wdist::engine::Basis in_place;
        wdist::engine::reduce_in_place(q, k, n, entries, in_place);
        EXPECT_EQ(in_place.rank, static_cast<int>(pivots.size()));
        EXPECT_EQ(in_place.pivots, pivots);
        EXPECT_EQ(in_place.rows, expected);
        EXPECT_TRUE(entries.empty());
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

// The recurrence against the binomial sums on arbitrary integers of
// either sign: small ones on short lengths (the sums in 64 bits, up to the
// edge of that) and ones of many digits (the sums in GMP's integers).
TEST(MacWilliams, KrawtchoukSumsMatchTheBinomialSums) {
  std::mt19937_64 rng(5);
  gmp_randclass random(gmp_randinit_default);
  random.seed(17);
  for (int q : kFields)
    for (std::int64_t n : {0, 1, 2, 3, 7, 20, 35, 50, 61})
      for (unsigned long bits : {5ul, 200ul}) {
        SCOPED_TRACE("q=" + std::to_string(q) + " n=" + std::to_string(n) + " bits=" + std::to_string(bits));
        Counts b(static_cast<std::size_t>(n) + 1);
        for (mpz_class& x : b)
          if (rng() % 3 != 0) x = random.get_z_bits(1 + rng() % bits) - random.get_z_bits(bits);
        Counts sums;
        wdist::krawtchouk_sums(q, n, b, sums);
        EXPECT_EQ(sums, krawtchouk_sums_ref(q, n, b));
      }
}

TEST(MacWilliams, ASumWithARemainderIsAnErrorNotARoundedCount) {
  // B of a [3, 2] binary "dual" with one word too few.
  const Counts b = {1, 0, 2, 0};
  Counts a;
  std::string error;
  EXPECT_FALSE(wdist::macwilliams_transform(2, 3, 2, b, a, error));
  EXPECT_EQ(error, "the MacWilliams sum at weight 0 is not divisible by q^2");
  // The same with the word: the even-weight code's dual, the repetition code.
  EXPECT_TRUE(wdist::macwilliams_transform(2, 3, 2, Counts{1, 0, 3, 0}, a, error)) << error;
  EXPECT_EQ(a, (Counts{1, 0, 0, 1}));
  // A distribution that would need negative counts.
  EXPECT_FALSE(wdist::macwilliams_transform(2, 2, 2, Counts{2, 6, 0}, a, error));
  EXPECT_EQ(error, "the MacWilliams sum at weight 2 is negative");
}

// Both routes and the brute force on small codes of every field, high
// rate and otherwise, rank-deficient, with zero columns, projective too.
TEST(DualRoute, RandomCodesOfEveryFieldAgreeOnBothRoutesAndWithTheBruteForce) {
  std::mt19937_64 rng(20261208);
  for (int q : kFields)
    for (int trial = 0; trial < 30; ++trial) {
      const int k = 1 + static_cast<int>(rng() % static_cast<unsigned>(brute_dimension(q)));
      const int n = k + static_cast<int>(rng() % 5) - (trial % 5 == 0 ? 1 : 0);
      const TestCode t = random_code(rng, q, k, std::max(n, 0), trial % 3 == 1, trial % 4 == 2 ? 2 : 0);
      const wdist::Code code = to_code(t);
      SCOPED_TRACE(describe(code));
      int rank = 0;
      const Weights expected = codeword_weights(t, rank);
      const wdist::Distribution dual = computed(code, wdist::DualRoute::always);
      EXPECT_EQ(dual.method, wdist::Method::dual);
      EXPECT_EQ(dual.rank, rank);
      EXPECT_EQ(as_weights(dual), expected);
      EXPECT_EQ(computed(code, wdist::DualRoute::never).counts, dual.counts);
      const wdist::Distribution projective = computed(code, wdist::DualRoute::always, true);
      EXPECT_EQ(projective.counts[0], 0);
      for (std::size_t w = 1; w < expected.size(); ++w)
        EXPECT_EQ(projective.counts[w], expected[w] / static_cast<unsigned>(q - 1));
    }
}

// Direct sums of small random high-rate codes (some rank-deficient, some
// with zero columns), disguised: their distribution is the convolution of
// the parts'; the brute force on the engine's dual generator, through the
// identity's term-by-term twin, agrees. Dimensions up to 46, far beyond
// the direct route in a test.
TEST(DualRoute, DisguisedDirectSumsOfHighRateCodesAtLargeDimension) {
  std::mt19937_64 rng(99);
  const struct {
    int q, parts, k, n;
  } shapes[] = {{2, 4, 12, 14}, {2, 3, 10, 13}, {3, 3, 7, 9}, {4, 3, 5, 7}, {5, 3, 4, 6}, {7, 3, 4, 5}};
  for (const auto& shape : shapes) {
    std::vector<wdist::Code> parts;
    Counts expected{1};
    for (int p = 0; p < shape.parts; ++p) {
      const TestCode t = random_code(rng, shape.q, shape.k, shape.n, p == 1, p == 2 ? 1 : 0);
      int rank = 0;
      const Weights w = codeword_weights(t, rank);
      Counts c;
      for (std::uint64_t x : w) c.emplace_back(static_cast<unsigned long>(x));
      expected = convolution(expected, c);
      parts.push_back(to_code(t));
    }
    const wdist::Code code = disguised(direct_sum(parts), rng);
    SCOPED_TRACE(describe(code));
    const wdist::Distribution d = computed(code, wdist::DualRoute::automatic);
    EXPECT_EQ(d.method, wdist::Method::dual);
    EXPECT_EQ(d.counts, expected);

    const Dual dual = dual_of(code);
    const int m = static_cast<int>(code.n) - dual.basis.rank;
    ASSERT_LE(m, 16);
    EXPECT_TRUE(orthogonal(code.q, code.n, code.entries, dual.rows));
    EXPECT_EQ(macwilliams_ref(code.q, code.n, m, enumerated_weights(code.q, m, code.n, dual.rows)), expected);
  }
}

TEST(DualRoute, BinaryHammingCodesMatchTheirClosedForm) {
  std::mt19937_64 rng(12);
  for (int m = 3; m <= 12; ++m) {
    SCOPED_TRACE("m = " + std::to_string(m));
    // Small ones disguised as well; the large ones keep their points
    // shuffled, which scatters the pivots of the reduced form.
    wdist::Code code = hamming_code(2, m, &rng);
    if (m <= 8) code = disguised(code, rng);
    const wdist::Distribution d = computed(code, wdist::DualRoute::always, false, 2);
    EXPECT_EQ(d.rank, code.k);
    EXPECT_EQ(wdist::min_distance(d), 3);
    const Counts expected = binary_hamming_weights(m);
    EXPECT_EQ(d.counts, expected);
    const mpz_class largest = *std::max_element(expected.begin(), expected.end());
    if (m == 7) {
      EXPECT_GT(largest, power(2, 64));
    } else if (m == 8) {
      EXPECT_GT(largest, power(2, 128));
    }
  }
}

TEST(DualRoute, HammingCodesOfTheOtherFieldsMatchTheirClosedForm) {
  std::mt19937_64 rng(13);
  const struct {
    int q, largest_m;
  } families[] = {{3, 6}, {4, 4}, {5, 3}, {7, 3}};
  for (const auto& family : families)
    for (int m = 2; m <= family.largest_m; ++m) {
      SCOPED_TRACE("q = " + std::to_string(family.q) + ", m = " + std::to_string(m));
      const wdist::Code code = disguised(hamming_code(family.q, m, &rng), rng);
      const wdist::Distribution d = computed(code, wdist::DualRoute::always);
      EXPECT_EQ(wdist::min_distance(d), 3);
      EXPECT_EQ(d.counts, hamming_weights(family.q, m));
    }
  // The closed form and the binary recurrence agree where both apply.
  EXPECT_EQ(hamming_weights(2, 5), binary_hamming_weights(5));
}

// A self-dual code is its own dual: the dual generator spans the code
// itself, and both routes count the same known distribution.
TEST(DualRoute, SelfDualCodesGiveTheirKnownDistributionOnBothRoutes) {
  std::mt19937_64 rng(24);
  const struct {
    wdist::Code code;
    Counts expected;
  } cases[] = {
      {binary_golay_code(), Counts{1, 0, 0, 0, 0, 0, 0, 0, 759, 0, 0, 0, 2576, 0, 0, 0, 759, 0, 0, 0, 0, 0, 0, 0, 1}},
      {ternary_golay_code(), Counts{1, 0, 0, 0, 0, 0, 264, 0, 0, 440, 0, 0, 24}},
      // Sums of [2, 1] codes x -> (x, x) over F_4 and (x, 2x) over F_5.
      {direct_sum({wdist::Code{4, 1, 2, {1, 1}}, wdist::Code{4, 1, 2, {1, 1}}, wdist::Code{4, 1, 2, {1, 1}}}),
       Counts{1, 0, 9, 0, 27, 0, 27}},
      {direct_sum({wdist::Code{5, 1, 2, {1, 2}}, wdist::Code{5, 1, 2, {1, 2}}}), Counts{1, 0, 8, 0, 16}},
  };
  for (const auto& c : cases) {
    const wdist::Code code = disguised(c.code, rng);
    SCOPED_TRACE(describe(code));
    const Dual dual = dual_of(code);
    ASSERT_EQ(dual.basis.rank * 2, code.n);
    EXPECT_EQ(dual_of(wdist::Code{code.q, dual.basis.rank, code.n, dual.rows}).basis.rows, dual.basis.rows);
    EXPECT_EQ(computed(code, wdist::DualRoute::always).counts, c.expected);
    EXPECT_EQ(computed(code, wdist::DualRoute::never).counts, c.expected);
  }
}

// The route auto takes, from the plan alone: the dual where it counts far
// fewer messages; the code itself on a tie, where the rank (not the number
// of rows) is small, and for short codes, whose few messages cost less
// than finishing through the identity.
TEST(DualRoute, AutoTakesTheDualOnlyWhereItIsCheaper) {
  std::mt19937_64 rng(8);
  auto repeated_rows = [&rng](int q, int k, int n, int rank) {  // k rows spanning `rank` dimensions
    TestCode t = random_code(rng, q, k, n, false, 0);
    for (int i = rank; i < k; ++i) t.rows[static_cast<std::size_t>(i)] = t.rows[static_cast<std::size_t>(i % rank)];
    return to_code(t);
  };
  const struct {
    wdist::Code code;
    wdist::Method expected;
  } cases[] = {
      {to_code(random_code(rng, 2, 28, 40, false, 0)), wdist::Method::dual},
      {to_code(random_code(rng, 2, 40, 41, true, 0)), wdist::Method::dual},  // rank 39
      {to_code(random_code(rng, 3, 16, 20, false, 0)), wdist::Method::dual},
      {to_code(random_code(rng, 4, 9, 12, false, 0)), wdist::Method::dual},
      {to_code(random_code(rng, 7, 9, 12, false, 0)), wdist::Method::dual},
      {to_code(random_code(rng, 2, 12, 40, false, 0)), wdist::Method::direct},
      {to_code(random_code(rng, 2, 16, 32, false, 0)), wdist::Method::direct},  // a tie
      {to_code(random_code(rng, 2, 11, 12, false, 0)), wdist::Method::direct},  // 2^11 messages
      {to_code(random_code(rng, 5, 4, 5, false, 0)), wdist::Method::direct},
      {repeated_rows(2, 30, 40, 5), wdist::Method::direct},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(describe(c.code));
    wdist::Plan automatic, never;
    wdist::Options options;
    ASSERT_TRUE(wdist::plan_record(c.code, options, automatic));
    options.dual = wdist::DualRoute::never;
    ASSERT_TRUE(wdist::plan_record(c.code, options, never));
    EXPECT_EQ(automatic.summary.method, c.expected);
    EXPECT_LE(automatic.summary.cost, never.summary.cost);
    EXPECT_EQ(automatic.summary.dimension,
              c.expected == wdist::Method::dual ? c.code.n - automatic.summary.rank : automatic.summary.rank);
  }
}

// The dual's units shared out over threads, and the work limit taken on
// the dual's messages: a [60, 37] code is computed through its 2^23 words,
// its direct route (2^37) is refused under a limit of 2^30.
TEST(DualRoute, ThreadsAndTheWorkLimitApplyToTheDualsMessages) {
  std::mt19937_64 rng(31);
  const wdist::Code code = to_code(random_code(rng, 2, 37, 60, false, 0));
  wdist::Options options;
  options.max_work = 0x1p30;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(code, options, plan));
  ASSERT_EQ(plan.summary.method, wdist::Method::dual);
  ASSERT_GE(plan.summary.units, 2u);
  // The units one at a time in reverse order, against two and three
  // threads sharing them.
  wdist::Worker worker;
  wdist::Tally total = wdist::empty_tally(plan);
  for (std::uint64_t u = plan.summary.units; u-- > 0;) {
    wdist::Tally t = wdist::empty_tally(plan);
    ASSERT_TRUE(wdist::run_units(plan, u, 1, worker, t));
    wdist::add_tally(t, total);
  }
  wdist::Distribution reference;
  ASSERT_TRUE(wdist::finish_record(plan, total, reference));
  mpz_class sum = 0;
  for (const mpz_class& c : reference.counts) sum += c;
  EXPECT_EQ(sum, power(2, 37));
  for (unsigned threads : {2u, 3u}) {
    options.threads = threads;
    wdist::Distribution d;
    ASSERT_TRUE(wdist::weight_distribution(code, options, d));
    EXPECT_EQ(d.counts, reference.counts) << threads << " threads";
  }
  options.dual = wdist::DualRoute::never;
  wdist::Distribution d;
  const wdist::Status s = wdist::weight_distribution(code, options, d);
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work);
  EXPECT_NE(s.message.find("2^37.0 messages (2^37.0 directly, 2^23.0 through its dual)"), std::string::npos) << s.message;
}

}  // namespace
