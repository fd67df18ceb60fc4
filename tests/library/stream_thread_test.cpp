// Records on threads and block by block: every route (binary table and
// blocks, F_4 through its binary image, projective table and blocks) on
// codes of known distribution at dimensions the brute force cannot reach,
// for 1, 2 and 3 threads; units done elsewhere or before (a resumed
// checkpoint, another rank) added to those of the executor; completion
// hooks that plan a job, give it units in rounds or finish it; and many
// small records on one pool.
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

#include "library/planned_record.h"
#include "support/known_sums.h"
#include "support/library_codes.h"
#include "wdist/executor.h"
#include "wdist/plan.h"

namespace {

using namespace wdist_test;

// Computes on the owner's thread until `job` is finished: false (and a
// failure) when it is not within two minutes, whatever happens.
bool finish(wdist::Executor& executor, const wdist::Job& job) {
  for (int looks = 0; looks < 120; ++looks)
    if (executor.compute_until(job, std::chrono::milliseconds(1000))) return true;
  ADD_FAILURE() << "a job was not finished within two minutes";
  return false;
}

// The plan computed by an executor of `threads` threads, the calling
// thread among them.
wdist::Distribution on_threads(const wdist::Plan& plan, unsigned threads, std::shared_ptr<wdist::Job> job = nullptr) {
  wdist::Executor executor(threads);
  if (!job) job = std::make_shared<wdist::Job>(plan);
  executor.add(job);
  if (!finish(executor, *job)) return {};
  EXPECT_TRUE(job->status()) << job->status().message;
  return job->take_result();
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

// The units of a plan done before (restored, as from a checkpoint) and
// units another process claims and computes while the pool runs: together
// the record. Progress that does not fit the plan is refused whole.
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
  wdist::UnitProgress before{plan.summary.identity, units, {}, wdist::empty_tally(plan), 0.5};
  wdist::Worker worker;
  for (std::uint64_t u = 0; u < units; u += 3) {
    ASSERT_TRUE(wdist::run_units(plan, u, 1, worker, before.total));
    before.done.push_back(wdist::UnitRange{u, 1});
  }
  auto job = std::make_shared<wdist::Job>(plan);
  ASSERT_TRUE(job->restore(before));
  EXPECT_EQ(job->counts().restored, (units + 2) / 3);
  EXPECT_EQ(job->counts().done, (units + 2) / 3);
  // Units restored twice, or of another plan, or a tally of another size:
  // refused, nothing of them taken.
  EXPECT_EQ(job->restore(before).code, wdist::StatusCode::invalid_code);
  wdist::UnitProgress other = before;
  other.done = {wdist::UnitRange{1, 1}};
  other.plan_identity ^= 1;
  EXPECT_EQ(job->restore(other).code, wdist::StatusCode::invalid_code);
  other.plan_identity = plan.summary.identity;
  other.total.counts.push_back(0);
  EXPECT_EQ(job->restore(other).code, wdist::StatusCode::invalid_code);
  other.total = wdist::empty_tally(plan);
  other.done = {wdist::UnitRange{units - 1, 2}};
  EXPECT_EQ(job->restore(other).code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(job->counts().done, (units + 2) / 3);

  // Two units claimed and computed outside the pool, as another rank would:
  // on a job of those units alone.
  wdist::UnitRange claimed;
  ASSERT_TRUE(job->claim(2, claimed));
  EXPECT_EQ(claimed.first, 1u);
  EXPECT_EQ(claimed.count, 2u);  // unit 3 is done: the claim stops before it
  wdist::UnitProgress elsewhere;
  {
    wdist::Executor there(1);
    auto range = std::make_shared<wdist::Job>(plan, claimed, [&](wdist::Job& j, wdist::Worker&) {
      elsewhere = wdist::UnitProgress{plan.summary.identity, units, {claimed}, j.total(), j.busy_seconds()};
      return wdist::Status{};
    });
    there.add(range);
    ASSERT_TRUE(finish(there, *range));
    ASSERT_TRUE(range->status());
    EXPECT_EQ(range->counts().done, units);
    EXPECT_EQ(range->counts().restored, units - 2);
  }
  wdist::Tally direct = wdist::empty_tally(plan);
  ASSERT_TRUE(wdist::run_units(plan, claimed.first, claimed.count, worker, direct));
  EXPECT_EQ(elsewhere.total.counts, direct.counts);

  wdist::Executor executor(2);
  executor.add(job);
  ASSERT_TRUE(executor.add_units_done(job, elsewhere));
  EXPECT_EQ(executor.add_units_done(job, elsewhere).code, wdist::StatusCode::invalid_code) << "done already";
  ASSERT_TRUE(finish(executor, *job));
  ASSERT_TRUE(job->status()) << job->status().message;
  const wdist::UnitProgress all = job->progress();
  ASSERT_EQ(all.done.size(), 1u);
  EXPECT_EQ(all.done[0].count, units);
  EXPECT_EQ(job->take_result().counts, known.counts);

  // Every unit restored: finished by the first thread that takes it.
  auto whole = std::make_shared<wdist::Job>(plan);
  ASSERT_TRUE(whole->restore(all));
  executor.add(whole);
  ASSERT_TRUE(finish(executor, *whole));
  EXPECT_EQ(whole->take_result().counts, known.counts);
}

// A job of units of a plan that are not the plan's fails, and runs nothing.
TEST(StreamedRecords, AJobOfUnitsBeyondItsPlanFails) {
  std::mt19937_64 rng(49);
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(mixed_direct_sum(rng, 2, {{3, 6}}).code, {}, plan));
  wdist::Executor executor(1);
  bool ran = false;
  auto job = std::make_shared<wdist::Job>(plan, wdist::UnitRange{plan.summary.units, 1}, [&](wdist::Job&, wdist::Worker&) {
    ran = true;
    return wdist::Status{};
  });
  executor.add(job);
  ASSERT_TRUE(finish(executor, *job));
  EXPECT_EQ(job->status().code, wdist::StatusCode::invalid_code);
  EXPECT_FALSE(ran);
}

template <class Count>
std::string counts_text(const std::vector<Count>& counts) {
  std::string text;
  for (const Count& c : counts) text += mpz_class(c).get_str() + " ";
  return text;
}

// A record as a front end makes it: a job without a plan whose hook plans
// it on the thread that takes it, then (its units done) makes its text from
// finish_record's 64-bit counts when the plan needs no big integers.
struct TextRecord {
  wdist::Code code;
  wdist::Options options;
  bool planned = false;
  bool planned_here = false;  // by the test, before the job was added
  std::string text;
  std::atomic<int> hook_runs{0};

