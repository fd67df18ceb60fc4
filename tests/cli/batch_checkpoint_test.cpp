// wdist over files of many records: the same output for any number of
// threads; runs killed at random moments and started again from their
// checkpoint, with output byte for byte that of a run never killed; and
// checkpoints that are not the run's own (damaged, truncated, of other
// inputs or options) refused with exit status 2; a terminated run's last
// checkpoint.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

std::string random_record(std::mt19937_64& rng, int k, int n, int q) {
  char head[48];
  std::snprintf(head, sizeof head, "?%d %d %d\n", k, n, q);
  std::string r = head;
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < n; ++j) r += static_cast<char>('0' + rng() % static_cast<unsigned>(q));
    r += '\n';
  }
  return r;
}

std::string small_records(std::mt19937_64& rng, int count) {
  constexpr int kFields[] = {2, 3, 4, 5, 7};
  std::string s;
  for (int i = 0; i < count; ++i)
    s += random_record(rng, 1 + static_cast<int>(rng() % 8), 1 + static_cast<int>(rng() % 20), kFields[rng() % 5]);
  return s;
}

class BatchRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_work_dir();
    std::mt19937_64 rng(2027);
    // Small records around records of many units (binary blocks, F_4
    // through its binary image, a projective table) and a refused one.
    ASSERT_TRUE(write_file(path_in(dir_, "a.txt"), small_records(rng, 40) + "?1 3 6\n123\n" + random_record(rng, 25, 50, 2) +
                                                       small_records(rng, 60)));
    ASSERT_TRUE(write_file(path_in(dir_, "b.txt"), random_record(rng, 12, 30, 4) + small_records(rng, 30) +
                                                       random_record(rng, 14, 40, 3) + small_records(rng, 20)));
  }
  void TearDown() override { remove_work_dir(dir_); }

  ProgramRun wdist(std::vector<std::string> args, double timeout = kTimeout) {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, "", timeout);
  }
  // The run of a.txt and b.txt with `extra` options, never interrupted.
  ProgramRun whole_run(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"a.txt", "b.txt"});
    return wdist(args);
  }
  std::string path(const std::string& name) const { return path_in(dir_, name); }
  // A checkpoint of the run as a kill leaves it: runs killed at random
  // moments until one has written it (a checkpoint at every report, so that
  // the run is long and has one from its first record on).
  std::string killed_checkpoint(double whole_seconds) {
    std::mt19937_64 rng(7);
    for (int attempt = 0; attempt < 40; ++attempt) {
      const double delay = whole_seconds * std::uniform_real_distribution<double>(0.05, 0.95)(rng);
      wdist({"--quiet", "--checkpoint", "ck", "--checkpoint-interval", "0", "a.txt", "b.txt"}, delay);
      if (path_exists(path("ck"))) return file_text(path("ck"));
    }
    ADD_FAILURE() << "no run wrote a checkpoint";
    return "";
  }
  std::string dir_;
};

TEST_F(BatchRuns, SameOutputOnAnyThreadCount) {
  const ProgramRun one = whole_run({"--threads", "1"});
  EXPECT_EQ(one.exit_status, 1);  // the refused record
  EXPECT_EQ(one.err, "wdist: a.txt: record 41: q = 6, the field must be one of the prime powers up to 256\n");
  for (const char* threads : {"2", "3"}) {
    const ProgramRun more = whole_run({"--threads", threads});
    EXPECT_EQ(more.out, one.out) << threads << " threads";
    EXPECT_EQ(more.err, one.err);
  }
}

