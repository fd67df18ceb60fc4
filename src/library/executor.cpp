#include "wdist/executor.h"

#include <pthread.h>
#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <exception>
#include <new>
#include <string>

namespace wdist {

namespace {

Status out_of_memory(std::string what) { return Status{StatusCode::out_of_memory, std::move(what)}; }

Status does_not_fit(const std::string& why) {
  return Status{StatusCode::invalid_code, "the units done do not fit the plan: " + why};
}

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
  std::vector<std::size_t> others;
  for (std::size_t cpu = 0; cpu < std::size_t{CPU_SETSIZE}; ++cpu)
    if (CPU_ISSET(cpu, &allowed) && static_cast<int>(cpu) != creator_cpu) others.push_back(cpu);
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

// Jobs.

Job::Job(Plan plan, CompletionHook hook) : plan_(std::move(plan)), hook_(std::move(hook)) {}

Job::Job(Plan plan, UnitRange only, CompletionHook hook)
    : plan_(std::move(plan)), hook_(std::move(hook)), partial_(true), only_(only) {}

Job::Job(CompletionHook hook, JobSize size) : hook_(std::move(hook)), size_(size), started_(true) {}

Job::~Job() = default;

Status Job::start_units() {
  const std::uint64_t units = plan_.summary.units;
  if (partial_ && (only_.first > units || only_.count > units - only_.first))
    return Status{StatusCode::invalid_code, "units " + std::to_string(only_.first) + " .. " +
                                                std::to_string(only_.first + only_.count) + " are not the plan's " +
                                                std::to_string(units)};
  if (Status s = reset_tally(plan_, total_); !s) return s;
  try {
    done_.assign(static_cast<std::size_t>(units), partial_);
  } catch (const std::bad_alloc&) {
    return out_of_memory("the bookkeeping of " + std::to_string(units) + " units (" + bytes_text((units + 7) / 8) +
                         ") cannot be had");
  }
  units_ = units;
  done_count_ = next_ = restored_ = 0;
  if (partial_) {
    std::fill_n(done_.begin() + static_cast<std::ptrdiff_t>(only_.first), only_.count, false);
    done_count_ = restored_ = units - only_.count;
    next_ = only_.first;
  }
  started_ = true;
  return Status{};
}

bool Job::finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

Status Job::status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

JobCounts Job::counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return JobCounts{units_, done_count_, restored_};
}

UnitProgress Job::progress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  UnitProgress p;
  p.plan_identity = plan_.summary.identity;
  p.units = units_;
  for (std::uint64_t u = 0; u < units_ && done_count_ > 0;) {
    if (!done_[u]) {
      ++u;
      continue;
    }
    UnitRange range{u, 0};
    while (u < units_ && done_[u]) ++u;
    range.count = u - range.first;
    p.done.push_back(range);
  }
  p.total = total_;
  p.busy_seconds = busy_seconds_;
  return p;
}

double Job::busy_seconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_seconds_;
}

std::uint64_t Job::plan_identity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plan_.summary.identity;
}

Distribution Job::take_result() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(result_);
}

Status Job::check_fit_locked(const UnitProgress& p) const {
  if (p.plan_identity != plan_.summary.identity) return does_not_fit("they name another plan");
  if (p.units != units_)
    return does_not_fit("they are of " + std::to_string(p.units) + " units, not " + std::to_string(units_));
  if (p.total.counts.size() != total_.counts.size())
    return does_not_fit("their tally has " + std::to_string(p.total.counts.size()) + " counts, not " +
                        std::to_string(total_.counts.size()));
  std::uint64_t past = 0;  // the end of the ranges before
  for (const UnitRange& r : p.done) {
    if (r.count == 0 || r.first < past || r.first > units_ || r.count > units_ - r.first)
      return does_not_fit("their ranges are not in order within the units");
    past = r.first + r.count;
    for (std::uint64_t u = r.first; u < past; ++u)
      if (done_[u]) return does_not_fit("unit " + std::to_string(u) + " is done already");
  }
  return Status{};
}