  wdist::Status complete(wdist::Job& job) {
    ++hook_runs;
    if (!planned) {
      planned = true;
      wdist::Plan plan;
      if (wdist::Status s = wdist::plan_record(code, options, plan); !s) return s;
      return job.set_plan(std::move(plan));
    }
    wdist::Distribution d;
    std::vector<std::uint64_t> counts;
    if (!wdist::needs_big_counts(job.plan())) {
      if (wdist::Status s = wdist::finish_record_u64(job.plan(), job.total(), d, counts); !s) return s;
      text = counts_text(counts);
    } else {
      if (wdist::Status s = wdist::finish_record(job.plan(), job.total(), d); !s) return s;
      text = counts_text(d.counts);
    }
    return wdist::Status{};
  }
};

std::shared_ptr<wdist::Job> text_job(const std::shared_ptr<TextRecord>& r) {
  return std::make_shared<wdist::Job>([r](wdist::Job& job, wdist::Worker&) { return r->complete(job); },
                                      wdist::JobSize::small);
}

// Work taken for another process from the owner's poll, as the MPI driver
// takes it: records not begun taken whole (computed there, their text
// handed back) and ranges of a large record's units (computed there on a
// job of those units, their progress added here), while the pool computes
// the rest.
TEST(StreamedRecords, WorkTakenElsewhereFromThePollAddsUp) {
  std::mt19937_64 rng(47);
  const KnownCode large = mixed_direct_sum(rng, 2, {{9, 14}, {8, 12}, {8, 12}});
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  struct Case {
    std::shared_ptr<TextRecord> record;
    std::shared_ptr<wdist::Job> job;
    std::string expected;
  };
  std::vector<Case> cases;
  wdist::Plan large_plan;
  for (int i = 0; i < 40; ++i) {
    const KnownCode k = i == 20 ? large : mixed_direct_sum(rng, 2 + i % 2, {{1 + i % 4, 6}, {2, 5}});
    auto record = std::make_shared<TextRecord>();
    record->code = k.code;
    record->options = options;
    Case c{record, nullptr, counts_text(k.counts)};
    if (i == 20) {
      // Planned here, so that its units can be dealt.
      EXPECT_TRUE(wdist::plan_record(k.code, options, large_plan));
      record->planned = true;
      record->planned_here = true;
      c.job = std::make_shared<wdist::Job>(large_plan, [record](wdist::Job& job, wdist::Worker&) { return record->complete(job); });
    } else {
      c.job = text_job(record);
    }
    cases.push_back(c);
  }
  wdist::Executor executor(2), elsewhere(1);
  std::uint64_t whole = 0, ranges = 0;
  executor.set_owner_poll(
      [&] {
        for (Case& c : cases) {
          if (c.job->take_whole()) {
            ++whole;
            wdist::Distribution d;
            const wdist::Status s = wdist::weight_distribution(c.record->code, options, d);
            c.record->text = counts_text(d.counts);
            c.job->end(s);
            return;
          }
          // Only the record planned here has units of large_plan: the
          // others, once their hooks have planned them, have units of
          // their own plans, which the poll does not know.
          wdist::UnitRange units;
          if (!c.record->planned_here || !c.job->claim(3, units)) continue;
          ++ranges;
          // Computed on a job of those units alone, as the other process
          // computes them.
          wdist::UnitProgress done;
          auto range = std::make_shared<wdist::Job>(large_plan, units, [&](wdist::Job& j, wdist::Worker&) {
            done = wdist::UnitProgress{large_plan.summary.identity, large_plan.summary.units, {units}, j.total(),
                                       j.busy_seconds()};
            return wdist::Status{};
          });
          elsewhere.add(range);
          ASSERT_TRUE(finish(elsewhere, *range));
          ASSERT_TRUE(range->status());
          const wdist::Status added = executor.add_units_done(c.job, done);
          ASSERT_TRUE(added) << added.message;
          return;
        }
      },
      std::chrono::microseconds(100));
  for (const Case& c : cases) executor.add(c.job);
  for (const Case& c : cases) {
    ASSERT_TRUE(finish(executor, *c.job));
    ASSERT_TRUE(c.job->status()) << c.job->status().message;
    EXPECT_EQ(c.record->text, c.expected);
  }
  EXPECT_GT(whole, 0u);
  EXPECT_GT(ranges, 0u);
}

// Small records as a file brings them: planned by the pool's threads
// (jobs planned by their hook) or before (jobs of a plan, finished
// without a hook), among them one above the work limit and a zero code.
TEST(StreamedRecords, ManySmallRecordsOnOnePool) {
  std::mt19937_64 rng(46);
  constexpr int kFields[] = {2, 3, 4, 5, 7};
  struct Small {
    std::shared_ptr<wdist::Job> job;
    std::shared_ptr<TextRecord> record;  // planned by its hook
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
        r.record = std::make_shared<TextRecord>();
        r.record->code = to_code(t);
        r.record->options = options;
        r.job = text_job(r.record);
      } else {
        wdist::Plan plan;
        ASSERT_TRUE(wdist::plan_record(to_code(t), options, plan));
        r.job = std::make_shared<wdist::Job>(plan);
      }
      executor.add(r.job);
      records.push_back(std::move(r));
    }
    for (Small& r : records) {
      ASSERT_TRUE(finish(executor, *r.job));
      ASSERT_EQ(r.job->status().code, r.status) << r.job->status().message;
      if (r.status != wdist::StatusCode::ok) continue;
      if (r.record) {
        EXPECT_EQ(r.record->hook_runs.load(), 2) << "planned, then finished";
        EXPECT_EQ(r.record->text, counts_text(r.expected)) << threads << " threads";
        continue;
      }
      EXPECT_EQ(as_weights(r.job->take_result()), r.expected) << threads << " threads";
    }
  }
}

