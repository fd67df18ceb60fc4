#include "cli/work.h"

#include <algorithm>
#include <new>
#include <utility>

namespace wdist::cli {

RecordWork::RecordWork(Format format, Options options, RecordOrigin origin, Code code, const MatrixCapacity& capacity,
                       std::shared_ptr<const GroupImage> group)
    : format_(format),
      options_(std::move(options)),
      origin_(std::move(origin)),
      capacity_(capacity),
      messages_(std::min(direct_messages_bound(code), 0x1p62)),
      entries_(code.entries.size()),
      code_(std::move(code)),
      group_(std::move(group)) {
  // A record runs on the executor's threads: progress and cancelling are
  // the program's.
  options_.progress = nullptr;
  options_.cancel = nullptr;
}

Status RecordWork::plan_here() {
  planned_ = true;
  Status s = plan_record(code_, options_, plan_);
  if (format_ != Format::report) code_ = Code{};
  return s;
}

Status RecordWork::complete(Job& job) {
  if (planned_) return finish(job);
  planned_ = true;
  Plan plan;
  Status s;
  try {
    s = plan_record(code_, options_, plan);
  } catch (const std::bad_alloc&) {
    s = Status{StatusCode::out_of_memory, "the plan of a record cannot be had"};
  }
  // Only report blocks show the matrix: the others keep no copy of it.
  if (format_ != Format::report) code_ = Code{};
  if (!s) return s;
  // Its units follow; for a plan of none this hook runs again at once.
  return job.set_plan(std::move(plan));
}

Status RecordWork::finish(const Job& job) {
  if (group_) return finish_group(job);
  const Plan& plan = job.plan();
  // Without big integers where the plan needs none (a file of small
  // records spends much of its time allocating them).
  const bool small = !needs_big_counts(plan);
  Distribution d;
  std::vector<std::uint64_t> counts;
  Status s = small ? finish_record_u64(plan, job.total(), d, counts) : finish_record(plan, job.total(), d);
  if (!s) return s;
  try {
    // As for a batch's records, a report's time is that of the computation.
    s = record_output(format_, origin_, code_, capacity_, job.busy_seconds(), plan.summary, d, small ? &counts : nullptr,
                      output_);
  } catch (const std::bad_alloc&) {
    s = Status{StatusCode::out_of_memory, "the output of a record of length " + std::to_string(d.n) + " cannot be had"};
  }
  // The counts (here) and the matrix go in this thread, which made them.
  code_ = Code{};
  return s;
}

Status RecordWork::finish_group(const Job& job) {
  Distribution counted;
  Status s = finish_record(job.plan(), job.total(), counted);
  if (!s) return s;
  try {
    if (group_->kind == GroupKind::stabilizer) {
      StabilizerEnumerators e;
      s = finish_stabilizer(*group_, counted, e);
      if (s) s = group_output(format_, origin_, e, output_);
    } else {
      AdditiveDistribution a;
      s = finish_additive(*group_, counted, a);
      if (s) s = group_output(format_, origin_, a, output_);
    }
  } catch (const std::bad_alloc&) {
    s = Status{StatusCode::out_of_memory,
               "the enumerators of a code on " + std::to_string(group_->n) + " qubits cannot be had"};
  }
  return s;
}

std::shared_ptr<Job> record_job(const std::shared_ptr<RecordWork>& work) {
  CompletionHook hook = [work](Job& job, Worker&) { return work->complete(job); };
  if (!work->planned_) return std::make_shared<Job>(std::move(hook), JobSize::small);
  return std::make_shared<Job>(std::move(work->plan_), std::move(hook));
}

std::shared_ptr<Job> batch_job(const std::shared_ptr<RecordBatch>& batch) {
  return std::make_shared<Job>(
      [batch](Job&, Worker& worker) {
        try {
          return batch->compute(worker);
        } catch (const std::bad_alloc&) {
          return Status{StatusCode::out_of_memory, "the storage of a piece of work cannot be had"};
        }
      },
      JobSize::large);
}

}  // namespace wdist::cli
