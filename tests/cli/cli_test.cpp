// The wdist program end to end: its formats, its exit statuses and
// messages, standard input and several files, and its report blocks
// byte for byte against wdist-wide's (time lines masked).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 60.0;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }
  ProgramRun wdist(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, input, kTimeout);
  }
  // wdist-wide's report of `name` for menu choice `choice` (1 or 33).
  std::string menu_report(const std::string& name, int choice) {
    const ProgramRun run = run_wdist(dir_, "2\n" + name + "\n" + std::to_string(choice) + "\n4\n");
    EXPECT_EQ(run.exit_status, 1);
    return file_text(path_in(dir_, name + "_r"));
  }
  std::string exam() const { return file_text(std::string(WDIST_SOURCE_DIR) + "/examples/EXAM.txt"); }
  std::string dir_;
};

TEST_F(Cli, TextAndJsonOfTheExamples) {
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), exam()));
  ProgramRun run = wdist({"EXAM.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.substr(0, run.out.find("\n\n") + 2),
            "EXAM.txt record 1: q=2 n=7 k=4 rank=4 d=3\n  0 1\n  3 7\n  4 7\n  7 1\n\n");
  run = wdist({"--format", "json", "EXAM.txt"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1),
            "{\"file\": \"EXAM.txt\", \"record\": 1, \"q\": 2, \"n\": 7, \"k\": 4, \"rank\": 4, \"min_distance\": 3, "
            "\"method\": \"direct\", \"projective\": false, \"distribution\": [[0, 1], [3, 7], [4, 7], [7, 1]]}\n");
}

TEST_F(Cli, ReportBlocksAreThoseOfTheWideProgram) {
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), exam()));
  for (int choice : {1, 33}) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    const std::string menu = menu_report("EXAM.txt", choice);
    std::vector<std::string> args = {"--format", "report", "EXAM.txt"};
    if (choice == 33) args.push_back("--projective");
    const ProgramRun run = wdist(args);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(mask_time(run.out), mask_time(menu));
  }
}

TEST_F(Cli, RefusedAndUnreadableInputsAreReportedAndTheRestIsComputed) {
  ASSERT_TRUE(write_file(path_in(dir_, "a.txt"), "?1 3 6\n123\n?1 2 2\n11\n?1 2 3\n13\n"));
  ASSERT_TRUE(write_file(path_in(dir_, "b.txt"), "?1 1 2\n1\n"));
  const ProgramRun run = wdist({"a.txt", "missing.txt", "b.txt"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err,
            "wdist: a.txt: record 1: q = 6, the field must be one of 2, 3, 4, 5, 7\n"
            "wdist: a.txt: record 3: entry 3 in row 1, column 2 is not below q = 3\n"
            "wdist: missing.txt: No such file or directory\n");
  EXPECT_EQ(run.out, "a.txt record 2: q=2 n=2 k=1 rank=1 d=2\n  0 1\n  2 1\n\nb.txt record 1: q=2 n=1 k=1 rank=1 d=1\n  0 1\n  1 1\n\n");
}

TEST_F(Cli, StandardInputUsageErrorsAndTheLargeRecordRefusal) {
  ProgramRun run = wdist({"--format", "json"}, "?1 2 2\n11\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.out.find("\"file\": \"-\""), std::string::npos);
  run = wdist({"--frobnicate"});
  EXPECT_EQ(run.exit_status, 2);
  run = wdist({"--threads", "0"});
  EXPECT_EQ(run.exit_status, 2);
  run = wdist({"--max-work", "2^70"});
  EXPECT_EQ(run.exit_status, 2);
  run = wdist({"--help"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.out.find("--format"), std::string::npos);
  // A [200, 100] code is refused at once rather than computed for ever.
  std::string record = "?100 200 2\n";
  for (int i = 0; i < 100; ++i) {
    std::string row(200, '0');
    row[static_cast<std::size_t>(i)] = '1';
    row[static_cast<std::size_t>(100 + (i * 7) % 100)] = '1';
    row[static_cast<std::size_t>(100 + (i * 13 + 5) % 100)] = '1';
    record += row + "\n";
  }
  run = wdist({"-"}, record);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("record 1: needs about 2^100.0 messages"), std::string::npos) << run.err;
}

}  // namespace
