// Records on a pool of threads, for front ends that compute many records at
// once (weight_distribution() in wdist.h is one record on it). Each record
// is a Job: a plan (wdist/plan.h), the units of it that are done, their
// merged tally, and, once it is finished, a status and a result. The
// threads take the units of the jobs one at a time, in the order the jobs
// were added, so that one large record keeps every thread busy and many
// small ones run side by side; a unit's tally is added to its job's
// exactly. Results are the same for any number of threads.
//
//   wdist::Executor executor(threads);
//   auto job = std::make_shared<wdist::Job>(plan);
//   executor.add(job);
//   while (!executor.compute_until(*job, std::chrono::milliseconds(100)))
//     ...;                                  // progress: job->counts()
//   if (wdist::Status s = job->status(); s) use(job->take_result());
//
// When every unit a job has is done (at once for a job of none), its
// completion hook runs, once, on the thread that completed the last one
// (for a job added with its units done, on the first thread that takes
// it). Without a hook the job finishes with finish_record's result. A hook
// makes of the job what its front end needs instead (an output text, say),
// or gives it units first: a job added without a plan is planned by its
// hook, on one of the threads, and its units follow; when they are done
// the hook runs again. The hook returns the job's status. The scheduler
// knows nothing else of its front end.
//
// The thread that owns the executor computes too: while it waits for a job
// in compute_until it takes units like any worker, so `threads` is the
// number of threads that compute, the owner's included (1: the owner's
// alone, no worker is started). The owner stays the one thread that shows
// progress and writes checkpoints: it looks up between units, which are
// short (a unit is a block of messages, a tenth of a second or less).
//
// Units done elsewhere come in as a UnitProgress: restored from a
// checkpoint before any work (Job::restore), or computed by another
// process on units taken with Job::claim (Executor::add_units_done). Both
// check that the progress fits the job's plan before a count of it is
// used.
//
// Later computations fit the same shape: another field or a stabilizer
// code is another route of the plan, with the same units and tallies. A
// search for the minimum distance by information sets plans its units in
// rounds: its hook, run when the units of weight w are done, gives it the
// units of weight w + 1 (set_plan with a plan of more units) or finishes
// it when the bounds meet; its tally is a vector of 64-bit words whose
// merge the plan defines (a minimum with its witness, counts per weight).
//
// Nothing here throws or halts: failures are Status values (memory that
// cannot be had names the amount), and threads that cannot be started
// leave the others to compute.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wdist/plan.h"

namespace wdist {

// Units first .. first + count - 1 of a plan.
struct UnitRange {
  std::uint64_t first = 0;
  std::uint64_t count = 0;
};

// The units of a plan that are done and what they counted: what a
// checkpoint keeps of a record in progress, and what a process sends back
// for the units it computed for another. It fits a plan when it names the
// plan's identity and number of units, its ranges lie within them, in
// increasing order without overlapping, and its tally has the plan's size.
struct UnitProgress {
  std::uint64_t plan_identity = 0;  // PlanSummary::identity
  std::uint64_t units = 0;          // PlanSummary::units
  std::vector<UnitRange> done;      // in increasing order, none empty, none overlapping
  Tally total;                      // the tally of exactly those units
  double busy_seconds = 0;          // the time threads spent on them, every thread together
};

// How far a job is: `done` of its `units`, `restored` of them before it
// was added (Job::restore), which a rate leaves out.
struct JobCounts {
  std::uint64_t units = 0;
  std::uint64_t done = 0;
  std::uint64_t restored = 0;
};

class Job;

// A job's completion hook (above). It runs while no unit of the job is in
// flight, with the worker of the thread that runs it; it reads the job's
// plan(), total() and busy_seconds(), and may give it units with
// set_plan(). It returns the job's status: a failure ends the job with it.
using CompletionHook = std::function<Status(Job& job, Worker& worker)>;

// How much work a job added without a plan is, before its hook has planned
// it: `small` (one small record: a thread takes several such at once, and
// a sleeping one is woken only when several wait) or `large` (work enough
// to wake a thread for on its own, such as a batch of small records).
enum class JobSize { small, large };

class Job {
 public:
  // The units of `plan`; the hook, if any, runs when they are done (for a
  // plan of none, at once).
  explicit Job(Plan plan, CompletionHook hook = {});
  // No units until `hook` gives it some: it runs first, on the first thread
  // that takes the job.
  Job(CompletionHook hook, JobSize size);
  // Only the units `only` of `plan`, which another process dealt to this
  // one: the others count as done (and as restored), and the hook runs when
  // `only` is done (the job fails with invalid_code when `only` is not
  // within the plan's units). Its tally is theirs alone: without a hook
  // its result is not the record's.
  Job(Plan plan, UnitRange only, CompletionHook hook);
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  Job(Job&&) = delete;
  Job& operator=(Job&&) = delete;

