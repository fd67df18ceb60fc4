// wdist: weight distributions of the code records in files, for scripts.
//
//   wdist [OPTIONS] [FILE...]
//
// Reads the records of each FILE in turn (standard input when there is
// none, or for "-"), computes them on every core, several at once, and
// writes the results to standard output in input order. Exit status: 0 when
// every record was computed, 1 when any was refused or an input could not
// be read, 2 for a usage error (reported before anything is read).
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "cli/progress.h"
#include "library/executor.h"
#include "wdist/plan.h"
#include "wdist/records.h"

namespace wdist::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Settings {
  Format format = Format::text;
  bool projective = false;
  DualRoute dual = DualRoute::automatic;
  unsigned threads = 0;
  double max_work = 0x1p48;
  bool progress = false;
  bool quiet = false;
  std::vector<std::string> files;
};

// "2^48", "1e12" or a plain number of messages; false when it is none of
// them or not in 1 .. 2^62.
bool parse_work(const std::string& text, double& value) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || errno != 0) return false;
  if (*end == '^') {
    const char* exponent = end + 1;
    const double e = std::strtod(exponent, &end);
    if (end == exponent || errno != 0) return false;
    v = std::pow(v, e);
  }
  if (*end != '\0' || !(v >= 1) || v > 0x1p62) return false;
  value = v;
  return true;
}

// The command line; false with the exit status in `status` when the
// program ends here (a usage error, --help, --version).
bool parse_command_line(int argc, char** argv, Settings& s, int& status) {
  CLI::App app{"wdist " WDIST_VERSION
               ": weight distributions of linear codes over F_2, F_3, F_4, F_5, F_7.\n"
               "Reads code records from each FILE (standard input when there is none, or for -)\n"
               "and writes their weight distributions to standard output in input order.",
               "wdist"};
  app.set_version_flag("--version", "wdist " WDIST_VERSION);
  std::string format = "text", dual = "auto", work = "2^48";
  app.add_option("--format", format, "text (default), json (JSON Lines) or report (wdist-wide's report blocks)")
      ->check(CLI::IsMember({"text", "json", "report"}));
  app.add_flag("--projective", s.projective,
               "one count per one-dimensional subcode, A_w/(q-1) (report: the menu's projective sums)");
  app.add_option("--dual", dual, "auto (default: whichever costs less), never or always: through the dual code")
      ->check(CLI::IsMember({"auto", "never", "always"}));
  app.add_option("--threads", s.threads, "threads to compute with (default: every hardware thread)")
      ->check(CLI::Range(1u, 4096u));
  app.add_option("--max-work", work,
                 "refuse a record whose cheapest route counts more messages (default 2^48; at most 2^62)");
  app.add_flag("--progress", s.progress, "always show the progress line of a long record");
  app.add_flag("--quiet", s.quiet, "never show a progress line");
  app.add_option("FILE", s.files, "files of code records (- for standard input)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    status = app.exit(e) == 0 ? 0 : 2;
    return false;
  }
  if (!parse_work(work, s.max_work)) {
    std::fprintf(stderr, "wdist: --max-work %s: not a number of messages in 1 .. 2^62\n", work.c_str());
    status = 2;
    return false;
  }
  s.format = format == "json" ? Format::json : format == "report" ? Format::report : Format::text;
  s.dual = dual == "never" ? DualRoute::never : dual == "always" ? DualRoute::always : DualRoute::automatic;
  if (s.files.empty()) s.files.emplace_back("-");
  return true;
}

