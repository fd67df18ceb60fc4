// wdist --min-distance and --weights-up-to end to end: the minimum
// distance, witness and low-weight counts of random records of every field
// against the program's own distributions of them, JSON keys and text; the
// same output on 1, 2 and 3 threads; a run stopped by --time-limit reports
// its bounds with exit status 3; usage errors.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/brute_force.h"
#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

struct Dir {
  std::string path = make_work_dir();
  ~Dir() { remove_work_dir(path); }
};

ProgramRun wdist(const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), WDIST_CLI_PROGRAM);
  return run_command(args, dir, "", kTimeout);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The value of `key` in a JSON line: the text up to the next ", \"" or "}".
std::string value_of(const std::string& line, const std::string& key) {
  const std::string tag = "\"" + key + "\": ";
  const std::size_t at = line.find(tag);
  if (at == std::string::npos) return "<absent>";
  const std::size_t from = at + tag.size();
  if (line[from] == '[') {
    int depth = 0;
    for (std::size_t i = from; i < line.size(); ++i) {
      depth += line[i] == '[' ? 1 : line[i] == ']' ? -1 : 0;
      if (depth == 0) return line.substr(from, i + 1 - from);
    }
  }
  std::size_t end = line.find(", \"", from);
  if (end == std::string::npos) end = line.find('}', from);
  return line.substr(from, end - from);
}

// The pairs [w, A_w] of a distribution value with w <= up_to.
std::string pairs_up_to(const std::string& distribution, int up_to) {
  std::string out = "[";
  const std::regex pair(R"(\[(\d+), (\d+)\])");
  bool first = true;
  for (auto it = std::sregex_iterator(distribution.begin(), distribution.end(), pair); it != std::sregex_iterator(); ++it) {
    if (std::stoi((*it)[1]) > up_to) continue;
    out += first ? "" : ", ";
    first = false;
    out += it->str();
  }
  return out + "]";
}

int weight_of_list(const std::string& list) {
  int w = 0;
  for (const char c : list)
    if (c >= '1' && c <= '9') ++w;
  return w;
}

std::string random_records(std::mt19937_64& rng, int count) {
  std::string file;
  constexpr int kFields[] = {2, 3, 4, 5, 7};
  for (int i = 0; i < count; ++i) {
    const int q = kFields[i % 5];
    TestCode c{1 + static_cast<int>(rng() % 5), 1 + static_cast<int>(rng() % 12), q, {}};
    c.rows.assign(static_cast<std::size_t>(c.k), std::vector<int>(static_cast<std::size_t>(c.n)));
    for (auto& row : c.rows)
      for (int& x : row) x = rng() % 4 == 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(q));
    if (i % 7 == 3) c.rows.back() = c.rows.front();
    if (i % 11 == 5)
      for (auto& row : c.rows) row.assign(row.size(), 0);  // the zero code
    file += code_record(c);
  }
  return file;
}

TEST(SearchCliTest, RandomRecordsAgainstTheirDistributions) {
  Dir dir;
  std::mt19937_64 rng(21);
  ASSERT_TRUE(write_file(path_in(dir.path, "codes.txt"), random_records(rng, 60)));
  const ProgramRun whole = wdist(dir.path, {"--format", "json", "codes.txt"});
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  const ProgramRun searched = wdist(dir.path, {"--min-distance", "--format", "json", "--threads", "2", "codes.txt"});
  ASSERT_EQ(searched.exit_status, 0) << searched.err;
  const ProgramRun low = wdist(dir.path, {"--weights-up-to", "3", "--format", "json", "codes.txt"});
  ASSERT_EQ(low.exit_status, 0) << low.err;
  const auto a = lines_of(whole.out), b = lines_of(searched.out), c = lines_of(low.out);
  ASSERT_EQ(a.size(), 60U);
  ASSERT_EQ(b.size(), a.size());
  ASSERT_EQ(c.size(), a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (const char* key : {"file", "record", "q", "n", "k", "rank", "min_distance", "projective"})
      ASSERT_EQ(value_of(b[i], key), value_of(a[i], key)) << key << "\n" << a[i] << "\n" << b[i];
    const std::string d = value_of(a[i], "min_distance");
    const std::string witness = value_of(b[i], "witness");
    if (d == "null") {
      EXPECT_EQ(witness, "null") << b[i];
    } else {
      EXPECT_EQ(weight_of_list(witness), std::stoi(d)) << b[i];
      EXPECT_EQ(std::count(witness.begin(), witness.end(), ','), std::stoi(value_of(a[i], "n")) - 1) << b[i];
    }
    EXPECT_EQ(value_of(b[i], "distribution"), "<absent>");
    EXPECT_EQ(value_of(b[i], "lower_bound"), "<absent>");
    const std::string method = value_of(b[i], "method");
    EXPECT_TRUE(method == "\"information sets\"" || method == "\"direct\"" || method == "\"dual\"") << method;
    // Counts up to 3, and d whenever one of them meets a codeword.
    EXPECT_EQ(value_of(c[i], "distribution"), pairs_up_to(value_of(a[i], "distribution"), 3)) << c[i];
    const std::string low_d = value_of(c[i], "min_distance");
    if (d != "null" && std::stoi(d) <= 3) {
      EXPECT_EQ(low_d, d) << c[i];
    }
    if (low_d != "null") {
      EXPECT_EQ(low_d, d);
    }
  }
}

