// Who may use a checkpoint, and what a run leaves when it stops: one run
// at a time (a second is refused and touches nothing of the first's, and
// the hold ends with its run however that ends); inputs that could not be
// read a second time refused before anything is read; a stop that could
// not write its checkpoint saying so; output that could not be written
// leaving a checkpoint to resume from; names and intervals that are not
// usable refused as usage errors; a search stopped by a signal or killed,
// and resumed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/program_runner.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 120.0;

// Whether `condition` came true within `seconds` (looked at every 5 ms).
bool eventually(const std::function<bool()>& condition, double seconds = kTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// wdist started in the background in `dir`, its streams going to files
// there; killed and reaped when the test ends before it does.
class BackgroundRun {
 public:
  BackgroundRun(const std::string& dir, const std::vector<std::string>& args, const std::string& name)
      : out_(path_in(dir, name + ".out")), err_(path_in(dir, name + ".err")) {
    std::vector<std::string> words = {WDIST_CLI_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~BackgroundRun() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  [[nodiscard]] bool started() const { return pid_ > 0; }
  bool running() {
    reap(WNOHANG);
    return status_ < 0;
  }
  void signal(int sig) const { kill(pid_, sig); }
  // The exit status (128 + the signal that ended it); -1 when it is still
  // running after `seconds`.
  int finish(double seconds = kTimeout) {
    eventually([this] { return !running(); }, seconds);
    return status_;
  }
  [[nodiscard]] std::string err() const { return file_text(err_); }
  [[nodiscard]] std::string out() const { return file_text(out_); }

 private:
  void reap(int options) {
    if (status_ >= 0) return;
    int status = 0;
    if (waitpid(pid_, &status, options) != pid_) return;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid_ = -1;
  int status_ = -1;
  std::string out_, err_;
};

std::string random_record(std::mt19937_64& rng, int k, int n, int q) {
  char head[48];
  std::snprintf(head, sizeof head, "?%d %d %d\n", k, n, q);
  std::string r = head;
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < n; ++j) r += static_cast<char>('0' + rng() % static_cast<unsigned>(q));
    r += '\n';
  }
  return r;
}

std::string last_line(const std::string& text) {
  if (text.empty()) return "";
  const std::size_t from = text.rfind('\n', text.size() - 2);
  return text.substr(from == std::string::npos ? 0 : from + 1);
}

class CheckpointUse : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_work_dir();
    std::mt19937_64 rng(31);
    // A record of 2^29 messages counted directly: most of a second on one
    // thread, long enough to be caught with its first checkpoint written
    // (a few milliseconds in).
    ASSERT_TRUE(write_file(path("big.txt"), random_record(rng, 29, 100, 2) + random_record(rng, 3, 9, 3)));
    std::string small;
    for (int i = 0; i < 30; ++i) small += random_record(rng, 1 + i % 5, 6 + i % 7, i % 2 == 0 ? 2 : 5);
    ASSERT_TRUE(write_file(path("small.txt"), small + "?1 3 6\n123\n"));
  }
  void TearDown() override { remove_work_dir(dir_); }

  ProgramRun wdist(std::vector<std::string> args, const std::string& input = "", double timeout = kTimeout) {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, input, timeout);
  }
  std::string path(const std::string& name) const { return path_in(dir_, name); }
  // The checkpoint ck and its companions as they are now.
  std::map<std::string, std::string> checkpoint_files() const {
    std::map<std::string, std::string> files;
    for (const char* name : {"ck", "ck.spool", "ck.tmp"}) files[name] = file_text(path(name));
    return files;
  }
  // A run over big.txt with a checkpoint at every report, in the background,
  // once it has written its checkpoint `ck`.
  void start_big_run(std::unique_ptr<BackgroundRun>& run, const std::string& name, const char* wait_for = "ck") {
    run = std::make_unique<BackgroundRun>(
        dir_, std::vector<std::string>{"--quiet", "--threads", "1", "--checkpoint", "ck", "--checkpoint-interval", "0",
                                       "--dual", "never", "big.txt"},
        name);
    ASSERT_TRUE(run->started());
    ASSERT_TRUE(eventually([&] { return path_exists(path(wait_for)) || !run->running(); }));
    ASSERT_TRUE(run->running()) << "the run ended before its " << wait_for << " was seen: " << run->err();
  }
  std::string dir_;
};