void Job::merge_locked(const UnitProgress& p) {
  for (const UnitRange& r : p.done) {
    for (std::uint64_t u = r.first; u < r.first + r.count; ++u) done_[u] = true;
    done_count_ += r.count;
  }
  merge_tally(plan_, p.total, total_);
  busy_seconds_ += p.busy_seconds;
}

Status Job::restore(const UnitProgress& done) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_)
    if (Status s = start_units(); !s) return s;
  if (Status s = check_fit_locked(done); !s) return s;
  merge_locked(done);
  restored_ = done_count_;
  return Status{};
}

bool Job::claim_locked(std::uint64_t most, UnitRange& units) {
  if (finished_ || !started_) return false;
  while (next_ < units_ && done_[next_]) ++next_;
  if (next_ >= units_) return false;
  units = UnitRange{next_, 0};
  while (units.count < most && next_ < units_ && !done_[next_]) {
    ++next_;
    ++units.count;
  }
  return true;
}

bool Job::claim(std::uint64_t most, UnitRange& units) {
  std::lock_guard<std::mutex> lock(mutex_);
  return claim_locked(most, units);
}

bool Job::take_whole() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_ || elsewhere_ || in_hook_ || hook_runs_ > 0 || units_ > 0) return false;
  elsewhere_ = true;
  return true;
}

void Job::finish_locked(const Status& status) {
  status_ = status;
  finished_ = true;
}

void Job::end(const Status& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!finished_) finish_locked(status);
}

Status Job::set_plan(Plan plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  plan_ = std::move(plan);
  partial_ = false;
  if (Status s = start_units(); !s) return s;
  new_units_ = true;
  return Status{};
}

// The executor.

Executor::Executor(unsigned threads) {
  ThreadsMissing missing;
  start_workers(std::max(1u, threads), missing);
}

Executor::Executor(unsigned threads, ThreadsMissing& missing) {
  missing = ThreadsMissing{};
  start_workers(std::max(1u, threads), missing);
}

void Executor::start_workers(unsigned threads, ThreadsMissing& missing) {
  try {
    workers_.reserve(threads - 1);
    const int creator_cpu = current_cpu();
    for (unsigned i = 1; i < threads; ++i)
      workers_.emplace_back([this, i, creator_cpu] {
        start_apart(i, creator_cpu);
        work();
      });
  } catch (const std::exception& e) {
    // Those that started compute; with none, the owner's thread alone.
    missing.count = threads - this->threads();
    missing.reason = e.what();
  }
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
  bool many = false;
  {
    std::lock_guard<std::mutex> lock(job->mutex_);
    if (!job->started_)
      if (Status s = job->start_units(); !s) job->finish_locked(s);
    if (job->finished_) return;
    // Work enough for a wake-up on its own.
    many = job->units_ > job->done_count_ + 1 || (job->awaits_hook() && job->size_ == JobSize::large);
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
      jobs_.push_back(job);
    } catch (const std::bad_alloc&) {
      job->end(out_of_memory("a place among the executor's jobs cannot be had"));
      return;
    }
    job->queued_ = true;
    // A record of one unit is worth a sleeping worker's wake-up (a system
    // call and a switch, longer than a small record takes) only as one of
    // a few; the owner takes them itself when it waits.
    wake = idle_ > 0 && (many || jobs_.size() >= kWakeFor);
  }
  if (many)
    wake_.notify_all();
  else if (wake)
    wake_.notify_one();
}

void Executor::requeue(const std::shared_ptr<Job>& job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (job->queued_) return;
  try {
    // Older than any job still queued.
    jobs_.push_front(job);
    job->queued_ = true;
  } catch (const std::bad_alloc&) {
    job->end(out_of_memory("a place among the executor's jobs cannot be had"));
  }
}

