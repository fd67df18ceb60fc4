// The wdist program end to end: its formats, its exit statuses and
// messages, standard input and several files, and its report blocks
// byte for byte against wdist-wide's (time lines masked).
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/brute_force.h"
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
            "wdist: a.txt: record 1: q = 6, the field must be one of the prime powers up to 256\n"
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

// A code of length 0 is the zero code whatever its k: a head of a few bytes
// may claim 2^31 - 1 rows, which must cost nothing to read or reduce (the
// rows are empty lines; the last record's run to the end of the input).
TEST_F(Cli, ZeroLengthCodesOfAnyDimensionCostNothing) {
  const ProgramRun run = wdist({"--format", "json"}, "?3 0 2\n\n\n?2147483647 0 3\n\n");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"file\": \"-\", \"record\": 1, \"q\": 2, \"n\": 0, \"k\": 3, \"rank\": 0, \"min_distance\": null, "
            "\"method\": \"direct\", \"projective\": false, \"distribution\": [[0, 1]]}\n"
            "{\"file\": \"-\", \"record\": 2, \"q\": 3, \"n\": 0, \"k\": 2147483647, \"rank\": 0, "
            "\"min_distance\": null, \"method\": \"direct\", \"projective\": false, \"distribution\": [[0, 1]]}\n");
}

// JSON Lines of random codes of every field, full rank and rank-deficient,
// with zero columns, against the brute force: every codeword once, A_0 = 1,
// the counts summing to q^rank.
// A script that writes a record into a pipe and waits for its answer
// before it writes the next one gets the answer while its end stays open.
TEST_F(Cli, EachRecordIsAnsweredWhileThePipeStaysOpen) {
  int to_child[2], from_child[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(from_child), 0);
  signal(SIGPIPE, SIG_IGN);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) close(fd);
    execl(WDIST_CLI_PROGRAM, WDIST_CLI_PROGRAM, "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  for (const char* record : {"? 2 3 2 1\n110\n011\n", "? 1 4 3 2\n1211\n"}) {
    ASSERT_EQ(write(to_child[1], record, std::strlen(record)), static_cast<ssize_t>(std::strlen(record)));
    // The answer of this record ends with an empty line.
    std::string answer;
    while (answer.size() < 2 || answer.compare(answer.size() - 2, 2, "\n\n") != 0) {
      pollfd p{from_child[0], POLLIN, 0};
      ASSERT_EQ(poll(&p, 1, static_cast<int>(1000 * kTimeout)), 1) << "no answer while the input is open: " << answer;
      char bytes[256];
      const ssize_t got = read(from_child[0], bytes, sizeof bytes);
      ASSERT_GT(got, 0);
      answer.append(bytes, static_cast<std::size_t>(got));
    }
    EXPECT_NE(answer.find(" record "), std::string::npos) << answer;
  }
  close(to_child[1]);
  const int status = reap_within(pid, kTimeout);
  close(from_child[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Cli, JsonDistributionsMatchTheBruteForce) {
  std::mt19937 rng(99);
  std::vector<TestCode> codes;
  std::string input;
  for (int q : {2, 3, 4, 5, 7})
    for (int trial = 0; trial < 12; ++trial) {
      const int k = 1 + static_cast<int>(rng() % (q == 2 ? 10u : 5u)), n = static_cast<int>(rng() % 16);
      TestCode c{k, n, q, std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n)))};
      for (int i = 0; i < k; ++i)
        for (int j = 0; j < n; ++j) entry_of(c, i, j) = j % 5 == 2 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(q));
      if (trial % 3 == 0 && k > 1) c.rows[static_cast<std::size_t>(k - 1)] = c.rows[0];
      codes.push_back(c);
      input += code_record(c);
    }
  const ProgramRun run = wdist({"--format", "json", "-"}, input);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  static const std::regex line(R"(\{"file": "-", "record": (\d+), .*"rank": (\d+), .*"distribution": \[(.*)\]\})");
  static const std::regex pair(R"(\[(\d+), (\d+)\])");
  std::size_t at = 0;
  for (const TestCode& c : codes) {
    SCOPED_TRACE(describe_code(c));
    const std::size_t end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string text = run.out.substr(at, end - at);
    at = end + 1;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    const Weights all = all_message_weights(c);  // each codeword q^(k - rank) times, all[0] of them
    WeightPairs expected;
    std::uint64_t sum = 0;
    for (std::size_t w = 0; w < all.size(); ++w)
      if (all[w] != 0) expected.emplace_back(static_cast<int>(w), all[w] / all[0]), sum += all[w] / all[0];
    WeightPairs got;
    const std::string pairs = m[3].str();
    for (auto it = std::sregex_iterator(pairs.begin(), pairs.end(), pair); it != std::sregex_iterator(); ++it)
      got.emplace_back(std::stoi((*it)[1].str()), std::stoull((*it)[2].str()));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(power_of(c.q, std::stoi(m[2].str())), sum) << "the counts add up to q^rank";
  }
}

