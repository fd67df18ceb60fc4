// The library's one call against the brute force: random codes of every
// field, full rank and rank-deficient, with zero columns; the projective
// counts; the same result for any number of threads and on every route;
// and the errors that come back as values.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <random>

#include "library/planned_record.h"
#include "support/library_codes.h"
#include "wdist/plan.h"
#include "wdist/wdist.h"

namespace {

using namespace wdist_test;

constexpr int kFields[] = {2, 3, 4, 5, 7};

// Largest k whose q^k messages the brute force enumerates quickly.
int brute_dimension(int q) { return q == 2 ? 12 : q == 3 ? 7 : q == 4 ? 6 : 5; }

wdist::Distribution computed(const wdist::Code& code, const wdist::Options& options = {}) {
  wdist::Distribution d;
  const wdist::Status s = wdist::weight_distribution(code, options, d);
  EXPECT_TRUE(s) << s.message << " for " << describe(code);
  return d;
}

TEST(WeightDistribution, RandomCodesOfEveryFieldMatchTheBruteForce) {
  std::mt19937_64 rng(20261207);
  for (int q : kFields)
    for (int trial = 0; trial < 40; ++trial) {
      const int k = 1 + static_cast<int>(rng() % static_cast<unsigned>(brute_dimension(q)));
      const int n = static_cast<int>(rng() % 14);
      const TestCode t = random_code(rng, q, k, n, trial % 3 == 1, trial % 4 == 2 ? 2 : 0);
      const wdist::Code code = to_code(t);
      SCOPED_TRACE(describe(code));
      int rank = 0;
      const Weights expected = codeword_weights(t, rank);
      const wdist::Distribution d = computed(code);
      EXPECT_EQ(as_weights(d), expected);
      EXPECT_EQ(d.rank, rank);
      EXPECT_EQ(d.k, k);
      EXPECT_EQ(d.counts[0], 1);
      mpz_class sum = 0, power = 0;
      for (const mpz_class& c : d.counts) sum += c;
      mpz_ui_pow_ui(power.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(rank));
      EXPECT_EQ(sum, power);

      wdist::Options projective;
      projective.projective = true;
      const wdist::Distribution p = computed(code, projective);
      EXPECT_EQ(p.counts[0], 0);
      for (std::size_t w = 1; w < expected.size(); ++w) EXPECT_EQ(p.counts[w], expected[w] / static_cast<unsigned>(q - 1));
    }
}

// Short binary codes of dimension beyond one block are counted in byte
// lanes, modulo 256; at n << shift = 256 their heaviest words fall on the
// zero word's count and are settled from the sum of all weights. Binary
// codes of length 127 and 128 and F_4 codes of length 64 (its image 192
// long) with words of every weight up to n, against a Gray-code walk over
// their 2^21 messages (rank deficient and with zero columns too).
// The codewords of a binary or F_4 code of length up to 128 as two bit
// masks per half (symbol j nonzero when bit j of lo or hi is set), its
// weights by a Gray-code walk over the F_2-span of the rows and, for F_4,
// their multiples by the field's element 2. Every codeword once.
Weights walked_weights(const TestCode& t) {
  struct Word {
    std::uint64_t lo[2] = {0, 0}, hi[2] = {0, 0};
  };
  std::vector<Word> gens;
  for (int i = 0; i < t.k; ++i)
    for (int multiple : t.q == 4 ? std::vector<int>{1, 2} : std::vector<int>{1}) {
      Word g;
      for (int j = 0; j < t.n; ++j) {
        const int e = field_mul(t.q, multiple, t.rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]);
        const auto half = static_cast<std::size_t>(j / 64);
        const std::uint64_t bit = std::uint64_t{1} << (j % 64);
        if ((e & 1) != 0) g.lo[half] |= bit;
        if ((e & 2) != 0) g.hi[half] |= bit;
      }
      gens.push_back(g);
    }
  Weights all(static_cast<std::size_t>(t.n) + 1, 0);
  Word w;
  const std::uint64_t steps = std::uint64_t{1} << gens.size();
  for (std::uint64_t step = 0;; ) {
    ++all[static_cast<std::size_t>(std::popcount(w.lo[0] | w.hi[0]) + std::popcount(w.lo[1] | w.hi[1]))];
    if (++step == steps) break;
    const Word& g = gens[static_cast<std::size_t>(std::countr_zero(step))];
    for (std::size_t h = 0; h < 2; ++h) {
      w.lo[h] ^= g.lo[h];
      w.hi[h] ^= g.hi[h];
    }
  }
  const std::uint64_t zero_messages = all[0];
  for (std::uint64_t& a : all) a /= zero_messages;
  return all;
}

