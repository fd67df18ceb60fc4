// Memory that cannot be had is an error value like any other: the
// allocation function of this test binary fails on request
// (support/failing_new.h), and the library answers with out_of_memory
// naming the amount, then works again once memory returns.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "wdist/executor.h"
#include "support/failing_new.h"
#include "support/library_codes.h"
#include "wdist/plan.h"
#include "wdist/records.h"
#include "wdist/wdist.h"

namespace {

using namespace wdist_test;

TEST(OutOfMemory, AWorkersTableThatCannotBeHadIsAStatus) {
  std::mt19937_64 rng(5);
  // Binary k = 20, n = 9000: a whole table of 2^20 narrow counters (2 MiB).
  const wdist::Code code = to_code(random_code(rng, 2, 20, 9000, false, 0));
  wdist::Options one;
  one.threads = 1;
  one.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(code, one, plan));
  ASSERT_EQ(plan.summary.route, wdist::Route::binary_table);
  wdist::Distribution d;
  {
    const FailFrom fail(std::size_t{1} << 20);
    const wdist::Status s = wdist::weight_distribution(code, one, d);
    EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
    EXPECT_EQ(s.message, "a worker's 2.0 MiB cannot be had");
  }
  EXPECT_TRUE(wdist::weight_distribution(code, one, d));
  one.threads = 2;  // the same through the executor's workers
  {
    const FailFrom fail(std::size_t{1} << 20);
    EXPECT_EQ(wdist::weight_distribution(code, one, d).code, wdist::StatusCode::out_of_memory);
  }
}

TEST(OutOfMemory, ABasisThatCannotBeHadIsAStatus) {
  std::mt19937_64 rng(6);
  const wdist::Code code = to_code(random_code(rng, 3, 40, 40000, false, 0));
  wdist::Plan plan;
  const FailFrom fail(std::size_t{1} << 15);
  const wdist::Status s = wdist::plan_record(code, {}, plan);
  EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
  EXPECT_EQ(s.message, "the basis and columns of a code of 1.5 MiB cannot be had");
}

TEST(OutOfMemory, AMatrixThatCannotBeHadRefusesItsRecordAndReadingGoesOn) {
  std::FILE* in = std::tmpfile();
  std::fputs("? 2 100000 2\n", in);
  for (int row = 0; row < 2; ++row) {
    for (int j = 0; j < 100000; ++j) std::fputc('1', in);
    std::fputc('\n', in);
  }
  std::fputs("? 1 3 2\n101\n", in);
  std::rewind(in);
  wdist::RecordReader reader(in);
  wdist::Record r;
  {
    const FailFrom fail(std::size_t{1} << 16);
    ASSERT_EQ(reader.next(r), wdist::RecordStatus::refused);
    EXPECT_EQ(r.reason, "its matrix of 200000 bytes cannot be had");
  }
  ASSERT_EQ(reader.next(r), wdist::RecordStatus::ok);
  EXPECT_EQ(r.number, 2);
  EXPECT_EQ(r.code.n, 3);
  std::fclose(in);
}

// A binary code of dimension 2 and length 100000: its plan, units and
// tally take less than 1 MiB apiece, its distribution more (n + 1 counts
// of 8 bytes, and of a GMP integer each for the big form).
wdist::Code long_code() {
  std::mt19937_64 rng(8);
  return to_code(random_code(rng, 2, 2, 100000, false, 0));
}

TEST(OutOfMemory, AFinishThatCannotBeHadIsAStatus) {
  const wdist::Code code = long_code();
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(code, options, plan));
  wdist::Tally tally = wdist::empty_tally(plan);
  wdist::Worker worker;
  ASSERT_TRUE(wdist::run_units(plan, 0, plan.summary.units, worker, tally));
  wdist::Distribution d;
  std::vector<std::uint64_t> counts;
  {
    const FailFrom fail(std::size_t{1} << 20);
    const wdist::Status s = wdist::finish_record(plan, tally, d);
    EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
    EXPECT_EQ(s.message, "the counts of a code of length 100000 (2.3 MiB) cannot be had");
  }
  {
    const FailFrom fail(std::size_t{1} << 19);
    const wdist::Status s = wdist::finish_record_u64(plan, tally, d, counts);
    EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
    EXPECT_EQ(s.message, "the counts of a code of length 100000 (800008 bytes) cannot be had");
  }
  EXPECT_TRUE(wdist::finish_record(plan, tally, d));
  EXPECT_TRUE(wdist::finish_record_u64(plan, tally, d, counts));
}