bool regular_file(std::FILE* f) {
  struct stat st {};
  return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

// A record in flight: planned and handed to the executor, or already
// written (nothing to wait for).
struct Pending {
  RecordOrigin origin;
  std::shared_ptr<Job> job;
  Code code;                 // report blocks repeat the matrix
  MatrixCapacity capacity;   // report blocks show the storage capacities
  SteadyClock::time_point start;
  std::uint64_t bytes = 0;   // what it holds while in flight
};

class Runner {
 public:
  explicit Runner(const Settings& s)
      : s_(s),
        executor_(thread_count(s.threads)),
        progress_(!s.quiet && (s.progress || isatty(STDERR_FILENO) != 0)),
        window_(std::max(4u, 2 * executor_.threads())) {
    options_.projective = s.projective;
    options_.dual = s.dual;
    options_.max_work = s.max_work;
  }

  int run() {
    for (const std::string& name : s_.files) run_file(name);
    drain(true);
    progress_.clear();
    std::fflush(stdout);
    return failed_ ? 1 : 0;
  }

 private:
  void message(const std::string& file, const std::string& text) {
    std::fflush(stdout);  // the records written before it come first, on a shared stream too
    progress_.clear();
    std::fprintf(stderr, "wdist: %s: %s\n", file.c_str(), text.c_str());
    failed_ = true;
  }

  void record_message(const RecordOrigin& origin, const std::string& text) {
    message(origin.file, "record " + std::to_string(origin.number) + ": " + text);
  }

  void run_file(const std::string& name) {
    const bool standard_input = name == "-";
    std::FILE* in = standard_input ? stdin : std::fopen(name.c_str(), "r");
    if (in == nullptr) {
      message(name, std::strerror(errno));
      return;
    }
    flush_each_ = !regular_file(in);
    // Only this thread reads the input: getc need not take the stream's
    // lock for every character.
    __fsetlocking(in, FSETLOCKING_BYCALLER);
    RecordReader reader(in, s_.format == Format::report ? RecordRules::wide_program : RecordRules::library,
                        s_.projective);
    MatrixCapacity capacity;  // one run of the menu program per file
    Record record;
    for (;;) {
      const RecordStatus status = reader.next(record);
      if (status == RecordStatus::end) break;
      if (status == RecordStatus::failed) {
        message(name, std::string("reading failed: ") + std::strerror(errno));
        break;
      }
      const RecordOrigin origin{name, record.number};
      if (status == RecordStatus::truncated) {
        record_message(origin, "the input ends inside the record");
        break;
      }
      if (record.matrix_read) size_capacity(capacity, record.code.k, static_cast<std::int32_t>(record.code.n));
      if (status == RecordStatus::refused) {
        record_message(origin, record.reason);
        continue;
      }
      submit(origin, std::move(record.code), capacity);
      record = Record{};
    }
    if (!standard_input) std::fclose(in);
  }

  void submit(const RecordOrigin& origin, Code code, const MatrixCapacity& capacity) {
    Plan plan;
    if (Status st = plan_record(code, options_, plan); !st) {
      drain(true);  // the message comes after the output of the records before it
      record_message(origin, st.message);
      return;
    }
    Pending p;
    p.origin = origin;
    p.job = std::make_shared<Job>(std::move(plan));
    p.bytes = code.entries.size() + p.job->plan.summary.thread_bytes;
    if (s_.format == Format::report) p.code = std::move(code);
    p.capacity = capacity;
    p.start = SteadyClock::now();
    // Records in flight at most: a few per thread, and within a memory
    // budget whatever the file holds.
    while (!pending_.empty() && (pending_.size() >= window_ || held_ + p.bytes > kWindowBytes)) drain_one(true);
    held_ += p.bytes;
    if (p.job->plan.summary.cost <= kComputeHereCost)
      compute_here(*p.job);
    else
      executor_.add(p.job);
    pending_.push_back(std::move(p));
    drain(false);
  }

  // A record this small takes less time than handing it to a worker and
  // being woken when it is done (two thread switches, each a wait for a
  // core on a busy machine): it is computed in this thread, and written in
  // its turn like any other.
  void compute_here(Job& job) {
    Tally tally = empty_tally(job.plan);
    const double cpu_start = thread_cpu_seconds();
    const Status s = run_units(job.plan, 0, job.units, here_, tally);
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      job.cpu_seconds += thread_cpu_seconds() - cpu_start;
    }
    complete_units(job, 0, job.units, tally, s);
  }

  // Writes the finished records at the head of the window, in order;
  // waits for the head when `wait` says so.
  void drain(bool wait) {
    while (!pending_.empty())
      if (!drain_one(wait)) return;
  }

  bool drain_one(bool wait) {
    const Pending& head = pending_.front();
    Job& job = *head.job;
    if (!executor_.wait(job, std::chrono::milliseconds(0))) {
      if (!wait) return false;
      // What is written reaches its reader before this thread waits.
      std::fflush(stdout);
      while (!executor_.wait(job, std::chrono::milliseconds(100))) show_progress(head);
    }
    std::string out;
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      if (!job.status) {
        record_message(head.origin, job.status.message);
      } else {
        switch (s_.format) {
          case Format::text: out = text_record(head.origin, job.result); break;
          case Format::json: out = json_record(head.origin, job.result); break;
          case Format::report:
            progress_.clear();
            write_report_record(stdout, head.origin, head.code, head.capacity, job.cpu_seconds, job.result);
            break;
        }
      }
    }
    if (!out.empty()) {
      progress_.clear();
      std::fwrite(out.data(), 1, out.size(), stdout);
    }
    held_ -= head.bytes;
    pending_.pop_front();
    if (flush_each_) std::fflush(stdout);
    return true;
  }

  void show_progress(const Pending& head) {
    const double elapsed = std::chrono::duration<double>(SteadyClock::now() - head.start).count();
    if (!s_.progress && elapsed < 1.0) return;
    std::uint64_t done = 0;
    {
      std::lock_guard<std::mutex> lock(head.job->mutex);
      done = head.job->done_count;
    }
    progress_.show(head.origin.file + " record " + std::to_string(head.origin.number), done, head.job->units, 0,
                   elapsed);
  }

  static constexpr std::uint64_t kWindowBytes = std::uint64_t{256} << 20;
  // Records of at most this many message-equivalents are computed in the
  // reading thread: some tens of microseconds of work, about what a
  // handoff to a worker and back costs.
  static constexpr double kComputeHereCost = 0x1p16;

  const Settings& s_;
  Options options_;
  Executor executor_;
  Worker here_;  // the reading thread's storage, for the records computed here
  ProgressLine progress_;
  const std::size_t window_;
  std::deque<Pending> pending_;
  std::uint64_t held_ = 0;
  bool failed_ = false;
  // Each record's output is flushed as it is written while the input may
  // keep this thread waiting (a pipe, a terminal: its reader may be waiting
  // for the answer before it writes more); from a regular file, output is
  // flushed when the buffer fills, before any wait for a worker, before a
  // message and at the end.
  bool flush_each_ = true;
};

}  // namespace

}  // namespace wdist::cli

int main(int argc, char** argv) {
  try {
    wdist::cli::Settings settings;
    int status = 0;
    if (!wdist::cli::parse_command_line(argc, argv, settings, status)) return status;
    wdist::cli::Runner runner(settings);
    return runner.run();
  } catch (const std::exception& e) {
    // Only the program's own bookkeeping can throw here (the library
    // returns its failures): out of memory for a line of output, say.
    std::fprintf(stderr, "wdist: %s\n", e.what());
    return 1;
  }
}