bool Executor::Claim::holds(const Job* other) const {
  if (job.get() == other) return true;
  for (int i = 0; i < more_count; ++i)
    if (more[static_cast<std::size_t>(i)].get() == other) return true;
  return false;
}

bool Executor::claim_next(Claim& claim) {
  if (stop_) return false;
  // Marks a small job without units as having its hook run when it is due.
  const auto take_small_hook = [](Job& job) {
    std::lock_guard<std::mutex> lock(job.mutex_);
    if (!job.awaits_hook() || job.units_ != 0 || job.hook_runs_ != 0 || job.size_ != JobSize::small) return false;
    job.in_hook_ = true;
    return true;
  };
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    Job& job = **it;
    std::unique_lock<std::mutex> lock(job.mutex_);
    if (job.in_hook_) {
      ++it;  // its hook may give it units
      continue;
    }
    if (job.awaits_hook()) {
      job.in_hook_ = true;
      const bool several = job.units_ == 0 && job.hook_runs_ == 0 && job.size_ == JobSize::small;
      lock.unlock();
      claim = Claim{};
      claim.job = *it;
      claim.hook = true;
      if (several)
        for (auto next = std::next(it); next != jobs_.end() && claim.more_count < kHookBatch - 1; ++next)
          if (take_small_hook(**next)) claim.more[static_cast<std::size_t>(claim.more_count++)] = *next;
      return true;
    }
    if (job.claim_locked(1, claim.units)) {
      claim.job = *it;
      claim.hook = false;
      return true;
    }
    // Nothing left to claim: finished, taken elsewhere, or its last units
    // are in progress. Either way no thread needs to look at it again
    // (unless a hook gives it units: requeue()).
    job.queued_ = false;
    lock.unlock();
    it = jobs_.erase(it);
  }
  return false;
}

Executor::After Executor::compute_units(Job& job, UnitRange units, Worker& worker, Tally& tally) {
  const auto start = std::chrono::steady_clock::now();
  // The plan is final while its units are in flight: read without the lock.
  Status s = reset_tally(job.plan_, tally);
  if (s) s = run_units(job.plan_, units.first, units.count, worker, tally);
  const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::lock_guard<std::mutex> lock(job.mutex_);
  job.busy_seconds_ += spent;
  if (job.finished_) return After::continues;  // ended meanwhile: nothing is added
  if (!s) {
    job.finish_locked(s);
    return After::finished;
  }
  merge_tally(job.plan_, tally, job.total_);
  for (std::uint64_t u = units.first; u < units.first + units.count; ++u)
    if (!job.done_[u]) {
      job.done_[u] = true;
      ++job.done_count_;
    }
  if (job.done_count_ < job.units_) return After::continues;
  job.in_hook_ = true;
  return After::hook_due;
}

namespace {

// What a job without a hook finishes with.
Status finish_plainly(const Plan& plan, const Tally& total, Distribution& result) {
  if (!plan.record) return Status{StatusCode::internal_error, "a job with neither a plan nor a hook"};
  return finish_record(plan, total, result);
}

}  // namespace

