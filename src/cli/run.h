// One run of the program in this process: the items of the inputs read in
// turn (items.h), each record handed to the executor's threads as work of
// the program's own (work.h: alone, or with the small records around it in
// a batch), the output written in input order from the window (window.h),
// the progress line of a long record (progress.h), and the checkpoint kept
// (run_checkpoint.h). As rank 0 of an MPI job, the other ranks take part
// through the executor's owner poll (Helpers, cluster.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/batch.h"
#include "cli/progress.h"
#include "cli/run_checkpoint.h"
#include "cli/settings.h"
#include "cli/window.h"
#include "wdist/executor.h"

namespace wdist::cli {

// Other processes that compute with this one, as the run sees them.
struct Helpers {
  unsigned threads = 0;  // their threads, all together
  // Deals them work of the window's records and takes in what they send:
  // called on the executor's owner thread (its poll) at least every
  // `every`, with the first item not written yet (nothing before it is
  // asked of them again).
  std::function<void(Executor& executor, OutputWindow& window, std::uint64_t oldest_item)> serve;
  std::chrono::microseconds every{0};
  // Records of more messages are planned by this process as they are read,
  // so that their units can be dealt; smaller ones go out whole.
  double whole_messages = 0;
};

class Run {
 public:
  explicit Run(const Settings& s, Helpers helpers = {});
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  Run(Run&&) = delete;
  Run& operator=(Run&&) = delete;
  ~Run() = default;

  // The run to its end: the exit status.
  int run();

 private:
  // An item that is a message alone, in its place in the output.
  void add_message(std::uint64_t index, const std::string& file, const std::string& text);
  // A record joins the window: into the open batch, or as a job of its own.
  void add_record(std::uint64_t index, const RecordOrigin& origin, Code code, const MatrixCapacity& capacity,
                  std::shared_ptr<const GroupImage> group);
  void add_to_batch(WindowItem item, Code code, const MatrixCapacity& capacity);
  void close_batch();
  // A record the checkpoint has units of: they are taken as done. False
  // (the run abandoned) when they cannot belong to its plan.
  bool restore(const WindowItem& item);
  // Writes the finished items at the head of the window, in order; waits
  // for the head (computing meanwhile) when `wait` says so.
  void drain(bool wait);
  bool write_head(bool wait);
  // What the head's job came to: its output, or its refusal.
  void take_head(std::string& out, std::string& error) const;
  void make_room(std::uint64_t bytes);
  void emit(char stream, const std::string& text);
  void show_progress(const WindowItem& head);
  void maybe_checkpoint();
  bool write_checkpoint_now();
  // The end of the run once every item is written: the exit status.
  int finish();

  const Settings& s_;
  const Options options_;
  const Helpers helpers_;
  ThreadsMissing threads_missing_;  // before executor_, which sets it
  Executor executor_;
  ProgressLine progress_;
  OutputWindow window_;
  RunCheckpoint checkpoint_;
  const bool batching_;
  std::shared_ptr<RecordBatch> batch_;  // the open batch, not handed over yet
  std::shared_ptr<Job> batch_job_;      // its job
  std::chrono::steady_clock::time_point batch_start_;
  // How long the main thread computes before it reports (the progress line, a
  // checkpoint when due).
  std::chrono::milliseconds report_every_;
  bool failed_ = false;
  bool abandoned_ = false;  // a checkpoint turned out not to fit: stop
  std::uint64_t next_item_ = 0;  // items read so far
  std::uint64_t items_written_ = 0;
};

}  // namespace wdist::cli
