// wdist: weight distributions of the code records in files, for scripts.
//
//   wdist [OPTIONS] [FILE...]
//
// Reads the records of each FILE in turn (standard input when there is
// none, or for "-"), computes them on every core, several at once, and
// writes the results to standard output in input order. Exit status: 0 when
// every record was computed, 1 when any was refused or an input could not
// be read, 2 for a usage error or a checkpoint that cannot be used
// (reported before anything is computed).
//
// With --checkpoint FILE the run keeps FILE up to date (checkpoint.h): the
// output of the items finished so far and the units done of the records
// in progress. Started again with FILE in place, the run writes that
// output again and carries on where it stopped; its output is then byte
// for byte that of a run never stopped. FILE is removed when the run
// completes. SIGINT or SIGTERM then write the checkpoint before the run
// ends (exit status 128 + the signal). A FILE is one run's at a time: a
// second run is refused (exit status 2) before it touches anything.
#include <poll.h>
#include <pthread.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/checkpoint.h"
#include "cli/cluster.h"
#include "cli/formats.h"
#include "cli/items.h"
#include "cli/progress.h"
#include "cli/settings.h"
#include "library/executor.h"
#include "wdist/plan.h"
#include "wdist/records.h"

// The signal that asked a run with a checkpoint to stop; 0 while none did.
// Only the main thread takes these signals (the workers block them), and
// only it reads this.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void note_stop_signal(int signal) { g_stop_signal = signal; }

// Rank 0 of an MPI job run without a checkpoint: the MPI runtime ends the
// job with SIGTERM when a rank fails (or the job is cancelled), and the
// launcher may have been told to keep quiet about it.
extern "C" void note_job_ended(int signal) {
  static const char text[] = "wdist: the MPI job was ended: a rank failed, or the job was stopped\n";
  const ssize_t written = write(STDERR_FILENO, text, sizeof text - 1);
  static_cast<void>(written);
  _exit(128 + signal);
}

namespace wdist::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The identity of a run for its checkpoint: everything that shapes its
// output (the program's version, the options, each input's name and bytes)
// and nothing that does not (threads, progress, the interval).
std::uint64_t run_identity(const Settings& s) {
  Hasher h;
  h.add_text(WDIST_VERSION);
  h.add_value(static_cast<int>(s.format));
  h.add_value(s.projective);
  h.add_value(static_cast<int>(s.dual));
  h.add_value(s.max_work);
  h.add_value(static_cast<std::uint64_t>(s.files.size()));
  std::vector<char> chunk(std::size_t{1} << 16);
  for (const std::string& name : s.files) {
    h.add_text(name);
    std::FILE* in = std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
      // Unreadable now: the run meets it as such, and must on resuming.
      h.add_text("unreadable");
      continue;
    }
    std::uint64_t size = 0;
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0;) {
      h.add(chunk.data(), got);
      size += got;
    }
    h.add_value(size);
    h.add_value(std::ferror(in) != 0);
    std::fclose(in);
  }
  return h.value();
}

// An item of the run's output, in input order: a record (computed or
// refused), or a file that could not be read. Items are numbered from 0 in
// the order they are met; a checkpoint counts them.
struct Pending {
  std::uint64_t index = 0;
  RecordOrigin origin;
  std::shared_ptr<Job> job;  // null: the item is its message alone
  std::shared_ptr<RecordBatch> batch;  // the record is this batch's (whose job is `job`) at `slot`
  std::size_t slot = 0;
  std::string message;       // for standard error, complete with its newline
  SteadyClock::time_point start;
  std::uint64_t bytes = 0;   // what it holds while in flight
};

// What a record in flight holds: its matrix (twice for report blocks),
// the plan's basis and prepared columns, its tallies, the result, and the
// done flags of up to 2^20 units.
std::uint64_t held_bytes(const Code& code) {
  const auto entries = static_cast<std::uint64_t>(code.entries.size());
  const auto n = static_cast<std::uint64_t>(code.n);
  return 3 * entries + 32 * n + 16 * (3 * n + 1) + ((std::uint64_t{1} << 20) / 8);
}

