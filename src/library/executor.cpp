#include "library/executor.h"

#include <algorithm>

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

bool is_finished(const Job& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  return job.finished;
}

bool complete_units(Job& job, std::uint64_t first, std::uint64_t count, const Tally& tally, const Status& status) {
  {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.finished) return false;
    if (!status) {
      job.status = status;
      job.finished = true;
      return true;
    }
    add_tally(job.total, tally);
    for (std::uint64_t u = first; u < first + count; ++u)
      if (!job.done[u]) {
        job.done[u] = true;
        ++job.done_count;
      }
    if (job.done_count < job.units) return false;
  }
  // The last units: finish outside the lock (the MacWilliams sums may take
  // a while); nothing else touches the job's total any more.
  Distribution result;
  const Status s = finish_record(job.plan, job.total, result);
  std::unique_lock<std::mutex> lock(job.mutex);
  job.status = s;
  job.result = std::move(result);
  if (s && job.render) {
    // Nothing else reads the job until it is finished.
    lock.unlock();
    std::string text = job.render(job);
    lock.lock();
    job.rendered = std::move(text);
  }
  job.finished = true;
  return true;
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
  // A record of one unit needs one worker; a larger one every worker.
  if (job->units == 1)
    wake_.notify_one();
  else
    wake_.notify_all();
}

bool Executor::wait(const Job& job, std::chrono::milliseconds timeout) {
  if (is_finished(job)) return true;
  if (timeout.count() <= 0) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_.wait_for(lock, timeout, [&job] { return is_finished(job); });
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
    tally.counts.assign(job->plan.record->tally_size, 0);
    const auto start = std::chrono::steady_clock::now();
    const Status s = run_units(job->plan, first, count, worker, tally);
    {
      std::lock_guard<std::mutex> lock(job->mutex);
      job->busy_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const bool finished = complete_units(*job, first, count, tally, s);
    bool stopping = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --running_;
      stopping = stop_;
    }
    // Waiters wait for a job to finish, cancel() for the units in progress.
    if (finished || stopping) finished_.notify_all();
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