TEST(WeightDistribution, ByteLanesAndTheirHeaviestWordsMatchTheWalk) {
  std::mt19937_64 rng(20261208);
  struct Shape {
    int q, k, n;
    bool deficient;
  };
  for (const Shape s : {Shape{2, 21, 128, false}, Shape{2, 21, 127, false}, Shape{2, 22, 128, true},
                        Shape{4, 11, 64, false}, Shape{4, 11, 64, true}, Shape{4, 11, 60, false}}) {
    TestCode t = random_code(rng, s.q, s.k, s.n, s.deficient, 3);
    // The all-ones word (every weight n word for F_4: a row with no zero).
    for (int j = 0; j < s.n; ++j) t.rows[0][static_cast<std::size_t>(j)] = 1;
    const wdist::Code code = to_code(t);
    SCOPED_TRACE(describe(code));
    wdist::Options direct;
    direct.dual = wdist::DualRoute::never;
    wdist::Plan plan;
    ASSERT_TRUE(wdist::plan_record(code, direct, plan));
    EXPECT_EQ(plan.summary.counter_bits, 8);
    const Weights expected = walked_weights(t);
    EXPECT_GT(expected.back(), 0u);
    EXPECT_EQ(as_weights(computed(code, direct)), expected);
  }
}

// The block routes (no table at all) against the table routes, and every
// thread count against one thread, on records of many units.
TEST(WeightDistribution, BlockRoutesAndThreadCountsGiveTheSameCounts) {
  std::mt19937_64 rng(7);
  const struct {
    int q, k, n;
  } shapes[] = {{2, 24, 60}, {2, 21, 300}, {4, 11, 40}, {3, 11, 30}, {5, 7, 25}, {7, 6, 20}, {3, 9, 200}};
  for (const auto& shape : shapes) {
    const wdist::Code code = to_code(random_code(rng, shape.q, shape.k, shape.n, false, 1));
    SCOPED_TRACE(describe(code));
    wdist::Options one;
    one.threads = 1;
    one.dual = wdist::DualRoute::never;
    wdist::Plan table, blocks;
    ASSERT_TRUE(wdist::plan_record_with_budget(code, one, UINT64_MAX, table));
    ASSERT_TRUE(wdist::plan_record_with_budget(code, one, 0, blocks));
    wdist::Distribution reference;
    {
      wdist::Worker worker;
      wdist::Tally total = wdist::empty_tally(table);
      ASSERT_TRUE(wdist::run_units(table, 0, table.summary.units, worker, total));
      ASSERT_TRUE(wdist::finish_record(table, total, reference));
    }
    // The block route's units one at a time, in reverse order.
    wdist::Worker worker;
    wdist::Tally total = wdist::empty_tally(blocks);
    for (std::uint64_t u = blocks.summary.units; u-- > 0;) {
      wdist::Tally t = wdist::empty_tally(blocks);
      ASSERT_TRUE(wdist::run_units(blocks, u, 1, worker, t));
      wdist::add_tally(t, total);
    }
    wdist::Distribution from_blocks;
    ASSERT_TRUE(wdist::finish_record(blocks, total, from_blocks));
    EXPECT_EQ(from_blocks.counts, reference.counts) << wdist::route_name(blocks.summary.route) << " against "
                                                 << wdist::route_name(table.summary.route);
    for (unsigned threads : {1u, 2u, 3u}) {
      wdist::Options o = one;
      o.threads = threads;
      EXPECT_EQ(computed(code, o).counts, reference.counts) << threads << " threads";
    }
  }
}

