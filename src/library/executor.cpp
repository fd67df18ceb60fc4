#include "library/executor.h"

#include <pthread.h>
#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "library/planned_record.h"

namespace wdist {

namespace {

// Finishes a job whose units are all done. Called without its lock: the
// MacWilliams sums may take a while, and nothing else touches the total of
// a job whose units are all done.
void finish_job(Job& job) {
  if (job.tally_only || job.task) {
    // Another process finishes the record: its total is the result.
    std::lock_guard<std::mutex> lock(job.mutex);
    job.finished = true;
    return;
  }
  Distribution result;
  std::vector<std::uint64_t> counts64;
  const bool small = job.render && !needs_big_counts(job.plan);
  const Status s = small ? finish_record_u64(job.plan, job.total, result, counts64)
                         : finish_record(job.plan, job.total, result);
  std::unique_lock<std::mutex> lock(job.mutex);
  job.status = s;
  job.result = std::move(result);
  job.small_counts = small;
  job.counts64 = std::move(counts64);
  if (!s || !job.render) {
    job.finished = true;
    return;
  }
  // Nothing else reads the result until the job is finished.
  lock.unlock();
  std::string text;
  Status made;
  try {
    made = job.render(job, text);
  } catch (const std::bad_alloc&) {
    // A renderer answers for its own memory; this one did not say how much.
    made = Status{StatusCode::out_of_memory,
                  "the output of a record of length " + std::to_string(job.result.n) + " cannot be had"};
  }
  // The front end's output is made, or cannot be: either way the counts
  // and the prepared columns are let go here, in the thread that made most
  // of them (glibc frees another thread's memory under that thread's arena
  // lock, which the many small records of a file would otherwise contend
  // for).
  std::shared_ptr<const PlannedRecord> record;
  std::vector<mpz_class> counts;
  std::vector<std::uint64_t> small_counts;
  lock.lock();
  if (made)
    job.rendered = std::move(text);
  else
    job.status = std::move(made);
  record = std::move(job.plan.record);
  counts.swap(job.result.counts);
  small_counts.swap(job.counts64);
  job.finished = true;
  lock.unlock();
}

}  // namespace

namespace {

// A new thread starts on its creator's core, and the kernel's balancer
// moves it to an idle one only after some milliseconds: longer than a file
// of small records may take, during which two threads share one core. So
// each worker starts on a core other than its creator's (the i-th of the
// others the process may use), and is then left to the scheduler.
#ifdef __linux__
int current_cpu() { return sched_getcpu(); }

void start_apart(unsigned worker, int creator_cpu) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  std::vector<int> others;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &allowed) && cpu != creator_cpu) others.push_back(cpu);
  if (others.empty()) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(others[(worker - 1) % others.size()], &one);
  // Moving the calling thread takes effect before the call returns; the
  // scheduler is then free again. Where affinity cannot be set, nothing
  // is lost but the head start.
  if (sched_setaffinity(0, sizeof one, &one) == 0) sched_setaffinity(0, sizeof allowed, &allowed);
}
#else
int current_cpu() { return -1; }
void start_apart(unsigned, int) {}
#endif

}  // namespace

bool is_finished(const Job& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  return job.finished;
}

namespace {

// Plans a job made from a code; true when that finished it (a failed plan,
// or nothing to count).
bool plan_job(Job& job) {
  Plan plan;
  Status s;
  try {
    s = plan_record(job.code, job.options, plan);
  } catch (const std::bad_alloc&) {
    s = Status{StatusCode::out_of_memory, "the plan of a record cannot be had"};
  }
  std::unique_lock<std::mutex> lock(job.mutex);
  job.planning = false;
  if (job.finished) return true;  // cancelled meanwhile
  if (s) s = reset_tally(plan, job.total);
  if (s) {
    const std::uint64_t units = plan.summary.units;
    try {
      job.done.assign(units, false);
    } catch (const std::bad_alloc&) {
      s = Status{StatusCode::out_of_memory, "the bookkeeping of " + std::to_string(units) + " units (" +
                                                bytes_text((units + 7) / 8) + ") cannot be had"};
    }
  }
  if (!s) {
    job.status = s;
    job.finished = true;
    return true;
  }
  job.plan = std::move(plan);
  job.units = job.plan.summary.units;
  job.planned = true;
  job.code = Code{};
  if (job.units != 0) return false;
  lock.unlock();
  finish_job(job);
  return true;
}

}  // namespace

