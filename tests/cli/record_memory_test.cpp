// What a record costs the wdist program in memory, measured as the largest
// resident set of the process: a head alone costs nothing, whatever it
// claims, and a long code costs about a byte per entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

class RecordMemory : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }
  ProgramRun wdist(std::vector<std::string> args) {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, "", kTimeout);
  }
  std::string dir_;
};

// Heads of 400 MB and more, followed by a few rows and the end of the
// input: the records are truncated, and the program never holds more than
// a small part of what the heads claim (its baseline, and that of a
// sanitizer build, included).
TEST_F(RecordMemory, AHeadAloneTakesNoMemory) {
  const std::string rows = std::string(1000, '1') + "\n" + std::string(1000, '0') + "\n";
  for (const char* head : {"? 1 400000000 2\n", "? 4 100000000 2\n", "? 2000 200000 2\n", "? 1 2147483647 2\n"}) {
    SCOPED_TRACE(head);
    ASSERT_TRUE(write_file(path_in(dir_, "cut.txt"), head + rows));
    const ProgramRun run = wdist({"--threads", "1", "cut.txt"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.err, "wdist: cut.txt: record 1: the input ends inside the record\n");
    EXPECT_LT(run.peak_kib, 100 * 1024);
  }
}

}  // namespace
