// What a record costs the wdist program in memory, measured as the largest
// resident set of the process: a head alone costs nothing, whatever it
// claims, and a long code costs about a byte per entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
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
// input: the records are truncated, and the program holds no more than a
// small part of what the heads claim beyond what it holds for a record of
// one column.
TEST_F(RecordMemory, AHeadAloneTakesNoMemory) {
  ASSERT_TRUE(write_file(path_in(dir_, "short.txt"), "? 1 1 2\n1\n"));
  const ProgramRun base = wdist({"--threads", "1", "short.txt"});
  ASSERT_EQ(base.exit_status, 0) << base.err;
  const std::string rows = std::string(1000, '1') + "\n" + std::string(1000, '0') + "\n";
  for (const char* head : {"? 1 400000000 2\n", "? 4 100000000 2\n", "? 2000 200000 2\n", "? 1 2147483647 2\n"}) {
    SCOPED_TRACE(head);
    ASSERT_TRUE(write_file(path_in(dir_, "cut.txt"), head + rows));
    const ProgramRun run = wdist({"--threads", "1", "cut.txt"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.err, "wdist: cut.txt: record 1: the input ends inside the record\n");
    EXPECT_LT(run.peak_kib - base.peak_kib, 32 * 1024) << "peak " << run.peak_kib << " KiB, for one column "
                                                        << base.peak_kib << " KiB";
  }
}

// Two rows of 4,000,000 columns (8 MB of entries) in a file: the program
// holds them about once (the basis is reduced in their own storage, the
// counts are the few nonzero ones, not 4,000,001 of each), measured above
// what it holds for a record of one column. It held about ten times the
// entries when every weight had its counts.
TEST_F(RecordMemory, ALongCodeCostsAboutAByteAnEntry) {
  constexpr std::int64_t kLength = 4000000;
  std::string text = "? 2 " + std::to_string(kLength) + " 2\n";
  std::string rows[2];
  std::uint64_t state = 12345;
  for (std::string& row : rows) {
    for (std::int64_t j = 0; j < kLength; ++j) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      row += static_cast<char>('0' + (state >> 63));
    }
    text += row + "\n";
  }
  // The four codewords: 0, the rows and their sum.
  std::map<std::int64_t, int> weights{{0, 1}};
  std::int64_t first = 0, second = 0, sum = 0;
  for (std::size_t j = 0; j < rows[0].size(); ++j) {
    first += rows[0][j] - '0';
    second += rows[1][j] - '0';
    sum += rows[0][j] != rows[1][j] ? 1 : 0;
  }
  for (std::int64_t w : {first, second, sum}) ++weights[w];
  std::string expected = "long.txt record 1: q=2 n=4000000 k=2 rank=2 d=" + std::to_string(std::min({first, second, sum})) + "\n";
  for (const auto& [w, count] : weights) expected += "  " + std::to_string(w) + " " + std::to_string(count) + "\n";
  expected += "\n";

  ASSERT_TRUE(write_file(path_in(dir_, "long.txt"), text));
  ASSERT_TRUE(write_file(path_in(dir_, "short.txt"), "? 2 1 2\n1\n1\n"));
  // A child's peak counts what this process held when it forked: the
  // matrix is given back first.
  std::string().swap(text);
  for (std::string& row : rows) std::string().swap(row);
  const ProgramRun base = wdist({"--threads", "1", "short.txt"});
  ASSERT_EQ(base.exit_status, 0) << base.err;
  const ProgramRun run = wdist({"--threads", "1", "long.txt"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
  const long entries_kib = 2 * kLength / 1024;
  EXPECT_LT(run.peak_kib - base.peak_kib, 2 * entries_kib)
      << "peak " << run.peak_kib << " KiB, for one column " << base.peak_kib << " KiB";
}

}  // namespace