Job::Job(Plan p) : plan(std::move(p)), units(plan.summary.units), planned(true), total(empty_tally(plan)), done(units, false) {}

Job::Job(Plan p, std::uint64_t first, std::uint64_t count)
    : plan(std::move(p)), units(plan.summary.units), planned(true), tally_only(true), total(empty_tally(plan)),
      done(units, true) {
  // A record may have a million units: only the range is walked.
  first = std::min(first, units);
  count = std::min(count, units - first);
  for (std::uint64_t u = first; u < first + count; ++u) done[u] = false;
  done_count = units - count;
  next = first;
}

Job::Job(std::function<Status(Worker&)> work) : units(1), planned(true), done(1, false), task(std::move(work)) {}

Job::Job(Code c, Options o) : code(std::move(c)), options(std::move(o)) {
  // A job runs on the executor's threads alone: progress and cancelling
  // are its owner's.
  options.progress = nullptr;
  options.cancel = nullptr;
}

void restore_done(Job& job, const std::vector<bool>& done, const Tally& total, double busy_seconds) {
  {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (!job.planned) return;
    for (std::uint64_t u = 0; u < job.units && u < done.size(); ++u)
      if (done[u] && !job.done[u]) {
        job.done[u] = true;
        ++job.done_count;
      }
    job.restored = job.done_count;
    job.total = total;
    if (job.plan.record && job.total.counts.size() < job.plan.record->tally_size)
      job.total.counts.resize(job.plan.record->tally_size, 0);
    job.busy_seconds = busy_seconds;
    if (job.units == 0 || job.done_count < job.units || job.finished) return;
  }
  finish_job(job);
}

bool claim_units(Job& job, std::uint64_t most, std::uint64_t& first, std::uint64_t& count) {
  std::lock_guard<std::mutex> lock(job.mutex);
  if (job.finished || !job.planned) return false;
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
  finish_job(job);
  return true;
}

void finish_elsewhere(Job& job, const Status& status, std::string rendered, double busy_seconds) {
  std::lock_guard<std::mutex> lock(job.mutex);
  if (job.finished) return;
  job.status = status;
  job.rendered = std::move(rendered);
  job.busy_seconds += busy_seconds;
  job.planning = false;
  job.finished = true;
}

JobState state_of(const Job& job) {
  std::lock_guard<std::mutex> lock(job.mutex);
  if (!job.planned) return JobState{};
  return JobState{true, job.plan.summary.identity, job.units, job.done, job.total, job.busy_seconds, job.done_count};
}

unsigned thread_count(unsigned requested) {
  if (requested != 0) return requested;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : hardware;
}

std::uint64_t thread_stack_bytes() {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return 0;
  std::size_t size = 0;
  if (pthread_attr_getstacksize(&attr, &size) != 0) size = 0;
  pthread_attr_destroy(&attr);
  return size;
}

Executor::Executor(unsigned threads) {
  try {
    start_workers(std::max(1u, threads));
  } catch (...) {
    // The workers started so far end before the failure goes on.
    stop_workers();
    throw;
  }
}

Executor::Executor(unsigned threads, std::string& failure) {
  failure.clear();
  threads = std::max(1u, threads);
  try {
    start_workers(threads);
  } catch (const std::exception& e) {
    // Those that started compute; with none, the owner's thread alone.
    failure = std::to_string(threads - this->threads()) + " of " + std::to_string(threads) +
              " threads cannot be started (each needs a stack of " + bytes_text(thread_stack_bytes()) +
              "): " + e.what();
  }
}

