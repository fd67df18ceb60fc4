// The inner loops of the information-set search against the bound of one
// 64-bit exclusive or and popcount per word per step:
//  - BM_FirstLight: the binary scan over a table of row sums (one word per
//    entry, as for [128,64] codes), in the runs the walks make (the pairs
//    after a position, to the table's end), with a limit no entry meets;
//  - BM_BinaryWalk: a level of a random [128,64] code's walk, prefix sums
//    and the scan together;
//  - BM_QaryWalk: a level over F_3 and F_4 (bytes, Gray-coded coefficients).
// Each on every SIMD path the machine offers; items are table entries or
// messages, so items_per_second is the step rate (and, for the binary
// walk, words_per_second the rate of 64-bit words, the bound's unit). BM_XorPopcountBound is
// the bound itself: one exclusive or and one popcnt instruction per word,
// summed, over the same table in L1, nothing compared or branched on.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/infoset.h"
#include "enumerate/combinations.h"
#include "enumerate/walk.h"
#include "transform/simd_path.h"

namespace {

using wdist::SimdPath;

std::vector<SimdPath> paths() {
  std::vector<SimdPath> out{SimdPath::portable};
  if (static_cast<int>(wdist::best_simd_path()) >= static_cast<int>(SimdPath::avx2)) out.push_back(SimdPath::avx2);
  if (wdist::best_simd_path() == SimdPath::avx512) out.push_back(SimdPath::avx512);
  return out;
}

void BM_FirstLight(benchmark::State& state, SimdPath path) {
  wdist::force_simd_path(path);
  const int K = 64;
  const std::size_t pairs = static_cast<std::size_t>(wdist::binomial(K, 2));
  std::mt19937_64 rng(1);
  std::vector<wdist::WalkWord> table(pairs + 8);
  for (auto& x : table) x = rng();
  std::vector<std::size_t> starts;
  for (int a = 1; a < K - 1; ++a)
    for (int repeat = 0; repeat < a; ++repeat) starts.push_back(wdist::pair_offset(K, a));  // short runs as often as in the walks
  std::uint64_t entries = 0;
  std::size_t found = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const wdist::WalkWord s = rng();
    const std::size_t from = starts[i++ % starts.size()];
    found += wdist::first_light_entry(&s, table.data(), 1, from, pairs, 4);
    entries += pairs - from;
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(static_cast<std::int64_t>(entries));
  wdist::force_simd_path(SimdPath::avx512);
}

// `count` a multiple of 4.
__attribute__((target("popcnt"), noinline)) std::uint64_t xor_popcount_sum(wdist::WalkWord s, const wdist::WalkWord* t,
                                                                            std::size_t count) {
  std::uint64_t a = 0, b = 0, c = 0, d = 0;  // four chains, so that the sum is not the limit
  for (std::size_t i = 0; i < count; i += 4) {
    a += static_cast<std::uint64_t>(__builtin_popcountll(s ^ t[i]));
    b += static_cast<std::uint64_t>(__builtin_popcountll(s ^ t[i + 1]));
    c += static_cast<std::uint64_t>(__builtin_popcountll(s ^ t[i + 2]));
    d += static_cast<std::uint64_t>(__builtin_popcountll(s ^ t[i + 3]));
  }
  return a + b + c + d;
}

void BM_XorPopcountBound(benchmark::State& state) {
  const std::size_t entries = 2016;
  std::mt19937_64 rng(3);
  std::vector<wdist::WalkWord> table(entries);
  for (auto& x : table) x = rng();
  std::uint64_t sum = 0;
  for (auto _ : state) {
    sum += xor_popcount_sum(rng(), table.data(), entries);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(entries));
}

// One level of a search plan, walked whole by one unit after another.
void walk_level(benchmark::State& state, int q, int k, int n, int weight, SimdPath path) {
  wdist::force_simd_path(path);
  std::mt19937_64 rng(2);
  std::vector<wdist::ElemCode> entries(static_cast<std::size_t>(k * n));
  for (auto& e : entries) e = static_cast<wdist::ElemCode>(rng() % static_cast<unsigned>(q));
  std::vector<const wdist::ElemCode*> rows;
  for (int i = 0; i < k; ++i) rows.push_back(entries.data() + i * n);
  wdist::SearchPlan plan;
  std::string refusal;
  wdist::plan_search(wdist::MatrixView{q, k, n, rows.data()}, wdist::SearchGoal{true, 0}, plan, refusal);
  wdist::SearchScratch scratch;
  wdist::size_search_scratch(plan, scratch, refusal);
  wdist::SearchState search;
  wdist::begin_search(plan, search);
  wdist::SearchLevel level;
  level.set = 0;
  level.weight = weight;
  wdist::SearchTally tally = wdist::empty_search_tally(plan);
  std::uint64_t per_pass = 0;
  {
    std::uint64_t items = wdist::binomial(plan.dimension, weight);
    for (int i = 1; i < weight; ++i) items *= static_cast<std::uint64_t>(q - 1);
    level.items = items;
    per_pass = items;
  }
  std::uint64_t walked = 0;
  for (auto _ : state) {
    // A hint of w lets only codewords without redundancy weight through
    // (none here): the walk alone.
    wdist::run_search_unit(plan, level, 0, per_pass, weight, scratch, tally);
    walked += per_pass;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(walked));
  // The bound's unit: 64-bit words of the codeword's redundancy handled
  // per second (the words of each step, plan.words, times the steps).
  if (q == 2)
    state.counters["words_per_second"] = benchmark::Counter(static_cast<double>(walked * plan.words), benchmark::Counter::kIsRate);
  wdist::force_simd_path(SimdPath::avx512);
}

void BM_BinaryWalk(benchmark::State& state, SimdPath path) { walk_level(state, 2, 64, 128, 4, path); }
void BM_TernaryWalk(benchmark::State& state, SimdPath path) { walk_level(state, 3, 30, 60, 4, path); }
void BM_F4Walk(benchmark::State& state, SimdPath path) { walk_level(state, 4, 25, 50, 4, path); }

const bool registered = [] {
  benchmark::RegisterBenchmark("BM_XorPopcountBound", BM_XorPopcountBound);
  for (const SimdPath p : paths()) {
    const std::string name = wdist::simd_path_name(p);
    benchmark::RegisterBenchmark(("BM_FirstLight/" + name).c_str(), BM_FirstLight, p);
    benchmark::RegisterBenchmark(("BM_BinaryWalk/" + name).c_str(), BM_BinaryWalk, p)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_TernaryWalk/" + name).c_str(), BM_TernaryWalk, p)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_F4Walk/" + name).c_str(), BM_F4Walk, p)->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
