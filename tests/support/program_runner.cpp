#include "support/program_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#ifndef WDIST_PROGRAM
#error "WDIST_PROGRAM must name the program under test (set by the build)"
#endif

extern char** environ;

namespace wdist_test {

namespace {

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Moves what is ready on `fd` into `sink`; closes it at its end.
void drain(int& fd, std::string& sink) {
  char buffer[65536];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    sink.append(buffer, static_cast<std::size_t>(got));
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    close_fd(fd);
  }
}

// The program's environment: ours, plus settings for a sanitizer build of
// the program. It answers a request it cannot serve with a null pointer, as
// the C library does, so that the program's own check reports it; and a
// sanitizer finding ends it with a status the program never uses itself.
std::vector<std::string> child_environment() {
  static const std::string kAsan = "allocator_may_return_null=1:exitcode=86";
  static const std::string kUbsan = "exitcode=87";
  std::vector<std::string> env;
  bool asan_options = false, ubsan_options = false;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
      asan_options = true;
      entry += ":" + kAsan;
    } else if (entry.rfind("UBSAN_OPTIONS=", 0) == 0) {
      ubsan_options = true;
      entry += ":" + kUbsan;
    }
    env.push_back(entry);
  }
  if (!asan_options) env.push_back("ASAN_OPTIONS=" + kAsan);
  if (!ubsan_options) env.push_back("UBSAN_OPTIONS=" + kUbsan);
  return env;
}

// A sanitizer build announces every request it answers with a null pointer
// on standard error; the program itself says nothing there, so these lines
// are taken out and the rest compares as for a plain build.
std::string without_allocator_warnings(const std::string& err) {
  static const std::string kWarning = "==WARNING: AddressSanitizer failed to allocate 0x";
  std::string kept;
  std::size_t at = 0;
  while (at < err.size()) {
    std::size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(at, end - at);
    const std::size_t mark = line.find(kWarning);
    bool warning = line.size() > 2 && line[0] == '=' && line[1] == '=' && mark != std::string::npos;
    for (std::size_t i = 2; warning && i < mark; ++i) warning = line[i] >= '0' && line[i] <= '9';
    if (!warning) kept += line;
    at = end;
  }
  return kept;
}

[[noreturn]] void exec_child(char* const* argv, const std::string& work_dir, int in_fd, int out_fd, int err_fd,
                             char* const* envp, const RunLimits& limits) {
  // Only async-signal-safe calls from here on: the parent may be a
  // sanitizer-instrumented, multi-threaded test binary.
  // The runner ignores SIGPIPE for itself; the program gets the usual action.
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &default_action, nullptr);
  if (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(126);
  if (chdir(work_dir.c_str()) != 0) _exit(126);
  if (limits.file_size_bytes >= 0) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);
    const auto bytes = static_cast<rlim_t>(limits.file_size_bytes);
    const rlimit bound{bytes, bytes};
    if (setrlimit(RLIMIT_FSIZE, &bound) != 0) _exit(126);
  }
  if (limits.gid >= 0 && (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(limits.gid)) != 0)) _exit(126);
  if (limits.uid >= 0 && setuid(static_cast<uid_t>(limits.uid)) != 0) _exit(126);
  execve(argv[0], argv, envp);
  _exit(127);
}

bool is_time_field(const std::string& s, std::size_t at) {
  // "%10.3f" of a non-negative time below 10^6 seconds: blanks, at least one
  // digit, a point, three digits; ten characters in all.
  if (at + 10 > s.size()) return false;
  std::size_t i = at;
  while (i < at + 10 && s[i] == ' ') ++i;
  const std::size_t digits_start = i;
  while (i < at + 10 && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == digits_start || i != at + 6 || s[i] != '.') return false;
  for (std::size_t j = at + 7; j < at + 10; ++j)
    if (s[j] < '0' || s[j] > '9') return false;
  return true;
}

}  // namespace