// A job whose units come in rounds, as a search that plans the units of
// the next weight when one weight is done: its hook gives it a plan, then
// (those units done) another, then finishes; each round's tally is the
// plan's.
TEST(StreamedRecords, AHookGivesItsJobUnitsInRounds) {
  std::mt19937_64 rng(50);
  const KnownCode first = mixed_direct_sum(rng, 2, {{9, 14}, {8, 12}, {8, 12}});
  const KnownCode second = mixed_direct_sum(rng, 3, {{4, 8}, {4, 8}});
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  for (unsigned threads : {1u, 3u}) {
    wdist::Executor executor(threads);
    std::vector<std::vector<mpz_class>> rounds;
    int runs = 0;
    auto job = std::make_shared<wdist::Job>(
        [&](wdist::Job& j, wdist::Worker&) {
          ++runs;
          if (runs > 1) {
            wdist::Distribution d;
            if (wdist::Status s = wdist::finish_record(j.plan(), j.total(), d); !s) return s;
            rounds.push_back(d.counts);
          }
          if (runs > 2) return wdist::Status{};
          wdist::Plan plan;
          if (wdist::Status s = wdist::plan_record(runs == 1 ? first.code : second.code, options, plan); !s) return s;
          return j.set_plan(std::move(plan));
        },
        wdist::JobSize::large);
    executor.add(job);
    ASSERT_TRUE(finish(executor, *job));
    ASSERT_TRUE(job->status()) << job->status().message;
    EXPECT_EQ(runs, 3);
    ASSERT_EQ(rounds.size(), 2u);
    EXPECT_EQ(rounds[0], first.counts) << threads << " threads";
    EXPECT_EQ(rounds[1], second.counts) << threads << " threads";
  }
}

