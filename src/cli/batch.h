// Small records computed together. A file of many small codes spends a
// few microseconds on each, less than handing a job between threads costs
// (a wake-up, the job's locks, its columns moving from core to core), so a
// run of consecutive small records goes to one thread as one piece of work:
// it plans, counts and finishes each and writes its output text. The
// threads then hand over one batch where they would hand over dozens of
// records, and a file of them scales with the threads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "wdist/plan.h"

namespace wdist::cli {

// q^min(k, n), the messages of the code's direct route, up to a little
// beyond `limit` (a few multiplications for a small record, however long).
double direct_messages(const Code& code, double limit);

// Whether a record is small enough for a batch: its direct route counts at
// most 2^16 messages (a few dozen microseconds), and it is not sent through
// its dual whatever the cost.
bool batchable(const Code& code, const Options& options);

class RecordBatch {
 public:
  // Records computed with `options` (its progress and cancel are not used)
  // and written in `format`.
  RecordBatch(Format format, Options options);

  // Adds a record; returns its slot (from 0).
  std::size_t add(const RecordOrigin& origin, Code code, const MatrixCapacity& capacity);
  // Whether it holds enough work to be handed over now.
  [[nodiscard]] bool full() const;

  // Computes every record: its output text, or its failure. Returns ok
  // (a record's failure is its own).
  Status compute(Worker& worker);

  // After compute(): the record's status, and its output (taken once).
  [[nodiscard]] const Status& status(std::size_t slot) const { return entries_[slot].status; }
  std::string take_output(std::size_t slot) { return std::move(entries_[slot].output); }

 private:
  struct Entry {
    RecordOrigin origin;
    Code code;
    MatrixCapacity capacity;
    Status status;
    std::string output;
  };
  void compute_one(Entry& e, Worker& worker, Tally& tally) const;

  Format format_;
  Options options_;
  std::vector<Entry> entries_;
  double messages_ = 0;  // counted by the records added
};

}  // namespace wdist::cli
