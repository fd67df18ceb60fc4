// Driving a real program from the tests: run it in a working directory with
// a given standard input, collect both output streams as bytes, and never
// wait longer than a timeout. Plus the small file helpers the end-to-end
// tests share (a fresh working directory per test, whole-file reads and
// writes) and the masking of the one value of a report that is not
// reproducible, the processing time.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace wdist_test {

struct ProgramRun {
  int exit_status;   // the exit status when the program exited, otherwise -1
  int signal;        // the signal that ended it (SIGKILL after a timeout), otherwise 0
  bool timed_out;    // it was still running at the deadline and was killed
  std::string out;   // every byte written to standard output
  std::string err;   // every byte written to standard error
  long peak_kib = 0;  // its largest resident set, in KiB (ru_maxrss; at least the runner's own at the fork)
};

// Bounds put on the program's process. A file size limit applies with
// SIGXFSZ ignored, so that a write beyond it fails like a write to a full
// disk instead of ending the process.
struct RunLimits {
  long long file_size_bytes = -1;  // RLIMIT_FSIZE; -1 leaves the limit as it is
  int uid = -1;                    // a user (and group) to run as, for a root runner; -1 keeps the runner's
  int gid = -1;
};

// Runs the command `words` (a program and its arguments) in `work_dir`,
// feeding `input` on standard input and then closing it; killed once
// `timeout_seconds` have passed, what it wrote until then kept.
ProgramRun run_command(std::vector<std::string> words, const std::string& work_dir, const std::string& input,
                       double timeout_seconds, const RunLimits& limits = {});

// Runs `program` (no arguments) in `work_dir`, feeding `input` on standard
// input and then closing it. The program is killed once `timeout_seconds`
// have passed; what it wrote until then is kept.
ProgramRun run_program(const std::string& program, const std::string& work_dir, const std::string& input,
                       double timeout_seconds, RunLimits limits = {});

// Reaps the child `pid`, waiting until `deadline_seconds` from now at the
// most; a child still running then is killed (SIGKILL) and reaped, so that
// a program that hangs fails its test instead of hanging it. Its wait
// status; its resource use in `usage` when given.
int reap_within(pid_t pid, double deadline_seconds, rusage* usage = nullptr);

// The program of the width this test binary is built for (wdist-narrow or
// wdist-wide), run as above with a timeout that suits every test of the suite.
// With WDIST_TEST_LAUNCHER set in the environment it is started as
// `$WDIST_TEST_LAUNCHER program` (for example a script that runs it under
// valgrind), its timeout multiplied by WDIST_TEST_TIMEOUT_SCALE when that
// holds a number above 1.
inline constexpr double kProgramTimeout = 30.0;
const char* wdist_program();
ProgramRun run_wdist(const std::string& work_dir, const std::string& input, double timeout_seconds = kProgramTimeout,
                     RunLimits limits = {});

// The menu screen the program writes before every prompt, with the given
// current names, written out here independently of the program's texts.
std::string menu_screen(const std::string& input_name = "EXAM.txt", const std::string& output_name = "EXAM.txt_r");

// A new, empty directory for one test, under $TMPDIR (or /tmp).
std::string make_work_dir();
// Removes a directory tree made for a test (permissions restored first, so
// that folders a test made read-only go as well).
void remove_work_dir(const std::string& dir);

// Joins a directory and a name with one slash.
std::string path_in(const std::string& dir, const std::string& name);

bool write_file(const std::string& path, const std::string& bytes);
// The whole file; false when it cannot be opened or read.
bool read_file(const std::string& path, std::string& bytes);
// The whole file, or "<missing>" when it cannot be read: convenient inside
// EXPECT_EQ, where a missing file then shows as such.
std::string file_text(const std::string& path);
bool path_exists(const std::string& path);

// Replaces the number of every time line "\n Time =  %10.3f seconds" by
// kMaskedTime. A field that does not have the shape of "%10.3f" (ten
// characters, three decimals, right-aligned) is left as it is, so a
// malformed time line still fails the comparison.
inline constexpr char kMaskedTime[] = "<T.TTT>";
std::string mask_time(const std::string& report);

}  // namespace wdist_test
