// Whole q-ary records, phase by phase, the fast kernels beside the plain
// loops of the test twins (tests/support/qary_ref.cpp, built -O2 without
// target flags): clearing the point table, counting the columns, the q-ary
// transform, and the weight extraction of the weight-distribution path.
//
// Every benchmark runs one untimed record first, so the timed ones are the
// steady state of a run (a record after one of the same size: the tables
// are allocated and their pages are in). Phase times are processor time,
// as the programs' own time line measures. After the runs a table prints
// every phase of the fast and the reference record side by side with the
// ratio. The reference transform of the larger tables takes seconds: those
// benchmarks run a single iteration.
//
// Run: build with -DWDIST_BUILD_BENCH=ON, then bench/wdist_bench_qary
// (narrow counters, the best SIMD path of the machine).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "field/field_tables.h"
#include "store/count_table.h"
#include "store/gen_matrix.h"
#include "support/qary_ref.h"
#include "transform/char_vector.h"
#include "transform/columns.h"
#include "transform/qary.h"
#include "transform/qary_extract.h"
#include "transform/simd_path.h"

namespace {

using wdist::Counter;
using wdist_test::Row;

struct Case {
  int q;
  int k;
};

constexpr Case kCases[] = {{3, 12}, {3, 14}, {3, 16}, {3, 17}, {5, 9}, {5, 10}, {5, 11}, {7, 8}, {7, 9}};

// The code length of every benchmark record: a few hundred columns, as
// codes of these dimensions have; counting is a small part at any length.
constexpr int kLength = 600;
constexpr int kZeroColumns = 5;

constexpr const char* kPhases[] = {"clear", "count", "transform", "extract"};

double cpu_seconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// A random k x n matrix over F_q, row-major, with a few zero columns (so the
// extraction's zero-column bias is exercised).
std::vector<std::uint8_t> random_matrix(int q, int k, int n) {
  std::mt19937 rng(static_cast<unsigned>(1000 * q + k));
  std::vector<std::uint8_t> m(static_cast<std::size_t>(k) * n);
  for (auto& entry : m) entry = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(q));
  for (int r = 0; r < k; ++r)
    for (int c = 0; c < kZeroColumns; ++c) m[static_cast<std::size_t>(r) * n + c * 97] = 0;
  return m;
}

struct PhaseTimes {
  double t[4] = {0, 0, 0, 0};
};

// The fast record: the program's own records and steps, in the order the
// weight-distribution driver takes them (the clear is the driver's: every
// plane, rows 0..P).
struct FastRecord {
  wdist::GenMatrix code{};
  wdist::CountTable point{};
  wdist::CountTable scratch{};
  std::vector<std::uint64_t> hist;
};

void prepare_fast(FastRecord& r, const Case& c, const std::vector<std::uint8_t>& m) {
  wdist::select_field(c.q);
  wdist::size_gen_matrix(r.code, c.k, kLength, c.q);
  r.code.k = c.k;
  for (int row = 1; row <= c.k; ++row)
    for (int col = 1; col <= kLength; ++col)
      r.code.a[row][col] = m[static_cast<std::size_t>(row - 1) * kLength + static_cast<std::size_t>(col - 1)];
  const Row P = wdist_test::theta_ref(c.q, c.k);
  r.point.q = c.q;
  wdist::size_count_table(r.point, P, static_cast<std::uint64_t>(c.q - 1), c.q);
  wdist::size_count_table(r.scratch, static_cast<std::uint64_t>(c.q), static_cast<std::uint64_t>(c.q - 1), c.q);
  r.point.dim = c.k;
  r.hist.assign(kLength + 1, 0);
}

// The characteristic vector in the projective layout: each column adds 1
// to entry 1 of its point.
void count_columns(FastRecord& r) {
  wdist::RowPointers rows{};
  const wdist::MatrixView view = wdist::view_of(r.code, r.code.q, rows);
  std::vector<wdist::PointIndex> points(static_cast<std::size_t>(view.n));
  wdist::point_indices(wdist::field_of(view.q), wdist::theta_table(view.q), view, 0, view.n, points.data());
  Counter* counts = r.point.a[1];
  for (wdist::PointIndex d : points) counts[d] = static_cast<Counter>(counts[d] + 1);
}

PhaseTimes run_fast(FastRecord& r) {
  PhaseTimes p;
  double t0 = cpu_seconds();
  for (std::uint64_t e = 0; e <= r.point.cols; ++e) std::memset(r.point.a[e], 0, (r.point.rows + 1) * sizeof(Counter));
  double t1 = cpu_seconds();
  count_columns(r);
  double t2 = cpu_seconds();
  wdist::qary_transform(r.point.a, static_cast<int>(r.point.q), static_cast<int>(r.point.dim));
  double t3 = cpu_seconds();
  std::fill(r.hist.begin(), r.hist.end(), 0);
  wdist::count_qary_weights(r.point.a[0], r.point.rows, kLength, r.point.a[1][0],
                            static_cast<std::uint64_t>(r.point.q - 1), r.hist.data());
  double t4 = cpu_seconds();
  p.t[0] = t1 - t0;
  p.t[1] = t2 - t1;
  p.t[2] = t3 - t2;
  p.t[3] = t4 - t3;
  benchmark::DoNotOptimize(r.hist.data());
  return p;
}