bool Executor::run_hooks(const std::shared_ptr<Job>& held, Worker& worker, Tally& tally) {
  Job& job = *held;
  for (;;) {
    // in_hook_ is set: nothing else changes the plan, the tally or the hook.
    Status s;
    Distribution result;
    try {
      s = job.hook_ ? job.hook_(job, worker) : finish_plainly(job.plan_, job.total_, result);
    } catch (const std::bad_alloc&) {
      s = out_of_memory("the completion of a record cannot be had");
    } catch (const std::exception& e) {
      s = Status{StatusCode::internal_error, e.what()};
    }
    UnitRange first;
    bool many = false;
    {
      std::unique_lock<std::mutex> lock(job.mutex_);
      job.in_hook_ = false;
      ++job.hook_runs_;
      const bool more = job.new_units_;
      job.new_units_ = false;
      if (job.finished_) return true;  // ended meanwhile
      if (!s || !more) {
        job.result_ = std::move(result);
        job.finish_locked(s);
        // What made the result is let go here, in the thread that made
        // most of it (glibc frees another thread's memory under that
        // thread's arena lock, which the many small records of a file
        // would otherwise contend for). plan_.summary stays.
        std::shared_ptr<const PlannedRecord> record;
        record.swap(job.plan_.record);
        CompletionHook hook;
        hook.swap(job.hook_);
        lock.unlock();
        return true;  // they go here, the job's lock let go
      }
      if (job.done_count_ == job.units_) {
        job.in_hook_ = true;  // a plan of no units: the hook again
        continue;
      }
      job.claim_locked(1, first);
      many = job.units_ > 1;
    }
    // More units than this thread takes next: the others may help.
    requeue(held);
    if (many) wake_all();
    // This thread takes the first of them: the record's columns are in
    // its core's caches. (A small record handed from core to core between
    // its plan and its unit costs more than it takes.)
    const After after = compute_units(job, first, worker, tally);
    if (after != After::hook_due) return after == After::finished;
  }
}

bool Executor::run_claimed(const Claim& claim, Worker& worker, Tally& tally) {
  if (!claim.hook) {
    const After after = compute_units(*claim.job, claim.units, worker, tally);
    if (after == After::hook_due) return run_hooks(claim.job, worker, tally);
    return after == After::finished;
  }
  bool finished = run_hooks(claim.job, worker, tally);
  for (int i = 0; i < claim.more_count; ++i)
    finished = run_hooks(claim.more[static_cast<std::size_t>(i)], worker, tally) || finished;
  return finished;
}

void Executor::work() {
  Worker worker;
  Tally tally;
  // mutex_ is held except while a claim runs: one lock per unit, as a
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
    // The owner waits for one job to finish (cancel() for the claims to
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

void Executor::set_owner_poll(std::function<void()> poll, std::chrono::microseconds every) {
  poll_ = std::move(poll);
  poll_every_ = std::max(every, std::chrono::microseconds(1));
}

bool Executor::compute_until(const Job& job, std::chrono::milliseconds timeout) {
  if (poll_) poll_();
  if (job.finished()) return true;
  if (timeout.count() <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  // Enough queued for a worker's wake-up: it helps while the owner waits.
  if (idle_ > 0 && jobs_.size() >= kWakeFor) wake_.notify_one();
  for (;;) {
    if (job.finished()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    Claim claim;
    if (claim_next(claim)) {
      lock.unlock();
      run_claimed(claim, owner_worker_, owner_tally_);
      if (poll_) poll_();
      lock.lock();
      continue;
    }
    awaited_ = &job;
    if (poll_) {
      // What is done elsewhere comes in through the poll alone.
      finished_.wait_until(lock, std::min<std::chrono::steady_clock::time_point>(deadline, now + poll_every_));
      awaited_ = nullptr;
      lock.unlock();
      poll_();
      lock.lock();
    } else {
      finished_.wait_until(lock, deadline);
      awaited_ = nullptr;
    }
  }
}

Status Executor::add_units_done(const std::shared_ptr<Job>& job, const UnitProgress& progress) {
  {
    std::lock_guard<std::mutex> lock(job->mutex_);
    if (job->finished_) return Status{};  // ended meanwhile: dropped
    if (Status s = job->check_fit_locked(progress); !s) return s;
    job->merge_locked(progress);
    if (!job->awaits_hook()) return Status{};
    job->in_hook_ = true;
  }
  run_hooks(job, owner_worker_, owner_tally_);
  return Status{};
}

void Executor::cancel() {
  std::unique_lock<std::mutex> lock(mutex_);
  stop_ = true;
  wake_.notify_all();
  finished_.wait(lock, [this] { return running_ == 0; });
  for (const std::shared_ptr<Job>& job : jobs_) {
    job->end(Status{StatusCode::cancelled, "cancelled"});
    job->queued_ = false;
  }
  jobs_.clear();
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

}  // namespace wdist
