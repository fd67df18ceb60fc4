#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <utility>


namespace wdist::cli {

namespace {

constexpr double kSmallMessages = 0x1p16;
// A batch is handed over at this many records or messages, whichever comes
// first: some tens of microseconds of work, against the few the hand-over
// costs, in pieces small enough for every thread to get its share.
constexpr std::size_t kBatchRecords = 32;
constexpr double kBatchMessages = 0x1p18;

}  // namespace

bool batchable(const Code& code, const Options& options) {
  return options.dual != DualRoute::always && direct_messages_bound(code) <= kSmallMessages;
}

RecordBatch::RecordBatch(Format format, Options options) : format_(format), options_(std::move(options)) {
  // A batch runs on the executor's threads: progress and cancelling are
  // its owner's.
  options_.progress = nullptr;
  options_.cancel = nullptr;
  entries_.reserve(kBatchRecords);
}

std::size_t RecordBatch::add(const RecordOrigin& origin, Code code, const MatrixCapacity& capacity) {
  messages_ += direct_messages_bound(code);
  entries_.push_back(Entry{origin, std::move(code), capacity, Status{}, std::string()});
  return entries_.size() - 1;
}

bool RecordBatch::full() const { return entries_.size() >= kBatchRecords || messages_ >= kBatchMessages; }

Status RecordBatch::compute(Worker& worker) {
  Tally tally;
  for (Entry& e : entries_) compute_one(e, worker, tally);
  return Status{};
}

// Each step that needs memory says, when it cannot be had, what and how
// much: the record is refused with that, and the next one goes on.
void RecordBatch::compute_one(Entry& e, Worker& worker, Tally& tally) const {
  Plan plan;
  // Only a report repeats the matrix: otherwise the plan takes the code's
  // storage for its basis instead of a copy of it.
  if (format_ == Format::report)
    e.status = plan_record(e.code, options_, plan);
  else
    e.status = plan_record(std::move(e.code), options_, plan);
  if (!e.status) return;
  // As for a record's own job, the report's time is that of its
  // computation; only reports show it (the clock is not free on every
  // machine).
  const bool timed = format_ == Format::report;
  const auto start = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
  const auto seconds = [&] {
    return timed ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() : 0.0;
  };
  Distribution d;
  if (needs_big_counts(plan)) {
    if (e.status = reset_tally(plan, tally); !e.status) return;
    if (e.status = run_units(plan, 0, plan.summary.units, worker, tally); !e.status) return;
    const double busy = seconds();
    if (e.status = finish_record(plan, tally, d); !e.status) return;
    e.status = record_output(format_, e.origin, e.code, e.capacity, busy, plan.summary, d, nullptr, e.output);
  } else {
    // Only the nonzero counts: a long code of few codewords costs no
    // array of all its weights.
    NonzeroCounts counts;
    if (e.status = count_nonzero(plan, worker, d, counts); !e.status) return;
    e.status = record_output(format_, e.origin, e.code, e.capacity, seconds(), plan.summary, d, counts, e.output);
  }
}

}  // namespace wdist::cli