// File names are bytes; JSON strings are Unicode. Every line parses as
// JSON (strictly: valid UTF-8, no raw control characters) whatever the
// names, and each name reads back as it decodes with every ill-formed
// UTF-8 sequence replaced by U+FFFD, as Python's "replace" does it.
TEST_F(Cli, JsonLinesParseWhateverTheFileNames) {
  if (!path_exists("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  const std::vector<std::string> names = {
      "plain.txt", "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80",   // valid UTF-8 of 2, 3 and 4 bytes
      "latin1 caf\xe9", "bad\xff\xfe", "overlong\xc0\xaf", "surrogate\xed\xa0\x80", "cut\xe2\x82",
      "cut at end\xf0\x9f\x98", "beyond\xf4\x90\x80\x80", "tab\there", "new\nline", "bell\x07\x1f\x7f",
      "quote\"back\\slash", "\xe2\x82\xe2\x82\xac", "edges \xed\x9f\xbf \xee\x80\x80 \xf4\x8f\xbf\xbf",
      "overlong \xe0\x80\xaf \xf0\x80\x80\x80", "\xf5\x80\x80\x80 \xc1\xbf \x80"};
  std::vector<std::string> args = {"--format", "json"};
  std::string hex_names;
  for (const std::string& name : names) {
    ASSERT_TRUE(write_file(path_in(dir_, name), "?1 2 2\n11\n")) << name;
    args.push_back(name);
    for (const char c : name) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
      hex_names += hex;
    }
    hex_names += ' ';
  }
  const ProgramRun run = wdist(args);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const ProgramRun check = run_command(
      {"/usr/bin/python3", "-c",
       "import json, sys\n"
       "lines = sys.stdin.buffer.read().decode('utf-8').split('\\n')\n"
       "names = [bytes.fromhex(h).decode('utf-8', 'replace') for h in sys.argv[1].split()]\n"
       "assert lines[-1] == '' and len(lines) == len(names) + 1, len(lines)\n"
       "for line, name in zip(lines, names):\n"
       "    record = json.loads(line)\n"
       "    assert record['file'] == name, (record['file'], name)\n"
       "    assert record['distribution'] == [[0, 1], [2, 1]]\n"
       "print('ok')\n",
       hex_names},
      dir_, run.out, kTimeout);
  EXPECT_EQ(check.out, "ok\n") << check.err;
}

// The records a run reports on standard error, as "N: reason" lines: the
// menu's "wdist: record N refused: reason" or the program's
// "wdist: FILE: record N: reason"; the end of the input inside a record is
// "N: truncated" from either.
std::vector<std::string> refusals(const std::string& err) {
  static const std::regex menu(R"(wdist: record (\d+) refused: (.*))"), cli(R"(wdist: [^:]*: record (\d+): (.*))");
  static const std::regex menu_end(R"(wdist: record (\d+): end of file inside the record.*)"),
      cli_end(R"(wdist: [^:]*: record (\d+): the input ends inside the record)");
  std::vector<std::string> found;
  std::size_t at = 0;
  while (at < err.size()) {
    std::size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(at, end - at);
    std::smatch m;
    if (std::regex_match(line, m, menu_end) || std::regex_match(line, m, cli_end))
      found.push_back(m[1].str() + ": truncated");
    else if (std::regex_match(line, m, menu) || std::regex_match(line, m, cli))
      found.push_back(m[1].str() + ": " + m[2].str());
    at = end + 1;
  }
  return found;
}