// On the executor's threads a record whose finish or completion cannot be
// had ends with that status, the memory it holds let go; the records around
// it are computed, and nothing is thrown. A completion hook that answers
// with out_of_memory ends its record with that; one that throws anyway
// still ends its record alone.
TEST(OutOfMemory, AFinishOrCompletionThatCannotBeHadEndsItsRecordAlone) {
  std::mt19937_64 rng(9);
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  // A text of 16 bytes a count, from finish_record's 64-bit counts.
  const auto text_of = [](const wdist::Job& job, std::string& text) {
    wdist::Distribution d;
    std::vector<std::uint64_t> counts;
    if (wdist::Status s = wdist::finish_record_u64(job.plan(), job.total(), d, counts); !s) return s;
    text.assign(16 * counts.size(), '.');
    return wdist::Status{};
  };
  for (unsigned threads : {1u, 2u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    wdist::Executor executor(threads);
    std::vector<std::shared_ptr<wdist::Job>> jobs;
    std::vector<wdist::Status> expected;
    std::vector<std::string> texts(8);
    std::vector<bool> hooked(8, true);
    std::vector<wdist::Plan> plans(8);
    for (std::size_t i = 0; i < 8; ++i) {
      const wdist::Code code = i % 4 == 1 || i == 3 ? long_code() : to_code(random_code(rng, 3, 4, 12, false, 1));
      ASSERT_TRUE(wdist::plan_record(code, options, plans[i]));
    }
    const FailFrom fail(std::size_t{1} << 20);
    for (std::size_t i = 0; i < 8; ++i) {
      std::string* text = &texts[i];
      if (i == 1) {
        jobs.push_back(std::make_shared<wdist::Job>(plans[i], [&, text](wdist::Job& job, wdist::Worker&) {
          try {
            return text_of(job, *text);
          } catch (const std::bad_alloc&) {
            return wdist::Status{wdist::StatusCode::out_of_memory, "its text cannot be had"};
          }
        }));
        expected.push_back({wdist::StatusCode::out_of_memory, "its text cannot be had"});
      } else if (i == 5) {
        jobs.push_back(std::make_shared<wdist::Job>(
            plans[i], [&, text](wdist::Job& job, wdist::Worker&) { return text_of(job, *text); }));
        expected.push_back({wdist::StatusCode::out_of_memory, "the completion of a record cannot be had"});
      } else if (i == 3) {
        jobs.push_back(std::make_shared<wdist::Job>(plans[i]));  // its result is the big form
        hooked[i] = false;
        expected.push_back({wdist::StatusCode::out_of_memory, "the counts of a code of length 100000 (2.3 MiB) cannot be had"});
      } else {
        jobs.push_back(std::make_shared<wdist::Job>(
            plans[i], [&, text](wdist::Job& job, wdist::Worker&) { return text_of(job, *text); }));
        expected.emplace_back();
      }
      executor.add(jobs.back());
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      // Bounded: every job is finished within a minute or the test fails.
      for (int looks = 0; !executor.compute_until(*jobs[i], std::chrono::milliseconds(1000)); ++looks)
        ASSERT_LT(looks, 60) << i;
      const wdist::Status status = jobs[i]->status();
      EXPECT_EQ(status.code, expected[i].code) << i;
      EXPECT_EQ(status.message, expected[i].message) << i;
      if (hooked[i]) {
        EXPECT_EQ(texts[i].size(), status ? 16u * 13 : 0u) << i;
        EXPECT_EQ(jobs[i]->plan().record, nullptr) << "the columns are let go: " << i;
      }
    }
  }
}

// A head claims k * n entries, but only the rows that follow are storage:
// a record cut short costs what was read (here at most a few times the
// 3000 entries that came), however much its head claimed. Requests
// beyond 64 MiB fail, so that a reader sized by the head could not take
// the machine's memory first.
TEST(OutOfMemory, StorageGrowsWithTheRowsReadNotWithTheHead) {
  const std::string rows = std::string(1000, '1') + "\n" + std::string(1000, '0') + "\n" + std::string(1000, '1');
  for (const char* head : {"? 1 2147483647 2\n", "? 4 2147483647 2\n", "? 1000 20000000 2\n", "? 3 2000 2\n"}) {
    SCOPED_TRACE(head);
    std::FILE* in = std::tmpfile();
    std::fputs(head, in);
    std::fputs(rows.c_str(), in);
    std::rewind(in);
    wdist::RecordReader reader(in);
    wdist::Record r;
    {
      const FailFrom fail(std::size_t{64} << 20);
      reset_largest_request();
      EXPECT_EQ(reader.next(r), wdist::RecordStatus::truncated);
      EXPECT_LE(largest_request(), std::size_t{1} << 16);
    }
    std::fclose(in);
  }
}

}  // namespace
