// Whole q-ary records as the menu program computes them, beside the plain
// loops of the test twins (tests/support/qary_ref.cpp, built -O2 without
// target flags), interleaved in one run and repeated.
//
// "record" is the program's own record: the plan of the menu programs
// (plan_record under their policy, as src/menu/console/drivers.cpp plans), the
// point table sized as the driver sizes it, prepare_record and run_units
// over every unit. The kernel phases (clearing the point table, counting
// the columns, the q-ary transform, the weight extraction) are timed one by
// one, fast and reference, to show where the time goes.
//
// Steady state: the tables are allocated and first touched by a record
// before anything is timed, then `--warmup` untimed rounds of every kind,
// the reference included; then `--runs` rounds, each running the program's
// record, the fast phases and the reference record in turn. Every
// histogram is checked against the reference's. Times are processor time
// of this thread, as the programs' own time line; ratios are taken per
// round and summarised min / median / max. After the runs a table prints
// every phase of the fast and the reference record side by side.
//
// Options (before Google Benchmark's own):
//   --runs=R         timed rounds per record (default 5)
//   --warmup=W       untimed rounds before them (default 1)
//   --write_codes=D  write the records of this program as code files into
//                    directory D (for bench/compare_programs.sh) and stop
//
// Run: build with -DWDIST_BUILD_BENCH=ON, then bench/wdist_bench_qary
// (narrow counters, the best SIMD path of the machine).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "samples.h"
#include "engine/plan.h"
#include "engine/record_steps.h"
#include "field/galois.h"
#include "menu/console/drivers.h"
#include "menu/store/count_table.h"
#include "menu/store/counter.h"
#include "menu/store/gen_matrix.h"
#include "support/qary_ref.h"
#include "menu/transform/char_vector.h"
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

struct Settings {
  int runs = 5;
  int warmup = 1;
  std::string write_codes;
};
Settings g_settings;

using wdist::kMenuPolicy;  // the menu programs' policy (src/menu/console/drivers.h)

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// A random k x n matrix over F_q, row-major, with a few zero columns (so the
// extraction's zero-column bias is exercised).
std::vector<std::uint8_t> random_matrix(int q, int k, int n) {
  std::mt19937 rng(static_cast<unsigned>(1000 * q + k));
  const auto columns = static_cast<std::size_t>(n);
  std::vector<std::uint8_t> m(static_cast<std::size_t>(k) * columns);
  for (auto& entry : m) entry = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(q));
  for (int r = 0; r < k; ++r)
    for (int c = 0; c < kZeroColumns; ++c) m[static_cast<std::size_t>(r) * columns + static_cast<std::size_t>(c * 97)] = 0;
  return m;
}

struct PhaseTimes {
  double t[4] = {0, 0, 0, 0};
  double total() const { return t[0] + t[1] + t[2] + t[3]; }
};


// The program's record: the code as the menu program holds it, its tables
// sized as the driver sizes them, and the engine's storage.
struct FastRecord {
  wdist::GenMatrix code{};
  wdist::CountTable point{};
  wdist::CountTable scratch{};
  wdist::GenMatrix image{};  // not used: only F_4 codes have a binary image
  wdist::engine::RecordPlan plan{};
  wdist::engine::PreparedRecord prepared;
  wdist::RowPointers rows{};
  std::vector<std::uint64_t> hist;
  std::vector<std::uint64_t> hist_phases;
};

void prepare_fast(FastRecord& r, const Case& c, const std::vector<std::uint8_t>& m) {
  wdist::size_gen_matrix(r.code, c.k, kLength, c.q);
  r.code.k = c.k;
  for (int row = 1; row <= c.k; ++row)
    for (int col = 1; col <= kLength; ++col)
      r.code.a[row][col] = m[static_cast<std::size_t>(row - 1) * kLength + static_cast<std::size_t>(col - 1)];
  wdist::engine::plan_record(wdist::engine::RecordShape{c.q, c.k, kLength, false}, kMenuPolicy, r.plan);
  wdist::size_record_tables(r.plan, r.code, r.image, r.point, r.scratch);
  r.hist.assign(kLength + 1, 0);
  r.hist_phases.assign(kLength + 1, 0);
}

// The record as the menu program computes it once its tables are sized
// (src/menu/console/drivers.cpp, compute_weight_distribution and run_plan).
void run_program_record(FastRecord& r) {
  const wdist::MatrixView columns = wdist::view_of(r.code, r.code.q, r.rows);
  wdist::engine::prepare_record(columns, r.plan, r.prepared);
  void* planes[8] = {};
  for (std::uint64_t e = 0; e <= r.point.cols && e < 8; ++e) planes[e] = r.point.a[e];
  wdist::engine::Workspace ws{nullptr, nullptr, nullptr, nullptr};
  std::fill(r.hist.begin(), r.hist.end(), 0);
  wdist::engine::run_units(r.prepared, 0, r.plan.units, ws, planes, r.hist.data());
  benchmark::DoNotOptimize(r.hist.data());
}

