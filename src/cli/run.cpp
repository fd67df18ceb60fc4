#include "cli/run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "cli/items.h"
#include "cli/signals.h"
#include "cli/work.h"

namespace wdist::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::uint64_t kWindowBytes = std::uint64_t{128} << 20;
// How long the main thread computes before it reports (the progress line, a
// checkpoint when due): a tenth of a second, or the checkpoint interval when
// that is shorter.
constexpr std::chrono::milliseconds kReportEvery{100};

// What a record in flight holds: its matrix (twice for report blocks),
// the plan's basis and prepared columns, its tallies, the result, and the
// done flags of up to 2^20 units.
std::uint64_t held_bytes(const Code& code) {
  const auto entries = static_cast<std::uint64_t>(code.entries.size());
  const auto n = static_cast<std::uint64_t>(code.n);
  return 3 * entries + 32 * n + 16 * (3 * n + 1) + ((std::uint64_t{1} << 20) / 8);
}

std::string message_line(const std::string& file, const std::string& text) {
  return "wdist: " + file + ": " + text + "\n";
}

// A record refused because what it holds while it is computed (its
// matrix, plan, tally and output, `bytes` in all by held_bytes) cannot be
// had here.
std::string not_had(const RecordOrigin& origin, std::uint64_t bytes) {
  return "record " + std::to_string(origin.number) + ": the memory it holds while computed, about " +
         bytes_text(bytes) + ", cannot be had";
}

std::chrono::milliseconds report_interval(const Settings& s) {
  if (s.checkpoint.empty()) return kReportEvery;
  return std::clamp(std::chrono::milliseconds(static_cast<std::int64_t>(1000 * s.checkpoint_interval)),
                    std::chrono::milliseconds(1), kReportEvery);
}

}  // namespace

Run::Run(const Settings& s, Helpers helpers)
    : s_(s),
      options_(record_options(s)),
      helpers_(std::move(helpers)),
      executor_(thread_count(s.threads), threads_missing_),
      progress_(!s.quiet && (s.progress || isatty(STDERR_FILENO) != 0)),
      window_(std::max(8u, 512 * (executor_.threads() + helpers_.threads)), kWindowBytes),
      checkpoint_(s),
      // The other ranks are dealt records one by one: batches are this
      // process's alone.
      batching_(!helpers_.serve),
      report_every_(report_interval(s)) {
  if (helpers_.serve)
    executor_.set_owner_poll([this] { helpers_.serve(executor_, window_, window_.oldest_item(next_item_)); },
                             helpers_.every);
}

int Run::run() {
  // Fewer threads compute the same output, only slower.
  if (threads_missing_.count > 0) {
    const unsigned wanted = executor_.threads() + threads_missing_.count;
    std::fprintf(stderr, "wdist: %u of %u threads cannot be started (each needs a stack of %s): %s; computing on %u\n",
                 threads_missing_.count, wanted, bytes_text(thread_stack_bytes()).c_str(),
                 threads_missing_.reason.c_str(), executor_.threads());
  }
  if (checkpoint_.enabled()) {
    if (!checkpoint_.open()) return 2;
    items_written_ = checkpoint_.items_resumed();
    failed_ = checkpoint_.failed_before();
  }
  auto before_waiting = [this] {
    drain(true);
    std::fflush(stdout);
  };
  InputItems items = s_.group ? InputItems(s_.files, *s_.group, group_options(s_), before_waiting)
                              : InputItems(s_.files, s_.format, s_.projective, before_waiting);
  Item item;
  while (!abandoned_ && items.next(item)) {
    // Items before the checkpoint's are neither computed nor written again.
    if (item.index >= checkpoint_.items_resumed()) {
      if (!item.message.empty())
        add_message(item.index, item.origin.file, item.message);
      else
        add_record(item.index, item.origin, std::move(item.code), item.capacity, std::move(item.group));
    }
    next_item_ = item.index + 1;
    maybe_checkpoint();
  }
  if (!abandoned_) drain(true);
  return finish();
}

int Run::finish() {
  progress_.clear();
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const std::string why = std::strerror(errno);
    if (checkpoint_.spool() == nullptr) {
      std::fprintf(stderr, "wdist: writing the output failed: %s\n", why.c_str());
      return 1;
    }
    // The spool holds all of the output: a checkpoint of it writes it
    // again, once the output can be written.
    const bool written = write_checkpoint_now();
    std::fprintf(stderr, "wdist: writing the output failed: %s; %s\n", why.c_str(),
                 checkpoint_.resume_note(written).c_str());
    return 1;
  }
  if (abandoned_) return 2;
  if (checkpoint_.spool() != nullptr) checkpoint_.close();
  return failed_ ? 1 : 0;
}

