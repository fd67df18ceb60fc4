// Records computed on a pool of threads: each record is a job whose units
// the threads take one at a time, in the order the jobs were added, so
// that one large record keeps every thread busy and many small ones run
// side by side. A unit's tally is added to its job's exactly; the last
// unit finishes the job. Results are the same for any number of threads.
//
// The thread that owns the executor computes too: while it waits for a job
// it takes units like any worker, so `threads` is the number of threads
// that compute, the owner's included (1: the owner's alone, no worker is
// started). The owner stays the one thread that shows progress and writes
// checkpoints: it looks up between units, which are short (plan.cpp).
//
// Front ends that deal work elsewhere (the MPI driver's other ranks) take
// it with Executor::claim_elsewhere and hand back what was computed with
// complete_units or finish_elsewhere; the owner's thread serves them
// between its units through Executor::set_look.
#pragma once

#include <array>
#include <atomic>
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

// A record's work. A job made from a plan can be claimed at once; one made
// from a code is planned first, by the thread that takes it first (the
// workers then plan a file of small records, not only compute it): its
// plan and units are set, under the mutex, before any unit is claimed, and
// a plan that fails finishes it with that status.
struct Job {
  explicit Job(Plan p);
  Job(Code code, Options options);
  // Units first .. first + count - 1 of the plan alone, computed for
  // another process that finishes the record: the job ends when they are
  // done, with their tally in `total` and no result of its own.
  Job(Plan p, std::uint64_t first, std::uint64_t count);
  // Work of the front end's own, one unit that is not a record's (many
  // small records computed together, say): the job ends with the task's
  // status, with no plan, tally or result.
  explicit Job(std::function<Status(Worker&)> work);

  mutable std::mutex mutex;  // guards everything below; plan and units are final once planned
  Plan plan;
  std::uint64_t units = 0;
  bool planned = false;
  bool planning = false;     // a thread is planning it now, or it went elsewhere whole
  bool tally_only = false;   // a range of units for another process (above)
  std::uint64_t tag = 0;     // the front end's own name for it (the program's: its item)
  Code code;                 // until planned
  Options options;
  std::uint64_t next = 0;    // units before it are claimed or done
  Tally total;               // the tallies of the units done
  std::vector<bool> done;    // per unit
  std::uint64_t done_count = 0;
  std::uint64_t restored = 0;  // units done before any work (a resumed checkpoint)
  double busy_seconds = 0;   // time the threads spent on its units, every thread together
  bool finished = false;     // status and result are final
  Status status;
  Distribution result;
  // For a job that renders and needs no big integers (needs_big_counts),
  // the counts are made as 64-bit values: `result` holds every field but
  // its counts, which are in `counts64`. Only `render` sees them.
  bool small_counts = false;
  std::vector<std::uint64_t> counts64;
  // What the front end makes of a computed result (its output text, say),
  // run by the thread that finishes the job, so that it too is spread over
  // the threads: it sets the text, or returns why it cannot (memory that
  // cannot be had, naming how much); it does not throw. Set before the job
  // is added; may be empty. Once it has run, the result and the plan's
  // prepared columns are let go there (in the thread that made them;
  // plan.summary stays): `rendered` is what is left of the job's result,
  // or the job ends with the renderer's failure as its status.
  std::function<Status(const Job&, std::string&)> render;
  std::string rendered;
  std::function<Status(Worker&)> task;  // the front end's work (above); empty for a record
};

// Marks units of a planned job done before any work (a resumed
// checkpoint): `total` is the tally of exactly those units, `busy_seconds`
// the time they took. When they are all the job's units the job is
// finished here.
void restore_done(Job& job, const std::vector<bool>& done, const Tally& total, double busy_seconds);

// Claims up to `most` units of a planned job that are neither done nor
// claimed: first .. first + count - 1 (fewer when a done unit or the end
// comes first). False when none is left (or the job is not planned yet).
bool claim_units(Job& job, std::uint64_t most, std::uint64_t& first, std::uint64_t& count);

// Adds the tally of claimed units; finishes the job (the MacWilliams
// identity included) when they were the last. A failed status ends the job
// with that status. True when the job is finished now.
bool complete_units(Job& job, std::uint64_t first, std::uint64_t count, const Tally& tally, const Status& status);

// Finishes a job computed whole elsewhere (Executor::claim_elsewhere):
// its status, its `rendered` text and the time it took there.
void finish_elsewhere(Job& job, const Status& status, std::string rendered, double busy_seconds);

// Whether the job is finished (without waiting).
bool is_finished(const Job& job);