// The same record phase by phase through the kernels, each phase under
// its own timer (the clear is the driver's: every plane, rows 0..P).
PhaseTimes run_fast_phases(FastRecord& r) {
  PhaseTimes p;
  double t0 = thread_seconds();
  for (std::uint64_t e = 0; e <= r.point.cols; ++e) std::memset(r.point.a[e], 0, (r.point.rows + 1) * sizeof(Counter));
  double t1 = thread_seconds();
  const wdist::MatrixView view = wdist::view_of(r.code, r.code.q, r.rows);
  std::vector<wdist::PointIndex> points(static_cast<std::size_t>(view.n));
  wdist::point_indices(wdist::field_of(view.q), wdist::theta_table(view.q), view, 0, view.n, points.data());
  Counter* counts = r.point.a[1];
  for (wdist::PointIndex d : points) counts[d] = static_cast<Counter>(counts[d] + 1);
  double t2 = thread_seconds();
  wdist::qary_transform(r.point.a, static_cast<int>(r.point.q), static_cast<int>(r.point.dim));
  double t3 = thread_seconds();
  std::fill(r.hist_phases.begin(), r.hist_phases.end(), 0);
  wdist::count_qary_weights(r.point.a[0], r.point.rows, kLength, r.point.a[1][0],
                            static_cast<std::uint64_t>(r.point.q - 1), r.hist_phases.data());
  double t4 = thread_seconds();
  p.t[0] = t1 - t0;
  p.t[1] = t2 - t1;
  p.t[2] = t3 - t2;
  p.t[3] = t4 - t3;
  benchmark::DoNotOptimize(r.hist_phases.data());
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
  double t0 = thread_seconds();
  wdist_test::clear_rows_ref(r.rows.data(), r.q, r.P);
  double t1 = thread_seconds();
  wdist_test::count_columns_projective_ref(r.matrix.data(), r.k, kLength, r.q, r.rows.data());
  double t2 = thread_seconds();
  wdist_test::qary_transform_ref(r.rows.data(), r.scratch.data(), r.q, r.k);
  double t3 = thread_seconds();
  wdist_test::count_point_weights_ref(r.rows.data(), r.q, r.P, kLength, r.hist.data());
  double t4 = thread_seconds();
  p.t[0] = t1 - t0;
  p.t[1] = t2 - t1;
  p.t[2] = t3 - t2;
  p.t[3] = t4 - t3;
  benchmark::DoNotOptimize(r.hist.data());
  return p;
}

std::string case_name(const Case& c) { return "record/q" + std::to_string(c.q) + "/k" + std::to_string(c.k); }

// One case: the program's record, the fast phases and the reference
// record, round by round.
void time_case(benchmark::State& state, const Case& c) {
  const std::vector<std::uint8_t> m = random_matrix(c.q, c.k, kLength);
  FastRecord f;
  RefRecord g;
  prepare_fast(f, c, m);
  prepare_ref(g, c, m);
  run_fast_phases(f);  // first touch of every plane
  for (int w = 0; w < g_settings.warmup; ++w) {
    run_program_record(f);
    run_fast_phases(f);
    run_ref(g);
  }
  Samples record, record_ref, x_record;
  Samples fast_phase[4], ref_phase[4];
  for (auto _ : state) {
    for (int round = 0; round < g_settings.runs; ++round) {
      double start = thread_seconds();
      run_program_record(f);
      const double t = thread_seconds() - start;
      const PhaseTimes p = run_fast_phases(f);
      const PhaseTimes r = run_ref(g);
      if (f.hist != g.hist || f.hist_phases != g.hist) {
        state.SkipWithError("a fast histogram differs from the reference's");
        release_fast(f);
        return;
      }
      record.add(t);
      record_ref.add(r.total());
      x_record.add(r.total() / t);
      for (int i = 0; i < 4; ++i) {
        fast_phase[i].add(p.t[i]);
        ref_phase[i].add(r.t[i]);
      }
    }
    state.SetIterationTime(record.at(0.5));
  }
  using benchmark::Counter;
  auto& counters = state.counters;
  counters["record_ms"] = Counter(1e3 * record.at(0.5));
  counters["record_min_ms"] = Counter(1e3 * record.at(0));
  counters["record_max_ms"] = Counter(1e3 * record.at(1));
  counters["record_ref_ms"] = Counter(1e3 * record_ref.at(0.5));
  counters["record_ref_min_ms"] = Counter(1e3 * record_ref.at(0));
  counters["record_ref_max_ms"] = Counter(1e3 * record_ref.at(1));
  counters["x_record"] = Counter(x_record.at(0.5));
  counters["x_record_min"] = Counter(x_record.at(0));
  counters["x_record_max"] = Counter(x_record.at(1));
  for (int i = 0; i < 4; ++i) {
    counters[std::string(kPhases[i]) + "_ms"] = Counter(1e3 * fast_phase[i].at(0.5));
    counters[std::string(kPhases[i]) + "_ref_ms"] = Counter(1e3 * ref_phase[i].at(0.5));
  }
  state.SetLabel(std::string(wdist::engine::route_name(f.plan.route)));
  release_fast(f);
}

