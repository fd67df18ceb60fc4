// Whole runs of menu choices 1 and 33 through the real program: report
// files byte for byte (time values masked), the progress lines, the
// capacities in the heads, reading a report back, and input files that
// cannot be used.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/work_dir_test.h"

namespace wdist_test {
namespace {

const std::string S = menu_screen();

// One report block as the drivers write it, the time masked.
std::string block(const std::string& head_numbers, const std::vector<std::string>& rows, const std::string& weights) {
  std::string b = "\n? " + head_numbers + "  \n";
  for (const std::string& row : rows) b += row + "\n";
  return b + "G= 1 \n\n Time =  " + kMaskedTime + " seconds \n" + weights;
}

class ReportRunTest : public WorkDirTest {
 protected:
  ProgramRun run(const std::string& input) {
    ProgramRun r = run_in_dir(input);
    EXPECT_EQ(r.exit_status, 1);
    return r;
  }
  std::string report(const std::string& name = "EXAM.txt_r") { return mask_time(file(name)); }
};

TEST_F(ReportRunTest, TheWorkedExample) {
  put("EXAM.txt", "A binary code\n? 2 3 2 7\n101\n011\n");
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.out, S + " Computation ..." + S);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(report(), block("2 3 2 1 2 16", {"101", "011"}, " 0^1  2^3 "));
}

TEST_F(ReportRunTest, EveryRunRewritesTheReport) {
  put("EXAM.txt", "? 1 2 2\n11\n");
  put("EXAM.txt_r", "an old report that is much longer than the new one will be\n");
  run("1\n1\n4\n");
  EXPECT_EQ(report(), block("1 2 2 1 1 16", {"11"}, " 0^1  2^1 "));
}

TEST_F(ReportRunTest, NoRecordGivesAnEmptyReportAndNoProgress) {
  put("EXAM.txt", "no records here\njust text\n");
  const ProgramRun r = run("1\n33\n4\n");
  EXPECT_EQ(r.out, S + " Computation ..." + S + " SPEC  " + S);
  EXPECT_EQ(file("EXAM.txt_r"), "");
}

std::string repeated_records(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "? 1 1 2\n1\n";
  return text;
}

TEST_F(ReportRunTest, ProgressLinesAfterEveryHundredthRecord) {
  const std::string progress = "NUM 100\n  MD 0  br 0 \n";
  put("EXAM.txt", repeated_records(99));
  EXPECT_EQ(run("1\n4\n").out, S + " Computation ..." + S);
  put("EXAM.txt", repeated_records(101));
  EXPECT_EQ(run("1\n4\n").out, S + " Computation ..." + progress + S);
  // The count starts again with every run, on both paths.
  put("EXAM.txt", repeated_records(250));
  EXPECT_EQ(run("1\n33\n4\n").out, S + " Computation ..." + progress + "NUM 200\n  MD 0  br 0 \n" + S + " SPEC  " +
                                       progress + "NUM 200\n  MD 0  br 0 \n" + S);
  // Refused records count as well.
  put("EXAM.txt", "? 1 1 6\n1\n" + repeated_records(99));
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.out, S + " Computation ..." + progress + S);
  EXPECT_EQ(r.err, "wdist: record 1 refused: q = 6, the field must be one of 2, 3, 4, 5, 7\n");
}

// A refused record keeps the cadence too: when the 100th record is the one
// refused, its progress lines come all the same, on both paths, whether it
// is refused at its head or for an entry read to its end.
TEST_F(ReportRunTest, ARefusedHundredthRecordWritesItsProgressLines) {
  const std::string progress = "NUM 100\n  MD 0  br 0 \n";
  for (const std::string& refused : {std::string("? 1 1 6\n1\n"), std::string("? 1 2 2\n12\n")}) {
    SCOPED_TRACE(refused);
    put("EXAM.txt", repeated_records(99) + refused + repeated_records(1));
    const ProgramRun r = run("1\n33\n4\n");
    EXPECT_EQ(r.out, S + " Computation ..." + progress + S + " SPEC  " + progress + S);
    EXPECT_NE(r.err.find("wdist: record 100 refused: "), std::string::npos) << r.err;
    // The report holds the 100 computed blocks, record numbers 1..99 and 101.
    EXPECT_NE(report().find("? 1 1 2 101 1 16"), std::string::npos);
  }
}

TEST_F(ReportRunTest, HeadsShowTheCapacitiesOfTheRunSoFar) {
  const std::string ones20(20, '1'), zeros5(5, '0'), ones5(5, '1');
  const std::vector<std::string> first = {ones5 + zeros5 + zeros5 + zeros5, zeros5 + ones5 + zeros5 + zeros5,
                                          zeros5 + zeros5 + ones5 + zeros5, zeros5 + zeros5 + zeros5 + ones5};
  const std::vector<std::string> second = {"1111000000", "0000111000", "0000000111"};
  const std::vector<std::string> third = {std::string(40, '1'), std::string(20, '1') + std::string(20, '0')};
  std::string input;
  for (const auto* rows : {&first, &second, &third}) {
    input += "? " + std::to_string(rows->size()) + " " + std::to_string((*rows)[0].size()) + " 2\n";
    for (const std::string& row : *rows) input += row + "\n";
  }
  input += "? 1 3 3\n120\n";
  put("EXAM.txt", input);
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(report(), block("4 20 2 1 4 32", first, " 0^1  5^4  10^6  15^4  20^1 ") +
                          block("3 10 2 2 4 32", second, " 0^1  3^2  4^1  6^1  7^2  10^1 ") +
                          block("2 40 2 3 2 48", third, " 0^1  20^2  40^1 ") +
                          block("1 3 3 4 2 48", {"120"}, " 2^2 "));
}

