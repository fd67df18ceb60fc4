// The output window of a run: its items in flight, in input order, from the
// oldest not written yet to the newest read. An item is a record (of its
// own job, or one of a batch's) or a message; the run writes the head as
// soon as it is finished, so that the output keeps the input's order
// whatever order the threads finish in. The window is bounded in items
// (some hundreds per thread: enough for a thread that finishes one piece
// of work to find another, instead of sleeping until the reading thread
// has read one more) and in the memory its records hold, whatever the
// file holds.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/checkpoint.h"
#include "cli/work.h"
#include "wdist/executor.h"

namespace wdist::cli {

struct WindowItem {
  std::uint64_t index = 0;              // among the items of the run, from 0
  RecordOrigin origin;
  std::string message;                  // the whole line, for standard error: the item is this alone
  std::shared_ptr<Job> job;             // otherwise the job that computes it: its own, or its batch's
  std::shared_ptr<RecordWork> record;   // a record of its own job
  std::shared_ptr<RecordBatch> batch;   // or one of a batch, at `slot`
  std::size_t slot = 0;
  bool dealt_whole = false;             // to another process (claim_elsewhere)
  std::chrono::steady_clock::time_point start;  // for its progress line
  std::uint64_t bytes = 0;              // what it holds while in flight
};

// Work of the window's records taken for another process (an MPI rank).
struct ElsewhereClaim {
  std::uint64_t item = 0;
  std::shared_ptr<Job> job;
  std::shared_ptr<RecordWork> record;
  bool whole = false;               // the record whole (its job taken whole), or:
  std::uint64_t plan_identity = 0;  // units of its plan
  UnitRange units;
};

class OutputWindow {
 public:
  OutputWindow(std::size_t most_items, std::uint64_t most_bytes) : most_items_(most_items), most_bytes_(most_bytes) {}

  // Whether an item holding `bytes` fits in now (it always does in an
  // empty window).
  [[nodiscard]] bool has_room(std::uint64_t bytes) const {
    return items_.empty() || (items_.size() < most_items_ && held_ + bytes <= most_bytes_);
  }
  void push(WindowItem item);
  [[nodiscard]] bool empty() const { return items_.empty(); }
  [[nodiscard]] const WindowItem& head() const { return items_.front(); }
  void pop();
  // The first item not written yet: `next` (the next to be read) when
  // the window is empty.
  [[nodiscard]] std::uint64_t oldest_item(std::uint64_t next) const {
    return items_.empty() ? next : items_.front().index;
  }

  // The records in flight with units done, for a checkpoint. A batch's
  // records are computed again on resuming (they are small), and so is a
  // record that failed.
  [[nodiscard]] std::vector<RecordInProgress> records_in_progress() const;

  // Work of the records in flight for another process, oldest first: a
  // record of at most `whole_messages` messages that no thread has begun
  // is taken whole (its job is the caller's to end), and of a planned
  // record up to `most` units neither done nor claimed. False when
  // nothing is left to take now. On the executor's owner thread.
  bool claim_elsewhere(std::uint64_t most, double whole_messages, ElsewhereClaim& claim);

 private:
  const std::size_t most_items_;
  const std::uint64_t most_bytes_;
  std::deque<WindowItem> items_;
  std::uint64_t held_ = 0;
  // Items before this one have nothing left to deal elsewhere: taken
  // whole, finished, or every unit claimed.
  std::uint64_t settled_ = 0;
};

}  // namespace wdist::cli
