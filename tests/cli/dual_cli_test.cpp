// The wdist program on high-rate records: --dual never, always and auto
// give the same counts and name their method; every format and
// --projective work through the dual; its report blocks are wdist-wide's,
// byte for byte (time lines masked), whichever route computed them.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/brute_force.h"
#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 60.0;

// A random k x n code over F_q, its last row a copy of the first when
// `deficient`, its first `zero_columns` columns zero.
TestCode random_test_code(std::mt19937_64& rng, int q, int k, int n, bool deficient, int zero_columns) {
  TestCode c{k, n, q, std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n)))};
  for (auto& row : c.rows)
    for (int& x : row) x = static_cast<int>(rng() % static_cast<unsigned>(q));
  if (deficient && k >= 2) c.rows.back() = c.rows.front();
  for (auto& row : c.rows)
    for (int j = 0; j < zero_columns && j < n; ++j) row[static_cast<std::size_t>(j)] = 0;
  return c;
}

// The binary Hamming code [2^m - 1, 2^m - 1 - m]: one row per column v of
// the parity-check matrix (the numbers 1 .. 2^m - 1 in binary) that is no
// power of two, holding 1 at v and at the columns 2^b of v's bits.
TestCode binary_hamming(int m) {
  const int n = (1 << m) - 1;
  TestCode c{n - m, n, 2, {}};
  for (int v = 1; v <= n; ++v) {
    if ((v & (v - 1)) == 0) continue;
    std::vector<int> row(static_cast<std::size_t>(n), 0);
    row[static_cast<std::size_t>(v - 1)] = 1;
    for (int b = 0; b < m; ++b)
      if ((v >> b) & 1) row[static_cast<std::size_t>((1 << b) - 1)] = 1;
    c.rows.push_back(row);
  }
  return c;
}

// The "distribution" of each JSON line, by record number, with the method.
struct JsonRecord {
  std::string method;
  std::string distribution;
};
std::map<int, JsonRecord> json_records(const std::string& out) {
  std::map<int, JsonRecord> records;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t record = line.find("\"record\": ");
    const std::size_t method = line.find("\"method\": \"");
    const std::size_t distribution = line.find("\"distribution\": ");
    if (record == std::string::npos || method == std::string::npos || distribution == std::string::npos) continue;
    const std::size_t method_start = method + 11;
    records[std::stoi(line.substr(record + 10))] =
        JsonRecord{line.substr(method_start, line.find('"', method_start) - method_start), line.substr(distribution)};
  }
  return records;
}

class DualCli : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }
  ProgramRun wdist(std::vector<std::string> args) {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, "", kTimeout);
  }
  std::string menu_report(const std::string& name, int choice) {
    const ProgramRun run = run_wdist(dir_, "2\n" + name + "\n" + std::to_string(choice) + "\n4\n");
    EXPECT_EQ(run.exit_status, 1);
    return file_text(path_in(dir_, name + "_r"));
  }
  // High-rate records of every field, full rank and rank-deficient, some
  // with zero columns, and one low-rate record for contrast.
  std::string high_rate_file() {
    std::mt19937_64 rng(404);
    const struct {
      int q, k, n;
      bool deficient;
      int zero_columns;
    } shapes[] = {{2, 20, 24, false, 0}, {2, 18, 22, true, 2}, {3, 11, 13, false, 1}, {3, 9, 12, true, 0},
                  {4, 7, 9, false, 0},   {4, 6, 8, true, 1},   {5, 6, 7, false, 0},  {7, 5, 6, true, 1},
                  {2, 4, 20, false, 0}};
    std::string text;
    for (const auto& s : shapes) text += code_record(random_test_code(rng, s.q, s.k, s.n, s.deficient, s.zero_columns));
    return text;
  }
  std::string dir_;
};

