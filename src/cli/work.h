// The program's own work items on the executor (wdist/executor.h), which
// knows nothing of them but their jobs: a record of its own job, and a
// batch of small records (batch.h), one job for all of them. Each job's
// completion hook does the program's part on the thread that finishes it
// (planning, the output text), so that a file of many records leaves the
// reading thread little more than reading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/batch.h"
#include "cli/formats.h"
#include "wdist/executor.h"
#include "wdist/stabilizer.h"

namespace wdist::cli {

// A record computed by a job of its own: planned by the job's hook on the
// thread that takes it first (or here, plan_here()), its units on every
// thread, then finished and written out by the hook on the thread that
// computed the last of them. Its output and status are read once its job
// is finished.
class RecordWork {
 public:
  // May throw std::bad_alloc (its own few bytes; the code is moved in).
  // With `group`, `code` is that group's binary image (items.h): it is
  // finished into the group's enumerators.
  RecordWork(Format format, Options options, RecordOrigin origin, Code code, const MatrixCapacity& capacity,
             std::shared_ptr<const GroupImage> group = nullptr);

  // Plans the record on this thread, before its job is made, so that the
  // job starts with the plan's units: restored units need the plan, and so
  // do ranges of units dealt to other processes. Fails as plan_record does.
  Status plan_here();

  [[nodiscard]] const RecordOrigin& origin() const { return origin_; }
  // q^min(k, n), the messages of its direct route (fixed when it is made).
  [[nodiscard]] double messages() const { return messages_; }
  [[nodiscard]] std::uint64_t entries() const { return entries_; }

  // Once its job is finished with ok: the output text (taken once).
  std::string take_output() { return std::move(output_); }
  // The record was computed whole elsewhere (its job taken whole): its
  // output comes from there.
  void set_output(std::string output) { output_ = std::move(output); }

 private:
  friend std::shared_ptr<Job> record_job(const std::shared_ptr<RecordWork>& work);
  // The job's completion hook: plans the record (its units follow), or
  // finishes it into its output text.
  Status complete(Job& job);
  Status finish(const Job& job);
  Status finish_group(const Job& job);

  const Format format_;
  Options options_;
  const RecordOrigin origin_;
  const MatrixCapacity capacity_;
  const double messages_;
  const std::uint64_t entries_;
  Code code_;           // until planned; kept for report blocks, which show the matrix
  const std::shared_ptr<const GroupImage> group_;
  bool planned_ = false;
  Plan plan_;           // planned here, until its job takes it
  std::string output_;
};

// The job of a record: planned by its hook unless the record was planned
// here. May throw std::bad_alloc (the job's own few bytes).
std::shared_ptr<Job> record_job(const std::shared_ptr<RecordWork>& work);

// The job of a batch: its hook computes every record of it, on the thread
// that takes it. May throw std::bad_alloc (the job's own few bytes).
std::shared_ptr<Job> batch_job(const std::shared_ptr<RecordBatch>& batch);

}  // namespace wdist::cli