// The lock on a checkpoint: a run that finds it held is refused before it
// creates, truncates or removes anything (the first run is stopped
// meanwhile, so that its files hold still), whatever its inputs; the first
// run goes on, and its checkpoint resumes it.
TEST_F(CheckpointUse, ASecondRunIsRefusedAndLeavesTheFirstRunsFilesAsTheyWere) {
  const ProgramRun reference = wdist({"--quiet", "--dual", "never", "big.txt"});
  ASSERT_EQ(reference.exit_status, 0) << reference.err;
  std::unique_ptr<BackgroundRun> first;
  start_big_run(first, "first");
  first->signal(SIGSTOP);
  const auto before = checkpoint_files();
  ASSERT_NE(before.at("ck.spool"), "<missing>");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--quiet", "--threads", "1", "--checkpoint", "ck", "--checkpoint-interval", "0",
                                 "--dual", "never", "big.txt"},
        std::vector<std::string>{"--checkpoint", "ck", "small.txt"},
        std::vector<std::string>{"--projective", "--checkpoint", "ck", "big.txt", "small.txt"}}) {
    const ProgramRun second = wdist(args);
    EXPECT_EQ(second.exit_status, 2);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "wdist: checkpoint in use: ck is held by another run\n");
    EXPECT_EQ(checkpoint_files(), before);
  }
  first->signal(SIGCONT);
  first->signal(SIGTERM);
  EXPECT_EQ(first->finish(), 128 + SIGTERM);
  EXPECT_EQ(last_line(first->err()), "wdist: stopped by signal 15; checkpoint ck resumes the run\n");
  const ProgramRun resumed = wdist({"--quiet", "--threads", "2", "--checkpoint", "ck", "--dual", "never", "big.txt"});
  EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_FALSE(path_exists(path("ck")));
  EXPECT_FALSE(path_exists(path("ck.spool")));
}

// The hold is the process's: what a run killed (or crashed) leaves behind
// is no hold, and the next run takes it over.
TEST_F(CheckpointUse, WhatADeadRunLeftIsTakenOver) {
  const ProgramRun reference = wdist({"--quiet", "small.txt"});
  ASSERT_TRUE(write_file(path("ck.spool"), "the working copy of a run killed before its first checkpoint"));
  ASSERT_TRUE(write_file(path("ck.tmp"), "a checkpoint half written"));
  const ProgramRun run = wdist({"--quiet", "--checkpoint", "ck", "small.txt"});
  EXPECT_EQ(run.exit_status, reference.exit_status);
  EXPECT_EQ(run.out, reference.out);
  EXPECT_EQ(run.err, reference.err);
  EXPECT_EQ(checkpoint_files(),
            (std::map<std::string, std::string>{{"ck", "<missing>"}, {"ck.spool", "<missing>"}, {"ck.tmp", "<missing>"}}));

  std::unique_ptr<BackgroundRun> killed;
  start_big_run(killed, "killed");
  killed->signal(SIGKILL);
  EXPECT_EQ(killed->finish(), 128 + SIGKILL);
  ASSERT_TRUE(path_exists(path("ck.spool")));
  const ProgramRun resumed = wdist({"--quiet", "--checkpoint", "ck", "--dual", "never", "big.txt"});
  EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(resumed.err, "");
}