TEST_F(DualCli, EveryDualSettingGivesTheSameCountsAndNamesItsMethod) {
  ASSERT_TRUE(write_file(path_in(dir_, "high.txt"), high_rate_file()));
  std::map<std::string, std::map<int, JsonRecord>> by_setting;
  for (const char* setting : {"never", "always", "auto"})
    for (const char* projective : {"", "--projective"}) {
      std::vector<std::string> args = {"--format", "json", "--dual", setting, "high.txt"};
      if (*projective != '\0') args.emplace_back(projective);
      const ProgramRun run = wdist(args);
      ASSERT_EQ(run.exit_status, 0) << run.err;
      by_setting[std::string(setting) + projective] = json_records(run.out);
    }
  for (int record = 1; record <= 9; ++record) {
    SCOPED_TRACE("record " + std::to_string(record));
    for (const char* projective : {"", "--projective"}) {
      const auto& never = by_setting["never" + std::string(projective)][record];
      const auto& always = by_setting["always" + std::string(projective)][record];
      const auto& automatic = by_setting["auto" + std::string(projective)][record];
      EXPECT_EQ(never.method, "direct");
      EXPECT_EQ(always.method, "dual");
      EXPECT_EQ(always.distribution, never.distribution);
      EXPECT_EQ(automatic.distribution, never.distribution);
    }
  }
  // auto: the dual for the [24, 20] code, the code itself for the [20, 4] one.
  EXPECT_EQ(by_setting["auto"][1].method, "dual");
  EXPECT_EQ(by_setting["auto"][9].method, "direct");
  const ProgramRun text = wdist({"--dual", "always", "high.txt"});
  EXPECT_NE(text.out.find("high.txt record 1: q=2 n=24 k=20 rank=20 d="), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" (through the dual)\n"), std::string::npos);
}

TEST_F(DualCli, ReportBlocksThroughTheDualAreThoseOfTheWideProgram) {
  ASSERT_TRUE(write_file(path_in(dir_, "high.txt"), high_rate_file()));
  for (int choice : {1, 33}) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    const std::string menu = mask_time(menu_report("high.txt", choice));
    for (const char* setting : {"always", "auto"}) {
      std::vector<std::string> args = {"--format", "report", "--dual", setting, "high.txt"};
      if (choice == 33) args.emplace_back("--projective");
      const ProgramRun run = wdist(args);
      EXPECT_EQ(run.exit_status, 0) << run.err;
      EXPECT_EQ(mask_time(run.out), menu) << setting;
    }
  }
}

// The Hamming code [255, 247]: counts of up to 74 digits, through the dual
// on two threads. The code holds the all-ones word, so A_j = A_{255-j}
// exactly; A_3 is the number of lines of PG(7, 2)'s points, 255 * 254 / 6.
TEST_F(DualCli, LongHammingCodeCountsAreExactIntegers) {
  ASSERT_TRUE(write_file(path_in(dir_, "hamming.txt"), code_record(binary_hamming(8))));
  const ProgramRun run = wdist({"--threads", "2", "hamming.txt"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "hamming.txt record 1: q=2 n=255 k=247 rank=247 d=3 (through the dual)");
  std::map<int, std::string> counts;
  std::istringstream lines(run.out.substr(run.out.find('\n') + 1));
  int w = 0;
  std::string count;
  while (lines >> w >> count) counts[w] = count;
  EXPECT_EQ(counts[0], "1");
  EXPECT_EQ(counts[3], "10795");
  EXPECT_EQ(counts[255], "1");
  std::size_t longest = 0;
  for (const auto& [weight, c] : counts) {
    const auto mirror = counts.find(255 - weight);
    ASSERT_NE(mirror, counts.end()) << "weight " << weight;
    EXPECT_EQ(mirror->second, c) << "weight " << weight;
    longest = std::max(longest, c.size());
  }
  EXPECT_EQ(counts.size(), 252u);  // every weight but 1, 2, 253, 254
  EXPECT_GE(longest, 72u);
}

}  // namespace