// The framing of the spool (Runner::emit) read as a stream, to judge a
// checkpoint's output before any of it is used: each piece is a tag 'o'
// or 'e', a length in 8 bytes little-endian, and that many bytes.
class SpoolFrames {
 public:
  // False once the bytes so far cannot be framed.
  bool take(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size && ok_;) {
      if (text_left_ > 0) {
        const std::uint64_t skip = std::min<std::uint64_t>(text_left_, size - i);
        text_left_ -= skip;
        i += static_cast<std::size_t>(skip);
        continue;
      }
      const auto b = static_cast<unsigned char>(bytes[i++]);
      if (head_at_ == 0) {
        ok_ = b == 'o' || b == 'e';
        length_ = 0;
      } else {
        length_ |= static_cast<std::uint64_t>(b) << (8 * (head_at_ - 1));
      }
      if (++head_at_ == 9) {
        head_at_ = 0;
        text_left_ = length_;
      }
    }
    return ok_;
  }
  // Whether the bytes taken are whole pieces.
  [[nodiscard]] bool whole() const { return ok_ && head_at_ == 0 && text_left_ == 0; }

 private:
  bool ok_ = true;
  int head_at_ = 0;  // bytes of the current head taken
  std::uint64_t length_ = 0;
  std::uint64_t text_left_ = 0;
};

class Runner {
 public:
  // `helpers`: other processes that compute with this one (an MPI job's
  // other ranks), served from the executor's look.
  explicit Runner(const Settings& s, Helpers helpers = {})
      : s_(s),
        options_(record_options(s)),
        helpers_(std::move(helpers)),
        executor_(thread_count(s.threads), threads_missing_),
        progress_(!s.quiet && (s.progress || isatty(STDERR_FILENO) != 0)),
        window_(std::max(8u, 512 * (executor_.threads() + helpers_.threads))),
        // The other ranks are dealt records one by one: batches are this
        // process's alone.
        batching_(!helpers_.serve) {
    if (helpers_.serve)
      executor_.set_look([this] { helpers_.serve(executor_, oldest_item()); }, helpers_.every);
    if (!s.checkpoint.empty())
      look_every_ = std::clamp(std::chrono::milliseconds(static_cast<std::int64_t>(1000 * s.checkpoint_interval)),
                               std::chrono::milliseconds(1), kLookEvery);
  }
  ~Runner() {
    if (spool_ != nullptr) std::fclose(spool_);
  }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;
  Runner(Runner&&) = delete;
  Runner& operator=(Runner&&) = delete;