// Hashing an input for the run's identity reads it whole before the run
// reads it again: a pipe, a FIFO or a device would be consumed (or waited
// on for ever), so they are refused as standard input is, before anything
// is opened, read or created.
TEST_F(CheckpointUse, InputsThatCannotBeReadTwiceAreRefused) {
  const std::string record = "?1 2 2\n11\n";
  const auto refused = [&](const ProgramRun& run, const std::string& name, const std::string& kind) {
    EXPECT_FALSE(run.timed_out) << name;
    EXPECT_EQ(run.exit_status, 2) << name;
    EXPECT_EQ(run.out, "") << name;
    EXPECT_EQ(run.err, "wdist: --checkpoint needs inputs that can be read again: " + name + " is " + kind + "\n");
    EXPECT_FALSE(path_exists(path("ck")));
    EXPECT_FALSE(path_exists(path("ck.spool")));
  };
  refused(wdist({"--checkpoint", "ck", "small.txt", "/dev/stdin"}, record), "/dev/stdin", "a pipe");
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  refused(wdist({"--checkpoint", "ck", "fifo"}, "", 30.0), "fifo", "a pipe");
  refused(wdist({"--checkpoint", "ck", "/dev/null"}), "/dev/null", "a character device");
  if (path_exists("/bin/bash")) {
    const ProgramRun run = run_command(
        {"/bin/bash", "-c", std::string("exec '") + WDIST_CLI_PROGRAM + "' --checkpoint ck <(cat small.txt)"}, dir_, "",
        kTimeout);
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_TRUE(std::regex_match(run.err, std::regex("wdist: --checkpoint needs inputs that can be read again: "
                                                     "/dev/fd/[0-9]+ is a pipe\n")))
        << run.err;
  }
  // Without --checkpoint they are read once, as any input.
  const ProgramRun once = wdist({"--quiet", "/dev/stdin"}, record);
  EXPECT_EQ(once.exit_status, 0);
  EXPECT_EQ(once.out, "/dev/stdin record 1: q=2 n=2 k=1 rank=1 d=2\n  0 1\n  2 1\n\n");
}

