// The program where memory or threads cannot be had: a record whose
// memory cannot be had is refused with what and how much, and the records
// after it are computed; threads that cannot start leave the others to
// compute the same output. The failures come from a library preloaded into
// the program (support/failing_preload.cpp), at the sizes asked for.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

class MemoryCli : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef WDIST_FAILING_PRELOAD
    GTEST_SKIP() << "no preloaded failures in this build";
#endif
    dir_ = make_work_dir();
  }
  void TearDown() override {
    if (!dir_.empty()) remove_work_dir(dir_);
  }
  // wdist with the failures `env` asks for (support/failing_preload.cpp).
  ProgramRun failing(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    std::vector<std::string> words = {"/usr/bin/env"};
#ifdef WDIST_FAILING_PRELOAD
    words.push_back(std::string("LD_PRELOAD=") + WDIST_FAILING_PRELOAD);
#endif
    words.insert(words.end(), env.begin(), env.end());
    words.push_back(WDIST_CLI_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return run_command(words, dir_, "", kTimeout);
  }
  ProgramRun wdist(std::vector<std::string> args) {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, "", kTimeout);
  }
  std::string dir_;
};

// A record of length 10^6 and dimension 1 among small ones: read and
// planned in pieces of at most 1 MiB, while its tally (10^6 + 1 counts of
// 8 bytes) does not fit under 4 MiB. It is refused with its size, in its
// place, and the small records around it are computed (the four records
// go to the threads together, as a batch), on one thread and on two.
TEST_F(MemoryCli, ARecordWhoseMemoryCannotBeHadIsRefusedAndTheOthersGoOn) {
  std::string big = "?1 1000000 2\n1";
  big.append(999999, '0');
  big += '\n';
  const std::string small = "?2 3 3\n120\n011\n";
  ASSERT_TRUE(write_file(path_in(dir_, "m.txt"), small + big + small + small));
  const ProgramRun whole = wdist({"--quiet", "m.txt"});
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  const std::string record = whole.out.substr(0, whole.out.find("\n\n") + 2);
  const auto as_record = [&](int number) {
    return "m.txt record " + std::to_string(number) + record.substr(record.find(':'));
  };
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(std::string(threads) + " threads");
    const ProgramRun run = failing({"WDIST_TEST_NEW_FAILS_FROM=4194304"}, {"--quiet", "--threads", threads, "m.txt"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.err, "wdist: m.txt: record 2: a tally of 1000001 counts (7.6 MiB) cannot be had\n");
    EXPECT_EQ(run.out, as_record(1) + as_record(3) + as_record(4));
  }
}

TEST_F(MemoryCli, ThreadsThatCannotStartLeaveTheOthersToCompute) {
  std::string records;
  for (int i = 0; i < 40; ++i) records += "?3 8 2\n1101" + std::string(i % 2 == 0 ? "0011" : "1010") + "\n01011100\n00111011\n";
  ASSERT_TRUE(write_file(path_in(dir_, "t.txt"), records));
  const ProgramRun reference = wdist({"--quiet", "--threads", "1", "t.txt"});
  ASSERT_EQ(reference.exit_status, 0);
  for (const char* started : {"0", "1"}) {
    const ProgramRun run = failing({std::string("WDIST_TEST_THREADS_START=") + started}, {"--quiet", "--threads", "3", "t.txt"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.out, reference.out);
    const std::string missing = started[0] == '0' ? "2" : "1", computing = started[0] == '0' ? "1" : "2";
    EXPECT_TRUE(std::regex_match(run.err, std::regex("wdist: " + missing +
                                                     " of 3 threads cannot be started \\(each needs a stack of "
                                                     "[0-9.]+ (MiB|GiB|bytes)\\): Resource temporarily unavailable; "
                                                     "computing on " + computing + "\n")))
        << run.err;
  }
}

}  // namespace
