// Records on threads and block by block: every route (binary table and
// blocks, F_4 through its binary image, projective table and blocks) on
// codes of known distribution at dimensions the brute force cannot reach,
// for 1, 2 and 3 threads; units done elsewhere or before (a resumed
// checkpoint, another rank) added to those of the executor; and many small
// records on one pool.
#include <gtest/gtest.h>

#ifdef __linux__
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "library/executor.h"
#include "library/planned_record.h"
#include "support/known_sums.h"
#include "support/library_codes.h"
#include "wdist/plan.h"

namespace {

using namespace wdist_test;

// The plan computed by an executor of `threads` threads, the calling
// thread among them.
wdist::Distribution on_threads(const wdist::Plan& plan, unsigned threads, std::shared_ptr<wdist::Job> job = nullptr) {
  wdist::Executor executor(threads);
  if (!job) job = std::make_shared<wdist::Job>(plan);
  executor.add(job);
  while (!executor.wait(*job, std::chrono::milliseconds(1000))) {
  }
  std::lock_guard<std::mutex> lock(job->mutex);
  EXPECT_TRUE(job->status) << job->status.message;
  return job->result;
}

struct RouteCase {
  int q;
  std::vector<Part> parts;
  std::uint64_t budget;  // UINT64_MAX (tables), the library's own, 0 (blocks)
  const char* route;
};

TEST(StreamedRecords, KnownSumsOnEveryRouteAndThreadCount) {
  constexpr std::uint64_t kTables = UINT64_MAX, kLibrary = wdist::kLibraryTableBudget;
  // Block routes of a few units each (1 on the table routes), small
  // enough for the sanitizer builds.
  const RouteCase cases[] = {
      {2, {{7, 12}, {6, 10}, {5, 10}, {5, 10}}, kLibrary, "binary blocks"},  // K = 23
      {2, {{8, 20}, {8, 20}}, 0, "binary table"},  // a table of one block: no blocks to take
      {4, {{4, 7}, {4, 7}, {4, 7}}, kLibrary, "binary blocks"},  // F_4, K = 24
      {4, {{4, 7}, {3, 6}}, kTables, "binary table"},
      {3, {{4, 8}, {4, 8}, {4, 8}}, kTables, "projective table"},
      {3, {{5, 10}, {5, 10}, {4, 8}}, kLibrary, "projective blocks"},
      {5, {{3, 6}, {3, 6}, {2, 5}}, kTables, "projective table"},
      {5, {{4, 8}, {3, 6}, {3, 6}}, kLibrary, "projective blocks"},
      {7, {{3, 6}, {2, 5}, {2, 5}}, kTables, "projective table"},
      {7, {{3, 6}, {3, 6}, {3, 6}}, kLibrary, "projective blocks"},
  };
  std::mt19937_64 rng(44);
  for (const RouteCase& c : cases) {
    const KnownCode known = mixed_direct_sum(rng, c.q, c.parts, 2);
    SCOPED_TRACE("q=" + std::to_string(c.q) + " k=" + std::to_string(known.code.k) + " " + c.route);
    wdist::Options options;
    options.dual = wdist::DualRoute::never;
    for (bool projective : {false, true}) {
      options.projective = projective;
      wdist::Plan plan;
      ASSERT_TRUE(wdist::plan_record_with_budget(known.code, options, c.budget, plan));
      EXPECT_STREQ(wdist::route_name(plan.summary.route), c.route);
      const bool blocks = std::string(c.route).find("blocks") != std::string::npos;
      if (blocks) {
        EXPECT_GE(plan.summary.units, 2u);
      }
      const std::vector<mpz_class> expected = projective ? per_subcode(known.counts, c.q) : known.counts;
      // A table is one unit: one thread tells all. The bias of one count
      // per point: once per route. (One thread against several on every
      // route: BlockRoutesAndThreadCountsGiveTheSameCounts.)
      std::vector<unsigned> thread_counts = {1};
      if (blocks) thread_counts = {projective ? 2u : 3u};
      for (unsigned threads : thread_counts) {
        const wdist::Distribution d = on_threads(plan, threads);
        EXPECT_EQ(d.counts, expected) << threads << " threads, projective " << projective;
        EXPECT_EQ(d.rank, known.rank);
      }
    }
  }
}

// Units done before (restored, as from a checkpoint) and units another
// process claims and completes while the pool runs: together the record.
TEST(StreamedRecords, UnitsDoneElsewhereAddUpWithThePools) {
  std::mt19937_64 rng(45);
  const KnownCode known = mixed_direct_sum(rng, 2, {{9, 14}, {8, 12}, {8, 12}});
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(known.code, options, plan));
  const std::uint64_t units = plan.summary.units;
  ASSERT_GE(units, 8u) << wdist::route_name(plan.summary.route);

