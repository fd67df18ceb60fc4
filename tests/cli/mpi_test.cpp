// wdist as an MPI job of three ranks on this machine: its output and exit
// status byte for byte those of one process (a block-wise binary record, a
// block-wise ternary one, a record through the dual code, a file of many
// small records in every format, refused records and an unreadable file,
// standard input; searches for the minimum distance and low-weight counts);
// a rank killed mid-record ends the job within a bounded
// time, and the job started again resumes from rank 0's checkpoint.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/known_sums.h"
#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

std::string record_head(int k, std::int64_t n, int q) {
  char head[64];
  std::snprintf(head, sizeof head, "?%d %lld %d\n", k, static_cast<long long>(n), q);
  return head;
}

std::string record_text(const wdist::Code& code) {
  std::string r = record_head(code.k, code.n, code.q);
  for (int i = 0; i < code.k; ++i) {
    for (std::int64_t j = 0; j < code.n; ++j)
      r += static_cast<char>('0' + code.entries[static_cast<std::size_t>(i * code.n + j)]);
    r += '\n';
  }
  return r;
}

std::string random_record(std::mt19937_64& rng, int k, int n, int q) {
  std::string r = record_head(k, n, q);
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < n; ++j) r += static_cast<char>('0' + rng() % static_cast<unsigned>(q));
    r += '\n';
  }
  return r;
}

// The JSON distribution of known counts: [[w, A_w], ...] over nonzero A_w.
std::string json_distribution(const std::vector<mpz_class>& counts) {
  std::string s = "\"distribution\": [";
  bool first = true;
  for (std::size_t w = 0; w < counts.size(); ++w) {
    if (counts[w] == 0) continue;
    s += first ? "[" : ", [";
    s += std::to_string(w);
    s += ", ";
    s += counts[w].get_str();
    s += "]";
    first = false;
  }
  return s + "]}";
}

class MpiRuns : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }

  // wdist alone, started without an MPI launcher.
  ProgramRun alone(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, input, kTimeout);
  }
  // wdist as `ranks` ranks; -q: mpirun's own notice of a non-zero exit
  // status would come beside the program's messages.
  ProgramRun job(int ranks, std::vector<std::string> args, const std::string& input = "",
                 double timeout = kTimeout, bool quiet = true) {
    std::vector<std::string> words = {WDIST_MPIEXEC, "--oversubscribe", "--bind-to", "none"};
    if (quiet) words.emplace_back("-q");
    if (geteuid() == 0) words.emplace_back("--allow-run-as-root");
    words.insert(words.end(), {"-np", std::to_string(ranks), WDIST_CLI_PROGRAM});
    words.insert(words.end(), args.begin(), args.end());
    return run_command(words, dir_, input, timeout);
  }
  // The same output, messages and exit status from one process and from
  // three ranks.
  void expect_same_run(const std::vector<std::string>& args, const std::string& input = "") {
    const ProgramRun one = alone(args, input);
    const ProgramRun three = job(3, args, input);
    EXPECT_FALSE(three.timed_out);
    EXPECT_EQ(three.exit_status, one.exit_status) << three.err;
    EXPECT_EQ(mask_time(three.out), mask_time(one.out));  // report blocks: their time lines aside
    EXPECT_EQ(three.err, one.err);
  }
  void put(const std::string& name, const std::string& bytes) { ASSERT_TRUE(write_file(path_in(dir_, name), bytes)); }
  std::string dir_;
};

// K = 28 over F_2 (64 units of binary blocks), its counts known by
// construction; 3^15 messages over F_3 in blocks with the high digits
// fixed; a [60, 32] code through its dual of dimension 28.
TEST_F(MpiRuns, LargeRecordsSplitOverRanksAsInOneProcess) {
  std::mt19937_64 rng(4401);
  const KnownCode binary = mixed_direct_sum(rng, 2, {{10, 22}, {9, 20}, {9, 18}});
  ASSERT_EQ(binary.rank, 28);
  put("binary.txt", record_text(binary.code));
  const ProgramRun three = job(3, {"--format", "json", "binary.txt"});
  ASSERT_EQ(three.exit_status, 0) << three.err;
  EXPECT_NE(three.out.find(json_distribution(binary.counts)), std::string::npos) << three.out;
  expect_same_run({"--format", "report", "binary.txt"});

  put("ternary.txt", random_record(rng, 15, 40, 3));
  expect_same_run({"--format", "json", "--threads", "1", "ternary.txt"});
  put("dual.txt", random_record(rng, 32, 60, 2));
  const ProgramRun dual = job(3, {"--format", "json", "dual.txt"});
  EXPECT_NE(dual.out.find("\"method\": \"dual\""), std::string::npos) << dual.out;
  expect_same_run({"--format", "json", "dual.txt"});
  expect_same_run({"--projective", "dual.txt", "ternary.txt"});
}