void Run::emit(char stream, const std::string& text) {
  if (text.empty()) return;
  if (stream == 'e') {
    std::fflush(stdout);  // what came before the message is out before it
    progress_.clear();
    std::fwrite(text.data(), 1, text.size(), stderr);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  if (Spool* spool = checkpoint_.spool(); spool != nullptr) spool->append(stream, text);
}

void Run::add_message(std::uint64_t index, const std::string& file, const std::string& text) {
  WindowItem item;
  item.index = index;
  item.message = message_line(file, text);
  make_room(0);
  window_.push(std::move(item));
  drain(false);
}

void Run::add_record(std::uint64_t index, const RecordOrigin& origin, Code code, const MatrixCapacity& capacity,
                     std::shared_ptr<const GroupImage> group) {
  const bool restored = checkpoint_.has_units_of(index);
  WindowItem item;
  item.index = index;
  item.origin = origin;
  item.bytes = held_bytes(code);
  // A batch finishes distributions of codes: a group's enumerators are
  // finished by a job of its own.
  if (batching_ && !restored && !group && batchable(code, options_)) {
    add_to_batch(std::move(item), std::move(code), capacity);
    return;
  }
  // The records before it go first.
  close_batch();
  // Room first: a checkpoint written meanwhile must still find the
  // record's restored units among those it keeps.
  make_room(item.bytes);
  try {
    item.record =
        std::make_shared<RecordWork>(s_.format, options_, origin, std::move(code), capacity, std::move(group));
    // Planned here when its restored units need the plan, or its units
    // are dealt to other processes; otherwise by the thread that takes it.
    if (restored || (helpers_.serve && item.record->messages() > helpers_.whole_messages))
      if (Status st = item.record->plan_here(); !st) {
        add_message(index, origin.file, "record " + std::to_string(origin.number) + ": " + st.message);
        return;
      }
    item.job = record_job(item.record);
  } catch (const std::bad_alloc&) {
    add_message(index, origin.file, not_had(origin, item.bytes));
    return;
  }
  // Before its restored units: when they are all of them, the record is
  // finished, and its output made, as soon as a thread takes it.
  if (restored && !restore(item)) return;
  item.start = SteadyClock::now();
  executor_.add(item.job);
  window_.push(std::move(item));
  drain(false);
}

void Run::add_to_batch(WindowItem item, Code code, const MatrixCapacity& capacity) {
  make_room(item.bytes);
  try {
    if (!batch_) {
      batch_start_ = SteadyClock::now();
      auto batch = std::make_shared<RecordBatch>(s_.format, options_);
      batch_job_ = batch_job(batch);
      batch_ = std::move(batch);
    }
    item.slot = batch_->add(item.origin, std::move(code), capacity);
  } catch (const std::bad_alloc&) {
    add_message(item.index, item.origin.file, not_had(item.origin, item.bytes));
    return;
  }
  item.batch = batch_;
  item.job = batch_job_;
  item.start = batch_start_;  // the clock once a batch: it only shows progress
  window_.push(std::move(item));
  if (batch_->full()) close_batch();
  drain(false);
}

void Run::close_batch() {
  if (!batch_) return;
  executor_.add(batch_job_);
  batch_.reset();
  batch_job_.reset();
}

bool Run::restore(const WindowItem& item) {
  if (item.job->restore(checkpoint_.take_units_of(item.index))) return true;
  std::fprintf(stderr, "wdist: checkpoint %s refused: it does not fit %s record %d\n", s_.checkpoint.c_str(),
               item.origin.file.c_str(), item.origin.number);
  abandoned_ = true;
  return false;
}

void Run::make_room(std::uint64_t bytes) {
  while (!window_.has_room(bytes)) write_head(true);
}

void Run::drain(bool wait) {
  while (!window_.empty())
    if (!write_head(wait)) return;
}

bool Run::write_head(bool wait) {
  const WindowItem& head = window_.head();
  if (head.job && head.job == batch_job_) {
    if (!wait) return false;
    close_batch();
  }
  if (head.job) {
    while (!executor_.compute_until(*head.job, wait ? report_every_ : std::chrono::milliseconds(0))) {
      if (!wait) return false;
      // A long record: what is finished before it shows now.
      std::fflush(stdout);
      show_progress(head);
      maybe_checkpoint();
    }
  }
  std::string out, error;
  take_head(out, error);
  if (!error.empty()) failed_ = true;
  emit('o', out);
  emit('e', error);
  ++items_written_;
  window_.pop();
  maybe_checkpoint();
  return true;
}

void Run::take_head(std::string& out, std::string& error) const {
  const WindowItem& head = window_.head();
  if (!head.job) {
    error = head.message;
    return;
  }
  Status status = head.job->status();
  if (status && head.batch) status = head.batch->status(head.slot);
  if (!status) {
    error = message_line(head.origin.file, "record " + std::to_string(head.origin.number) + ": " + status.message);
  } else if (head.batch) {
    out = head.batch->take_output(head.slot);
  } else {
    out = head.record->take_output();
  }
}

void Run::show_progress(const WindowItem& head) {
  const double elapsed = std::chrono::duration<double>(SteadyClock::now() - head.start).count();
  if (!s_.progress && elapsed < 1.0) return;
  const JobCounts counts = head.job->counts();
  progress_.show(head.origin.file + " record " + std::to_string(head.origin.number), counts.done, counts.units,
                 counts.restored, elapsed);
}

void Run::maybe_checkpoint() {
  if (checkpoint_.spool() == nullptr) return;
  const int signal = stop_signal();
  if (signal == 0 && !checkpoint_.due()) return;
  const bool written = write_checkpoint_now();
  if (signal == 0) return;
  progress_.clear();
  std::fflush(stdout);
  std::fprintf(stderr, "wdist: stopped by signal %d; %s\n", signal, checkpoint_.resume_note(written).c_str());
  checkpoint_.abandon();
  // The workers may be inside a unit: nothing else is left to tidy.
  std::_Exit(128 + signal);
}

bool Run::write_checkpoint_now() {
  std::string error;
  if (checkpoint_.write(items_written_, failed_, window_.records_in_progress(), error)) return true;
  progress_.clear();
  std::fprintf(stderr, "wdist: writing checkpoint %s failed: %s\n", s_.checkpoint.c_str(), error.c_str());
  return false;
}

}  // namespace wdist::cli
