#include "library/executor.h"

#include <algorithm>
#include <ctime>

#include "library/planned_record.h"

namespace wdist {

Job::Job(Plan p) : plan(std::move(p)), units(plan.summary.units), total(empty_tally(plan)), done(units, false) {}

void restore_done(Job& job, const std::vector<bool>& done, const Tally& total) {
  std::lock_guard<std::mutex> lock(job.mutex);
  for (std::uint64_t u = 0; u < job.units && u < done.size(); ++u)
    if (done[u] && !job.done[u]) {
      job.done[u] = true;
      ++job.done_count;
    }
  job.total = total;
  if (job.total.counts.size() < job.plan.record->tally_size) job.total.counts.resize(job.plan.record->tally_size, 0);
}

bool claim_units(Job& job, std::uint64_t most, std::uint64_t& first, std::uint64_t& count) {
  std::lock_guard<std::mutex> lock(job.mutex);
  if (job.finished) return false;
  while (job.next < job.units && job.done[job.next]) ++job.next;
  if (job.next >= job.units) return false;
  first = job.next;
  count = 0;
  while (count < most && job.next < job.units && !job.done[job.next]) {
    ++job.next;
    ++count;
  }
  return true;
}

void complete_units(Job& job, std::uint64_t first, std::uint64_t count, const Tally& tally, const Status& status) {
  {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.finished) return;
    if (!status) {
      job.status = status;
      job.finished = true;
      return;
    }
    add_tally(job.total, tally);
    for (std::uint64_t u = first; u < first + count; ++u)
      if (!job.done[u]) {
        job.done[u] = true;
        ++job.done_count;
      }
    if (job.done_count < job.units) return;
  }
  // The last units: finish outside the lock (the MacWilliams sums may take
  // a while); nothing else touches the job's total any more.
  Distribution result;
  const Status s = finish_record(job.plan, job.total, result);
  std::lock_guard<std::mutex> lock(job.mutex);
  job.status = s;
  job.result = std::move(result);
  job.finished = true;
}

double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

unsigned thread_count(unsigned requested) {
  if (requested != 0) return requested;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : hardware;
}

Executor::Executor(unsigned threads) {
  threads = std::max(1u, threads);
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

Executor::~Executor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void Executor::add(const std::shared_ptr<Job>& job) {
  if (job->units == 0) {
    complete_units(*job, 0, 0, Tally{}, Status{});
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.notify_all();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(job);
  }
  wake_.notify_all();
}

bool Executor::wait(const Job& job, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto is_finished = [&job] {
    std::lock_guard<std::mutex> job_lock(job.mutex);
    return job.finished;
  };
  return finished_.wait_for(lock, timeout, is_finished);
}

// The first job with a unit left to claim; finished jobs leave the list.
std::shared_ptr<Job> Executor::next_job() {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    Job& job = **it;
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.finished) {
      it = jobs_.erase(it);
      continue;
    }
    while (job.next < job.units && job.done[job.next]) ++job.next;
    if (job.next < job.units) return *it;
    ++it;
  }
  return nullptr;
}

void Executor::work() {
  Worker worker;
  Tally tally;
  for (;;) {
    std::shared_ptr<Job> job;
    std::uint64_t first = 0, count = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      for (;;) {
        if (stop_) return;
        job = next_job();
        if (job && claim_units(*job, 1, first, count)) break;
        job.reset();
        wake_.wait(lock);
      }
      ++running_;
    }
    tally = empty_tally(job->plan);
    const double cpu_start = thread_cpu_seconds();
    const Status s = run_units(job->plan, first, count, worker, tally);
    {
      std::lock_guard<std::mutex> lock(job->mutex);
      job->cpu_seconds += thread_cpu_seconds() - cpu_start;
    }
    complete_units(*job, first, count, tally, s);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
    }
    finished_.notify_all();
  }
}

void Executor::cancel() {
  std::unique_lock<std::mutex> lock(mutex_);
  stop_ = true;
  wake_.notify_all();
  finished_.wait(lock, [this] { return running_ == 0; });
  for (const std::shared_ptr<Job>& job : jobs_) {
    std::lock_guard<std::mutex> job_lock(job->mutex);
    if (job->finished) continue;
    job->status = Status{StatusCode::cancelled, "cancelled"};
    job->finished = true;
  }
  jobs_.clear();
  finished_.notify_all();
}

}  // namespace wdist