// Small records computed together keep their own failures in their own
// places: records above the work limit among records below it are refused
// one by one, in order, the others written in order, on any thread count.
TEST_F(BatchRuns, WorkLimitRefusalsKeepTheirPlacesAmongSmallRecords) {
  std::mt19937_64 rng(2029);
  std::string text, expected_err, expected_heads;
  for (int number = 1; number <= 150; ++number) {
    // Ranks 13 and 14 (with this seed) need more than 2^10.97 messages.
    const int k = rng() % 5 == 0 ? 14 : 1 + static_cast<int>(rng() % 8);
    text += random_record(rng, k, 16, 2);
    if (k == 14) {
      expected_err += "wdist: c.txt: record " + std::to_string(number) + ": needs about 2^1";
    } else {
      expected_heads += "c.txt record " + std::to_string(number) + ":";
    }
  }
  ASSERT_TRUE(write_file(path("c.txt"), text));
  for (const char* threads : {"1", "2", "3"}) {
    const ProgramRun run = wdist({"--quiet", "--max-work", "2000", "--dual", "never", "--threads", threads, "c.txt"});
    EXPECT_EQ(run.exit_status, 1);
    std::string err_heads, out_heads;
    for (std::size_t at = 0; at < run.err.size();) {
      const std::size_t end = run.err.find('\n', at);
      const std::string line = run.err.substr(at, end - at);
      err_heads += line.substr(0, line.find("2^") + 3);
      at = end == std::string::npos ? run.err.size() : end + 1;
    }
    for (std::size_t at = run.out.find("c.txt record "); at != std::string::npos; at = run.out.find("c.txt record ", at + 1))
      out_heads += run.out.substr(at, run.out.find(':', at) + 1 - at);
    EXPECT_EQ(err_heads, expected_err) << threads << " threads";
    EXPECT_EQ(out_heads, expected_heads) << threads << " threads";
  }
}

TEST_F(BatchRuns, KilledAtRandomMomentsAndResumedGivesTheSameOutput) {
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun reference = whole_run();
  const double whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::mt19937_64 rng(99);
  bool resumed = false;
  for (const char* threads : {"1", "2", "3"}) {
    SCOPED_TRACE(std::string(threads) + " threads");
    // A checkpoint at every report: one from the first record on, so that
    // most kills find one.
    const std::vector<std::string> args = {"--quiet", "--threads", threads, "--checkpoint", "ck",
                                           "--checkpoint-interval", "0", "a.txt", "b.txt"};
    for (int kill = 0; kill < 2; ++kill) {
      const double delay = whole * std::uniform_real_distribution<double>(0.1, 1.0)(rng);
      const ProgramRun killed = wdist(args, delay);
      if (!killed.timed_out) break;  // finished before the kill came
      resumed = resumed || path_exists(path("ck"));
    }
    const ProgramRun last = wdist(args);
    EXPECT_EQ(last.exit_status, reference.exit_status);
    EXPECT_EQ(last.out, reference.out);
    EXPECT_EQ(last.err, reference.err);
    EXPECT_FALSE(path_exists(path("ck")));
    EXPECT_FALSE(path_exists(path("ck.spool")));
    EXPECT_FALSE(path_exists(path("ck.tmp")));
  }
  EXPECT_TRUE(resumed) << "no kill came after a checkpoint";
}

// SIGTERM (or SIGINT) writes the checkpoint at once, however long before
// the next one would be due, and ends the run with 128 + the signal.
TEST_F(BatchRuns, TerminatedRunsWriteTheirCheckpointFirst) {
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun reference = whole_run();
  const double whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::mt19937_64 rng(5);
  bool stopped = false;
  for (int attempt = 0; attempt < 40 && !stopped; ++attempt) {
    const double delay = whole * std::uniform_real_distribution<double>(0.05, 0.95)(rng);
    const ProgramRun run = run_command({"/usr/bin/timeout", "--preserve-status", "-s", "TERM", std::to_string(delay),
                                        WDIST_CLI_PROGRAM, "--quiet", "--checkpoint", "ck", "--checkpoint-interval",
                                        "1000", "a.txt", "b.txt"},
                                       dir_, "", kTimeout);
    // Finished before the signal came, or ended by it before the handler
    // was in place (the program's first milliseconds): no checkpoint yet.
    const std::string last_line = "wdist: stopped by signal 15; checkpoint ck resumes the run\n";
    if (run.exit_status != 128 + 15 || run.err.size() < last_line.size()) continue;
    stopped = true;
    EXPECT_EQ(run.err.substr(run.err.size() - last_line.size()), last_line);
    EXPECT_TRUE(path_exists(path("ck")));
  }
  ASSERT_TRUE(stopped) << "no run was stopped by the signal";
  const ProgramRun resumed = wdist({"--quiet", "--checkpoint", "ck", "a.txt", "b.txt"});
  EXPECT_EQ(resumed.exit_status, reference.exit_status);
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_EQ(resumed.err, reference.err);
  EXPECT_FALSE(path_exists(path("ck")));
}