TEST(WeightDistribution, ErrorsComeBackAsValues) {
  wdist::Distribution d;
  wdist::Code code{6, 1, 3, {0, 1, 2}};
  EXPECT_EQ(wdist::weight_distribution(code, {}, d).code, wdist::StatusCode::invalid_code);
  code = wdist::Code{3, 1, 3, {0, 1, 3}};
  wdist::Status s = wdist::weight_distribution(code, {}, d);
  EXPECT_EQ(s.code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(s.message, "entry 3 in row 1, column 3 is not below q = 3");
  code = wdist::Code{2, 2, 3, {0, 1, 1}};
  EXPECT_EQ(wdist::weight_distribution(code, {}, d).code, wdist::StatusCode::invalid_code);  // ragged
  code = wdist::Code{2, 0, 0, {}};
  EXPECT_EQ(wdist::weight_distribution(code, {}, d).code, wdist::StatusCode::invalid_code);

  // Too much work: refused at once, with the estimate.
  std::mt19937_64 rng(3);
  code = to_code(random_code(rng, 2, 50, 100, false, 0));
  s = wdist::weight_distribution(code, {}, d);
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work);
  EXPECT_NE(s.message.find("2^50.0"), std::string::npos) << s.message;

  // A cancelled computation stops between units.
  std::atomic<bool> cancel{true};
  wdist::Options o;
  o.cancel = &cancel;
  code = to_code(random_code(rng, 2, 26, 60, false, 0));
  EXPECT_EQ(wdist::weight_distribution(code, o, d).code, wdist::StatusCode::cancelled);
}

// check_field gives check_code's text for a q, shown as the caller has it
// when given so; the other rules keep their order (q before k before n).
TEST(WeightDistribution, FieldCheckIsTheCodeChecks) {
  for (int q : {2, 3, 4, 5, 7, 8, 9, 11, 121, 256}) EXPECT_TRUE(wdist::check_field(q)) << q;
  for (std::int64_t q : {0LL, 1LL, 6LL, 12LL, 100LL, 257LL, -2LL, 1LL << 40}) {
    const wdist::Status s = wdist::check_field(q);
    EXPECT_EQ(s.code, wdist::StatusCode::invalid_code);
    EXPECT_EQ(s.message, "q = " + std::to_string(q) + ", the field must be one of the prime powers up to 256");
    EXPECT_EQ(wdist::check_code(wdist::Code{static_cast<int>(q % 1000), 0, -1, {}}).message,
              wdist::check_field(q % 1000).message);
  }
  EXPECT_EQ(wdist::check_field(0, "2**70").message, "q = 2**70, the field must be one of the prime powers up to 256");
  EXPECT_EQ(wdist::check_code(wdist::Code{2, 0, -1, {}}).message, "k = 0, the dimension must be at least 1");
  EXPECT_EQ(wdist::check_code(wdist::Code{2, 1, -1, {}}).message, "n = -1, the length must lie in 0 .. 2^31 - 1");
}

// q^min(k, n) before planning, and the counting conventions of the field's
// layout in the plan's summary.
TEST(WeightDistribution, WorkBoundAndCountingConventions) {
  EXPECT_EQ(wdist::direct_messages_bound(wdist::Code{3, 4, 10, {}}), 81.0);
  EXPECT_EQ(wdist::direct_messages_bound(wdist::Code{7, 9, 2, {}}), 49.0);
  EXPECT_EQ(wdist::direct_messages_bound(wdist::Code{2, 5, 0, {}}), 1.0);
  EXPECT_EQ(wdist::direct_messages_bound(wdist::Code{2, 62, 100, {}}), 0x1p62);
  wdist::Plan zero;
  ASSERT_TRUE(wdist::plan_record(wdist::Code{3, 2, 2, {0, 0, 0, 0}}, {}, zero));
  EXPECT_EQ(zero.summary.route, wdist::Route::none);
  EXPECT_STREQ(wdist::route_name(zero.summary.route), "none");
  for (int q : {2, 3, 4, 5, 7, 8, 9, 11})
    for (bool projective : {false, true}) {
      wdist::Code code{q, 2, 3, {1, 0, 1, 0, 1, 1}};
      wdist::Options o;
      o.projective = projective;
      wdist::Plan plan;
      ASSERT_TRUE(wdist::plan_record(code, o, plan));
      EXPECT_EQ(plan.summary.zero_message_counted, q == 2 || q == 4 || q == 8) << q;
      EXPECT_EQ(plan.summary.zero_columns_shift, projective) << q;
      EXPECT_LE(plan.summary.messages, wdist::direct_messages_bound(code));
    }
}