// Random records of every field: several sizes in one file (so the heads'
// capacities change), rank-deficient rows and zero columns.
std::string random_records(unsigned seed) {
  std::mt19937 rng(seed);
  std::string text = "random records\n";
  for (int r = 0; r < 40; ++r) {
    const int q = std::vector<int>{2, 3, 4, 5, 7}[rng() % 5];
    const int k = 1 + static_cast<int>(rng() % 6), n = static_cast<int>(rng() % 40);
    text += "? " + std::to_string(k) + " " + std::to_string(n) + " " + std::to_string(q) + "\n";
    std::string first;
    for (int i = 0; i < k; ++i) {
      std::string row;
      for (int j = 0; j < n; ++j) row += static_cast<char>('0' + (j % 7 == 3 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(q))));
      if (i == 0) first = row;
      text += (i == k - 1 && r % 3 == 0 ? first : row) + "\n";
    }
  }
  return text;
}

// Every input of the fuzz seed corpus (the record format's quirks, refusals,
// truncated records) and random files of every field, through menu choices
// 1 and 33 of wdist-wide and through wdist --format report: the same blocks,
// byte for byte but for the time, and the same records refused. Where
// wdist-wide halts because a table cannot be had, wdist goes on: its
// blocks then begin with all of wdist-wide's.
class ReportLikeTheWideProgram : public Cli, public ::testing::WithParamInterface<std::string> {};

TEST_P(ReportLikeTheWideProgram, SameBlocksAndRefusals) {
  const std::string& input = GetParam();
  std::string content;
  if (input.rfind("random", 0) == 0)
    content = random_records(static_cast<unsigned>(std::stoul(input.substr(6))));
  else
    ASSERT_TRUE(read_file(std::string(WDIST_SOURCE_DIR) + "/fuzz/corpus/input/" + input, content));
  ASSERT_TRUE(write_file(path_in(dir_, "EXAM.txt"), content));
  for (int choice : {1, 33}) {
    SCOPED_TRACE("choice " + std::to_string(choice));
    std::remove(path_in(dir_, "ERRORq.txt").c_str());
    const ProgramRun menu = run_wdist(dir_, std::to_string(choice) + "\n4\n");
    const bool halted = path_exists(path_in(dir_, "ERRORq.txt"));
    const std::string menu_report = mask_time(file_text(path_in(dir_, "EXAM.txt_r")));
    std::vector<std::string> args = {"--format", "report", "EXAM.txt"};
    if (choice == 33) args.push_back("--projective");
    const ProgramRun run = wdist(args);
    const std::string report = mask_time(run.out);
    if (halted) {
      EXPECT_EQ(report.substr(0, menu_report.size()), menu_report);
      continue;
    }
    EXPECT_EQ(report, menu_report);
    EXPECT_EQ(refusals(run.err), refusals(menu.err)) << run.err << menu.err;
    EXPECT_EQ(run.exit_status, refusals(menu.err).empty() && menu.err.empty() ? 0 : 1) << run.err;
  }
}

std::vector<std::string> report_inputs() {
  std::vector<std::string> names;
  if (DIR* d = opendir((std::string(WDIST_SOURCE_DIR) + "/fuzz/corpus/input").c_str()); d != nullptr) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (int seed = 1; seed <= 3; ++seed) names.push_back("random" + std::to_string(seed));
  return names;
}

INSTANTIATE_TEST_SUITE_P(Inputs, ReportLikeTheWideProgram, ::testing::ValuesIn(report_inputs()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
