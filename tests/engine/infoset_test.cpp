// The information-set search against what is known without it: the
// minimum distance and low-weight counts of random codes of every field
// against every codeword enumerated (rank-deficient rows and zero and
// repeated columns included), the witness checked by solving for it; codes
// of known minimum distance and known numbers of minimum-weight words; the
// same result, witness included, for any split into units, merge order,
// hint and SIMD path; the plan's sets and bounds against their definitions;
// and the estimates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/infoset.h"
#include "support/code_families.h"
#include "support/search_runs.h"
#include "support/simd_paths.h"

namespace {

using wdist::ElemCode;
using wdist::SearchGoal;
using wdist_test::SearchOutcome;
using wdist_test::SearchShape;

constexpr int kFields[] = {2, 3, 4, 5, 7};

using wdist_test::is_codeword;
using wdist_test::weight_of;

std::string describe(const wdist::Code& code) {
  std::string s = "q " + std::to_string(code.q) + " k " + std::to_string(code.k) + " n " + std::to_string(code.n) + ":";
  for (int i = 0; i < code.k; ++i) {
    s += ' ';
    for (std::int64_t j = 0; j < code.n; ++j) s += static_cast<char>('0' + code.entries[static_cast<std::size_t>(i * code.n + j)]);
  }
  return s;
}

// The complete distribution by enumeration, as 64-bit counts.
std::vector<std::uint64_t> distribution_of(const wdist::Code& code) {
  const wdist_test::Counts all = wdist_test::enumerated_weights(code.q, code.k, code.n, code.entries);
  std::vector<std::uint64_t> out;
  for (const mpz_class& a : all) out.push_back(a.get_ui());
  return out;
}

// Checks an outcome against the distribution: the minimum, a witness that
// is a codeword of that weight, and the counts up to the goal's limit.
void expect_matches(const wdist::Code& code, const SearchGoal& goal, const SearchOutcome& got,
                    const std::vector<std::uint64_t>& a) {
  ASSERT_TRUE(got.planned) << got.refusal;
  ASSERT_TRUE(got.finished) << describe(code);
  std::int64_t d = -1;
  for (std::size_t w = 1; w < a.size() && d < 0; ++w)
    if (a[w] != 0) d = static_cast<std::int64_t>(w);
  if (goal.minimum_distance) {
    ASSERT_EQ(got.upper, d) << describe(code);
    ASSERT_EQ(got.lower, d) << describe(code);
  }
  if (!got.witness.empty()) {
    ASSERT_EQ(got.witness.size(), static_cast<std::size_t>(code.n));
    ASSERT_EQ(weight_of(got.witness), got.upper) << describe(code);
    ASSERT_GT(got.upper, 0);
    ASSERT_TRUE(is_codeword(code, got.witness)) << describe(code);
  } else {
    ASSERT_TRUE(d < 0 || !goal.minimum_distance) << describe(code);
  }
  if (goal.count_up_to > 0) {
    ASSERT_FALSE(got.counts.empty());
    for (std::size_t w = 0; w < got.counts.size(); ++w) ASSERT_EQ(got.counts[w], a[w]) << describe(code) << " A_" << w;
    // Counts stop at the support: heavier words do not exist.
    for (std::size_t w = got.counts.size(); w < a.size() && static_cast<int>(w) <= goal.count_up_to; ++w)
      ASSERT_EQ(a[w], 0U) << describe(code) << " A_" << w;
  }
}

TEST(InfosetTest, RandomCodesOfEveryFieldMatchTheirDistributions) {
  std::mt19937_64 rng(21);
  int codes = 0;
  for (const int q : kFields) {
    const int most_k = q == 2 ? 9 : q <= 4 ? 6 : 5;
    for (int trial = 0; trial < 500; ++trial) {
      const int k = 1 + static_cast<int>(rng() % static_cast<unsigned>(most_k));
      const std::int64_t n = static_cast<std::int64_t>(rng() % 17);
      const wdist::Code code = wdist_test::awkward_random_code(q, k, n, rng);
      const std::vector<std::uint64_t> a = distribution_of(code);
      SearchGoal goal;
      goal.minimum_distance = trial % 4 != 3;
      goal.count_up_to = trial % 2 == 0 ? static_cast<int>(rng() % static_cast<unsigned>(n + 2)) : 0;
      expect_matches(code, goal, wdist_test::search_code(code, goal), a);
      ++codes;
    }
  }
  EXPECT_EQ(codes, 2500);
}

TEST(InfosetTest, EverySimdPathAndTheRowWalkGiveTheSameResults) {
  std::mt19937_64 rng(22);
  for (const int q : kFields)
    for (int trial = 0; trial < 40; ++trial) {
      const int k = 3 + static_cast<int>(rng() % 6);
      const wdist::Code code = wdist_test::random_code(q, k, 2 * k + static_cast<std::int64_t>(rng() % 70), rng);
      const SearchGoal goal{true, 4};
      const SearchOutcome reference = wdist_test::search_code(code, goal);
      for (const wdist::SimdPath path : wdist_test::offered_paths()) {
        wdist_test::ForcedPath forced(path);
        for (const bool drop : {false, true}) {
          SearchShape shape;
          shape.drop_pair_tables = drop;
          const SearchOutcome got = wdist_test::search_code(code, goal, shape);
          ASSERT_EQ(got.upper, reference.upper) << describe(code);
          ASSERT_EQ(got.witness, reference.witness) << wdist::simd_path_name(path) << " " << describe(code);
          ASSERT_EQ(got.counts, reference.counts);
        }
      }
    }
}

// Codes too large to enumerate here, against the library's complete
// distribution (the transforms): every count up to a third of the length.
TEST(InfosetTest, LowWeightCountsMatchTheCompleteDistribution) {
  std::mt19937_64 rng(30);
  struct Shape {
    int q, k;
    std::int64_t n;
  };
  for (const Shape s : {Shape{2, 20, 40}, Shape{2, 24, 48}, Shape{2, 28, 44}, Shape{3, 10, 22}, Shape{3, 12, 20},
                        Shape{4, 8, 18}, Shape{5, 7, 15}, Shape{7, 6, 13}})
    for (int trial = 0; trial < 2; ++trial) {
      const wdist::Code code = wdist_test::awkward_random_code(s.q, s.k, s.n, rng);
      wdist::Distribution all;
      wdist::Options options;
      options.threads = 1;
      ASSERT_TRUE(wdist::weight_distribution(code, options, all));
      std::vector<std::uint64_t> a;
      for (const mpz_class& x : all.counts) a.push_back(x.get_ui());
      const SearchGoal goal{trial == 0, static_cast<int>(s.n / 3)};
      expect_matches(code, goal, wdist_test::search_code(code, goal), a);
    }
}

// Larger codes, where levels have many units, checked against each other:
// the planned split, random ranges merged in random order with random
// hints, single messages, and units run in random order into tallies that
// already hold other units' results.
TEST(InfosetTest, AnySplitMergeOrderAndHintGiveTheSameResult) {
  std::mt19937_64 rng(23);
  std::vector<wdist::Code> codes;
  struct Shape {
    int q, k;
    std::int64_t n;
  };
  for (const Shape s : {Shape{2, 16, 36}, Shape{2, 20, 41}, Shape{2, 24, 70}, Shape{3, 10, 22}, Shape{4, 8, 18},
                        Shape{5, 7, 15}, Shape{7, 6, 13}, Shape{2, 30, 100}})
    for (int trial = 0; trial < 3; ++trial) codes.push_back(wdist_test::random_code(s.q, s.k, s.n, rng));
  // Many words of least weight, several in one level: which one is the
  // witness then depends on the order alone.
  codes.push_back(wdist_test::disguised(wdist_test::binary_golay_code(), rng));
  codes.push_back(wdist_test::disguised(wdist_test::ternary_golay_code(), rng));
  codes.push_back(wdist_test::hamming_code(2, 5, &rng));
  codes.push_back(wdist_test::hamming_code(4, 3, &rng));
  codes.push_back(wdist_test::reed_muller_code(2, 6));
  for (const wdist::Code& code : codes) {
    const SearchGoal goal{true, static_cast<int>(code.n / 4)};
    const SearchOutcome planned = wdist_test::search_code(code, goal);
    ASSERT_TRUE(planned.finished);
    ASSERT_TRUE(is_codeword(code, planned.witness));
    ASSERT_EQ(weight_of(planned.witness), planned.upper);
    for (int variant = 0; variant < 4; ++variant) {
      SearchShape shape;
      shape.seed = rng();
      shape.split = variant == 2 ? SearchShape::Split::single_items : SearchShape::Split::random_ranges;
      shape.shuffle_merges = true;
      shape.shared_tallies = variant == 3;
      shape.random_hints = variant != 0;
      shape.hint_floor = planned.upper;
      const SearchOutcome got = wdist_test::search_code(code, goal, shape);
      ASSERT_EQ(got.upper, planned.upper) << describe(code);
      ASSERT_EQ(got.lower, planned.lower);
      ASSERT_EQ(got.witness, planned.witness) << "variant " << variant << " " << describe(code);
      ASSERT_EQ(got.counts, planned.counts);
      ASSERT_EQ(got.levels, planned.levels);
    }
  }
}

// ---- Codes of known minimum distance.

void expect_minimum(const wdist::Code& code, std::int64_t d, std::uint64_t minimum_words, const std::string& name) {
  const SearchOutcome got = wdist_test::search_code(code, SearchGoal{true, static_cast<int>(d)});
  ASSERT_TRUE(got.finished) << name;
  EXPECT_EQ(got.upper, d) << name;
  EXPECT_EQ(got.lower, d) << name;
  ASSERT_EQ(got.counts.size(), static_cast<std::size_t>(d) + 1) << name;
  EXPECT_EQ(got.counts[0], 1U) << name;
  for (std::int64_t w = 1; w < d; ++w) EXPECT_EQ(got.counts[static_cast<std::size_t>(w)], 0U) << name;
  EXPECT_EQ(got.counts[static_cast<std::size_t>(d)], minimum_words) << name;
  EXPECT_EQ(weight_of(got.witness), d) << name;
  EXPECT_TRUE(is_codeword(code, got.witness)) << name;
}

TEST(InfosetTest, GolayCodes) {
  expect_minimum(wdist_test::binary_golay_code(), 8, 759, "extended binary Golay [24,12,8]");
  expect_minimum(wdist_test::ternary_golay_code(), 6, 264, "extended ternary Golay [12,6,6]");
  std::mt19937_64 rng(24);
  for (int i = 0; i < 5; ++i) {
    expect_minimum(wdist_test::disguised(wdist_test::binary_golay_code(), rng), 8, 759, "disguised binary Golay");
    expect_minimum(wdist_test::disguised(wdist_test::ternary_golay_code(), rng), 6, 264, "disguised ternary Golay");
  }
}

TEST(InfosetTest, ReedMullerCodes) {
  EXPECT_EQ(wdist_test::reed_muller_minimum_words(3, 7), 94488U);
  EXPECT_EQ(wdist_test::reed_muller_minimum_words(2, 7), 10668U);
  int searched = 0;
  for (int m = 1; m <= 8; ++m)
    for (int r = 0; r <= m; ++r) {
      const wdist::Code code = wdist_test::reed_muller_code(r, m);
      const std::int64_t d = std::int64_t{1} << (m - r);
      // The ones within a unit test's time (the rest are benchmarks:
      // bench/search_targets).
      const wdist::SearchEstimate e =
          wdist::estimate_search_shape(2, code.n, code.k, SearchGoal{true, static_cast<int>(d)}, d);
      if (e.items > 3e7) continue;
      expect_minimum(code, d, wdist_test::reed_muller_minimum_words(r, m), "RM(" + std::to_string(r) + "," + std::to_string(m) + ")");
      ++searched;
    }
  EXPECT_GE(searched, 30);
}

TEST(InfosetTest, HammingCodesOfEveryField) {
  std::mt19937_64 rng(25);
  struct Family {
    int q, m;
  };
  for (const Family f : {Family{2, 3}, Family{2, 4}, Family{2, 5}, Family{2, 6}, Family{2, 7}, Family{3, 2},
                         Family{3, 3}, Family{3, 4}, Family{4, 2}, Family{4, 3}, Family{5, 2}, Family{5, 3},
                         Family{7, 2}}) {
    const wdist_test::Counts a = wdist_test::hamming_weights(f.q, f.m);
    for (const bool shuffled : {false, true}) {
      const wdist::Code code = wdist_test::hamming_code(f.q, f.m, shuffled ? &rng : nullptr);
      expect_minimum(code, 3, a[3].get_ui(), "Hamming q " + std::to_string(f.q) + " m " + std::to_string(f.m));
    }
  }
}

// ---- Small and degenerate codes.

TEST(InfosetTest, DegenerateCodes) {
  const auto search = [](int q, int k, std::int64_t n, std::vector<ElemCode> entries, SearchGoal goal) {
    return wdist_test::search_code(wdist::Code{q, k, n, std::move(entries)}, goal);
  };
  // The zero code: nothing to find, finished at once, A_0 = 1.
  SearchOutcome zero = search(3, 2, 4, std::vector<ElemCode>(8, 0), SearchGoal{true, 3});
  EXPECT_TRUE(zero.finished);
  EXPECT_EQ(zero.upper, -1);
  EXPECT_EQ(zero.lower, -1);
  EXPECT_TRUE(zero.witness.empty());
  EXPECT_EQ(zero.counts, (std::vector<std::uint64_t>{1}));
  EXPECT_EQ(zero.sets, 0);
  // No columns at all.
  SearchOutcome empty = search(2, 3, 0, {}, SearchGoal{true, 2});
  EXPECT_TRUE(empty.finished);
  EXPECT_EQ(empty.upper, -1);
  // The whole space F_5^3 with two zero columns: d = 1, A_1 = 3 * 4.
  SearchOutcome whole = search(5, 3, 5, {1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 4}, SearchGoal{true, 1});
  EXPECT_EQ(whole.upper, 1);
  EXPECT_EQ(whole.counts, (std::vector<std::uint64_t>{1, 12}));
  // The repetition code [9,1,9] over F_4: one set per column.
  SearchOutcome repetition = search(4, 1, 9, std::vector<ElemCode>(9, 3), SearchGoal{true, 9});
  EXPECT_EQ(repetition.upper, 9);
  EXPECT_EQ(repetition.sets, 9);
  EXPECT_EQ(repetition.counts.back(), 3U);
  // A goal of nothing is reached before any level.
  SearchOutcome nothing = search(2, 2, 3, {1, 1, 0, 0, 1, 1}, SearchGoal{false, 0});
  EXPECT_TRUE(nothing.finished);
  EXPECT_EQ(nothing.levels, 0U);
}

TEST(InfosetTest, FieldsWithoutArithmeticAreRefused) {
  for (const int q : {0, 1, 6, 10, 12, 257}) {
    wdist::Code code{q, 1, 2, {1, 1}};
    const SearchOutcome got = wdist_test::search_code(code, SearchGoal{});
    EXPECT_FALSE(got.planned) << q;
    EXPECT_NE(got.refusal.find("F_" + std::to_string(q)), std::string::npos) << got.refusal;
  }
}

// ---- The plan against its definition.

TEST(InfosetTest, SetsAreInformationSetsWithDisjointOwnColumns) {
  std::mt19937_64 rng(26);
  for (const int q : kFields)
    for (int trial = 0; trial < 60; ++trial) {
      const int k = 1 + static_cast<int>(rng() % 8);
      const wdist::Code code = wdist_test::awkward_random_code(q, k, static_cast<std::int64_t>(rng() % 40), rng);
      std::vector<const ElemCode*> pointers;
      wdist::SearchPlan plan;
      std::string refusal;
      ASSERT_TRUE(wdist::plan_search(wdist_test::view_of_code(code, pointers), SearchGoal{true, 3}, plan, refusal));
      ASSERT_EQ(plan.dimension, wdist_test::rank_ref(q, code.n, code.entries));
      std::vector<int> owner(static_cast<std::size_t>(code.n), -1);
      std::int64_t support = 0;
      for (std::int64_t j = 0; j < code.n; ++j)
        for (int i = 0; i < k; ++i)
          if (code.entries[static_cast<std::size_t>(i * code.n + j)] != 0) {
            ++support;
            break;
          }
      ASSERT_EQ(plan.support, support);
      for (std::size_t s = 0; s < plan.sets.size(); ++s) {
        const wdist::InformationSet& set = plan.sets[s];
        ASSERT_EQ(set.info_columns.size(), static_cast<std::size_t>(plan.dimension));
        ASSERT_EQ(set.info_columns.size() + set.redundancy_columns.size(), static_cast<std::size_t>(support));
        ASSERT_GE(set.own, 1);
        // The code restricted to the set's columns has full rank.
        std::vector<ElemCode> restricted;
        for (int i = 0; i < k; ++i)
          for (const std::int64_t c : set.info_columns) restricted.push_back(code.entries[static_cast<std::size_t>(i * code.n + c)]);
        ASSERT_EQ(wdist_test::rank_ref(q, plan.dimension, restricted), plan.dimension);
        // Own columns first, in no earlier set's own columns; the rest are.
        for (int j = 0; j < plan.dimension; ++j) {
          const auto c = static_cast<std::size_t>(set.info_columns[static_cast<std::size_t>(j)]);
          if (j < set.own) {
            ASSERT_EQ(owner[c], -1);
            owner[c] = static_cast<int>(s);
          } else {
            ASSERT_NE(owner[c], -1);
            ASSERT_LT(owner[c], static_cast<int>(s));
          }
        }
      }
      // Every nonzero column is some set's own (fewer sets than the cap).
      if (plan.sets.size() < static_cast<std::size_t>(wdist::kMostSets))
        for (std::int64_t j = 0; j < code.n; ++j) {
          bool nonzero = false;
          for (int i = 0; i < k; ++i) nonzero = nonzero || code.entries[static_cast<std::size_t>(i * code.n + j)] != 0;
          ASSERT_EQ(owner[static_cast<std::size_t>(j)] >= 0, nonzero);
        }
    }
}

// Along the way, after every level, the bounds hold the true distance.
TEST(InfosetTest, BoundsHoldTheDistanceAfterEveryLevel) {
  std::mt19937_64 rng(27);
  for (const int q : kFields)
    for (int trial = 0; trial < 30; ++trial) {
      const int k = 2 + static_cast<int>(rng() % (q == 2 ? 7 : q <= 4 ? 4 : 3));
      const wdist::Code code = wdist_test::awkward_random_code(q, k, k + static_cast<std::int64_t>(rng() % 14), rng);
      const std::vector<std::uint64_t> a = distribution_of(code);
      std::int64_t d = -1;
      for (std::size_t w = 1; w < a.size() && d < 0; ++w)
        if (a[w] != 0) d = static_cast<std::int64_t>(w);
      std::vector<const ElemCode*> pointers;
      wdist::SearchPlan plan;
      std::string refusal;
      ASSERT_TRUE(wdist::plan_search(wdist_test::view_of_code(code, pointers), SearchGoal{true, 0}, plan, refusal));
      wdist::SearchScratch scratch;
      ASSERT_TRUE(wdist::size_search_scratch(plan, scratch, refusal));
      wdist::SearchState state;
      wdist::begin_search(plan, state);
      wdist::SearchLevel level;
      std::int64_t previous = 0;
      while (wdist::next_level(plan, state, level) == wdist::NextLevel::run) {
        ASSERT_EQ(level.index, state.levels);
        wdist::SearchTally t = wdist::empty_search_tally(plan);
        wdist::run_search_unit(plan, level, 0, level.items, -1, scratch, t);
        wdist::finish_level(plan, level, t, state);
        std::int64_t lower = 0, upper = 0;
        wdist::distance_bounds(plan, state, lower, upper);
        ASSERT_LE(lower, d) << describe(code);
        ASSERT_TRUE(upper == -1 || upper >= d);
        ASSERT_GE(wdist::unseen_lower_bound(plan, state), previous);  // the bound never falls
        previous = wdist::unseen_lower_bound(plan, state);
      }
      ASSERT_TRUE(wdist::search_finished(plan, state));
    }
}

TEST(InfosetTest, LevelsTooLargeToNumberAreBeyondReach) {
  std::mt19937_64 rng(28);
  const wdist::Code code = wdist_test::random_code(2, 200, 400, rng);
  std::vector<const ElemCode*> pointers;
  wdist::SearchPlan plan;
  std::string refusal;
  ASSERT_TRUE(wdist::plan_search(wdist_test::view_of_code(code, pointers), SearchGoal{}, plan, refusal));
  wdist::SearchState state;
  wdist::begin_search(plan, state);
  for (int& done : state.done) done = 60;  // C(200, 61) > 2^64
  wdist::SearchLevel level;
  EXPECT_EQ(wdist::next_level(plan, state, level), wdist::NextLevel::beyond_reach);
  EXPECT_FALSE(wdist::estimate_search(plan, 120).reachable);
}

// ---- Estimates.

TEST(InfosetTest, EstimatesFollowTheLevels) {
  // The expected distance of random codes: near the Gilbert-Varshamov
  // distance, and never above the Singleton bound.
  // [24,12]: 2^-12 (24 + 276 + 2024) = 0.57 < ln 2 at d = 3, 3.2 at d = 4.
  EXPECT_EQ(wdist::expected_min_distance(2, 24, 12), 4);
  const std::int64_t d128 = wdist::expected_min_distance(2, 128, 64);
  EXPECT_GE(d128, 13);
  EXPECT_LE(d128, 17);
  EXPECT_EQ(wdist::expected_min_distance(2, 10, 10), 1);
  // [8,2] over F_7: 8 subcodes, 0.15 of them expected at weight <= 4, 0.75 at <= 5.
  EXPECT_EQ(wdist::expected_min_distance(7, 8, 2), 5);
  EXPECT_EQ(wdist::expected_min_distance(7, 3, 2), 2);  // 0.42 at d = 1; never above n - k + 1
  EXPECT_EQ(wdist::expected_min_distance(2, 5, 0), -1);

  // Counting levels do not depend on the data: the estimate of a counting
  // goal runs exactly the levels the search runs.
  std::mt19937_64 rng(29);
  for (const int q : kFields)
    for (int trial = 0; trial < 10; ++trial) {
      const int k = 3 + static_cast<int>(rng() % 6);
      const wdist::Code code = wdist_test::random_code(q, k, 2 * k + static_cast<std::int64_t>(rng() % 9), rng);
      const SearchGoal goal{false, 1 + static_cast<int>(rng() % 6)};
      const SearchOutcome got = wdist_test::search_code(code, goal);
      std::vector<const ElemCode*> pointers;
      wdist::SearchPlan plan;
      std::string refusal;
      ASSERT_TRUE(wdist::plan_search(wdist_test::view_of_code(code, pointers), goal, plan, refusal));
      const wdist::SearchEstimate e = wdist::estimate_search(plan, -1);
      EXPECT_EQ(e.levels, got.levels);
      EXPECT_DOUBLE_EQ(e.items, got.items);
      EXPECT_EQ(e.levels, plan.counting_levels);
    }
  // A generic code's sets are those the shape assumes; more distance, more work.
  const wdist::Code code = wdist_test::random_code(2, 32, 64, rng);
  std::vector<const ElemCode*> pointers;
  wdist::SearchPlan plan;
  std::string refusal;
  ASSERT_TRUE(wdist::plan_search(wdist_test::view_of_code(code, pointers), SearchGoal{}, plan, refusal));
  if (plan.dimension == 32 && plan.sets.size() == 2 && plan.sets[1].own == 32) {
    const wdist::SearchEstimate a = wdist::estimate_search(plan, 9);
    const wdist::SearchEstimate b = wdist::estimate_search_shape(2, 64, 32, SearchGoal{}, 9);
    EXPECT_EQ(a.levels, b.levels);
    EXPECT_DOUBLE_EQ(a.items, b.items);
  }
  double previous = 0;
  for (std::int64_t d = 2; d <= 14; ++d) {
    const wdist::SearchEstimate e = wdist::estimate_search(plan, d);
    EXPECT_GE(e.items, previous);
    previous = e.items;
  }
}

}  // namespace