  int run() {
    // Fewer threads compute the same output, only slower.
    if (!threads_missing_.empty())
      std::fprintf(stderr, "wdist: %s; computing on %u\n", threads_missing_.c_str(), executor_.threads());
    if (!s_.checkpoint.empty() && !open_checkpoint()) return 2;
    InputItems items(s_.files, s_.format, s_.projective, [this] {
      drain(true);
      std::fflush(stdout);
    });
    Item item;
    while (!abandoned_ && items.next(item)) {
      if (!item.message.empty())
        add_message(item.index, item.origin.file, item.message);
      else if (!skipped(item.index))
        submit(item.index, item.origin, std::move(item.code), item.capacity);
      next_item_ = item.index + 1;
      maybe_checkpoint();
    }
    if (!abandoned_) drain(true);
    progress_.clear();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
      const std::string why = std::strerror(errno);
      if (spool_ == nullptr) {
        std::fprintf(stderr, "wdist: writing the output failed: %s\n", why.c_str());
        return 1;
      }
      // The spool holds all of the output: a checkpoint of it writes it
      // again, once the output can be written.
      const bool written = write_checkpoint_now();
      std::fprintf(stderr, "wdist: writing the output failed: %s; %s\n", why.c_str(), resume_note(written).c_str());
      return 1;
    }
    if (abandoned_) return 2;
    if (spool_ != nullptr) close_checkpoint();
    return failed_ ? 1 : 0;
  }

 private:
  // Output of an item, to its stream and, with a checkpoint, to the spool:
  // a tag ('o' standard output, 'e' standard error), the length in 8 bytes
  // little-endian, the bytes.
  void emit(char stream, const std::string& text) {
    if (text.empty()) return;
    if (stream == 'e') {
      std::fflush(stdout);  // what came before the message is out before it
      progress_.clear();
      std::fwrite(text.data(), 1, text.size(), stderr);
    } else {
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (spool_ == nullptr) return;
    unsigned char head[9];
    head[0] = static_cast<unsigned char>(stream);
    for (int i = 0; i < 8; ++i) head[1 + i] = static_cast<unsigned char>(static_cast<std::uint64_t>(text.size()) >> (8 * i));
    if (std::fwrite(head, 1, sizeof head, spool_) != sizeof head ||
        std::fwrite(text.data(), 1, text.size(), spool_) != text.size())
      spool_failed_ = true;
    spool_bytes_ += sizeof head + text.size();
  }

  static std::string message_line(const std::string& file, const std::string& text) {
    return "wdist: " + file + ": " + text + "\n";
  }

  // A record refused because what it holds while it is computed (its
  // matrix, plan, tally and output, `bytes` in all by held_bytes) cannot be
  // had here.
  static std::string not_had(const RecordOrigin& origin, std::uint64_t bytes) {
    return "record " + std::to_string(origin.number) + ": the memory it holds while computed, about " +
           bytes_text(bytes) + ", cannot be had";
  }

  // The first item not written yet: no work of an earlier one is dealt
  // any more.
  [[nodiscard]] std::uint64_t oldest_item() const { return pending_.empty() ? next_item_ : pending_.front().index; }

  // Items before the checkpoint's are neither computed nor written again.
  [[nodiscard]] bool skipped(std::uint64_t index) const { return index < items_resumed_; }

  // An item that is a message alone, in its place in the output.
  void add_message(std::uint64_t index, const std::string& file, const std::string& text) {
    if (skipped(index)) return;
    Pending p;
    p.index = index;
    p.message = message_line(file, text);
    make_room(0);
    pending_.push_back(std::move(p));
    drain(false);
  }

  // A record joins the window as a job of its code: the threads plan it as
  // they compute it. A record the checkpoint has units of is planned here,
  // to take them.
  void submit(std::uint64_t index, const RecordOrigin& origin, Code code, const MatrixCapacity& capacity) {
    if (batching_ && !restored_.contains(index) && batchable(code, options_)) {
      add_to_batch(index, origin, std::move(code), capacity);
      return;
    }
    // The records before it go first.
    close_batch();
    Pending p;
    p.index = index;
    p.origin = origin;
    p.bytes = held_bytes(code);
    // Room first: a checkpoint written meanwhile must still find the
    // record's restored units among those it keeps.
    make_room(p.bytes);
    // The output text is made by the thread that finishes the record: a
    // file of small records then leaves this thread little more than
    // reading.
    std::function<Status(const Job&, std::string&)> render;
    try {
      render = record_renderer(s_.format, origin, capacity, code);
      if (!restored_.contains(index)) {
        p.job = std::make_shared<Job>(std::move(code), options_);
      } else {
        Plan plan;
        if (Status st = plan_record(code, options_, plan); !st) {
          add_message(index, origin.file, "record " + std::to_string(origin.number) + ": " + st.message);
          return;
        }
        p.job = std::make_shared<Job>(std::move(plan));
      }
    } catch (const std::bad_alloc&) {
      add_message(index, origin.file, not_had(origin, p.bytes));
      return;
    }
    // Before its restored units: when they are all of them, the record is
    // finished, and its output made, there and then.
    p.job->render = std::move(render);
    p.job->tag = index;
    if (restored_.contains(index) && !restore(p)) return;
    p.start = SteadyClock::now();
    held_ += p.bytes;
    executor_.add(p.job);
    pending_.push_back(std::move(p));
    drain(false);
  }

  // A small record joins the open batch, which is handed to the threads
  // when it is full or when the output waits for one of its records.
  void add_to_batch(std::uint64_t index, const RecordOrigin& origin, Code code, const MatrixCapacity& capacity) {
    Pending p;
    p.index = index;
    p.origin = origin;
    p.bytes = held_bytes(code);
    make_room(p.bytes);
    try {
      if (!batch_) {
        batch_start_ = SteadyClock::now();
        auto batch = std::make_shared<RecordBatch>(s_.format, options_);
        batch_job_ = std::make_shared<Job>([batch](Worker& worker) { return batch->compute(worker); });
        batch_ = std::move(batch);
      }
      p.slot = batch_->add(origin, std::move(code), capacity);
    } catch (const std::bad_alloc&) {
      add_message(index, origin.file, not_had(origin, p.bytes));
      return;
    }
    p.batch = batch_;
    p.job = batch_job_;
    p.start = batch_start_;  // the clock once a batch: it only shows progress
    held_ += p.bytes;
    pending_.push_back(std::move(p));
    if (batch_->full()) close_batch();
    drain(false);
  }

  void close_batch() {
    if (!batch_) return;
    executor_.add(batch_job_);
    batch_.reset();
    batch_job_.reset();
  }

  // A record the checkpoint has units of: they are taken as done. False
  // (the run abandoned) when they cannot belong to its plan.
  bool restore(const Pending& p) {
    const auto it = restored_.find(p.index);
    if (it == restored_.end()) return true;
    const RecordProgress& r = it->second;
    const PlanSummary& summary = p.job->plan.summary;
    if (r.plan_identity != summary.identity || r.units != summary.units || r.done.size() != summary.units ||
        r.total.counts.size() != p.job->total.counts.size()) {
      std::fprintf(stderr, "wdist: checkpoint %s refused: it does not fit %s record %d\n", s_.checkpoint.c_str(),
                   p.origin.file.c_str(), p.origin.number);
      abandoned_ = true;
      return false;
    }
    restore_done(*p.job, r.done, r.total, r.busy_seconds);
    restored_.erase(it);
    return true;
  }

  // Records in flight at most: some hundreds per thread, a dozen batches
  // of small records each (so that a thread that finishes one finds another
  // instead of sleeping until the reading thread has read one more), and
  // within a memory budget whatever the file holds.
  void make_room(std::uint64_t bytes) {
    while (!pending_.empty() && (pending_.size() >= window_ || held_ + bytes > kWindowBytes)) drain_one(true);
  }

  // Writes the finished items at the head of the window, in order; waits
  // for the head (computing meanwhile) when `wait` says so.
  void drain(bool wait) {
    while (!pending_.empty())
      if (!drain_one(wait)) return;
  }

  bool drain_one(bool wait) {
    const Pending& head = pending_.front();
    std::string out, error;
    if (head.job && head.job == batch_job_) {
      if (!wait) return false;
      close_batch();
    }
    if (head.job) {
      Job& job = *head.job;
      while (!executor_.wait(job, wait ? look_every_ : std::chrono::milliseconds(0))) {
        if (!wait) return false;
        // A long record: what is finished before it shows now.
        std::fflush(stdout);
        show_progress(head);
        maybe_checkpoint();
      }
      std::lock_guard<std::mutex> lock(job.mutex);
      const Status& status = job.status && head.batch ? head.batch->status(head.slot) : job.status;
      if (!status) {
        error = message_line(head.origin.file, "record " + std::to_string(head.origin.number) + ": " + status.message);
      } else if (head.batch) {
        out = head.batch->take_output(head.slot);
      } else {
        out = output_of(job);
      }
    } else {
      error = head.message;
    }
    if (!error.empty()) failed_ = true;
    emit('o', out);
    emit('e', error);
    ++items_written_;
    held_ -= head.bytes;
    pending_.pop_front();
    maybe_checkpoint();
    return true;
  }

  void show_progress(const Pending& head) {
    const double elapsed = std::chrono::duration<double>(SteadyClock::now() - head.start).count();
    if (!s_.progress && elapsed < 1.0) return;
    std::uint64_t done = 0, restored = 0, units = 0;
    {
      std::lock_guard<std::mutex> lock(head.job->mutex);
      done = head.job->done_count;
      restored = head.job->restored;
      units = head.job->units;
    }
    progress_.show(head.origin.file + " record " + std::to_string(head.origin.number), done, units, restored, elapsed);
  }

  // Checkpoints.

  [[nodiscard]] std::string spool_name() const { return s_.checkpoint + ".spool"; }

  // Takes the checkpoint for this run, reads it when there is one and
  // writes its output again. False (exit status 2) when it cannot be used;
  // nothing of it is changed then.
  bool open_checkpoint() {
    std::string error;
    switch (hold_.take(s_.checkpoint, error)) {
      case CheckpointHold::Take::held:
        break;
      case CheckpointHold::Take::in_use:
        std::fprintf(stderr, "wdist: checkpoint in use: %s is held by another run\n", s_.checkpoint.c_str());
        return false;
      case CheckpointHold::Take::failed:
        std::fprintf(stderr, "wdist: %s\n", error.c_str());
        return false;
    }
    identity_ = run_identity(s_);
    CheckpointState state;
    SpoolFrames frames;
    const CheckpointRead read = read_checkpoint(
        s_.checkpoint, state, [&frames](const char* bytes, std::size_t size) { return frames.take(bytes, size); },
        error);
    if (read == CheckpointRead::ok && state.run_identity != identity_) {
      error = "it was written for other inputs or options";
    } else if (read == CheckpointRead::ok && !frames.whole()) {
      error = "its output is damaged";
    } else if (read != CheckpointRead::refused) {
      error.clear();
    }
    if (!error.empty()) {
      std::fprintf(stderr, "wdist: checkpoint %s refused: %s\n", s_.checkpoint.c_str(), error.c_str());
      hold_.release();
      return false;
    }
    spool_ = hold_.start_spool(error);
    if (spool_ == nullptr) {
      std::fprintf(stderr, "wdist: %s\n", error.c_str());
      return false;
    }
    if (read == CheckpointRead::ok) {
      const bool copied = read_checkpoint_output(
          s_.checkpoint, state,
          [this](const char* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, spool_) == size; }, error);
      if (!copied || !replay_spool()) {
        std::fprintf(stderr, "wdist: checkpoint %s refused: %s\n", s_.checkpoint.c_str(),
                     copied ? "its output is damaged" : error.c_str());
        return false;
      }
      items_resumed_ = items_written_ = state.items_finished;
      failed_ = state.failed;
      for (RecordProgress& r : state.records) restored_.emplace(r.index, std::move(r));
      checkpoint_in_place_ = true;
    }
    last_checkpoint_ = SteadyClock::now();
    return true;
  }

  // Writes the output the spool holds (a checkpoint's) to its streams.
  bool replay_spool() {
    std::fflush(spool_);
    const auto size = static_cast<std::uint64_t>(std::ftell(spool_));
    std::string text;
    for (std::uint64_t at = 0; at < size;) {
      unsigned char head[9];
      if (size - at < sizeof head || pread(fileno(spool_), head, sizeof head, static_cast<off_t>(at)) != sizeof head)
        return false;
      std::uint64_t length = 0;
      for (int i = 0; i < 8; ++i) length |= static_cast<std::uint64_t>(head[1 + i]) << (8 * i);
      at += sizeof head;
      if ((head[0] != 'o' && head[0] != 'e') || length > size - at) return false;
      text.resize(static_cast<std::size_t>(length));
      if (pread(fileno(spool_), text.data(), text.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(length))
        return false;
      at += length;
      std::fwrite(text.data(), 1, text.size(), head[0] == 'o' ? stdout : stderr);
    }
    spool_bytes_ = size;
    std::fflush(stdout);
    return true;
  }

  void maybe_checkpoint() {
    if (spool_ == nullptr) return;
    const int signal = g_stop_signal;
    const auto now = SteadyClock::now();
    if (signal == 0 && std::chrono::duration<double>(now - last_checkpoint_).count() < s_.checkpoint_interval) return;
    last_checkpoint_ = now;
    const bool written = write_checkpoint_now();
    if (signal == 0) return;
    progress_.clear();
    std::fflush(stdout);
    std::fprintf(stderr, "wdist: stopped by signal %d; %s\n", signal, resume_note(written).c_str());
    // The checkpoint holds the output: the spool has served.
    if (spool_ != nullptr) std::fclose(spool_);
    spool_ = nullptr;
    hold_.release();
    // The workers may be inside a unit: nothing else is left to tidy.
    std::_Exit(128 + signal);
  }

  // What a run that stops before its end leaves to resume it: the
  // checkpoint just `written`, or one written before, or none.
  [[nodiscard]] std::string resume_note(bool written) const {
    if (written) return "checkpoint " + s_.checkpoint + " resumes the run";
    if (checkpoint_in_place_)
      return "checkpoint " + s_.checkpoint + " could not be written again: it resumes the run from an earlier point";
    return "no checkpoint could be written (a new run starts from the beginning)";
  }

  // True when the checkpoint is written.
  bool write_checkpoint_now() {
    CheckpointState state;
    state.run_identity = identity_;
    state.items_finished = items_written_;
    state.failed = failed_;
    for (const Pending& p : pending_) {
      // A batch's records are computed again on resuming: they are small.
      if (!p.job || p.batch) continue;
      {
        std::lock_guard<std::mutex> lock(p.job->mutex);
        if (p.job->finished && !p.job->status) continue;  // computed again on resuming
      }
      JobState js = state_of(*p.job);
      if (!js.planned || js.done_count == 0) continue;
      state.records.push_back(RecordProgress{p.index, js.plan_identity, js.units, std::move(js.done),
                                             std::move(js.total), js.busy_seconds});
    }
    // Records of the checkpoint resumed from that the run has not met again
    // yet.
    for (const auto& [index, r] : restored_) state.records.push_back(r);
    std::string error;
    if (spool_failed_ || std::fflush(spool_) != 0) {
      error = spool_name() + ": " + std::strerror(errno);
    } else if (write_checkpoint(s_.checkpoint, state, spool_, spool_bytes_, error)) {
      checkpoint_in_place_ = true;
      return true;
    }
    progress_.clear();
    std::fprintf(stderr, "wdist: writing checkpoint %s failed: %s\n", s_.checkpoint.c_str(), error.c_str());
    return false;
  }

  // The run is complete: its checkpoint has served.
  void close_checkpoint() {
    std::fclose(spool_);
    spool_ = nullptr;
    unlink(s_.checkpoint.c_str());
    unlink((s_.checkpoint + ".tmp").c_str());  // left by a run killed while writing one
    hold_.release();  // the spool last, while the run still holds it
  }

  static constexpr std::uint64_t kWindowBytes = std::uint64_t{128} << 20;
  // How long the main thread computes before it looks up (progress,
  // checkpoints): a tenth of a second, or the checkpoint interval when
  // that is shorter.
  static constexpr std::chrono::milliseconds kLookEvery{100};
  std::chrono::milliseconds look_every_ = kLookEvery;

  const Settings& s_;
  const Options options_;
  const Helpers helpers_;
  std::string threads_missing_;  // why some threads could not start (before executor_, which sets it)
  Executor executor_;
  ProgressLine progress_;
  const std::size_t window_;
  std::deque<Pending> pending_;
  const bool batching_;
  std::shared_ptr<RecordBatch> batch_;  // the open batch, not handed over yet
  std::shared_ptr<Job> batch_job_;      // its job
  SteadyClock::time_point batch_start_;
  std::uint64_t held_ = 0;
  bool failed_ = false;
  bool abandoned_ = false;        // a checkpoint turned out not to fit: stop
  std::uint64_t next_item_ = 0;   // items read so far
  std::uint64_t items_written_ = 0;

  // Checkpoints (spool_ is null without one).
  CheckpointHold hold_;           // the lock, held until the Runner goes
  std::uint64_t identity_ = 0;
  std::FILE* spool_ = nullptr;    // the output of the items written, tagged by stream
  std::uint64_t spool_bytes_ = 0;
  bool spool_failed_ = false;
  std::uint64_t items_resumed_ = 0;  // items written before this run started
  std::map<std::uint64_t, RecordProgress> restored_;  // records in progress then, by item
  bool checkpoint_in_place_ = false;  // one of this run's is at FILE (resumed from or written)
  SteadyClock::time_point last_checkpoint_;
};

}  // namespace

}  // namespace wdist::cli

