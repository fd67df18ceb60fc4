// Stabilizer codes through the library (wdist/stabilizer.h), one whole call
// each: the binary image of 3n columns counted on the engine, the exact
// identity over F_4, distance and degeneracy.
//
//   BM_RandomStabilizer/n/rank/threads   a random stabilizer group of the
//                                        given rank on n qubits
//   BM_Known/code/threads                0: the rotated surface code
//                                        [[25,1,5]], 1: the quantum Golay
//                                        code [[23,1,7]]
//
// Times are wall seconds (the count runs on `threads` threads; other work
// on a shared machine stretches them). Counters: Gmsg/s, the group's 2^rank
// elements per second; peak_MiB, the process's peak resident memory so far
// (getrusage: it only grows, so run a large case alone to read its own).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/stabilizer_codes.h"
#include "wdist/plan.h"
#include "wdist/stabilizer.h"

namespace {

double peak_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Z on the first `rank` qubits carried through random symplectic
// transvections v -> v + <v, h> h, which keep every commutation and the
// rank: a stabilizer group with no structure the count could profit from.
wdist::PauliGenerators random_stabilizer(int n, int rank, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const auto size = static_cast<std::size_t>(n);
  std::vector<std::vector<std::uint8_t>> ops(static_cast<std::size_t>(rank), std::vector<std::uint8_t>(2 * size, 0));
  for (int i = 0; i < rank; ++i) ops[static_cast<std::size_t>(i)][size + static_cast<std::size_t>(i)] = 1;
  std::vector<std::uint8_t> h(2 * size);
  for (int t = 0; t < 4 * n; ++t) {
    for (std::uint8_t& b : h) b = static_cast<std::uint8_t>(rng() & 1);
    for (std::vector<std::uint8_t>& op : ops) {
      unsigned form = 0;
      for (std::size_t j = 0; j < size; ++j) form ^= static_cast<unsigned>((op[j] & h[size + j]) ^ (op[size + j] & h[j]));
      if (form != 0)
        for (std::size_t j = 0; j < 2 * size; ++j) op[j] ^= h[j];
    }
  }
  wdist::PauliGenerators g;
  g.n = n;
  g.r = rank;
  for (const std::vector<std::uint8_t>& op : ops) g.bits.insert(g.bits.end(), op.begin(), op.end());
  return g;
}

void run_case(benchmark::State& state, const wdist::PauliGenerators& g, unsigned threads) {
  wdist::Options options;
  options.threads = threads;
  // The engine's route for the group's binary image, for the label.
  std::string route = "?";
  wdist::GroupImage image;
  wdist::Plan plan;
  if (wdist::image_of(g, wdist::GroupKind::stabilizer, options, image)) {
    wdist::Options direct = options;
    direct.dual = wdist::DualRoute::never;
    if (wdist::plan_record(std::move(image.code), direct, plan)) route = wdist::route_name(plan.summary.route);
  }
  plan = wdist::Plan{};
  wdist::StabilizerEnumerators e;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const wdist::Status s = wdist::stabilizer_enumerators(g, options, e);
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!s) {
      state.SkipWithError(s.message.c_str());
      return;
    }
    state.SetIterationTime(t);
    seconds += t;
  }
  state.counters["Gmsg/s"] = std::ldexp(1.0, e.rank) * static_cast<double>(state.iterations()) / seconds / 1e9;
  state.counters["peak_MiB"] = peak_mib();
  state.SetLabel("[[" + std::to_string(e.n) + "," + std::to_string(e.k) + "," + std::to_string(e.distance) + "]]" +
                 (e.degenerate ? " degenerate" : "") + ", " + route);
}

void BM_RandomStabilizer(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const auto rank = static_cast<int>(state.range(1));
  run_case(state, random_stabilizer(n, rank, 22), static_cast<unsigned>(state.range(2)));
}

void BM_Known(benchmark::State& state) {
  const std::vector<std::string> texts =
      state.range(0) == 0 ? wdist_test::rotated_surface_code(5) : wdist_test::quantum_golay_code();
  wdist::PauliGenerators g;
  if (const wdist::Status s = wdist::parse_generators(texts, 0, g); !s) {
    state.SkipWithError(s.message.c_str());
    return;
  }
  run_case(state, g, static_cast<unsigned>(state.range(1)));
}

BENCHMARK(BM_Known)->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})->UseManualTime()->Unit(benchmark::kMillisecond);
// Rank 32 on 64 qubits, the target case; 36 to extrapolate rank 40 from
// (2^4 times the work), run alone: --benchmark_filter='RandomStabilizer/72/36'.
BENCHMARK(BM_RandomStabilizer)
    ->Args({64, 32, 1})
    ->Args({64, 32, 2})
    ->Args({72, 36, 2})
    ->Args({80, 40, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