// What a checkpoint keeps of a job: the units done, their tally and time
// (nothing while it is not planned).
struct JobState {
  bool planned = false;
  std::uint64_t plan_identity = 0;
  std::uint64_t units = 0;
  std::vector<bool> done;
  Tally total;
  double busy_seconds = 0;
  std::uint64_t done_count = 0;
};
JobState state_of(const Job& job);

class Executor {
 public:
  // `threads` computing threads in all (at least one): threads - 1 workers
  // and the owner's thread while it waits. Throws what starting a thread
  // throws (std::system_error), with no worker left running.
  explicit Executor(unsigned threads);
  // The same with as many of the workers as can be started (threads() says
  // how many threads compute): `failure` says how many could not and why,
  // naming the stack each needs; it is empty when every one started.
  Executor(unsigned threads, std::string& failure);
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;
  Executor(Executor&&) = delete;
  Executor& operator=(Executor&&) = delete;

  // Adds a job; a job without units or with every unit done is finished
  // at once.
  void add(const std::shared_ptr<Job>& job);
  // Waits until the job is finished or `timeout` has passed, computing
  // units of the jobs meanwhile (work begun is completed first, a unit or
  // a few small records, so the wait may last that much longer); true when
  // it is finished. With a zero timeout it only looks. Only the owner's
  // thread calls it.
  bool wait(const Job& job, std::chrono::milliseconds timeout);
  // `look` is called by the owner's thread in wait(): on entry, between its
  // units and at least every `every` while it sleeps (with a zero timeout,
  // once). Set before the first wait(); the front end deals work to other
  // processes there, all on this one thread.
  void set_look(std::function<void()> look, std::chrono::microseconds every);
  // Work of the jobs for another process, taken in job order like the
  // threads' own: a job not planned yet whose code counts at most
  // `whole_messages` messages is taken whole (no thread here plans it;
  // finish it with finish_elsewhere), any other is planned here if no
  // thread has begun to, and up to `most` of its unclaimed units are
  // taken (complete them with complete_units). False when nothing is left
  // to take now. Only the owner's thread calls it.
  struct ElsewhereClaim {
    std::shared_ptr<Job> job;
    bool whole = false;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
  };
  bool claim_elsewhere(std::uint64_t most, double whole_messages, ElsewhereClaim& claim);
  // Stops handing out units; units in progress are completed; every job
  // that is not finished then ends as cancelled.
  void cancel();
  [[nodiscard]] unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

 private:
  void start_workers(unsigned threads);
  void work();
  void stop_workers();
  void wake_all();
  // What a thread takes next: units of a job, or jobs to plan (and
  // compute), several at once so that a file of small records costs one
  // claim per few records.
  static constexpr int kPlanBatch = 8;
  struct Claim {
    std::shared_ptr<Job> job;  // the job, or the first job to plan
    bool plan = false;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::array<std::shared_ptr<Job>, kPlanBatch - 1> more;  // further jobs to plan
    int more_count = 0;
    // Whether `job` is one of the claimed jobs.
    [[nodiscard]] bool holds(const Job* other) const;
  };
  // The first job with work left and that work; false when none is left.
  // Called with mutex_ held.
  bool claim_next(Claim& claim);
  // Does the claimed work; true when that finished a job.
  bool run_claimed(const Claim& claim, Worker& worker, Tally& tally);
  // Plans a job and computes its first unit; true when that finished it.
  bool plan_and_start(Job& job, Worker& worker, Tally& tally);
  // Computes claimed units and completes them; true when that finished
  // their job.
  static bool run_units_of(Job& job, std::uint64_t first, std::uint64_t count, Worker& worker, Tally& tally);

  std::mutex mutex_;
  std::condition_variable wake_;      // work to do, or stop
  std::condition_variable finished_;  // a job finished, or a unit ended after cancel()
  std::deque<std::shared_ptr<Job>> jobs_;
  bool stop_ = false;
  unsigned running_ = 0;  // units being computed by workers
  unsigned idle_ = 0;     // workers asleep for want of work
  const Job* awaited_ = nullptr;  // the job the owner sleeps on
  static constexpr std::size_t kWakeFor = 8;  // records queued that wake one
  std::function<void()> look_;
  std::chrono::microseconds look_every_{0};
  Worker owner_worker_;   // the owner's storage, for its units in wait()
  Tally owner_tally_;
  std::vector<std::thread> workers_;
};

// Threads to use for `requested` (0: every hardware thread).
unsigned thread_count(unsigned requested);

// The stack a new thread takes (the process's default), in bytes.
std::uint64_t thread_stack_bytes();

}  // namespace wdist