// Work of the front end's own (a batch of small records) among records:
// each hook runs once, on the thread that takes it, with that thread's
// storage, and its job ends with the hook's status.
TEST(StreamedRecords, HooksRunOnceAmongRecords) {
  std::mt19937_64 rng(48);
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  for (unsigned threads : {1u, 2u, 3u}) {
    wdist::Executor executor(threads);
    struct Case {
      std::shared_ptr<wdist::Job> job;
      std::vector<KnownCode> codes;  // a batch's records
      std::vector<std::string> got;
      std::atomic<int> runs{0};
    };
    std::vector<std::unique_ptr<Case>> cases;
    for (int i = 0; i < 60; ++i) {
      auto c = std::make_unique<Case>();
      if (i % 3 != 0) {
        const KnownCode one = mixed_direct_sum(rng, 2 + i % 2, {{1 + i % 4, 6}, {2, 5}});
        wdist::Plan plan;
        ASSERT_TRUE(wdist::plan_record(one.code, options, plan));
        c->job = std::make_shared<wdist::Job>(plan);
        c->got.push_back(counts_text(one.counts));  // expected
      } else {
        for (int r = 0; r < 4; ++r) c->codes.push_back(mixed_direct_sum(rng, 2 + r % 3, {{1 + r, 7}, {2, 4}}));
        Case* self = c.get();
        const bool fails = i == 30;
        c->job = std::make_shared<wdist::Job>(
            [self, fails, &options](wdist::Job&, wdist::Worker& worker) {
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
              if (fails) return wdist::Status{wdist::StatusCode::internal_error, "a failing batch"};
              return wdist::Status{};
            },
            wdist::JobSize::large);
      }
      cases.push_back(std::move(c));
    }
    for (const auto& c : cases) executor.add(c->job);
    for (const auto& c : cases) {
      ASSERT_TRUE(finish(executor, *c->job));
      if (c->codes.empty()) {
        ASSERT_TRUE(c->job->status()) << c->job->status().message;
        EXPECT_EQ(counts_text(c->job->take_result().counts), c->got[0]);
        continue;
      }
      EXPECT_EQ(c->runs.load(), 1);
      EXPECT_EQ(c->job->status().code, c.get() == cases[30].get() ? wdist::StatusCode::internal_error
                                                                   : wdist::StatusCode::ok);
      ASSERT_EQ(c->got.size(), c->codes.size());
      for (std::size_t r = 0; r < c->codes.size(); ++r) EXPECT_EQ(c->got[r], counts_text(c->codes[r].counts)) << r;
    }
  }
}

#ifdef __linux__
// Workers start on a core apart from their creator's, and are then left to
// the scheduler: whatever thread runs a hook may go anywhere the process
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
    jobs.push_back(std::make_shared<wdist::Job>(
        [&](wdist::Job&, wdist::Worker&) {
          cpu_set_t mine;
          CPU_ZERO(&mine);
          if (sched_getaffinity(0, sizeof mine, &mine) != 0) return wdist::Status{wdist::StatusCode::internal_error, "?"};
          std::this_thread::sleep_for(std::chrono::milliseconds(2));  // long enough for every worker to take some
          const std::lock_guard<std::mutex> lock(mutex);
          seen.push_back(mine);
          return wdist::Status{};
        },
        wdist::JobSize::large));
    executor.add(jobs.back());
  }
  for (const auto& job : jobs) ASSERT_TRUE(finish(executor, *job));
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
  executor.compute_until(*jobs[0], std::chrono::milliseconds(20));
  executor.cancel();
  for (const auto& job : jobs) {
    EXPECT_TRUE(job->finished());
    EXPECT_EQ(job->status().code, wdist::StatusCode::cancelled);
  }
}

}  // namespace