  // Every third unit done before.
  std::vector<bool> done(units, false);
  wdist::Tally before = wdist::empty_tally(plan);
  wdist::Worker worker;
  for (std::uint64_t u = 0; u < units; u += 3) {
    ASSERT_TRUE(wdist::run_units(plan, u, 1, worker, before));
    done[u] = true;
  }
  auto job = std::make_shared<wdist::Job>(plan);
  wdist::restore_done(*job, done, before, 0);
  EXPECT_EQ(job->restored, (units + 2) / 3);
  // Two units claimed and completed outside the pool, as another rank would.
  std::uint64_t first = 0, count = 0;
  ASSERT_TRUE(wdist::claim_units(*job, 2, first, count));
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(count, 2u);  // unit 3 is done: the claim stops before it
  wdist::Tally elsewhere = wdist::empty_tally(plan);
  ASSERT_TRUE(wdist::run_units(plan, first, count, worker, elsewhere));
  EXPECT_FALSE(wdist::complete_units(*job, first, count, elsewhere, wdist::Status{}));
  EXPECT_EQ(on_threads(plan, 2, job).counts, known.counts);

  // Every unit restored: finished at once, nothing to run.
  wdist::Tally all;
  {
    std::lock_guard<std::mutex> lock(job->mutex);
    all = job->total;
  }
  auto whole = std::make_shared<wdist::Job>(plan);
  wdist::restore_done(*whole, std::vector<bool>(units, true), all, 0);
  std::lock_guard<std::mutex> lock(whole->mutex);
  EXPECT_TRUE(whole->finished);
  EXPECT_EQ(whole->result.counts, known.counts);
}

template <class Count>
std::string counts_text(const std::vector<Count>& counts) {
  std::string text;
  for (const Count& c : counts) text += mpz_class(c).get_str() + " ";
  return text;
}

// Work taken for another process from the owner's look, as the MPI driver
// takes it: small records whole (computed there and finished with their
// text) and ranges of a large record's units (computed there as jobs of a
// range, their tallies completed here), while the pool computes the rest.
TEST(StreamedRecords, WorkTakenElsewhereFromTheLookAddsUp) {
  std::mt19937_64 rng(47);
  const KnownCode large = mixed_direct_sum(rng, 2, {{9, 14}, {8, 12}, {8, 12}});
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  // A renderer finds the counts of a record finished without big integers
  // beside the result.
  const auto render = [](const wdist::Job& job, std::string& text) {
    text = job.small_counts ? counts_text(job.counts64) : counts_text(job.result.counts);
    return wdist::Status{};
  };
  struct Case {
    std::shared_ptr<wdist::Job> job;
    std::string expected;
  };
  std::vector<Case> cases;
  for (int i = 0; i < 40; ++i) {
    const KnownCode small = i == 20 ? large : mixed_direct_sum(rng, 2 + i % 2, {{1 + i % 4, 6}, {2, 5}});
    Case c{std::make_shared<wdist::Job>(small.code, options), counts_text(small.counts)};
    c.job->render = render;
    cases.push_back(c);
  }
  wdist::Executor executor(2), elsewhere(1);
  std::uint64_t whole = 0, ranges = 0;
  executor.set_look(
      [&] {
        wdist::Executor::ElsewhereClaim claim;
        if (!executor.claim_elsewhere(3, 0x1p6, claim)) return;
        if (claim.whole) {
          ++whole;
          wdist::Distribution d;
          const wdist::Status s = wdist::weight_distribution(claim.job->code, options, d);
          wdist::finish_elsewhere(*claim.job, s, counts_text(d.counts), 0);
          return;
        }
        ++ranges;
        auto range = std::make_shared<wdist::Job>(claim.job->plan, claim.first, claim.count);
        elsewhere.add(range);
        while (!elsewhere.wait(*range, std::chrono::milliseconds(1000))) {
        }
        std::lock_guard<std::mutex> lock(range->mutex);
        ASSERT_TRUE(range->status);
        EXPECT_EQ(range->done_count, range->units);
        wdist::complete_units(*claim.job, claim.first, claim.count, range->total, range->status);
      },
      std::chrono::microseconds(100));
  for (const Case& c : cases) executor.add(c.job);
  for (const Case& c : cases) {
    while (!executor.wait(*c.job, std::chrono::milliseconds(1000))) {
    }
    std::lock_guard<std::mutex> lock(c.job->mutex);
    ASSERT_TRUE(c.job->status) << c.job->status.message;
    EXPECT_EQ(c.job->rendered, c.expected);
  }
  EXPECT_GT(whole, 0u);
  EXPECT_GT(ranges, 0u);
}