TEST_F(ReportRunTest, F4HeadsShowTheCodeNotItsImage) {
  // The [3,1,3] repetition code over F_4 and a [2,2] code with A_1 = 6.
  put("EXAM.txt", "? 1 3 4\n123\n? 2 2 4\n10\n01\n");
  run("1\n4\n");
  EXPECT_EQ(report(), block("1 3 4 1 1 16", {"123"}, " 0^1  3^3 ") + block("2 2 4 2 2 16", {"10", "01"}, " 0^1  1^6  2^9 "));
}

TEST_F(ReportRunTest, AReportReadBackGivesTheSameCodes) {
  put("EXAM.txt",
      "? 2 3 2\n101\n011\n? 3 7 3\n1001211\n0101102\n0012120\n? 2 5 4\n12301\n01123\n"
      "? 1 9 7\n123456012\n? 4 20 5\n01234012340123401234\n11111222223333344444\n"
      "00000000001111111111\n43210432104321043210\n");
  run("1\n2\nEXAM.txt_r\n1\n4\n");
  const std::string original = report();
  ASSERT_NE(original, "");
  EXPECT_EQ(report("EXAM.txt_r_r"), original);
}

TEST_F(ReportRunTest, ProjectiveSumsShiftByZeroColumns) {
  // The three nonzero codewords of weight 2, each with one zero column added.
  put("EXAM.txt", "? 2 4 2\n1010\n0110\n");
  run("33\n4\n");
  EXPECT_EQ(report(), block("2 4 2 1 2 16", {"1010", "0110"}, " 3^3 "));
}

// ---------------------------------------------------------------- unusable input files

// Sum-zero codes (messages followed by the sum of their entries) over F_2
// with k = 20 and over F_4 with k = 10: tables of 2^20 entries, beyond one
// cache block in both programs, computed block by block. A_w is
// C(k+1, w) times the number of w nonzero field elements summing to zero,
// ((q-1)^w + (-1)^w (q-1)) / q.
TEST_F(ReportRunTest, ShortCodesOverLargeTables) {
  auto code = [](int k) {
    std::vector<std::string> rows;
    for (int i = 0; i < k; ++i) {
      std::string row(static_cast<std::size_t>(k + 1), '0');
      row[static_cast<std::size_t>(i)] = row[static_cast<std::size_t>(k)] = '1';
      rows.push_back(row);
    }
    return rows;
  };
  auto weights = [](int q, int m) {
    std::string text;
    long long binomial = 1, power = 1;
    for (int w = 0; w <= m; ++w) {
      const long long count = binomial * ((power + (w % 2 == 0 ? 1 : -1) * (q - 1)) / q);
      if (count != 0) text.append(" ").append(std::to_string(w)).append("^").append(std::to_string(count)).append(" ");
      binomial = binomial * (m - w) / (w + 1);
      power *= q - 1;
    }
    return text;
  };
  std::string input;
  for (const auto& [q, k] : {std::pair{2, 20}, std::pair{4, 10}}) {
    input.append("? ").append(std::to_string(k)).append(" ").append(std::to_string(k + 1));
    input.append(" ").append(std::to_string(q)).append("\n");
    for (const std::string& row : code(k)) input.append(row).append("\n");
  }
  put("EXAM.txt", input);
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(report(), block("20 21 2 1 20 32", code(20), weights(2, 21)) +
                          block("10 11 4 2 20 32", code(10), weights(4, 11)));
}

TEST_F(ReportRunTest, MissingInputLeavesTheReportAlone) {
  put("EXAM.txt_r", "kept");
  for (const char* choice : {"1", "33"}) {
    const ProgramRun r = run(std::string(choice) + "\n4\n");
    EXPECT_EQ(r.err, "wdist: cannot open input file EXAM.txt: No such file or directory\n");
    EXPECT_EQ(file("EXAM.txt_r"), "kept");
  }
  remove_work_dir(path_in(dir_, "EXAM.txt_r"));
  run("1\n4\n");
  EXPECT_FALSE(path_exists(path_in(dir_, "EXAM.txt_r")));
}

TEST_F(ReportRunTest, DirectoryAsInputLeavesTheReportAlone) {
  ASSERT_EQ(mkdir(path_in(dir_, "EXAM.txt").c_str(), 0755), 0);
  put("EXAM.txt_r", "kept");
  const ProgramRun r = run("1\n33\n4\n");
  EXPECT_EQ(r.out, S + " Computation ..." + S + " SPEC  " + S);
  const std::string message = "wdist: cannot open input file EXAM.txt: Is a directory\n";
  EXPECT_EQ(r.err, message + message);
  EXPECT_EQ(file("EXAM.txt_r"), "kept");
}

}  // namespace
}  // namespace wdist_test
