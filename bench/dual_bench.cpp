// The dual route, timed: the Krawtchouk sums of the MacWilliams identity
// against their term-by-term twin (tests/support/code_families.cpp), the
// two routes of one record side by side around their crossover (what
// --dual auto decides from), and the row reduction of a long high-rate
// code. With --write-files=DIR it writes the record files that
// bench/dual_cli.sh times the wdist program on, and does nothing else.
//
// Times are this thread's processor time (other processes on the shared
// cores stretch the wall clock, not these numbers). Counters, in seconds:
//   BM_KrawtchoukSums/q/n/nonzero/bits   fast, ref, x_ref = ref / fast
//   BM_Routes/q/n/r      direct (--dual never), dual (--dual always), one
//                        whole record each through weight_distribution on
//                        one thread; auto_dual = 1 when auto takes the dual;
//                        auto_over_best = auto's time / the faster route's
//   BM_Reduction/m       reduce_to_basis of the binary Hamming code of
//                        redundancy m in disguise, [2^m - 1, 2^m - 1 - m]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "engine/basis.h"
#include "library/macwilliams.h"
#include "support/code_families.h"
#include "wdist/plan.h"
#include "wdist/wdist.h"

namespace {

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Repeats `run` until it has taken at least `least` seconds; the time of one.
template <class Run>
double time_of(Run run, double least = 0.02) {
  int repeats = 0;
  const double start = cpu_seconds();
  double elapsed = 0;
  do {
    run();
    ++repeats;
    elapsed = cpu_seconds() - start;
  } while (elapsed < least);
  return elapsed / repeats;
}

wdist::Code random_code(std::mt19937_64& rng, int q, int k, std::int64_t n) {
  wdist::Code code{q, k, n, std::vector<wdist::ElemCode>(static_cast<std::size_t>(k * n))};
  for (wdist::ElemCode& x : code.entries) x = static_cast<wdist::ElemCode>(rng() % static_cast<unsigned>(q));
  return code;
}

void BM_KrawtchoukSums(benchmark::State& state) {
  const int q = static_cast<int>(state.range(0));
  const std::int64_t n = state.range(1);
  const std::int64_t nonzero = state.range(2);
  const int bits = static_cast<int>(state.range(3));
  std::mt19937_64 rng(7);
  wdist_test::Counts b(static_cast<std::size_t>(n) + 1, 0);
  for (std::int64_t t = 0; t < nonzero; ++t) {
    mpz_class x = 1;
    x <<= static_cast<mp_bitcnt_t>(bits - 1);
    b[static_cast<std::size_t>(rng() % static_cast<std::uint64_t>(n + 1))] = x + static_cast<unsigned long>(rng() % 1000);
  }
  wdist_test::Counts sums;
  double fast = 0;
  for (auto _ : state) {
    fast = time_of([&] { wdist::krawtchouk_sums(q, n, b, sums); });
    state.SetIterationTime(fast);
  }
  const double ref = n <= 400 ? time_of([&] { benchmark::DoNotOptimize(wdist_test::krawtchouk_sums_ref(q, n, b)); }) : 0;
  state.counters["fast"] = fast;
  state.counters["ref"] = ref;
  state.counters["x_ref"] = ref / fast;
}

void BM_Routes(benchmark::State& state) {
  const int q = static_cast<int>(state.range(0));
  const std::int64_t n = state.range(1);
  const int r = static_cast<int>(state.range(2));
  std::mt19937_64 rng(static_cast<std::uint64_t>(100 * q + r));
  const wdist::Code code = random_code(rng, q, r, n);
  wdist::Options options;
  options.threads = 1;
  wdist::Distribution d;
  wdist::Plan plan;
  plan_record(code, options, plan);
  const bool auto_dual = plan.summary.method == wdist::Method::dual;
  // A route of more than 2^28 messages is left out (its time shows as 0).
  const double bits = std::log2(static_cast<double>(q));
  const bool direct_runs = r * bits <= 28, dual_runs = static_cast<double>(n - r) * bits <= 28;
  double direct = 0, dual = 0;
  for (auto _ : state) {
    options.dual = wdist::DualRoute::never;
    if (direct_runs) direct = time_of([&] { wdist::weight_distribution(code, options, d); });
    options.dual = wdist::DualRoute::always;
    if (dual_runs) dual = time_of([&] { wdist::weight_distribution(code, options, d); });
    state.SetIterationTime(auto_dual ? dual : direct);
  }
  state.counters["direct"] = direct;
  state.counters["dual"] = dual;
  state.counters["auto_dual"] = auto_dual ? 1 : 0;
  if (direct_runs && dual_runs) state.counters["auto_over_best"] = (auto_dual ? dual : direct) / std::min(direct, dual);
}

void BM_Reduction(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  std::mt19937_64 rng(5);
  const wdist::Code code = wdist_test::disguised(wdist_test::hamming_code(2, m, &rng), rng);
  std::vector<const wdist::ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  wdist::engine::Basis basis;
  for (auto _ : state) {
    const double t = time_of([&] { wdist::engine::reduce_to_basis(wdist::MatrixView{2, code.k, code.n, rows.data()}, basis); }, 0);
    state.SetIterationTime(t);
  }
}

void register_benchmarks() {
  for (int q : {2, 3, 7})
    for (std::int64_t n : {20, 40, 100, 400, 1000, 4095})
      for (std::int64_t nonzero : {std::int64_t{2}, std::int64_t{64}, n + 1})
        for (int bits : {12, 64}) {
          // Full rows of the longest length take seconds: two of them do.
          if (nonzero > n + 1 || (n > 1000 && nonzero > 2)) continue;
          benchmark::RegisterBenchmark("BM_KrawtchoukSums", BM_KrawtchoukSums)
              ->Args({q, n, nonzero, bits})
              ->UseManualTime()
              ->Unit(benchmark::kMicrosecond)
              ->Iterations(1);
        }
  const struct {
    int q;
    std::int64_t n;
  } lengths[] = {{2, 12}, {2, 24}, {2, 40}, {2, 64}, {3, 16}, {3, 30}, {4, 12}, {4, 20}, {5, 12}, {7, 10}, {7, 14}};
  for (const auto& length : lengths) {
    const int half = static_cast<int>(length.n / 2);
    const double bits = std::log2(static_cast<double>(length.q));
    for (int r = half - 3; r <= length.n; ++r) {
      // Records whose cheaper route is long are left out.
      if (std::min(r, static_cast<int>(length.n) - r) * bits > 24) continue;
      benchmark::RegisterBenchmark("BM_Routes", BM_Routes)
          ->Args({length.q, length.n, r})
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond)
          ->Iterations(1);
    }
  }
  for (int m : {8, 10, 12})
    benchmark::RegisterBenchmark("BM_Reduction", BM_Reduction)->Arg(m)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
}