// Small records as a file brings them: planned by the pool's threads
// (jobs of a code) or before (jobs of a plan), among them one above the
// work limit and a zero code.
TEST(StreamedRecords, ManySmallRecordsOnOnePool) {
  std::mt19937_64 rng(46);
  constexpr int kFields[] = {2, 3, 4, 5, 7};
  struct Small {
    std::shared_ptr<wdist::Job> job;
    Weights expected;
    wdist::StatusCode status = wdist::StatusCode::ok;
  };
  wdist::Options options;
  options.max_work = 1e6;
  for (unsigned threads : {1u, 2u, 3u}) {
    wdist::Executor executor(threads);
    std::vector<Small> records;
    for (int i = 0; i < 150; ++i) {
      const int q = kFields[i % 5];
      TestCode t = random_code(rng, q, 1 + static_cast<int>(rng() % 5), 1 + static_cast<int>(rng() % 12), i % 7 == 3, i % 4);
      if (i == 50) t = random_code(rng, 2, 24, 60, false, 0);  // 2^24 messages, above the limit
      if (i == 51) t = TestCode{2, 3, 2, {{0, 0, 0}, {0, 0, 0}}};  // the zero code: nothing to count
      Small r;
      int rank = 0;
      if (i == 50) {
        r.status = wdist::StatusCode::too_much_work;
      } else {
        r.expected = codeword_weights(t, rank);
      }
      if (i % 2 == 0) {
        r.job = std::make_shared<wdist::Job>(to_code(t), options);
      } else {
        wdist::Plan plan;
        ASSERT_TRUE(wdist::plan_record(to_code(t), options, plan));
        r.job = std::make_shared<wdist::Job>(plan);
      }
      executor.add(r.job);
      records.push_back(std::move(r));
    }
    for (const Small& r : records) {
      while (!executor.wait(*r.job, std::chrono::milliseconds(1000))) {
      }
      std::lock_guard<std::mutex> lock(r.job->mutex);
      ASSERT_EQ(r.job->status.code, r.status) << r.job->status.message;
      if (r.status == wdist::StatusCode::ok) {
        EXPECT_EQ(as_weights(r.job->result), r.expected) << threads << " threads";
      }
    }
  }
}