// A run stopped by a signal says whether a checkpoint resumes it: none
// when none could be written (a directory where FILE.tmp goes), and no
// working copy is left without one; the earlier one when only the last
// write failed.
TEST_F(CheckpointUse, AStopSaysWhetherACheckpointResumesTheRun) {
  const ProgramRun reference = wdist({"--quiet", "--dual", "never", "big.txt"});
  ASSERT_EQ(mkdir(path("ck.tmp").c_str(), 0700), 0);
  std::unique_ptr<BackgroundRun> run;
  start_big_run(run, "none", "ck.spool");
  run->signal(SIGTERM);
  EXPECT_EQ(run->finish(), 128 + SIGTERM);
  EXPECT_EQ(last_line(run->err()), "wdist: stopped by signal 15; no checkpoint could be written (a new run starts from the beginning)\n");
  EXPECT_FALSE(path_exists(path("ck")));
  EXPECT_FALSE(path_exists(path("ck.spool")));
  ASSERT_EQ(rmdir(path("ck.tmp").c_str()), 0);

  start_big_run(run, "earlier");
  // The directory goes in while the run is not writing ck.tmp itself.
  bool placed = false;
  for (int attempt = 0; attempt < 200 && !placed; ++attempt) {
    run->signal(SIGSTOP);
    placed = mkdir(path("ck.tmp").c_str(), 0700) == 0;
    run->signal(SIGCONT);
    if (!placed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(placed);
  run->signal(SIGTERM);
  EXPECT_EQ(run->finish(), 128 + SIGTERM);
  EXPECT_EQ(last_line(run->err()), "wdist: stopped by signal 15; checkpoint ck could not be written again: it resumes the run from an earlier point\n");
  EXPECT_NE(run->err().find("wdist: writing checkpoint ck failed: ck.tmp: Is a directory\n"), std::string::npos);
  ASSERT_EQ(rmdir(path("ck.tmp").c_str()), 0);
  const ProgramRun resumed = wdist({"--quiet", "--checkpoint", "ck", "--dual", "never", "big.txt"});
  EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, reference.out);
}

// A search (--min-distance) stopped by SIGINT or SIGTERM writes the bounds
// it proved and the lightest codeword met, exit status 3; with a
// checkpoint, that is written first and kept, and the run started again
// from it writes the bytes of a run never stopped. So does a run killed
// outright (SIGKILL) once its checkpoint is written.
TEST_F(CheckpointUse, SearchesStoppedBySignalsReportTheirBoundsAndResume) {
  std::mt19937_64 rng(5);
  // A random binary [128, 64] code: d about 16, most of a second of search
  // on one thread, between two small records.
  ASSERT_TRUE(write_file(path("codes.txt"),
                         random_record(rng, 4, 12, 3) + random_record(rng, 64, 128, 2) + random_record(rng, 5, 11, 2)));
  const std::vector<std::string> args = {"--min-distance", "--format", "json", "--threads", "1", "codes.txt"};
  const ProgramRun reference = wdist(args);
  ASSERT_EQ(reference.exit_status, 0) << reference.err;
  const std::string first_line = reference.out.substr(0, reference.out.find('\n') + 1);
  struct Stop {
    int signal;
    bool checkpoint;
  };
  for (const Stop stop : {Stop{SIGINT, false}, Stop{SIGTERM, false}, Stop{SIGINT, true}, Stop{SIGTERM, true},
                          Stop{SIGKILL, true}}) {
    SCOPED_TRACE(std::to_string(stop.signal) + (stop.checkpoint ? " with a checkpoint" : ""));
    std::vector<std::string> run_args = args;
    if (stop.checkpoint) run_args.insert(run_args.begin(), {"--checkpoint", "ck", "--checkpoint-interval", "0"});
    else run_args.insert(run_args.begin(), "--progress");
    // Not the last run's: its progress line would be taken for this one's.
    std::remove(path("stopped.err").c_str());
    BackgroundRun run(dir_, run_args, "stopped");
    ASSERT_TRUE(run.started());
    // In the second record's search: its checkpoint written, or its
    // progress line (the bounds) shown.
    ASSERT_TRUE(eventually([&] {
      return (stop.checkpoint ? path_exists(path("ck")) : run.err().find("record 2: ") != std::string::npos) ||
             !run.running();
    }));
    ASSERT_TRUE(run.running()) << "the run ended before its search was seen: " << run.err();
    run.signal(stop.signal);
    if (stop.signal == SIGKILL) {
      EXPECT_EQ(run.finish(), 128 + SIGKILL);
    } else {
      ASSERT_EQ(run.finish(), 3) << run.err();
      const std::string out = run.out();
      ASSERT_EQ(out.compare(0, first_line.size(), first_line), 0) << out;
      const std::string stopped = out.substr(first_line.size());
      ASSERT_EQ(std::count(stopped.begin(), stopped.end(), '\n'), 1) << out;  // the third record is not begun
      std::smatch m;
      ASSERT_TRUE(std::regex_search(stopped, m, std::regex(R"("min_distance": null, .*"lower_bound": (\d+), )"
                                                           R"("upper_bound": (\d+|null), "witness": (\[[0-9, ]*\]|null)\})")))
          << stopped;
      EXPECT_GE(std::stoi(m[1]), 1);
      if (m[2] != "null") {
        EXPECT_LT(std::stoi(m[1]), std::stoi(m[2]));
        const std::string witness = m[3];
        EXPECT_EQ(std::count(witness.begin(), witness.end(), '1'), std::stoi(m[2])) << witness;
      }
      if (stop.checkpoint) {
        EXPECT_EQ(last_line(run.err()), "wdist: checkpoint ck resumes the run\n");
      }
    }
    EXPECT_EQ(path_exists(path("ck")), stop.checkpoint);
    if (!stop.checkpoint) continue;
    std::vector<std::string> resume_args = args;
    resume_args.insert(resume_args.begin(), {"--checkpoint", "ck"});
    const ProgramRun resumed = wdist(resume_args);
    EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, reference.out);
    EXPECT_FALSE(path_exists(path("ck")));
  }
}