  // At any time, from any thread.
  [[nodiscard]] bool finished() const;
  [[nodiscard]] Status status() const;  // ok until it is finished
  [[nodiscard]] JobCounts counts() const;
  [[nodiscard]] UnitProgress progress() const;  // the plan's identity and units, the units done and their tally
  [[nodiscard]] double busy_seconds() const;
  [[nodiscard]] std::uint64_t plan_identity() const;

  // Once it is finished without a hook: finish_record's result, moved out.
  Distribution take_result();

  // Before it is added: marks the units of `done` done, with their tally
  // and time (a resumed checkpoint; they count as `restored`).
  // invalid_code when `done` does not fit the plan (nothing is marked
  // then), out_of_memory naming the amount for the job's bookkeeping.
  Status restore(const UnitProgress& done);

  // For a front end that has units computed elsewhere (another process),
  // on the executor's owner thread: claims up to `most` units that are
  // neither done nor claimed (fewer when a done unit or the end comes
  // first); false when none is left, or the job has no plan yet. Hand
  // back what they counted with Executor::add_units_done.
  bool claim(std::uint64_t most, UnitRange& units);
  // Takes a job added without a plan away from the threads, for the front
  // end to compute elsewhere as a whole; false when a thread has begun it.
  // End it with end().
  bool take_whole();
  // Ends the job with `status` (a failure, or the status of a job taken
  // whole) unless it is finished already; units in flight are dropped.
  // On the executor's owner thread, which sees it at its next look.
  void end(const Status& status);

  // In its completion hook.
  [[nodiscard]] const Plan& plan() const { return plan_; }
  [[nodiscard]] const Tally& total() const { return total_; }
  // Gives the job the units of `plan` in place of those it had (all done):
  // once the hook returns they are computed, and then the hook runs again
  // (at once for a plan of no units). out_of_memory, naming the amount,
  // when the bookkeeping of its units or its tally cannot be had.
  Status set_plan(Plan plan);

 private:
  friend class Executor;
  // With mutex_ held.
  Status start_units();
  [[nodiscard]] bool awaits_hook() const { return !finished_ && !in_hook_ && !elsewhere_ && done_count_ == units_; }
  bool claim_locked(std::uint64_t most, UnitRange& units);
  // Whether `progress` fits the plan and names only units not done: the
  // one check of units done elsewhere.
  [[nodiscard]] Status check_fit_locked(const UnitProgress& progress) const;
  void merge_locked(const UnitProgress& progress);
  void finish_locked(const Status& status);

  mutable std::mutex mutex_;  // guards everything below
  Plan plan_;                 // final while units are in flight
  CompletionHook hook_;       // let go once the job is finished
  JobSize size_ = JobSize::small;
  bool partial_ = false;      // only_ alone is to be computed
  UnitRange only_;
  bool started_ = false;      // its bookkeeping (done_, total_) is made for plan_
  std::uint64_t units_ = 0;
  std::vector<bool> done_;    // per unit
  std::uint64_t done_count_ = 0;
  std::uint64_t next_ = 0;    // units before it are claimed or done
  std::uint64_t restored_ = 0;
  Tally total_;               // the tallies of the units done
  double busy_seconds_ = 0;
  bool in_hook_ = false;      // a thread runs its hook now
  bool new_units_ = false;    // the hook running now gave it units
  std::uint64_t hook_runs_ = 0;
  bool elsewhere_ = false;    // taken whole (take_whole)
  bool finished_ = false;     // status and result are final
  Status status_;
  Distribution result_;
  bool queued_ = false;       // among the executor's jobs (guarded by the executor's mutex)
};

// Threads that could not be started: how many, and why (the system's
// words).
struct ThreadsMissing {
  unsigned count = 0;
  std::string reason;
};

class Executor {
 public:
  // `threads` computing threads in all (at least one): threads - 1 workers
  // and the owner's thread while it computes. As many workers are started
  // as can be; `missing` says how many could not, and why.
  explicit Executor(unsigned threads);
  Executor(unsigned threads, ThreadsMissing& missing);
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;
  Executor(Executor&&) = delete;
  Executor& operator=(Executor&&) = delete;

