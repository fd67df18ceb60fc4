// Records computed on a pool of threads: each record is a job whose units
// the workers take one at a time, in the order the jobs were added, so
// that one large record keeps every thread busy and many small ones run
// side by side. A unit's tally is added to its job's exactly; the last
// unit finishes the job. Results are the same for any number of threads.
//
// Front ends that deal units elsewhere (the MPI driver's other ranks)
// claim and complete units through the same job calls.
#pragma once

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

struct Job {
  explicit Job(Plan p);
  const Plan plan;
  const std::uint64_t units;
  // What the front end makes of a computed result (its output text, say),
  // run by the worker that finishes the job, so that it too is spread over
  // the threads. Set before the job is added; may be empty.
  std::function<std::string(const Job&)> render;

  mutable std::mutex mutex;  // guards everything below
  std::uint64_t next = 0;    // units before it are claimed or done
  Tally total;               // the tallies of the units done
  std::vector<bool> done;    // per unit
  std::uint64_t done_count = 0;
  double busy_seconds = 0;   // time the workers spent on its units, every thread together
  bool finished = false;     // status and result are final
  Status status;
  Distribution result;
  std::string rendered;  // what `render` made of the result
};

// Marks units done before any work (a resumed checkpoint): their tally is
// already in `total`.
void restore_done(Job& job, const std::vector<bool>& done, const Tally& total);

// Claims up to `most` units of the job that are neither done nor claimed:
// first .. first + count - 1 (fewer when a done unit or the end comes
// first). False when none is left.
bool claim_units(Job& job, std::uint64_t most, std::uint64_t& first, std::uint64_t& count);

// Adds the tally of claimed units; finishes the job (the MacWilliams
// identity included) when they were the last. A failed status ends the job
// with that status. True when the job is finished now.
bool complete_units(Job& job, std::uint64_t first, std::uint64_t count, const Tally& tally, const Status& status);

// Whether the job is finished (without waiting).
bool is_finished(const Job& job);

class Executor {
 public:
  // `threads` workers (at least one).
  explicit Executor(unsigned threads);
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;
  Executor(Executor&&) = delete;
  Executor& operator=(Executor&&) = delete;

  // Adds a job; a job without units is finished at once.
  void add(const std::shared_ptr<Job>& job);
  // Waits until the job is finished or `timeout` has passed; true when it
  // is finished.
  bool wait(const Job& job, std::chrono::milliseconds timeout);
  // Stops handing out units; units in progress are completed; every job
  // that is not finished then ends as cancelled.
  void cancel();
  [[nodiscard]] unsigned threads() const { return static_cast<unsigned>(workers_.size()); }

 private:
  void work();
  std::shared_ptr<Job> next_job();

  std::mutex mutex_;
  std::condition_variable wake_;      // work to do, or stop
  std::condition_variable finished_;  // a job finished
  std::deque<std::shared_ptr<Job>> jobs_;
  bool stop_ = false;
  unsigned running_ = 0;  // units being computed
  std::vector<std::thread> workers_;
};

// Threads to use for `requested` (0: every hardware thread).
unsigned thread_count(unsigned requested);



}  // namespace wdist