// The steps after planning refuse what breaks their preconditions, before
// any work: a default-constructed plan, a range past the units, a tally or
// a total of another plan.
TEST(WeightDistribution, StepsRefuseBrokenPreconditions) {
  const wdist::Plan none;
  wdist::Worker worker;
  wdist::Tally tally;
  wdist::Distribution d;
  std::vector<std::uint64_t> counts64;
  wdist::NonzeroCounts nonzero;
  EXPECT_EQ(wdist::run_units(none, 0, 1, worker, tally).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(wdist::finish_record(none, tally, d).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(wdist::finish_record_u64(none, tally, d, counts64).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(wdist::count_nonzero(none, worker, d, nonzero).code, wdist::StatusCode::invalid_code);

  std::mt19937_64 rng(11);
  wdist::Options o;
  o.threads = 1;
  wdist::Plan plan, other;
  ASSERT_TRUE(wdist::plan_record(to_code(random_code(rng, 3, 5, 12, false, 0)), o, plan));
  ASSERT_TRUE(wdist::plan_record(to_code(random_code(rng, 2, 4, 30, false, 0)), o, other));
  const std::uint64_t units = plan.summary.units;
  ASSERT_GE(units, 1U);
  tally = wdist::empty_tally(plan);
  for (auto [first, count] : {std::pair<std::uint64_t, std::uint64_t>{units, 1}, {0, units + 1}, {1, UINT64_MAX}}) {
    const wdist::Status s = wdist::run_units(plan, first, count, worker, tally);
    EXPECT_EQ(s.code, wdist::StatusCode::invalid_code) << first << " + " << count;
    EXPECT_NE(s.message.find("beyond the plan's"), std::string::npos) << s.message;
  }
  wdist::Tally foreign = wdist::empty_tally(other);
  EXPECT_EQ(wdist::run_units(plan, 0, 1, worker, foreign).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(wdist::finish_record(plan, foreign, d).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(wdist::finish_record_u64(plan, foreign, d, counts64).code, wdist::StatusCode::invalid_code);

  // What holds the preconditions still computes: an empty tally grows.
  wdist::Tally grown;
  EXPECT_TRUE(wdist::run_units(plan, 0, units, worker, grown));
  EXPECT_TRUE(wdist::finish_record(plan, grown, d));
  EXPECT_EQ(d.counts[0], 1);
}

// The 64-bit finish (what many small records take) against the big one, on
// both counts and every route; the dual route needs big counts and is refused
// there.
TEST(WeightDistribution, SixtyFourBitFinishGivesTheBigCounts) {
  std::mt19937_64 rng(7120626);
  for (int q : kFields)
    for (int trial = 0; trial < 24; ++trial) {
      const int k = 1 + static_cast<int>(rng() % 6);
      const int n = static_cast<int>(rng() % 16);
      const wdist::Code code = to_code(random_code(rng, q, k, n, trial % 3 == 1, trial % 4 == 2 ? 2 : 0));
      SCOPED_TRACE(describe(code));
      wdist::Options options;
      options.projective = trial % 2 == 1;
      options.dual = trial % 5 == 0 ? wdist::DualRoute::always : wdist::DualRoute::never;
      wdist::Plan plan;
      ASSERT_TRUE(wdist::plan_record(code, options, plan));
      wdist::Worker worker;
      wdist::Tally total = wdist::empty_tally(plan);
      ASSERT_TRUE(wdist::run_units(plan, 0, plan.summary.units, worker, total));
      wdist::Distribution big, small;
      std::vector<std::uint64_t> counts;
      ASSERT_TRUE(wdist::finish_record(plan, total, big));
      const wdist::Status s = wdist::finish_record_u64(plan, total, small, counts);
      EXPECT_EQ(wdist::needs_big_counts(plan), options.dual == wdist::DualRoute::always);
      if (wdist::needs_big_counts(plan)) {
        EXPECT_EQ(s.code, wdist::StatusCode::internal_error);
        continue;
      }
      ASSERT_TRUE(s) << s.message;
      EXPECT_TRUE(small.counts.empty());
      EXPECT_EQ(small.rank, big.rank);
      EXPECT_EQ(small.projective, big.projective);
      ASSERT_EQ(counts.size(), big.counts.size());
      for (std::size_t w = 0; w < counts.size(); ++w) EXPECT_EQ(mpz_class(counts[w]), big.counts[w]) << "w = " << w;
    }
}

// The nonzero counts of a record computed on one worker (what the program
// does with small records and long codes of few rows) against the 64-bit
// finish, on the table and block routes, short lengths and lengths whose
// histogram is mapped pages; a code given up to its plan plans the same.
TEST(WeightDistribution, NonzeroCountsAreThoseOfTheSixtyFourBitFinish) {
  std::mt19937_64 rng(20261208);
  for (int q : kFields)
    for (int trial = 0; trial < 16; ++trial) {
      const int k = 1 + static_cast<int>(rng() % 5);
      const int n = trial % 4 == 3 ? 9000 + static_cast<int>(rng() % 3000) : static_cast<int>(rng() % 20);
      const wdist::Code code = to_code(random_code(rng, q, k, n, trial % 3 == 1, trial % 4 == 2 ? 2 : 0));
      SCOPED_TRACE(describe(code));
      wdist::Options options;
      options.projective = trial % 2 == 1;
      options.dual = wdist::DualRoute::never;
      wdist::Plan plan;
      ASSERT_TRUE(wdist::plan_record_with_budget(code, options, trial % 5 == 4 ? 0 : wdist::kLibraryTableBudget, plan));
      wdist::Worker worker;
      wdist::Tally total = wdist::empty_tally(plan);
      ASSERT_TRUE(wdist::run_units(plan, 0, plan.summary.units, worker, total));
      wdist::Distribution dense_d, nonzero_d;
      std::vector<std::uint64_t> dense;
      ASSERT_TRUE(wdist::finish_record_u64(plan, total, dense_d, dense));
      wdist::NonzeroCounts nonzero;
      ASSERT_TRUE(wdist::count_nonzero(plan, worker, nonzero_d, nonzero));
      wdist::NonzeroCounts expected;
      for (std::size_t w = 0; w < dense.size(); ++w)
        if (dense[w] != 0) expected.emplace_back(static_cast<std::int64_t>(w), dense[w]);
      EXPECT_EQ(nonzero, expected);
      EXPECT_EQ(nonzero_d.rank, dense_d.rank);
      EXPECT_EQ(nonzero_d.n, dense_d.n);
      EXPECT_EQ(nonzero_d.projective, dense_d.projective);
      EXPECT_TRUE(nonzero_d.counts.empty());

      wdist::Code given_up = code;
      wdist::Plan taken;
      ASSERT_TRUE(wdist::plan_record(std::move(given_up), options, taken));
      EXPECT_TRUE(given_up.entries.empty());
      wdist::Plan copied;
      ASSERT_TRUE(wdist::plan_record(code, options, copied));
      EXPECT_EQ(taken.summary.identity, copied.summary.identity);
    }
  // The dual route's counts are big: refused here.
  wdist::Options dual;
  dual.dual = wdist::DualRoute::always;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(to_code(random_code(rng, 2, 3, 6, false, 0)), dual, plan));
  wdist::Worker worker;
  wdist::Distribution d;
  wdist::NonzeroCounts counts;
  EXPECT_EQ(wdist::count_nonzero(plan, worker, d, counts).code, wdist::StatusCode::internal_error);
}

TEST(WeightDistribution, ZeroCodeAndEmptyCode) {
  wdist::Distribution d = computed(wdist::Code{3, 2, 4, std::vector<wdist::ElemCode>(8, 0)});
  EXPECT_EQ(d.rank, 0);
  EXPECT_EQ(d.counts, (std::vector<mpz_class>{1, 0, 0, 0, 0}));
  EXPECT_EQ(wdist::min_distance(d), -1);
  d = computed(wdist::Code{2, 3, 0, {}});
  EXPECT_EQ(d.rank, 0);
  EXPECT_EQ(d.counts, (std::vector<mpz_class>{1}));
}

}  // namespace
