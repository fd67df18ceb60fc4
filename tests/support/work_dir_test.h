// A fixture for end-to-end runs: each test gets a fresh working directory
// for the program, with helpers to place input files and read what is left.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/program_runner.h"

namespace wdist_test {

class WorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_work_dir();
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { remove_work_dir(dir_); }
  // Runs the program of this build with `input` on standard input; a run
  // that has to be killed fails the test.
  ProgramRun run_in_dir(const std::string& input, double timeout_seconds = kProgramTimeout, RunLimits limits = {}) {
    ProgramRun r = run_wdist(dir_, input, timeout_seconds, limits);
    EXPECT_FALSE(r.timed_out) << "input: " << input.substr(0, 80);
    return r;
  }
  void put(const std::string& name, const std::string& bytes) { ASSERT_TRUE(write_file(path_in(dir_, name), bytes)); }
  std::string file(const std::string& name) { return file_text(path_in(dir_, name)); }
  std::string dir_;
};

}  // namespace wdist_test