  // Adds a job at the end. A job whose bookkeeping cannot be had ends with
  // out_of_memory here.
  void add(const std::shared_ptr<Job>& job);
  // Computes units and hooks of the jobs on this thread until `job` is
  // finished or `timeout` has passed (work begun is completed first, a
  // unit or a few small records, so it may last that much longer); true
  // when it is finished. With a zero timeout it only looks. Only the
  // owner's thread calls it.
  bool compute_until(const Job& job, std::chrono::milliseconds timeout);
  // A call the owner's thread makes in compute_until: on entry, between
  // its units and at least every `every` while it sleeps (with a zero
  // timeout, once). The front end deals work to other processes there,
  // and takes in what they send. Set before the first compute_until.
  void set_owner_poll(std::function<void()> poll, std::chrono::microseconds every);
  // Units of a job claimed with Job::claim, computed elsewhere: their
  // progress (its `done` within the claimed units) is added, and when they
  // were the job's last its hook runs here. A progress that does not fit
  // the job's plan is refused (invalid_code) and nothing of it is added.
  // Only the owner's thread calls it.
  Status add_units_done(const std::shared_ptr<Job>& job, const UnitProgress& progress);
  // Stops handing out units; units and hooks in progress are completed;
  // every job that is not finished then ends as cancelled.
  void cancel();
  [[nodiscard]] unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

 private:
  void start_workers(unsigned threads, ThreadsMissing& missing);
  void work();
  void stop_workers();
  void wake_all();
  // What a thread takes next: units of a job, or the hooks of jobs whose
  // units are done, several small ones at once so that a file of small
  // records costs one claim per few records.
  static constexpr int kHookBatch = 8;
  struct Claim {
    std::shared_ptr<Job> job;  // the job, or the first whose hook runs
    bool hook = false;
    UnitRange units;
    std::array<std::shared_ptr<Job>, kHookBatch - 1> more;  // further small jobs whose hooks run
    int more_count = 0;
    // Whether `job` is one of the claimed jobs.
    [[nodiscard]] bool holds(const Job* other) const;
  };
  // The first job with work left and that work; false when none is left.
  // Called with mutex_ held.
  bool claim_next(Claim& claim);
  // Does the claimed work; true when that finished a job.
  bool run_claimed(const Claim& claim, Worker& worker, Tally& tally);
  // Computes units and adds their tally: after that the job goes on (or
  // had ended before), its hook is due (they were its last), or it is
  // finished (they failed).
  enum class After { continues, hook_due, finished };
  static After compute_units(Job& job, UnitRange units, Worker& worker, Tally& tally);
  // Runs the hook of a job whose units are done, and then, as long as it
  // gives the job units, the first of them on this thread (its columns are
  // in this core's caches); true when the job is finished.
  bool run_hooks(const std::shared_ptr<Job>& held, Worker& worker, Tally& tally);
  // A job that was given units again, back among the jobs.
  void requeue(const std::shared_ptr<Job>& job);

  std::mutex mutex_;
  std::condition_variable wake_;      // work to do, or stop
  std::condition_variable finished_;  // a job finished, or a unit ended after cancel()
  std::deque<std::shared_ptr<Job>> jobs_;
  bool stop_ = false;
  unsigned running_ = 0;  // claims being run by workers
  unsigned idle_ = 0;     // workers asleep for want of work
  const Job* awaited_ = nullptr;  // the job the owner sleeps on
  static constexpr std::size_t kWakeFor = 8;  // small jobs queued that wake one
  std::function<void()> poll_;
  std::chrono::microseconds poll_every_{0};
  Worker owner_worker_;   // the owner's storage, for its units in compute_until
  Tally owner_tally_;
  std::vector<std::thread> workers_;
};

// Threads to use for `requested` (0: every hardware thread).
unsigned thread_count(unsigned requested);

// The stack a new thread takes (the process's default), in bytes.
std::uint64_t thread_stack_bytes();

}  // namespace wdist
