// The information-set search on the codes of its targets, through a small
// driver of its own (the engine's threads, checkpoints and front ends come
// later): each level's units are dealt to the threads from a shared
// counter, each unit takes as hint the lightest weight any thread has seen
// so far, and the level's tallies are merged when it ends.
//
//   wdist_search_targets [THREADS...] [--only NAME]
//
// prints per code and thread count the wall time, the minimum distance
// with its bounds, the counts asked for, the messages walked and the rate.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/infoset.h"
#include "support/search_runs.h"

namespace {

struct Target {
  std::string name;
  wdist::Code code;
  wdist::SearchGoal goal;
  double seconds_goal;  // the target time on two threads
};

// CPU time of the whole process, every thread: under a shared machine's
// load the rate per CPU second is what the walk itself achieves.
double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) * 1e-6;
}

struct Run {
  double seconds = 0;
  double cpu = 0;
  std::int64_t lower = -1, upper = -1;
  std::vector<std::uint64_t> counts;
  double items = 0;
  double words = 0;
  std::uint32_t levels = 0;
  std::size_t sets = 0;
  int dimension = 0;
  std::string refusal;
};

Run search(const wdist::Code& code, const wdist::SearchGoal& goal, unsigned threads) {
  Run run;
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = cpu_seconds();
  std::vector<const wdist::ElemCode*> pointers;
  wdist::SearchPlan plan;
  if (!wdist::plan_search(wdist_test::view_of_code(code, pointers), goal, plan, run.refusal)) return run;
  run.sets = plan.sets.size();
  run.dimension = plan.dimension;
  std::vector<wdist::SearchScratch> scratch(threads);
  for (auto& s : scratch)
    if (!wdist::size_search_scratch(plan, s, run.refusal)) return run;
  wdist::SearchState state;
  wdist::begin_search(plan, state);
  wdist::SearchLevel level;
  const double words_per_item = plan.q == 2 ? static_cast<double>(plan.words)
                                            : static_cast<double>(plan.planes) * static_cast<double>(plan.length) / 8.0;
  while (wdist::next_level(plan, state, level) == wdist::NextLevel::run) {
    const std::uint64_t units = wdist::level_units(plan, level);
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::int64_t> best{state.total.lightest.weight < 0 ? plan.support + 1 : state.total.lightest.weight};
    std::vector<wdist::SearchTally> tallies(threads, wdist::empty_search_tally(plan));
    const auto work = [&](unsigned t) {
      for (std::uint64_t u; (u = next.fetch_add(1)) < units;) {
        std::uint64_t first = 0, count = 0;
        wdist::unit_range(plan, level, u, first, count);
        wdist::run_search_unit(plan, level, first, count, best.load(std::memory_order_relaxed), scratch[t], tallies[t]);
        const std::int64_t seen = tallies[t].lightest.weight;
        std::int64_t known = best.load(std::memory_order_relaxed);
        while (seen >= 0 && seen < known && !best.compare_exchange_weak(known, seen)) {
        }
      }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& th : pool) th.join();
    wdist::SearchTally level_tally = wdist::empty_search_tally(plan);
    for (const wdist::SearchTally& t : tallies) wdist::add_search_tally(level_tally, t);
    wdist::finish_level(plan, level, level_tally, state);
    run.items += static_cast<double>(level.items);
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = cpu_seconds() - cpu_start;
  wdist::distance_bounds(plan, state, run.lower, run.upper);
  run.counts = state.total.counts;
  run.levels = state.levels;
  run.words = run.items * words_per_item;
  return run;
}

std::vector<Target> targets() {
  std::vector<Target> all;
  std::mt19937_64 rng(2024);
  all.push_back({"random binary [64,32]", wdist_test::random_code(2, 32, 64, rng), {true, 0}, 0.05});
  all.push_back({"random binary [96,48]", wdist_test::random_code(2, 48, 96, rng), {true, 0}, 5});
  all.push_back({"random binary [128,64]", wdist_test::random_code(2, 64, 128, rng), {true, 0}, 60});
  all.push_back({"RM(3,7) [128,64,16], A_16", wdist_test::reed_muller_code(3, 7), {true, 16}, 60});
  all.push_back({"RM(2,7) [128,29,32], A_32", wdist_test::reed_muller_code(2, 7), {true, 32}, 60});
  all.push_back({"QR [127,64]", wdist_test::quadratic_residue_code(127), {true, 0}, 300});
  all.push_back({"random ternary [60,30]", wdist_test::random_code(3, 30, 60, rng), {true, 0}, 30});
  all.push_back({"random F_4 [50,25]", wdist_test::random_code(4, 25, 50, rng), {true, 0}, 30});
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<unsigned> thread_counts;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
      continue;
    }
    thread_counts.push_back(static_cast<unsigned>(std::max(1, std::atoi(argv[i]))));
  }
  if (thread_counts.empty()) thread_counts = {1, 2};
  std::printf("%-28s %3s %8s %8s %9s %5s %7s %11s %11s  %s\n", "code", "thr", "seconds", "cpu s", "target", "d",
              "bounds", "messages", "msg/cpu s", "counts");
  for (const Target& t : targets()) {
    if (!only.empty() && t.name.find(only) == std::string::npos) continue;
    for (const unsigned threads : thread_counts) {
      const Run r = search(t.code, t.goal, threads);
      if (!r.refusal.empty()) {
        std::printf("%-28s refused: %s\n", t.name.c_str(), r.refusal.c_str());
        continue;
      }
      std::string counts;
      for (std::size_t w = 1; w < r.counts.size(); ++w)
        if (r.counts[w] != 0) counts += "A_" + std::to_string(w) + "=" + std::to_string(r.counts[w]) + " ";
      std::printf("%-28s %3u %8.3f %8.3f %8.3gs %5lld %3lld-%-3lld %11.4g %11.4g  %s(K %d, %zu sets, %u levels, %.3g words/cpu s)\n",
                  t.name.c_str(), threads, r.seconds, r.cpu, t.seconds_goal, static_cast<long long>(r.upper),
                  static_cast<long long>(r.lower), static_cast<long long>(r.upper), r.items, r.items / r.cpu,
                  counts.c_str(), r.dimension, r.sets, r.levels, r.words / r.cpu);
      std::fflush(stdout);
    }
  }
  return 0;
}
