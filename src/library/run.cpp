// weight_distribution(): the library's steps on the threads of the options.
#include <algorithm>
#include <chrono>
#include <new>
#include <string>

#include "wdist/executor.h"
#include "wdist/plan.h"

namespace wdist {

namespace {

using SteadyClock = std::chrono::steady_clock;
// How often the calling thread looks up from its units: the progress
// callback and the cancel flag are served at this pace.
constexpr auto kLookEvery = std::chrono::milliseconds(100);

double seconds_since(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

bool cancelled(const Options& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

Status cancelled_status() { return Status{StatusCode::cancelled, "cancelled"}; }

// The plan's units on `threads` threads, this one among them.
Status run_on_threads(const Plan& plan, const Options& options, unsigned threads, Distribution& result) {
  const std::uint64_t units = plan.summary.units;
  const auto start = SteadyClock::now();
  ThreadsMissing missing;
  Executor executor(threads, missing);
  if (missing.count > 0)
    return Status{StatusCode::out_of_memory, "a thread cannot be started (it needs a stack of " +
                                                 bytes_text(thread_stack_bytes()) + "): " + missing.reason};
  auto job = std::make_shared<Job>(plan);
  executor.add(job);
  while (!executor.compute_until(*job, kLookEvery)) {
    if (cancelled(options)) {
      executor.cancel();
      return cancelled_status();
    }
    if (options.progress) options.progress(Progress{job->counts().done, units, seconds_since(start)});
  }
  if (options.progress) options.progress(Progress{units, units, seconds_since(start)});
  if (Status s = job->status(); !s) return s;
  result = job->take_result();
  return Status{};
}

}  // namespace

Status weight_distribution(const Code& code, const Options& options, Distribution& result) {
  Plan plan;
  if (Status s = plan_record(code, options, plan); !s) return s;
  if (cancelled(options)) return cancelled_status();
  const std::uint64_t units = plan.summary.units;
  // The calling thread is one of them (wdist/executor.h).
  const auto threads = static_cast<unsigned>(
      std::clamp<std::uint64_t>(std::min<std::uint64_t>(thread_count(options.threads), units), 1, UINT32_MAX));

  try {
    return run_on_threads(plan, options, threads, result);
  } catch (const std::bad_alloc&) {
    return Status{StatusCode::out_of_memory, "the bookkeeping of " + std::to_string(units) + " units cannot be had"};
  }
}

}  // namespace wdist