// Stabilizer records as codes are: a group of 2^26 elements split over the
// ranks (Z-type generators, each qubit's letter then changed alike), small
// ones dealt whole, a refused one in its place; --additive through the
// symplectic dual.
TEST_F(MpiRuns, StabilizerRecordsAsInOneProcess) {
  std::mt19937_64 rng(2201);
  std::string letters;
  for (int j = 0; j < 36; ++j) letters += "XYZ"[rng() % 3];
  std::string big = "? 26 36\n";
  for (int i = 0; i < 26; ++i) {
    for (int j = 0; j < 36; ++j) big += rng() % 2 == 0 ? 'I' : letters[static_cast<std::size_t>(j)];
    big += '\n';
  }
  const std::string five = "? 4 5\nXZZXI\nIXZZX\nXIXZZ\nZXIXZ\n";
  std::string small;
  for (int i = 0; i < 40; ++i) small += five + "? 2 4\nXXXX\nZZZZ\n";
  put("q.txt", small + big + "? 2 2\nXI\nZI\n" + small);
  expect_same_run({"--stabilizer", "--format", "json", "q.txt"});
  expect_same_run({"--stabilizer", "q.txt"});
  std::string rows = "? 40 12\n";
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 24; ++j) rows += static_cast<char>('0' + rng() % 2);
    rows += '\n';
  }
  put("additive.txt", rows + five);
  expect_same_run({"--additive", "--format", "json", "additive.txt"});
}