namespace wdist::cli {

namespace {

// The run in this process: alone, or as rank 0 of an MPI job with the other
// ranks as `helpers`.
int run_here(const Settings& settings, Helpers helpers) {
  if (settings.checkpoint.empty()) {
    Runner runner(settings, std::move(helpers));
    return runner.run();
  }
  // The workers start with the stop signals blocked (they inherit this
  // thread's mask), so that the main thread alone takes them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  Runner runner(settings, std::move(helpers));
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  pthread_sigmask(SIG_UNBLOCK, &stop_signals, nullptr);
  return runner.run();
}

}  // namespace

}  // namespace wdist::cli

int main(int argc, char** argv) {
#ifdef WDIST_MPI
  wdist::cli::Cluster cluster(argc, argv);
  const bool speak = cluster.rank() == 0;  // the other ranks' messages would repeat rank 0's
#else
  const bool speak = true;
#endif
  try {
    wdist::cli::Settings settings;
    int status = 0;
    if (!wdist::cli::parse_command_line(argc, argv, speak, settings, status)) return status;
#ifdef WDIST_MPI
    if (!cluster.alone()) {
      if (cluster.rank() != 0) return cluster.serve(settings);
      if (settings.checkpoint.empty()) std::signal(SIGTERM, note_job_ended);
      status = wdist::cli::run_here(settings, cluster.start_dealing(settings));
      cluster.stop_dealing();
      return status;
    }
#endif
    return wdist::cli::run_here(settings, {});
  } catch (const std::exception& e) {
    // Only the program's own small bookkeeping can throw here (the library
    // returns its failures, and a record's own memory is its refusal): out
    // of memory for a message or a place in the window, say.
    std::fprintf(stderr, "wdist: %s\n", e.what());
#ifdef WDIST_MPI
    if (!cluster.alone()) cluster.abort(1);  // the other ranks would wait for rank 0
#endif
    return 1;
  }
}