// A code record of the menu programs' format.
void write_record(std::FILE* out, const wdist::Code& code) {
  std::fprintf(out, "?%d %lld %d\n", code.k, static_cast<long long>(code.n), code.q);
  std::string row(static_cast<std::size_t>(code.n) + 1, '\n');
  for (int i = 0; i < code.k; ++i) {
    for (std::int64_t j = 0; j < code.n; ++j)
      row[static_cast<std::size_t>(j)] = static_cast<char>('0' + code.entries[static_cast<std::size_t>(i * code.n + j)]);
    std::fwrite(row.data(), 1, row.size(), out);
  }
}

bool write_files(const std::string& dir) {
  std::mt19937_64 rng(2026);
  std::FILE* out = std::fopen((dir + "/random_40_28.txt").c_str(), "w");
  if (out == nullptr) return false;
  for (int i = 0; i < 10000; ++i) write_record(out, random_code(rng, 2, 28, 40));
  std::fclose(out);
  out = std::fopen((dir + "/hamming_4095.txt").c_str(), "w");
  if (out == nullptr) return false;
  write_record(out, wdist_test::disguised(wdist_test::hamming_code(2, 12, &rng), rng));
  std::fclose(out);
  // High-rate records of every field, for --dual auto against never.
  out = std::fopen((dir + "/high_rate.txt").c_str(), "w");
  if (out == nullptr) return false;
  const struct {
    int q, k, n;
  } shapes[] = {{2, 14, 20}, {2, 20, 24}, {2, 24, 30}, {3, 10, 14}, {3, 14, 18}, {4, 8, 10}, {4, 9, 12}, {5, 7, 9}, {7, 6, 8}};
  for (const auto& s : shapes)
    for (int i = 0; i < 20; ++i) write_record(out, random_code(rng, s.q, s.k, s.n));
  std::fclose(out);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--write-files=", 14) == 0) return write_files(argv[i] + 14) ? 0 : 1;
    args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  register_benchmarks();
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
