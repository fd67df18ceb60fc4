// Whole reports of the real program, driven through its menu: choice 1 and
// choice 33 over a file with codes of every field, compared byte for byte
// (the processing time masked) with the report rendered from the brute
// force, and a report read back as the input of another run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/brute_force.h"
#include "support/known_codes.h"
#include "support/program_runner.h"
#include "support/weight_runs.h"

namespace {

using namespace wdist_test;

// Famous codes of every field, mixed with small odd ones, in an order that
// makes the code matrix grow, keep its storage, and grow again (the
// capacities show in every head line).
std::vector<TestCode> every_field_codes() {
  return {
      tetracode(),
      hamming_7_4(),
      TestCode{2, 3, 2, {{1, 0, 1}, {0, 1, 1}}},
      hexacode(),
      extended_golay_24(),
      TestCode{1, 5, 5, {{3, 0, 1, 0, 4}}},
      simplex_code(7, 2),
      ternary_golay_11(),
      TestCode{2, 3, 3, {{1, 2, 0}, {2, 1, 0}}},
      simplex_code(4, 3),
      reed_solomon(5, 3, {0, 1, 2, 3, 4}, false),
      extended_ternary_golay_12(),
      TestCode{3, 4, 2, {{1, 0, 1, 1}, {0, 0, 0, 0}, {0, 1, 1, 0}}},
      simplex_code(5, 3),
      TestCode{2, 0, 7, {{}, {}}},
      reed_muller_first_order(5),
      reed_solomon(7, 3, {0, 1, 2, 3, 4, 5, 6}, true),
      TestCode{2, 5, 4, {{1, 2, 3, 0, 1}, {0, 1, 1, 1, 2}}},
  };
}

std::string codes_file(const std::vector<TestCode>& codes) {
  std::string text = "Codes of every field for both paths.\n";
  for (const TestCode& c : codes) text += code_record(c) + "\n";
  return text;
}

class MenuReports : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }

  // Runs the menu script in the work directory and returns the masked report.
  std::string run_menu(const std::string& script, const std::string& report_name) {
    const ProgramRun run = run_wdist(dir_, script);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.err, "");
    return mask_time(file_text(path_in(dir_, report_name)));
  }

  std::string dir_;
};

TEST_F(MenuReports, ChoiceOneOverEveryField) {
  const std::vector<TestCode> codes = every_field_codes();
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), codes_file(codes)));
  EXPECT_EQ(run_menu("1\n4\n", "EXAM.txt_r"), expected_report(ComputePath::weight_distribution, codes, kMaskedTime));
}

TEST_F(MenuReports, ChoiceThirtyThreeOverEveryField) {
  const std::vector<TestCode> codes = every_field_codes();
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), codes_file(codes)));
  EXPECT_EQ(run_menu("33\n4\n", "EXAM.txt_r"), expected_report(ComputePath::projective_sums, codes, kMaskedTime));
}

TEST_F(MenuReports, BothChoicesInOneSessionRewriteTheReport) {
  const std::vector<TestCode> codes = every_field_codes();
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), codes_file(codes)));
  EXPECT_EQ(run_menu("1\n33\n4\n", "EXAM.txt_r"), expected_report(ComputePath::projective_sums, codes, kMaskedTime));
  EXPECT_EQ(run_menu("33\n1\n4\n", "EXAM.txt_r"),
            expected_report(ComputePath::weight_distribution, codes, kMaskedTime));
}

TEST_F(MenuReports, ReportReadBackAsInputGivesTheSameReport) {
  const std::vector<TestCode> codes = every_field_codes();
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), codes_file(codes)));
  const std::string want = expected_report(ComputePath::weight_distribution, codes, kMaskedTime);
  EXPECT_EQ(run_menu("1\n2\nEXAM.txt_r\n1\n4\n", "EXAM.txt_r_r"), want);
  EXPECT_EQ(run_menu("1\n2\nEXAM.txt_r\n33\n4\n", "EXAM.txt_r_r"),
            expected_report(ComputePath::projective_sums, codes, kMaskedTime));
}

}  // namespace