// Standard output that fails (a full disk) ends the run with a checkpoint
// that writes the whole output again, or with nothing when that cannot be
// written either; never with a working copy alone.
TEST_F(CheckpointUse, OutputThatCannotBeWrittenLeavesACheckpointToResumeFrom) {
  const ProgramRun reference = wdist({"--quiet", "small.txt"});
  ASSERT_EQ(reference.exit_status, 1);
  const auto to_full = [&] {
    return run_command({"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full", WDIST_CLI_PROGRAM, "--quiet", "--checkpoint",
                        "ck", "small.txt"},
                       dir_, "", kTimeout);
  };
  ProgramRun full = to_full();
  EXPECT_EQ(full.exit_status, 1);
  EXPECT_EQ(last_line(full.err), "wdist: writing the output failed: No space left on device; checkpoint ck resumes the run\n");
  EXPECT_TRUE(path_exists(path("ck")));
  EXPECT_FALSE(path_exists(path("ck.spool")));
  const ProgramRun resumed = wdist({"--quiet", "--checkpoint", "ck", "small.txt"});
  EXPECT_EQ(resumed.exit_status, reference.exit_status);
  EXPECT_EQ(resumed.out, reference.out);
  EXPECT_EQ(resumed.err, reference.err);  // the failed run's refusal, written again
  EXPECT_FALSE(path_exists(path("ck")));

  ASSERT_EQ(mkdir(path("ck.tmp").c_str(), 0700), 0);
  full = to_full();
  EXPECT_EQ(full.exit_status, 1);
  EXPECT_EQ(last_line(full.err), "wdist: writing the output failed: No space left on device; no checkpoint could be written (a new run "
                                 "starts from the beginning)\n");
  EXPECT_FALSE(path_exists(path("ck")));
  EXPECT_FALSE(path_exists(path("ck.spool")));
}

