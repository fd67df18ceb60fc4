// The runner itself: bytes in and out unchanged, a program that does not
// end is killed at its deadline, and the time mask touches only time fields.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "support/program_runner.h"

namespace wdist_test {
namespace {

TEST(ProgramRunner, PassesLargeInputThroughAndCollectsOutput) {
  std::string input;
  for (int i = 0; i < 300000; ++i) input += static_cast<char>(i * 7 % 256);
  const ProgramRun run = run_program("/bin/cat", "/", input, 20);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, input);
  EXPECT_EQ(run.err, "");
}

TEST(ProgramRunner, KillsAProgramThatDoesNotEnd) {
  const ProgramRun run = run_program("/usr/bin/yes", "/", "", 0.3);
  EXPECT_TRUE(run.timed_out);
  EXPECT_EQ(run.exit_status, -1);
  EXPECT_EQ(run.signal, SIGKILL);
  EXPECT_EQ(run.out.substr(0, 4), "y\ny\n");
}

TEST(ProgramRunner, ReportsAProgramThatCannotStart) {
  const ProgramRun run = run_program("/nonexistent/program", "/", "", 5);
  EXPECT_EQ(run.exit_status, 127);
}

TEST(ProgramRunner, WorkDirsAreFreshAndRemovable) {
  const std::string a = make_work_dir(), b = make_work_dir();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  ASSERT_TRUE(write_file(path_in(a, "f"), std::string("x\0y", 3)));
  EXPECT_EQ(file_text(path_in(a, "f")), std::string("x\0y", 3));
  EXPECT_EQ(file_text(path_in(a, "g")), "<missing>");
  EXPECT_EQ(file_text(a), "<missing>");  // a directory is no file
  remove_work_dir(a);
  remove_work_dir(b);
  EXPECT_FALSE(path_exists(a));
  EXPECT_FALSE(path_exists(b));
}

TEST(ProgramRunner, MasksOnlyWellFormedTimeFields) {
  EXPECT_EQ(mask_time("G= 1 \n\n Time =       0.000 seconds \n 0^1 "),
            "G= 1 \n\n Time =  <T.TTT> seconds \n 0^1 ");
  EXPECT_EQ(mask_time("\n Time =  123456.789 seconds\n Time =       1.250 seconds"),
            "\n Time =  <T.TTT> seconds\n Time =  <T.TTT> seconds");
  // Wrong width, wrong number of decimals, missing tail: left alone.
  EXPECT_EQ(mask_time("\n Time =  0.000 seconds"), "\n Time =  0.000 seconds");
  EXPECT_EQ(mask_time("\n Time =        0.00 seconds"), "\n Time =        0.00 seconds");
  EXPECT_EQ(mask_time("\n Time =       0.000 second"), "\n Time =       0.000 second");
}

}  // namespace
}  // namespace wdist_test