// Many small records of every field, dealt a few at a time; refused
// records and an unreadable file among them give the same messages once,
// in their places, and exit status 1.
TEST_F(MpiRuns, FilesOfSmallRecordsAndRefusals) {
  std::mt19937_64 rng(77);
  constexpr int kFields[] = {2, 3, 4, 5, 7};
  std::vector<std::string> records;
  for (int i = 0; i < 600; ++i)
    records.push_back(
        random_record(rng, 1 + static_cast<int>(rng() % 9), 1 + static_cast<int>(rng() % 24), kFields[rng() % 5]));
  const auto first = [&](std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) s += records[i];
    return s;
  };
  put("small.txt", first(600) + random_record(rng, 22, 50, 2) + first(200));
  for (const char* format : {"text", "json", "report"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> args = {"--format", format, "small.txt"};
    const ProgramRun one = alone(args), three = job(3, args);
    ASSERT_EQ(three.exit_status, 0) << three.err;
    EXPECT_EQ(mask_time(three.out), mask_time(one.out));
  }
  put("refused.txt", "?1 3 6\n123\n" + first(150) + "?2 2 3\n13\n10\n?1 2 2\n11\n?2 3 2\n101\n");
  expect_same_run({"refused.txt", "missing.txt", "small.txt", "refused.txt"});
  const ProgramRun refused = job(3, {"refused.txt", "missing.txt"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.err,
            "wdist: refused.txt: record 1: q = 6, the field must be one of the prime powers up to 256\n"
            "wdist: refused.txt: record 152: entry 3 in row 1, column 2 is not below q = 3\n"
            "wdist: refused.txt: record 154: the input ends inside the record\n"
            "wdist: missing.txt: No such file or directory\n");
  // Standard input reaches rank 0 alone, which then computes everything.
  expect_same_run({"--format", "json", "-"}, first(120));
  // One rank is one process.
  const ProgramRun one = alone({"small.txt"}), single = job(1, {"small.txt"});
  EXPECT_EQ(single.out, one.out);
  EXPECT_EQ(single.exit_status, one.exit_status);
}

// Searches dealt level by level: random records of F_2, F_3 and F_4 whose
// search walks many levels (a [128, 64] one on one thread a rank, so that
// the other ranks take most of its units), a record whose complete
// distribution is cheaper (its units dealt, then the witness sought), and
// low-weight counts; the witness, bounds and counts are those of one
// process, byte for byte.
TEST_F(MpiRuns, SearchesSplitOverRanksAsInOneProcess) {
  std::mt19937_64 rng(6161);
  put("search.txt", random_record(rng, 64, 128, 2) + random_record(rng, 32, 64, 2) + random_record(rng, 20, 40, 3) +
                        random_record(rng, 18, 36, 4) + random_record(rng, 17, 150, 3));
  const ProgramRun three = job(3, {"--min-distance", "--threads", "1", "--format", "json", "search.txt"});
  ASSERT_EQ(three.exit_status, 0) << three.err;
  EXPECT_NE(three.out.find("\"method\": \"information sets\""), std::string::npos) << three.out;
  EXPECT_NE(three.out.find("\"method\": \"d"), std::string::npos) << three.out;  // direct or dual
  const ProgramRun one = alone({"--min-distance", "--threads", "1", "--format", "json", "search.txt"});
  EXPECT_EQ(three.out, one.out);
  EXPECT_EQ(three.err, one.err);
  expect_same_run({"--min-distance", "search.txt"});
  expect_same_run({"--weights-up-to", "14", "--format", "json", "search.txt"});
  expect_same_run({"--weights-up-to", "12", "--min-distance", "--threads", "1", "search.txt"});
}

// The process of rank `rank` of the job whose processes carry `mark` in
// their environment; 0 when there is none (yet).
pid_t rank_process(const std::string& mark, int rank) {
  const std::string want = "OMPI_COMM_WORLD_RANK=" + std::to_string(rank);
  pid_t found = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  while (const dirent* e = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    std::ifstream environ_file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::stringstream bytes;
    bytes << environ_file.rdbuf();
    bool marked = false, ranked = false;
    std::string entry;
    while (std::getline(bytes, entry, '\0')) {
      marked = marked || entry == mark;
      ranked = ranked || entry == want;
    }
    if (marked && ranked) found = pid;
  }
  closedir(proc);
  return found;
}

TEST_F(MpiRuns, AKilledRankEndsTheJobAndTheCheckpointResumesIt) {
  std::mt19937_64 rng(3232);
  put("b33.txt", random_record(rng, 33, 100, 2));
  const std::vector<std::string> args = {"--quiet", "--threads", "1", "--checkpoint", "ck", "--checkpoint-interval", "0",
                                         "b33.txt"};
  const ProgramRun reference = alone({"--threads", "2", "b33.txt"});
  ASSERT_EQ(reference.exit_status, 0);

  // Ranks carry the mark in the environment mpirun hands them.
  const std::string mark = "WDIST_MPI_TEST_MARK=" + std::to_string(getpid());
  ASSERT_EQ(setenv("WDIST_MPI_TEST_MARK", std::to_string(getpid()).c_str(), 1), 0);
  std::atomic<bool> killed{false};
  std::thread killer([&] {
    // Once rank 0 has written a checkpoint (it computes by then), rank 1
    // dies a moment later.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!path_exists(path_in(dir_, "ck")) && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (const pid_t pid = rank_process(mark, 1); pid > 0 && kill(pid, SIGKILL) == 0) killed = true;
  });
  const auto start = std::chrono::steady_clock::now();
  // mpirun's own notice names the rank that died (rank 0 says it stopped
  // too when the runtime's SIGTERM finds it between units and not inside a
  // synced write, before the runtime's SIGKILL).
  const ProgramRun broken = job(3, args, "", 60.0, false);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  killer.join();
  unsetenv("WDIST_MPI_TEST_MARK");
  ASSERT_TRUE(killed) << "rank 1 was not found running: " << broken.err;
  EXPECT_FALSE(broken.timed_out);
  EXPECT_NE(broken.exit_status, 0);
  EXPECT_LT(seconds, 30.0);
  EXPECT_TRUE(path_exists(path_in(dir_, "ck")));
  EXPECT_NE(broken.err.find("rank 1"), std::string::npos) << broken.err;
  EXPECT_NE(broken.err.find("exited on signal 9"), std::string::npos) << broken.err;

  const ProgramRun resumed = job(3, args);
  EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_EQ(resumed.err, "");
  EXPECT_FALSE(path_exists(path_in(dir_, "ck")));
}

}  // namespace
