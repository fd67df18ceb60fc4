// The library's minimum distance (wdist/search.h) against the complete
// distribution of the same library: random codes of every field by both
// routes, the witness a codeword of weight d (solved for), low-weight
// counts; codes of known d and known numbers of minimum-weight words; the
// same result, witness included, on 1, 2 and 3 threads and after a stop
// and resume from the saved state; stops that keep their bounds; refusals
// before any work.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/code_families.h"
#include "support/search_runs.h"
#include "wdist/search.h"

namespace {

using wdist::ElemCode;
using wdist::SearchOptions;
using wdist::SearchResult;
using wdist::SearchRoute;

constexpr int kFields[] = {2, 3, 4, 5, 7};

using wdist_test::is_codeword;
using wdist_test::weight_of;

std::string describe(const wdist::Code& code) {
  return "q " + std::to_string(code.q) + " k " + std::to_string(code.k) + " n " + std::to_string(code.n);
}

SearchResult search(const wdist::Code& code, SearchOptions options) {
  SearchResult r;
  const wdist::Status s = wdist::minimum_distance(code, options, r);
  EXPECT_TRUE(s) << s.message << " " << describe(code);
  return r;
}

// A finished result against the code's complete distribution.
void expect_matches(const wdist::Code& code, const SearchResult& got, int up_to) {
  wdist::Distribution d;
  ASSERT_TRUE(wdist::weight_distribution(code, {}, d));
  const std::int64_t dist = wdist::min_distance(d);
  ASSERT_TRUE(got.complete) << describe(code);
  ASSERT_EQ(got.rank, d.rank);
  ASSERT_EQ(got.min_distance, dist) << describe(code);
  ASSERT_EQ(got.lower_bound, dist);
  ASSERT_EQ(got.upper_bound, dist);
  if (dist < 0) {
    ASSERT_TRUE(got.witness.empty());
  } else {
    ASSERT_EQ(got.witness.size(), static_cast<std::size_t>(code.n));
    ASSERT_EQ(weight_of(got.witness), dist);
    ASSERT_TRUE(is_codeword(code, got.witness)) << describe(code);
  }
  if (up_to > 0) {
    ASSERT_EQ(got.counts.size(), static_cast<std::size_t>(up_to) + 1);
    for (std::size_t w = 0; w < got.counts.size(); ++w)
      ASSERT_EQ(got.counts[w], w < d.counts.size() ? d.counts[w] : mpz_class(0)) << describe(code) << " A_" << w;
  }
}

TEST(LibrarySearchTest, RandomCodesOfEveryFieldByBothRoutes) {
  std::mt19937_64 rng(21);
  for (const int q : kFields)
    for (int trial = 0; trial < 40; ++trial) {
      const int k = 1 + static_cast<int>(rng() % 6);
      const std::int64_t n = 1 + static_cast<std::int64_t>(rng() % 14);
      const wdist::Code code = wdist_test::awkward_random_code(q, k, n, rng);
      const int up_to = trial % 3 == 0 ? static_cast<int>(rng() % 6) : 0;
      for (const SearchRoute route : {SearchRoute::information_sets, SearchRoute::complete}) {
        SearchOptions o;
        o.threads = 1 + static_cast<unsigned>(trial % 2);
        o.route = route;
        o.weights_up_to = up_to;
        o.minimum_distance = trial % 5 != 1 || up_to == 0;
        const SearchResult got = search(code, o);
        if (!o.minimum_distance) {
          // Counts alone: exact, and d filled once they meet a codeword
          // (or always, from the complete distribution).
          wdist::Distribution d;
          ASSERT_TRUE(wdist::weight_distribution(code, {}, d));
          for (std::size_t w = 0; w < got.counts.size(); ++w)
            ASSERT_EQ(got.counts[w], w < d.counts.size() ? d.counts[w] : mpz_class(0));
          const std::int64_t dist = wdist::min_distance(d);
          const bool known = route == SearchRoute::complete || (dist >= 1 && dist <= up_to);
          ASSERT_EQ(got.min_distance, known ? dist : -1) << describe(code);
          continue;
        }
        expect_matches(code, got, up_to);
        ASSERT_EQ(got.method == wdist::SearchMethod::information_sets, route == SearchRoute::information_sets);
      }
    }
}

TEST(LibrarySearchTest, KnownCodes) {
  SearchOptions o;
  o.threads = 2;
  o.route = SearchRoute::information_sets;
  o.weights_up_to = 8;
  SearchResult golay = search(wdist_test::binary_golay_code(), o);
  EXPECT_EQ(golay.min_distance, 8);
  EXPECT_EQ(golay.counts[8], 759);
  EXPECT_EQ(golay.counts[7], 0);
  o.weights_up_to = 6;
  SearchResult ternary = search(wdist_test::ternary_golay_code(), o);
  EXPECT_EQ(ternary.min_distance, 6);
  EXPECT_EQ(ternary.counts[6], 264);
  o.weights_up_to = 0;
  for (const int q : kFields) {
    const wdist::Code hamming = wdist_test::hamming_code(q, 3, nullptr);
    const SearchResult h = search(hamming, o);
    EXPECT_EQ(h.min_distance, 3) << q;
    EXPECT_TRUE(is_codeword(hamming, h.witness)) << q;
  }
  // RM(2, 6) [64, 22, 16] and its 2604 words of weight 16.
  o.weights_up_to = 16;
  const SearchResult rm = search(wdist_test::reed_muller_code(2, 6), o);
  EXPECT_EQ(rm.min_distance, 16);
  EXPECT_EQ(rm.counts[16], wdist_test::reed_muller_minimum_words(2, 6));
}

TEST(LibrarySearchTest, SameResultOnAnyNumberOfThreads) {
  std::mt19937_64 rng(5);
  const wdist::Code binary = wdist_test::random_code(2, 24, 48, rng);
  const wdist::Code ternary = wdist_test::random_code(3, 12, 24, rng);
  for (const wdist::Code* code : {&binary, &ternary}) {
    SearchOptions o;
    o.route = SearchRoute::information_sets;
    o.weights_up_to = 10;
    o.threads = 1;
    const SearchResult one = search(*code, o);
    ASSERT_TRUE(one.complete);
    for (const unsigned threads : {2U, 3U}) {
      o.threads = threads;
      const SearchResult got = search(*code, o);
      EXPECT_EQ(got.min_distance, one.min_distance);
      EXPECT_EQ(got.witness, one.witness) << threads;
      EXPECT_EQ(got.counts, one.counts);
    }
  }
}

// Saved searches resumed in a new run give the same result, in both
// forms (the one a cluster hands on and the one a checkpoint keeps): a
// search not begun, one whose first level has its units done (computed
// here as another process would) and its hook not yet run, one saved when
// it had finished, and the form a level without units done once took
// (its empty tally kept). A search that is not this code's is refused.
TEST(LibrarySearchTest, ResumedSearchesGiveTheSameResult) {
  std::mt19937_64 rng(8);
  const wdist::Code code = wdist_test::random_code(2, 20, 44, rng);
  SearchOptions o;
  o.route = SearchRoute::information_sets;
  o.weights_up_to = 9;
  o.threads = 1;
  const SearchResult whole = search(code, o);
  ASSERT_TRUE(whole.complete);
  const auto plan = [&] {
    std::shared_ptr<wdist::SearchRun> run;
    EXPECT_TRUE(wdist::SearchRun::plan(code, o, run));
    return run;
  };
  const auto resumes_to_the_end = [&](const char* what, const wdist::SearchRun::Saved* saved,
                                      const wdist::UnitProgress* progress) {
    SCOPED_TRACE(what);
    const std::shared_ptr<wdist::SearchRun> again = plan();
    std::shared_ptr<wdist::Job> resumed;
    const wdist::Status s = saved != nullptr ? wdist::SearchRun::resume(again, *saved, resumed)
                                             : wdist::SearchRun::resume_from_progress(again, *progress, resumed);
    ASSERT_TRUE(s) << s.message;
    wdist::Executor executor(2);
    executor.add(resumed);
    // A bound on the rounds (a minute of computing; the code takes well
    // under a second), so that a fault fails instead of hanging.
    bool finished = false;
    for (int round = 0; round < 600 && !finished; ++round)
      finished = executor.compute_until(*resumed, std::chrono::milliseconds(100));
    ASSERT_TRUE(finished);
    ASSERT_TRUE(resumed->status());
    SearchResult got;
    ASSERT_TRUE(again->result(*resumed, got));
    EXPECT_EQ(got.min_distance, whole.min_distance);
    EXPECT_EQ(got.witness, whole.witness);
    EXPECT_EQ(got.counts, whole.counts);
  };
  const auto both_forms = [&](const char* what, const std::shared_ptr<wdist::SearchRun>& run, const wdist::Job& job) {
    const wdist::SearchRun::Saved saved = run->save(job);
    const wdist::UnitProgress progress = run->save_as_progress(job);
    resumes_to_the_end(what, &saved, nullptr);
    resumes_to_the_end(what, nullptr, &progress);
    return progress;
  };

  const std::shared_ptr<wdist::SearchRun> fresh = plan();
  const wdist::UnitProgress not_begun = both_forms("not begun", fresh, *wdist::SearchRun::job(fresh));

  // The first level's units, computed here: the resumed job holds them
  // and awaits its hook.
  wdist::Plan level;
  ASSERT_TRUE(fresh->plan_of_level(0, level));
  wdist::SearchRun::Saved first = fresh->save(*wdist::SearchRun::job(fresh));
  first.level.plan_identity = level.summary.identity;
  first.level.units = level.summary.units;
  first.level.done = {wdist::UnitRange{0, level.summary.units}};
  wdist::Worker worker;
  ASSERT_TRUE(wdist::run_units(level, 0, level.summary.units, worker, first.level.total));
  const std::shared_ptr<wdist::SearchRun> run = plan();
  std::shared_ptr<wdist::Job> job;
  ASSERT_TRUE(wdist::SearchRun::resume(run, first, job));
  EXPECT_EQ(job->counts().done, level.summary.units);
  both_forms("first level done", run, *job);

  {
    wdist::Executor executor(1);
    executor.add(job);
    for (int round = 0; round < 600 && !job->finished(); ++round)
      executor.compute_until(*job, std::chrono::milliseconds(100));
    ASSERT_TRUE(job->finished());
  }
  both_forms("finished", run, *job);

  // Not begun, with a level's tally of no units after the state.
  wdist::UnitProgress with_empty_level = not_begun;
  with_empty_level.total.counts.resize(not_begun.total.counts.size() + first.total.counts.size(), 0);
  resumes_to_the_end("an empty level's tally", nullptr, &with_empty_level);
  // Cut short or lengthened otherwise: refused.
  std::shared_ptr<wdist::Job> refused;
  for (const std::size_t extra : {std::size_t{1}, first.total.counts.size() + 1}) {
    wdist::UnitProgress longer = not_begun;
    longer.total.counts.resize(not_begun.total.counts.size() + extra, 0);
    EXPECT_EQ(wdist::SearchRun::resume_from_progress(plan(), longer, refused).code, wdist::StatusCode::invalid_code);
  }

  std::shared_ptr<wdist::SearchRun> other;
  ASSERT_TRUE(wdist::SearchRun::plan(wdist_test::random_code(2, 20, 44, rng), o, other));
  EXPECT_EQ(wdist::SearchRun::resume_from_progress(other, not_begun, refused).code, wdist::StatusCode::invalid_code);
}

TEST(LibrarySearchTest, StopsKeepTheirBounds) {
  const wdist::Code golay = wdist_test::binary_golay_code();
  SearchOptions o;
  o.route = SearchRoute::information_sets;
  o.threads = 1;
  const SearchResult whole = search(golay, o);
  ASSERT_TRUE(whole.complete);
  ASSERT_GT(whole.work, 0);
  // A limit below the work done stops at a level boundary with what is proven.
  o.max_work = whole.work - 1;
  SearchResult r;
  const wdist::Status s = wdist::minimum_distance(golay, o, r);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work) << s.message;
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(r.min_distance, -1);
  EXPECT_LE(r.lower_bound, 8);
  EXPECT_LT(r.lower_bound, r.upper_bound);
  if (r.upper_bound >= 0) {
    EXPECT_GE(r.upper_bound, 8);
    EXPECT_EQ(weight_of(r.witness), r.upper_bound);
    EXPECT_TRUE(is_codeword(golay, r.witness));
  }
  // A limit far below the estimate refuses before any work.
  o.max_work = 10;
  EXPECT_EQ(wdist::minimum_distance(golay, o, r).code, wdist::StatusCode::too_much_work);
  // Cancelled before it begins.
  std::atomic<bool> cancel{true};
  o.max_work = 0x1p40;
  o.cancel = &cancel;
  EXPECT_EQ(wdist::minimum_distance(golay, o, r).code, wdist::StatusCode::cancelled);
  // Invalid codes.
  wdist::Code bad{6, 1, 2, {1, 1}};
  EXPECT_EQ(wdist::minimum_distance(bad, {}, r).code, wdist::StatusCode::invalid_code);
}

TEST(LibrarySearchTest, TheCheaperRouteIsChosen) {
  std::mt19937_64 rng(3);
  // A long code of dimension 2: four messages, where the search walks
  // words of 2000 columns.
  const SearchResult small = search(wdist_test::random_code(2, 2, 2000, rng), {});
  EXPECT_NE(small.method, wdist::SearchMethod::information_sets);
  EXPECT_EQ(weight_of(small.witness), small.min_distance);
  // [96, 48]: 2^48 messages either way, the search far less.
  SearchOptions o;
  o.max_work = 0x1p40;
  const wdist::Code large = wdist_test::random_code(2, 48, 96, rng);
  std::shared_ptr<wdist::SearchRun> run;
  ASSERT_TRUE(wdist::SearchRun::plan(large, o, run));
  EXPECT_FALSE(run->complete_route());
}

}  // namespace