// Remembers the counters of every run for the closing table.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> results;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      for (const auto& [name, counter] : run.counters) results[run.run_name.function_name][name] = counter.value;
    ConsoleReporter::ReportRuns(runs);
  }
};

void print_table(const CollectingReporter& reporter) {
  std::printf("\nq-ary records, narrow counters, SIMD path %s, length %d, %d rounds after %d untimed; "
              "processor time in ms per record, median (min-max)\n",
              wdist::simd_path_name(wdist::active_simd_path()), kLength, g_settings.runs, g_settings.warmup);
  std::printf("%-3s %-3s %-10s %28s %28s %22s\n", "q", "k", "phase", "fast", "reference", "ratio");
  for (const Case& c : kCases) {
    const auto found = reporter.results.find(case_name(c));
    if (found == reporter.results.end() || found->second.count("record_ms") == 0) continue;
    const auto& r = found->second;
    for (const char* phase : kPhases) {
      const std::string key = std::string(phase) + "_ms", ref_key = std::string(phase) + "_ref_ms";
      const double f = r.at(key), g = r.at(ref_key);
      std::printf("%-3d %-3d %-10s %28.3f %28.3f %21.1fx\n", c.q, c.k, phase, f, g, f > 0 ? g / f : 0.0);
    }
    char fast[64], ref[64], x[64];
    std::snprintf(fast, sizeof fast, "%.3f (%.3f-%.3f)", r.at("record_ms"), r.at("record_min_ms"), r.at("record_max_ms"));
    std::snprintf(ref, sizeof ref, "%.3f (%.3f-%.3f)", r.at("record_ref_ms"), r.at("record_ref_min_ms"),
                  r.at("record_ref_max_ms"));
    std::snprintf(x, sizeof x, "%.1fx (%.1f-%.1f)", r.at("x_record"), r.at("x_record_min"), r.at("x_record_max"));
    std::printf("%-3d %-3d %-10s %28s %28s %22s\n", c.q, c.k, "record", fast, ref, x);
  }
}

// The records of this program as code files in `dir`, one record each.
int write_codes(const std::string& dir) {
  bool ok = true;
  for (const Case& c : kCases) {
    const std::vector<std::uint8_t> m = random_matrix(c.q, c.k, kLength);
    const std::string name = dir + "/q" + std::to_string(c.q) + "_k" + std::to_string(c.k) + ".txt";
    std::FILE* out = std::fopen(name.c_str(), "w");
    if (out == nullptr) {
      ok = false;
      continue;
    }
    std::fprintf(out, "? %d %d %d %d \n", c.k, kLength, c.q, 1);
    for (int row = 0; row < c.k; ++row) {
      for (int col = 0; col < kLength; ++col)
        std::fputc('0' + m[static_cast<std::size_t>(row) * kLength + static_cast<std::size_t>(col)], out);
      std::fputc('\n', out);
    }
    ok = std::fclose(out) == 0 && ok;
  }
  if (!ok) std::fprintf(stderr, "cannot write the code files into %s\n", dir.c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0)
      g_settings.runs = std::max(1, std::atoi(a.c_str() + 7));
    else if (a.rfind("--warmup=", 0) == 0)
      g_settings.warmup = std::max(0, std::atoi(a.c_str() + 9));
    else if (a.rfind("--write_codes=", 0) == 0)
      g_settings.write_codes = a.substr(14);
    else
      args.push_back(argv[i]);
  }
  if (!g_settings.write_codes.empty()) return write_codes(g_settings.write_codes);
  for (const Case& c : kCases)
    benchmark::RegisterBenchmark(case_name(c).c_str(), [c](benchmark::State& state) { time_case(state, c); })
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_table(reporter);
  benchmark::Shutdown();
  return 0;
}
