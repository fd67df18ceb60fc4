// Records through the library's plan and executor, as wdist computes them,
// on the wall clock:
//
//   BM_Route/q/k/route/n   one thread, the same code [n, k] over F_q held
//                          as a whole table (route 0) or computed block by
//                          block (route 1): the crossover that plan.cpp's
//                          choice of route follows
//   BM_Threads/q/k/threads the route plan_record chooses, on 1 and 2
//                          threads side by side
//
// Counters: Gmsg/s, messages (q^k) per second, in billions (wall clock;
// one thread: its processor time);
// peak_MiB, the process's peak resident memory so far (getrusage: it only
// grows, so a case's own peak shows where it rises).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "wdist/executor.h"
#include "library/planned_record.h"
#include "wdist/plan.h"

namespace {

wdist::Code random_code(int q, int k, std::int64_t n = 100) {
  std::mt19937_64 rng(static_cast<std::uint64_t>(1000 * q + k));
  wdist::Code code{q, k, n, std::vector<wdist::ElemCode>(static_cast<std::size_t>(k * n))};
  for (wdist::ElemCode& e : code.entries) e = static_cast<wdist::ElemCode>(rng() % static_cast<unsigned>(q));
  return code;
}

// Processor time of the calling thread.
double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double peak_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Wall seconds of one record on `threads` threads.
double run_plan(const wdist::Plan& plan, unsigned threads) {
  const auto start = std::chrono::steady_clock::now();
  wdist::Executor executor(threads);
  auto job = std::make_shared<wdist::Job>(plan);
  executor.add(job);
  while (!executor.compute_until(*job, std::chrono::milliseconds(1000))) {
  }
  const wdist::Distribution result = job->take_result();
  benchmark::DoNotOptimize(result.counts.data());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One thread is timed in its processor time (the record runs on the
// calling thread): other work on a shared machine stretches the wall clock
// of a run but not that.
void run_case(benchmark::State& state, const wdist::Plan& plan, unsigned threads) {
  double seconds = 0;
  for (auto _ : state) {
    const double cpu_start = thread_cpu_seconds();
    double t = run_plan(plan, threads);
    if (threads == 1) t = thread_cpu_seconds() - cpu_start;
    state.SetIterationTime(t);
    seconds += t;
  }
  state.counters["Gmsg/s"] = plan.summary.messages * static_cast<double>(state.iterations()) / seconds / 1e9;
  state.counters["peak_MiB"] = peak_mib();
  state.SetLabel(std::string(wdist::route_name(plan.summary.route)) + ", " + std::to_string(plan.summary.units) + " units");
}

void BM_Route(benchmark::State& state) {
  const auto q = static_cast<int>(state.range(0)), k = static_cast<int>(state.range(1));
  const bool blocks = state.range(2) != 0;
  const std::int64_t n = state.range(3);
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  if (!wdist::plan_record_with_budget(random_code(q, k, n), options, blocks ? 0 : UINT64_MAX, plan)) {
    state.SkipWithError("no plan");
    return;
  }
  run_case(state, plan, 1);
}

void BM_Threads(benchmark::State& state) {
  const auto q = static_cast<int>(state.range(0)), k = static_cast<int>(state.range(1));
  wdist::Options options;
  options.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  if (!wdist::plan_record(random_code(q, k), options, plan)) {
    state.SkipWithError("no plan");
    return;
  }
  run_case(state, plan, static_cast<unsigned>(state.range(2)));
}

void route_cases(benchmark::internal::Benchmark* b) {
  const struct {
    int q, low, high;
  } ranges[] = {{3, 12, 18}, {5, 8, 12}, {7, 7, 10}};
  for (const auto& r : ranges)
    for (int k = r.low; k <= r.high; ++k)
      for (int route = 0; route < 2; ++route) b->Args({r.q, k, route, 100});
  // Longer codes: each block costs one update per column.
  const int longer[][2] = {{3, 14}, {3, 16}, {3, 17}, {5, 10}, {5, 12}, {7, 9}, {7, 10}};
  for (const auto& c : longer)
    for (int n : {1000, 10000})
      for (int route = 0; route < 2; ++route) b->Args({c[0], c[1], route, n});
}

void thread_cases(benchmark::internal::Benchmark* b) {
  const int cases[][2] = {{2, 28}, {2, 30}, {2, 32}, {4, 15}, {3, 18}, {3, 19}, {5, 12}, {7, 10}};
  for (const auto& c : cases)
    for (int threads = 1; threads <= 2; ++threads) b->Args({c[0], c[1], threads});
}

BENCHMARK(BM_Route)->Apply(route_cases)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Threads)->Apply(thread_cases)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