// Work of the front end's own (a batch of small records) among records:
// each task runs once, on the thread that takes it, with that thread's
// storage, and its job ends with the task's status; work dealt elsewhere
// never includes a task.
TEST(StreamedRecords, TasksRunOnceAmongRecordsAndStayHere) {
  std::mt19937_64 rng(48);
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  for (unsigned threads : {1u, 2u, 3u}) {
    wdist::Executor executor(threads);
    struct Case {
      std::shared_ptr<wdist::Job> job;
      std::vector<KnownCode> codes;  // a task's records
      std::vector<std::string> got;
      std::atomic<int> runs{0};
    };
    std::vector<std::unique_ptr<Case>> cases;
    bool dealt_a_task = false;
    executor.set_look(
        [&] {
          wdist::Executor::ElsewhereClaim claim;
          while (executor.claim_elsewhere(2, 0x1p40, claim)) {
            for (const auto& c : cases) dealt_a_task = dealt_a_task || (c->job == claim.job && !c->codes.empty());
            wdist::Distribution d;
            const wdist::Status st = wdist::weight_distribution(claim.job->code, options, d);
            wdist::finish_elsewhere(*claim.job, st, counts_text(d.counts), 0);
          }
        },
        std::chrono::microseconds(100));
    for (int i = 0; i < 60; ++i) {
      auto c = std::make_unique<Case>();
      if (i % 3 != 0) {
        const KnownCode one = mixed_direct_sum(rng, 2 + i % 2, {{1 + i % 4, 6}, {2, 5}});
        c->job = std::make_shared<wdist::Job>(one.code, options);
        c->got.push_back(counts_text(one.counts));  // expected
      } else {
        for (int r = 0; r < 4; ++r) c->codes.push_back(mixed_direct_sum(rng, 2 + r % 3, {{1 + r, 7}, {2, 4}}));
        Case* self = c.get();
        const bool fails = i == 30;
        c->job = std::make_shared<wdist::Job>([self, fails, &options](wdist::Worker& worker) {
          ++self->runs;
          for (const KnownCode& code : self->codes) {
            wdist::Plan plan;
            if (wdist::Status s = wdist::plan_record(code.code, options, plan); !s) return s;
            wdist::Tally tally = wdist::empty_tally(plan);
            if (wdist::Status s = wdist::run_units(plan, 0, plan.summary.units, worker, tally); !s) return s;
            wdist::Distribution d;
            if (wdist::Status s = wdist::finish_record(plan, tally, d); !s) return s;
            self->got.push_back(counts_text(d.counts));
          }
          if (fails) return wdist::Status{wdist::StatusCode::internal_error, "a failing task"};
          return wdist::Status{};
        });
      }
      cases.push_back(std::move(c));
    }
    for (const auto& c : cases) executor.add(c->job);
    for (const auto& c : cases) {
      while (!executor.wait(*c->job, std::chrono::milliseconds(1000))) {
      }
      std::lock_guard<std::mutex> lock(c->job->mutex);
      if (c->codes.empty()) {
        ASSERT_TRUE(c->job->status) << c->job->status.message;
        EXPECT_EQ(c->job->rendered.empty() ? counts_text(c->job->result.counts) : c->job->rendered, c->got[0]);
        continue;
      }
      EXPECT_EQ(c->runs.load(), 1);
      EXPECT_EQ(c->job->status.code, c.get() == cases[30].get() ? wdist::StatusCode::internal_error
                                                                 : wdist::StatusCode::ok);
      ASSERT_EQ(c->got.size(), c->codes.size());
      for (std::size_t r = 0; r < c->codes.size(); ++r) EXPECT_EQ(c->got[r], counts_text(c->codes[r].counts)) << r;
    }
    EXPECT_FALSE(dealt_a_task) << threads << " threads";
  }
}

#ifdef __linux__
// Workers start on a core apart from their creator's, and are then left to
// the scheduler: whatever thread runs a task may go anywhere the process
// may (a worker left on one core would share it for good with whatever
// else lands there).
TEST(StreamedRecords, WorkersAreLeftFreeToMoveAfterTheirStart) {
  cpu_set_t process;
  CPU_ZERO(&process);
  ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
  wdist::Executor executor(3);
  std::mutex mutex;
  std::vector<cpu_set_t> seen;
  std::vector<std::shared_ptr<wdist::Job>> jobs;
  for (int i = 0; i < 30; ++i) {
    jobs.push_back(std::make_shared<wdist::Job>([&](wdist::Worker&) {
      cpu_set_t mine;
      CPU_ZERO(&mine);
      if (sched_getaffinity(0, sizeof mine, &mine) != 0) return wdist::Status{wdist::StatusCode::internal_error, "?"};
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // long enough for every worker to take some
      const std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(mine);
      return wdist::Status{};
    }));
    executor.add(jobs.back());
  }
  for (const auto& job : jobs)
    while (!executor.wait(*job, std::chrono::milliseconds(1000))) {
    }
  ASSERT_EQ(seen.size(), jobs.size());
  for (const cpu_set_t& mine : seen) EXPECT_TRUE(CPU_EQUAL(&mine, &process));
}
#endif

// A pool stopped with records in flight ends every one of them, finished
// or cancelled, and stops at once.
TEST(StreamedRecords, CancelEndsEveryRecordInFlight) {
  std::mt19937_64 rng(47);
  wdist::Executor executor(2);
  std::vector<std::shared_ptr<wdist::Job>> jobs;
  for (int i = 0; i < 4; ++i) {
    wdist::Plan plan;
    ASSERT_TRUE(wdist::plan_record(to_code(random_code(rng, 2, 30, 60, false, 0)), {}, plan));
    jobs.push_back(std::make_shared<wdist::Job>(plan));
    executor.add(jobs.back());
  }
  executor.wait(*jobs[0], std::chrono::milliseconds(20));
  executor.cancel();
  for (const auto& job : jobs) {
    std::lock_guard<std::mutex> lock(job->mutex);
    EXPECT_TRUE(job->finished);
    EXPECT_EQ(job->status.code, wdist::StatusCode::cancelled);
  }
}

}  // namespace