void Executor::start_workers(unsigned threads) {
  workers_.reserve(threads - 1);
  const int creator_cpu = current_cpu();
  for (unsigned i = 1; i < threads; ++i)
    workers_.emplace_back([this, i, creator_cpu] {
      start_apart(i, creator_cpu);
      work();
    });
}

Executor::~Executor() { stop_workers(); }

void Executor::stop_workers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

void Executor::add(const std::shared_ptr<Job>& job) {
  bool planned_empty = false, many_units = false;
  {
    std::lock_guard<std::mutex> lock(job->mutex);
    planned_empty = job->planned && job->done_count >= job->units;
    // A task is work enough for a wake-up on its own.
    many_units = job->planned && (job->units > 1 || job->task);
  }
  if (planned_empty) complete_units(*job, 0, 0, Tally{}, Status{});
  if (is_finished(*job)) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(job);
    // A record of one unit is worth a sleeping worker's wake-up (a system
    // call and a switch, longer than a small record takes) only as one of
    // a few; the owner takes them itself when it waits.
    wake = idle_ > 0 && (many_units || jobs_.size() >= kWakeFor);
  }
  if (many_units)
    wake_.notify_all();
  else if (wake)
    wake_.notify_one();
}

bool Executor::Claim::holds(const Job* other) const {
  if (job.get() == other) return true;
  for (int i = 0; i < more_count; ++i)
    if (more[static_cast<std::size_t>(i)].get() == other) return true;
  return false;
}

bool Executor::claim_next(Claim& claim) {
  if (stop_) return false;
  // Marks the job as being planned when it is a job to plan.
  const auto take_to_plan = [](Job& job) {
    std::lock_guard<std::mutex> lock(job.mutex);
    if (job.planned || job.finished || job.planning) return false;
    job.planning = true;
    return true;
  };
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    Job& job = **it;
    bool unplanned = false;
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      unplanned = !job.planned && !job.finished;
    }
    if (unplanned) {
      if (!take_to_plan(job)) {
        ++it;  // being planned: its units come once it is
        continue;
      }
      claim = Claim{};
      claim.job = *it;
      claim.plan = true;
      for (auto next = std::next(it); next != jobs_.end() && claim.more_count < kPlanBatch - 1; ++next)
        if (take_to_plan(**next)) claim.more[static_cast<std::size_t>(claim.more_count++)] = *next;
      return true;
    }
    if (claim_units(job, 1, claim.first, claim.count)) {
      claim.job = *it;
      claim.plan = false;
      return true;
    }
    // Nothing left to claim: finished, or its last units are in progress.
    // Either way no thread needs to look at it again.
    it = jobs_.erase(it);
  }
  return false;
}

bool Executor::run_claimed(const Claim& claim, Worker& worker, Tally& tally) {
  if (!claim.plan) return run_units_of(*claim.job, claim.first, claim.count, worker, tally);
  bool finished = plan_and_start(*claim.job, worker, tally);
  for (int i = 0; i < claim.more_count; ++i)
    finished = plan_and_start(*claim.more[static_cast<std::size_t>(i)], worker, tally) || finished;
  return finished;
}

bool Executor::plan_and_start(Job& job, Worker& worker, Tally& tally) {
  if (plan_job(job)) return true;
  // More units than this thread takes next: the others may help. (Taken
  // and let go first: a worker that found the job still planning is
  // asleep by then.)
  if (job.units > 1) wake_all();
  // The thread that planned a record takes its first unit: the record's
  // columns are in this core's caches. (A small record handed from core
  // to core between its plan and its unit costs more than it takes.)
  std::uint64_t first = 0, count = 0;
  if (!claim_units(job, 1, first, count)) return false;
  return run_units_of(job, first, count, worker, tally);
}