void release_fast(FastRecord& r) {
  wdist::release_gen_matrix(r.code);
  wdist::release_count_table(r.point);
  wdist::release_count_table(r.scratch);
}

// The reference record: the same steps written as the plain loops, on a
// row-major table.
struct RefRecord {
  int q = 0;
  int k = 0;
  Row P = 0;
  std::vector<std::uint8_t> matrix;
  std::vector<Counter> rows;
  std::vector<Counter> scratch;
  std::vector<std::uint64_t> hist;
};

void prepare_ref(RefRecord& r, const Case& c, const std::vector<std::uint8_t>& m) {
  r.q = c.q;
  r.k = c.k;
  r.P = wdist_test::theta_ref(c.q, c.k);
  r.matrix = m;
  r.rows.assign((r.P + 1) * static_cast<Row>(c.q), Counter{0});
  r.scratch.assign((static_cast<Row>(c.q) + 1) * static_cast<Row>(c.q), Counter{0});
  r.hist.assign(kLength + 1, 0);
}

PhaseTimes run_ref(RefRecord& r) {
  PhaseTimes p;
  double t0 = cpu_seconds();
  wdist_test::clear_rows_ref(r.rows.data(), r.q, r.P);
  double t1 = cpu_seconds();
  wdist_test::count_columns_projective_ref(r.matrix.data(), r.k, kLength, r.q, r.rows.data());
  double t2 = cpu_seconds();
  wdist_test::qary_transform_ref(r.rows.data(), r.scratch.data(), r.q, r.k);
  double t3 = cpu_seconds();
  wdist_test::count_point_weights_ref(r.rows.data(), r.q, r.P, kLength, r.hist.data());
  double t4 = cpu_seconds();
  p.t[0] = t1 - t0;
  p.t[1] = t2 - t1;
  p.t[2] = t3 - t2;
  p.t[3] = t4 - t3;
  benchmark::DoNotOptimize(r.hist.data());
  return p;
}

std::string case_name(const char* kind, const Case& c) {
  return std::string(kind) + "/q" + std::to_string(c.q) + "/k" + std::to_string(c.k);
}

// The timed loop of one record kind; the iteration time is the sum of the
// four phases, in processor time.
template <class Record, class Prepare, class Run>
void time_records(benchmark::State& state, const Case& c, Prepare prepare, Run run) {
  Record r;
  prepare(r, c, random_matrix(c.q, c.k, kLength));
  run(r);  // the record before, untimed
  PhaseTimes sum;
  for (auto _ : state) {
    const PhaseTimes p = run(r);
    double total = 0;
    for (int i = 0; i < 4; ++i) {
      sum.t[i] += p.t[i];
      total += p.t[i];
    }
    state.SetIterationTime(total);
  }
  for (int i = 0; i < 4; ++i)
    state.counters[std::string(kPhases[i]) + "_ms"] =
        benchmark::Counter(1e3 * sum.t[i] / static_cast<double>(state.iterations()));
  if constexpr (std::is_same_v<Record, FastRecord>) release_fast(r);
}

// Remembers the phase times of every run for the closing table.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> phases;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      for (const auto& [name, counter] : run.counters) phases[run.run_name.function_name][name] = counter.value;
    ConsoleReporter::ReportRuns(runs);
  }
};

void print_table(const CollectingReporter& reporter) {
  std::printf("\nq-ary records, narrow counters, SIMD path %s, length %d; processor time in ms per record\n",
              wdist::simd_path_name(wdist::active_simd_path()), kLength);
  std::printf("%-3s %-3s %-10s %12s %12s %9s\n", "q", "k", "phase", "fast", "reference", "ratio");
  for (const Case& c : kCases) {
    const auto fast = reporter.phases.find(case_name("fast", c));
    const auto ref = reporter.phases.find(case_name("reference", c));
    if (fast == reporter.phases.end() || ref == reporter.phases.end()) continue;
    double fast_total = 0, ref_total = 0;
    for (const char* phase : kPhases) {
      const std::string key = std::string(phase) + "_ms";
      const double f = fast->second.at(key), r = ref->second.at(key);
      fast_total += f;
      ref_total += r;
      std::printf("%-3d %-3d %-10s %12.3f %12.3f %8.1fx\n", c.q, c.k, phase, f, r, f > 0 ? r / f : 0.0);
    }
    std::printf("%-3d %-3d %-10s %12.3f %12.3f %8.1fx\n", c.q, c.k, "record", fast_total, ref_total,
                fast_total > 0 ? ref_total / fast_total : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark(
        case_name("fast", c).c_str(),
        [c](benchmark::State& state) { time_records<FastRecord>(state, c, prepare_fast, run_fast); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        case_name("reference", c).c_str(),
        [c](benchmark::State& state) { time_records<RefRecord>(state, c, prepare_ref, run_ref); })
        ->UseManualTime()
        ->Iterations(wdist_test::theta_ref(c.q, c.k) > (Row{1} << 20) ? 1 : 5)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_table(reporter);
  benchmark::Shutdown();
  return 0;
}