TEST(SearchCliTest, TextAndKnownCodes) {
  Dir dir;
  const ProgramRun r = wdist(dir.path, {"--min-distance", "--weights-up-to", "8", std::string(WDIST_SOURCE_DIR) + "/examples/EXAM.txt"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  // The extended Golay code: d = 8 and its 759 words of weight 8.
  EXPECT_NE(r.out.find("record 2: q=2 n=24 k=12 rank=12 d=8 ("), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  witness "), std::string::npos);
  EXPECT_NE(r.out.find("\n  8 759\n"), std::string::npos) << r.out;
}

TEST(SearchCliTest, SameOutputOnAnyNumberOfThreads) {
  Dir dir;
  std::mt19937_64 rng(4);
  std::string file;
  for (int i = 0; i < 3; ++i) {
    TestCode c{20 + 4 * i, 40 + 8 * i, 2, {}};
    c.rows.assign(static_cast<std::size_t>(c.k), std::vector<int>(static_cast<std::size_t>(c.n)));
    for (auto& row : c.rows)
      for (int& x : row) x = static_cast<int>(rng() % 2);
    file += code_record(c);
  }
  ASSERT_TRUE(write_file(path_in(dir.path, "codes.txt"), file));
  const ProgramRun one = wdist(dir.path, {"--min-distance", "--weights-up-to", "12", "--threads", "1", "codes.txt"});
  ASSERT_EQ(one.exit_status, 0) << one.err;
  for (const char* threads : {"2", "3"}) {
    const ProgramRun r = wdist(dir.path, {"--min-distance", "--weights-up-to", "12", "--threads", threads, "codes.txt"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, one.out) << threads;
  }
}

// A random [240, 120] binary code takes far longer than the limit: the run
// stops there and says what it proved.
TEST(SearchCliTest, TimeLimitReportsTheBounds) {
  Dir dir;
  std::mt19937_64 rng(9);
  TestCode c{120, 240, 2, {}};
  c.rows.assign(120, std::vector<int>(240));
  for (auto& row : c.rows)
    for (int& x : row) x = static_cast<int>(rng() % 2);
  ASSERT_TRUE(write_file(path_in(dir.path, "big.txt"), code_record(c) + code_record(c)));
  const ProgramRun r = wdist(dir.path, {"--min-distance", "--format", "json", "--time-limit", "0.5", "--max-work",
                                        "2^62", "big.txt"});
  EXPECT_EQ(r.exit_status, 3) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 1U) << r.out;  // the second record is not begun
  EXPECT_EQ(value_of(lines[0], "min_distance"), "null");
  const std::string lower = value_of(lines[0], "lower_bound"), upper = value_of(lines[0], "upper_bound");
  ASSERT_NE(lower, "<absent>");
  ASSERT_NE(upper, "<absent>");
  EXPECT_GE(std::stoi(lower), 1);
  if (upper != "null") {
    EXPECT_LT(std::stoi(lower), std::stoi(upper));
    EXPECT_EQ(weight_of_list(value_of(lines[0], "witness")), std::stoi(upper));
  }
  // Text says it is a bound.
  const ProgramRun t = wdist(dir.path, {"--min-distance", "--time-limit", "0.5", "--max-work", "2^62", "big.txt"});
  EXPECT_EQ(t.exit_status, 3);
  EXPECT_NE(t.out.find(" <= d"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("stopped at the time limit"), std::string::npos) << t.out;
  // Refused before any work by the work limit's estimate: exit 1.
  const ProgramRun refused = wdist(dir.path, {"--min-distance", "--max-work", "1000", "big.txt"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("work limit"), std::string::npos) << refused.err;
}

// A run stopped by its time limit with --checkpoint keeps the checkpoint
// (the record in progress at its level and units); the run started again
// from it writes what a run never stopped writes, byte for byte.
TEST(SearchCliTest, ACheckpointResumesTheSearch) {
  Dir dir;
  std::mt19937_64 rng(12);
  TestCode c{52, 104, 2, {}};
  c.rows.assign(52, std::vector<int>(104));
  for (auto& row : c.rows)
    for (int& x : row) x = static_cast<int>(rng() % 2);
  TestCode small{4, 9, 3, {{1, 0, 0, 0, 1, 1, 1, 2, 0}, {0, 1, 0, 0, 1, 2, 0, 1, 1}, {0, 0, 1, 0, 2, 1, 1, 0, 2},
                           {0, 0, 0, 1, 0, 2, 2, 1, 1}}};
  ASSERT_TRUE(write_file(path_in(dir.path, "codes.txt"), code_record(small) + code_record(c) + code_record(small)));
  const std::vector<std::string> args = {"--min-distance", "--weights-up-to", "13", "--format", "json", "codes.txt"};
  const ProgramRun whole = wdist(dir.path, args);
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  std::vector<std::string> with = args;
  with.insert(with.end(), {"--checkpoint", "cp"});
  for (const char* limit : {"0.1", "0.25"}) {
    std::vector<std::string> stopped_args = with;
    stopped_args.insert(stopped_args.end(), {"--time-limit", limit});
    const ProgramRun stopped = wdist(dir.path, stopped_args);
    if (stopped.exit_status == 0) {  // done within the limit on a fast machine
      EXPECT_EQ(stopped.out, whole.out);
      continue;
    }
    ASSERT_EQ(stopped.exit_status, 3) << stopped.err;
    ASSERT_TRUE(path_exists(path_in(dir.path, "cp"))) << stopped.err;
    const ProgramRun resumed = wdist(dir.path, with);
    ASSERT_EQ(resumed.exit_status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, whole.out) << limit;
    EXPECT_FALSE(path_exists(path_in(dir.path, "cp")));
  }
}

TEST(SearchCliTest, UsageErrors) {
  Dir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--min-distance", "--projective"}, {"--weights-up-to", "3", "--format", "report"},
        {"--time-limit", "3"}, {"--weights-up-to", "0"}, {"--min-distance", "--dual", "always"}}) {
    const ProgramRun r = wdist(dir.path, args);
    EXPECT_EQ(r.exit_status, 2) << args[0] << " " << r.err;
  }
}

}  // namespace