TEST_F(CheckpointUse, EmptyNamesAndIntervalsThatAreNotNumbersAreUsageErrors) {
  ProgramRun run = wdist({"--checkpoint", "", "small.txt"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "wdist: --checkpoint: the file name is empty\n");
  for (const char* interval : {"nan", "-nan", "NaN", "inf", "-inf", "1e300", "-1", "1e10", "ten"}) {
    run = wdist({"--checkpoint", "ck", "--checkpoint-interval", interval, "small.txt"});
    EXPECT_EQ(run.exit_status, 2) << interval;
    EXPECT_EQ(run.out, "") << interval;
    EXPECT_EQ(run.err.rfind(std::string("--checkpoint-interval: "), 0), 0u) << run.err;
    EXPECT_NE(run.err.find(interval), std::string::npos) << run.err;
    EXPECT_FALSE(path_exists(path("ck.spool")));
  }
  run = wdist({"--checkpoint", "ck", "--checkpoint-interval", "1e9", "--quiet", "small.txt"});
  EXPECT_EQ(run.exit_status, 1);  // its refused record
}

// A stabilizer record resumes as a code does: killed with its checkpoint
// written, the run started again writes the bytes of a run never stopped;
// the same checkpoint read as codes (no --stabilizer) is another run's.
TEST_F(CheckpointUse, AStabilizerRunKilledResumes) {
  std::mt19937_64 rng(7);
  // 29 commuting generators on 40 qubits (Z-type, each qubit's letter then
  // changed alike): 2^29 elements, a second or so on one thread.
  std::string letters;
  for (int j = 0; j < 40; ++j) letters += "XYZ"[rng() % 3];
  std::string file = "? 29 40\n";
  for (int i = 0; i < 29; ++i) {
    for (int j = 0; j < 40; ++j) file += rng() % 2 == 0 ? 'I' : letters[static_cast<std::size_t>(j)];
    file += '\n';
  }
  ASSERT_TRUE(write_file(path("q.txt"), file + "? 4 5\nXZZXI\nIXZZX\nXIXZZ\nZXIXZ\n"));
  const ProgramRun reference = wdist({"--quiet", "--stabilizer", "--format", "json", "q.txt"});
  ASSERT_EQ(reference.exit_status, 0) << reference.err;
  for (const bool as_codes : {false, true}) {
    BackgroundRun run(dir_,
                      {"--quiet", "--stabilizer", "--format", "json", "--threads", "1", "--checkpoint", "ck",
                       "--checkpoint-interval", "0", "q.txt"},
                      "killed");
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(eventually([&] { return path_exists(path("ck")) || !run.running(); }));
    ASSERT_TRUE(run.running()) << "the run ended before its checkpoint was seen: " << run.err();
    run.signal(SIGKILL);
    EXPECT_EQ(run.finish(), 128 + SIGKILL);
    if (as_codes) {
      const ProgramRun other = wdist({"--quiet", "--format", "json", "--checkpoint", "ck", "q.txt"});
      EXPECT_EQ(other.exit_status, 2) << other.err;
      EXPECT_EQ(other.out, "");
      EXPECT_TRUE(path_exists(path("ck")));
    }
    const ProgramRun resumed = wdist({"--quiet", "--stabilizer", "--format", "json", "--checkpoint", "ck", "q.txt"});
    EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, reference.out);
    EXPECT_FALSE(path_exists(path("ck")));
  }
}

}  // namespace

// Records over F_8 (the binary image) and F_9 (the projective points of
// the ternary image): the same output on 1, 2 and 3 threads, and a run
// killed after its first checkpoint resumes to it.
TEST_F(CheckpointUse, FieldsThroughTheirImagesResumeAndAgreeOnEveryThreadCount) {
  std::mt19937_64 rng(32);
  const struct {
    int q, k, n;
  } records[] = {{8, 9, 80}, {9, 8, 60}};
  for (const auto& r : records) {
    std::string name = "f";
    name += std::to_string(r.q);
    SCOPED_TRACE(name);
    name += ".txt";
    ASSERT_TRUE(write_file(path(name), random_record(rng, r.k, r.n, r.q) + random_record(rng, 2, 5, r.q)));
    const ProgramRun reference = wdist({"--quiet", "--threads", "1", "--dual", "never", name});
    ASSERT_EQ(reference.exit_status, 0) << reference.err;
    std::string second = name;
    second += " record 2: q=";
    second += std::to_string(r.q);
    ASSERT_NE(reference.out.find(second), std::string::npos) << reference.out;
    for (const char* threads : {"2", "3"}) {
      const ProgramRun other = wdist({"--quiet", "--threads", threads, "--dual", "never", name});
      EXPECT_EQ(other.out, reference.out) << threads << " threads";
    }
    BackgroundRun killed(dir_,
                         {"--quiet", "--threads", "1", "--checkpoint", "ck", "--checkpoint-interval", "0", "--dual",
                          "never", name},
                         "killed");
    ASSERT_TRUE(killed.started());
    ASSERT_TRUE(eventually([&] { return path_exists(path("ck")) || !killed.running(); }));
    ASSERT_TRUE(killed.running()) << "the run ended before its checkpoint was seen: " << killed.err();
    killed.signal(SIGKILL);
    EXPECT_EQ(killed.finish(), 128 + SIGKILL);
    const ProgramRun resumed = wdist({"--quiet", "--threads", "2", "--checkpoint", "ck", "--dual", "never", name});
    EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, reference.out);
    EXPECT_FALSE(path_exists(path("ck")));
  }
}