TEST_F(BatchRuns, CheckpointsNotOfThisRunAreRefused) {
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun reference = whole_run();
  const double whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string good = killed_checkpoint(whole);
  ASSERT_GT(good.size(), 40u);
  const std::vector<std::string> args = {"--quiet", "--checkpoint", "ck", "a.txt", "b.txt"};
  // What lies beside it is left as well: a working copy (of a run killed
  // before, say) or none.
  bool spool = false;
  const auto refused = [&](const std::string& bytes, const std::vector<std::string>& run_args, const std::string& why) {
    ASSERT_TRUE(write_file(path("ck"), bytes));
    spool = !spool;
    if (spool) {
      ASSERT_TRUE(write_file(path("ck.spool"), "a working copy"));
    }
    const ProgramRun run = wdist(run_args);
    EXPECT_EQ(run.exit_status, 2) << why;
    EXPECT_EQ(run.out, "") << why;
    EXPECT_EQ(run.err, "wdist: checkpoint ck refused: " + why + "\n");
    EXPECT_EQ(file_text(path("ck")), bytes) << "a refused checkpoint is left as it was";
    EXPECT_EQ(file_text(path("ck.spool")), spool ? "a working copy" : "<missing>") << why;
    std::remove(path("ck.spool").c_str());
  };
  std::string damaged = good;
  damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x10);
  refused(damaged, args, "it is damaged or truncated (its checksum does not match)");
  refused(good.substr(0, good.size() - 1), args, "it is damaged or truncated (its checksum does not match)");
  refused(good.substr(0, 5), args, "it is truncated (5 bytes)");
  refused("", args, "it is truncated (0 bytes)");
  refused("?1 2 2\n11\n", args, "not a checkpoint of this version of wdist");
  refused(good, {"--quiet", "--projective", "--checkpoint", "ck", "a.txt", "b.txt"},
          "it was written for other inputs or options");
  refused(good, {"--quiet", "--checkpoint", "ck", "b.txt", "a.txt"}, "it was written for other inputs or options");
  const std::string b = file_text(path("b.txt"));
  ASSERT_TRUE(write_file(path("b.txt"), b + "?1 2 2\n11\n"));
  refused(good, args, "it was written for other inputs or options");
  ASSERT_TRUE(write_file(path("b.txt"), b));

  // Its own run takes it, on any number of threads.
  ASSERT_TRUE(write_file(path("ck"), good));
  const ProgramRun resumed = wdist({"--quiet", "--threads", "3", "--checkpoint", "ck", "a.txt", "b.txt"});
  EXPECT_EQ(resumed.exit_status, reference.exit_status);
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_EQ(resumed.err, reference.err);
}

TEST_F(BatchRuns, CheckpointNeedsNamedFilesAndAWritablePlace) {
  ProgramRun run = wdist({"--checkpoint", "ck", "-"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.err, "wdist: --checkpoint needs named input files: standard input cannot be read again\n");
  run = wdist({"--checkpoint", "ck"});
  EXPECT_EQ(run.exit_status, 2);
  run = wdist({"--checkpoint", "missing/ck", "a.txt"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.err, "wdist: missing/ck.spool: No such file or directory\n");
  EXPECT_EQ(run.out, "");
  run = wdist({"--checkpoint-interval", "-1", "a.txt"});
  EXPECT_EQ(run.exit_status, 2);
}

}  // namespace