ProgramRun run_command(std::vector<std::string> words, const std::string& work_dir, const std::string& input,
                       double timeout_seconds, const RunLimits& limits) {
  // A program that stops reading (it ended, or halted) must not take the
  // test binary down with it through SIGPIPE; the write then just fails.
  signal(SIGPIPE, SIG_IGN);

  ProgramRun run{-1, 0, false, {}, {}, 0};
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) return run;
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return run;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) return run;

  std::vector<std::string> env = child_environment();
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) exec_child(argv.data(), work_dir, in_pipe[0], out_pipe[1], err_pipe[1], envp.data(), limits);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  int to_child = in_pipe[1], from_out = out_pipe[0], from_err = err_pipe[0];
  if (pid < 0) {
    close_fd(to_child);
    close_fd(from_out);
    close_fd(from_err);
    return run;
  }
  fcntl(to_child, F_SETFL, O_NONBLOCK);

  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout_seconds));
  std::size_t written = 0;
  if (input.empty()) close_fd(to_child);

  while (from_out >= 0 || from_err >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      run.timed_out = true;
      break;
    }
    pollfd fds[3];
    int count = 0;
    int out_slot = -1, err_slot = -1, in_slot = -1;
    if (from_out >= 0) fds[out_slot = count++] = {from_out, POLLIN, 0};
    if (from_err >= 0) fds[err_slot = count++] = {from_err, POLLIN, 0};
    if (to_child >= 0) fds[in_slot = count++] = {to_child, POLLOUT, 0};
    const int ready = poll(fds, static_cast<nfds_t>(count), static_cast<int>(left < 100 ? left : 100));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (out_slot >= 0 && fds[out_slot].revents != 0) drain(from_out, run.out);
    if (err_slot >= 0 && fds[err_slot].revents != 0) drain(from_err, run.err);
    if (in_slot >= 0 && fds[in_slot].revents != 0) {
      const ssize_t put = write(to_child, input.data() + written, input.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      // A closed reading end (EPIPE) means the program no longer wants input.
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) close_fd(to_child);
    }
  }
  if (run.timed_out) kill(pid, SIGKILL);
  close_fd(to_child);
  close_fd(from_out);
  close_fd(from_err);

  // Both streams closed need not mean the program has ended: the time it
  // has left bounds the wait for it as well.
  rusage usage{};
  const int status = reap_within(
      pid, std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count()), &usage);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && Clock::now() >= deadline) run.timed_out = true;
  run.peak_kib = usage.ru_maxrss;
  run.err = without_allocator_warnings(run.err);
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

int reap_within(pid_t pid, double deadline_seconds, rusage* usage) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(deadline_seconds));
  rusage ignored{};
  rusage* into = usage != nullptr ? usage : &ignored;
  int status = 0;
  // Looked at often at first: a program that closed its streams has
  // usually ended a moment later.
  std::chrono::microseconds pause{100};
  for (;;) {
    const pid_t got = wait4(pid, &status, WNOHANG, into);
    if (got == pid) return status;
    if (got < 0 && errno != EINTR) return status;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds{10000});
  }
  kill(pid, SIGKILL);
  while (wait4(pid, &status, 0, into) < 0 && errno == EINTR) {
  }
  return status;
}

ProgramRun run_program(const std::string& program, const std::string& work_dir, const std::string& input,
                       double timeout_seconds, RunLimits limits) {
  return run_command({program}, work_dir, input, timeout_seconds, limits);
}

const char* wdist_program() { return WDIST_PROGRAM; }

ProgramRun run_wdist(const std::string& work_dir, const std::string& input, double timeout_seconds,
                     RunLimits limits) {
  std::vector<std::string> words;
  if (const char* launcher = std::getenv("WDIST_TEST_LAUNCHER"); launcher != nullptr && *launcher != '\0') {
    words.emplace_back(launcher);
    if (const char* scale = std::getenv("WDIST_TEST_TIMEOUT_SCALE"); scale != nullptr && std::atof(scale) > 1.0)
      timeout_seconds *= std::atof(scale);
  }
  words.emplace_back(wdist_program());
  return run_command(std::move(words), work_dir, input, timeout_seconds, limits);
}

std::string menu_screen(const std::string& input_name, const std::string& output_name) {
  const char* limit = WDIST_COUNTER_BITS == 32 ? "\n and  n<2^31 (for q=4 n<2^29)" : "\n  and  n<2^15 (for q=4 n<2^13)";
  return std::string("\n\n") + "  RuvoNewEdition- TESK (Valdrane) v 0.1 " + "\n\n" + "\n by the wdist authors" + "\n" +
         "\n Computing the weight distribution of [n, k] linear codes over Fq (q<8)  " + limit + "\n\n" +
         "\n Input file: " + input_name + "   Output file: " + output_name + "\n\n" +
         "    1. Start computation \n" + "    2. Change Input file\n" +
         "    3. Generate random codes in the file 'EXAM.txt' \n" + "    4. Exit \n" + "    Choose:";
}

std::string make_work_dir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/wdist-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void remove_work_dir(const std::string& dir) {
  if (dir.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(dir, ignored);
}

std::string path_in(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool read_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string file_text(const std::string& path) {
  std::string bytes;
  return read_file(path, bytes) ? bytes : std::string("<missing>");
}

bool path_exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string mask_time(const std::string& report) {
  static const std::string kHead = "\n Time =  ";
  static const std::string kTail = " seconds";
  std::string masked;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = report.find(kHead, from);
    if (at == std::string::npos) break;
    const std::size_t field = at + kHead.size();
    masked.append(report, from, field - from);
    if (is_time_field(report, field) && report.compare(field + 10, kTail.size(), kTail) == 0) {
      masked += kMaskedTime;
      from = field + 10;
    } else {
      from = field;
    }
  }
  masked.append(report, from, std::string::npos);
  return masked;
}

}  // namespace wdist_test