bool Executor::run_units_of(Job& job, std::uint64_t first, std::uint64_t count, Worker& worker, Tally& tally) {
  const auto start = std::chrono::steady_clock::now();
  Status s;
  if (job.task) {
    try {
      s = job.task(worker);
    } catch (const std::bad_alloc&) {
      s = Status{StatusCode::out_of_memory, "the storage of a piece of work cannot be had"};
    }
  } else {
    s = reset_tally(job.plan, tally);
    if (s) s = run_units(job.plan, first, count, worker, tally);
  }
  {
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard<std::mutex> lock(job.mutex);
    job.busy_seconds += spent;
  }
  // A task has no tally: the worker's is left as it was, and none is added.
  static const Tally kNone;
  return complete_units(job, first, count, job.task ? kNone : tally, s);
}

void Executor::work() {
  Worker worker;
  Tally tally;
  // mutex_ is held except while a unit runs: one lock per unit, as a
  // contended lock puts a thread to sleep.
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Claim claim;
    while (!stop_ && !claim_next(claim)) {
      ++idle_;
      wake_.wait(lock);
      --idle_;
    }
    if (!claim.job) return;
    ++running_;
    lock.unlock();
    const bool finished = run_claimed(claim, worker, tally);
    // Taken after the job was marked finished: an owner that found it
    // unfinished is waiting by now, and hears the notification.
    lock.lock();
    --running_;
    // The owner waits for one job to finish (cancel() for the units to
    // end): only that is worth waking it for.
    if (stop_ || (finished && claim.holds(awaited_))) finished_.notify_all();
  }
}

void Executor::wake_all() {
  // Taken and let go first: a worker that found nothing to do is asleep by
  // then.
  { const std::lock_guard<std::mutex> lock(mutex_); }
  wake_.notify_all();
}

void Executor::set_look(std::function<void()> look, std::chrono::microseconds every) {
  look_ = std::move(look);
  look_every_ = std::max(every, std::chrono::microseconds(1));
}

bool Executor::wait(const Job& job, std::chrono::milliseconds timeout) {
  if (look_) look_();
  if (is_finished(job)) return true;
  if (timeout.count() <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  // Enough queued for a worker's wake-up: it helps while the owner waits.
  if (idle_ > 0 && jobs_.size() >= kWakeFor) wake_.notify_one();
  for (;;) {
    if (is_finished(job)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    Claim claim;
    if (claim_next(claim)) {
      lock.unlock();
      run_claimed(claim, owner_worker_, owner_tally_);
      if (look_) look_();
      lock.lock();
      continue;
    }
    awaited_ = &job;
    if (look_) {
      // What is done elsewhere comes in through the look alone.
      finished_.wait_until(lock, std::min<std::chrono::steady_clock::time_point>(deadline, now + look_every_));
      awaited_ = nullptr;
      lock.unlock();
      look_();
      lock.lock();
    } else {
      finished_.wait_until(lock, deadline);
      awaited_ = nullptr;
    }
  }
}

bool Executor::claim_elsewhere(std::uint64_t most, double whole_messages, ElsewhereClaim& claim) {
  for (;;) {
    std::shared_ptr<Job> to_plan;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return false;
      for (const std::shared_ptr<Job>& held : jobs_) {
        Job& job = *held;
        {
          std::lock_guard<std::mutex> job_lock(job.mutex);
          if (job.finished || job.planning || job.task) continue;  // a task is this process's own
          if (!job.planned) {
            job.planning = true;
            const double messages = std::pow(static_cast<double>(job.code.q),
                                             static_cast<double>(std::min<std::int64_t>(job.code.k, job.code.n)));
            if (messages <= whole_messages) {
              claim = ElsewhereClaim{held, true, 0, 0};
              return true;
            }
            to_plan = held;
            break;
          }
        }
        if (claim_units(job, most, claim.first, claim.count)) {
          claim.job = held;
          claim.whole = false;
          return true;
        }
      }
    }
    if (!to_plan) return false;
    // Planned here, as a worker would; its units are then everyone's.
    if (!plan_job(*to_plan) && to_plan->units > 1) wake_all();
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
}

}  // namespace wdist
