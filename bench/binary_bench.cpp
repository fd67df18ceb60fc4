// Binary records, phase by phase: clearing the point table, counting the
// columns, the Walsh-Hadamard transform and the weight extraction, each
// timed for the fast kernels and for their straightforward twins in the
// same run, with the ratio. Built once per counter width (the program
// wdist_bench_binary for 16-bit counters, wdist_bench_binary_wide for
// 32-bit ones).
//
// Times are processor time of the benchmark thread (see Clock below).
// Every benchmark runs one untimed record of its size first, so the point
// table is allocated and first touched before anything is timed (the steady
// state of a file of codes of one size). The main time column is the fast
// whole record; the counters hold the phases in seconds:
//   clear, count, wht, extract, record    fast kernels
//   *_ref                                  the straightforward twins
//   x_wht, x_record                        reference / fast
//   pass        one in-place read+write pass over the same table
//   wht_passes  wht / pass: the transform in units of that pass
//   blockwise   the record block by block (columns, transform and extraction
//               in cache-sized blocks, the table untouched), for the sizes
//               where the program takes it; x_blockwise = record_ref / it.
//               The main time column is the record as the program runs it.
//
// Extra options (before Google Benchmark's own):
//   --max_k=K   register binary and F_4 sizes up to 2^K entries only
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codefile/code_reader.h"
#include "console/drivers.h"
#include "console/random_codes.h"
#include "field/field_tables.h"
#include "store/code_context.h"
#include "store/count_table.h"
#include "store/counter.h"
#include "store/gen_matrix.h"
#include "support/wht_ref.h"
#include "transform/blockwise.h"
#include "transform/char_vector.h"
#include "transform/columns.h"
#include "transform/histogram.h"
#include "transform/simd_path.h"
#include "transform/wht.h"

namespace {

using wdist::Counter;

// Phases are timed in this thread's processor time, as the program's own
// report times a record: other processes sharing the cores then stretch
// the wall clock of a run but not its numbers (they still share the memory
// bandwidth).
struct Clock {
  using time_point = double;
  static double now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  }
};

double seconds_since(Clock::time_point start) { return Clock::now() - start; }

constexpr const char* kWidthName = wdist::kWideBuild ? "wide" : "narrow";

// The generator matrix of a record and the tables it is computed in.
struct BinaryRecord {
  wdist::GenMatrix g{};      // binary code, or the binary image of an F_4 code
  wdist::CountTable point{};  // one plane of 2^K Counters
  std::vector<std::uint64_t> hist;
  std::vector<std::uint64_t> hist_ref;
  unsigned K = 0;
  std::int64_t N = 0;
  unsigned shift = 1;
};

void size_point_table(BinaryRecord& r, std::int32_t q) {
  r.point.mem = 0;
  r.point.q = q;
  wdist::size_count_table(r.point, (std::uint64_t{1} << r.K) - 1, 0, q);
  r.point.dim = r.K;
  r.hist.assign(static_cast<std::size_t>(r.N) + 1, 0);
  r.hist_ref.assign(static_cast<std::size_t>(r.N) + 1, 0);
}

// A random binary [n, K] code.
void make_binary_record(BinaryRecord& r, unsigned K, std::int32_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  r.g.mem = 0;
  wdist::size_gen_matrix(r.g, static_cast<std::int32_t>(K), n, 2);
  r.g.k = static_cast<std::int32_t>(K);
  for (unsigned row = 1; row <= K; ++row)
    for (std::int32_t c = 1; c <= n; ++c) r.g.a[row][c] = static_cast<wdist::ElemCode>(rng() & 1);
  r.K = K;
  r.N = n;
  r.shift = 1;
  size_point_table(r, 2);
}

// The binary image of a random [n, k] code over F_4: row j holds the traces
// of G[j] times 1, w, w^2 block by block, row k + j those of G[j] times
// w^2, 1, w (element codes 2 = w, 3 = w^2).
void make_f4_record(BinaryRecord& r, unsigned k, std::int32_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  wdist::select_field(4);
  const wdist::FieldTables& f = wdist::field_tables;
  constexpr int kLow[3] = {1, 2, 3};
  constexpr int kHigh[3] = {3, 1, 2};
  r.g.mem = 0;
  wdist::size_gen_matrix(r.g, static_cast<std::int32_t>(2 * k), 3 * n, 4);
  r.g.k = static_cast<std::int32_t>(2 * k);
  for (unsigned j = 1; j <= k; ++j)
    for (std::int32_t c = 1; c <= n; ++c) {
      const auto x = static_cast<int>(rng() & 3);
      for (int b = 0; b < 3; ++b) {
        r.g.a[j][b * n + c] = static_cast<wdist::ElemCode>(f.trace[f.mul[x][kLow[b]]]);
        r.g.a[k + j][b * n + c] = static_cast<wdist::ElemCode>(f.trace[f.mul[x][kHigh[b]]]);
      }
    }
  r.K = 2 * k;
  r.N = 3 * static_cast<std::int64_t>(n);
  r.shift = 2;
  size_point_table(r, 4);
}

void release_record(BinaryRecord& r) {
  wdist::release_count_table(r.point);
  wdist::release_gen_matrix(r.g);
}

struct PhaseTimes {
  double clear = 0, count = 0, wht = 0, extract = 0;
  double record() const { return clear + count + wht + extract; }
  void add(const PhaseTimes& o) {
    clear += o.clear;
    count += o.count;
    wht += o.wht;
    extract += o.extract;
  }
};

std::uint64_t table_bytes(const BinaryRecord& r) { return sizeof(Counter) << r.K; }

// The column patterns of the record's matrix.
void column_patterns(const BinaryRecord& r, std::uint64_t* patterns) {
  wdist::RowPointers rows{};
  wdist::binary_patterns(wdist::view_of(r.g, 2, rows), 0, r.g.n, patterns);
}

// The characteristic vector: each column adds 1 at its pattern.
void count_columns(BinaryRecord& r) {
  std::vector<std::uint64_t> patterns(static_cast<std::size_t>(r.g.n));
  column_patterns(r, patterns.data());
  Counter* plane = r.point.a[0];
  for (std::uint64_t p : patterns) plane[p] = static_cast<Counter>(plane[p] + 1);
}

// The record as the driver runs it: clear the plane, count the columns,
// transform, extract.
PhaseTimes run_fast(BinaryRecord& r) {
  PhaseTimes t;
  Counter* plane = r.point.a[0];
  auto start = Clock::now();
  std::memset(plane, 0, table_bytes(r));
  t.clear = seconds_since(start);
  start = Clock::now();
  count_columns(r);
  t.count = seconds_since(start);
  start = Clock::now();
  wdist::walsh_hadamard(plane, r.K);
  t.wht = seconds_since(start);
  start = Clock::now();
  wdist::count_binary_weights(plane, r.K, r.N, r.shift, r.hist.data());
  t.extract = seconds_since(start);
  return t;
}

// The same record through the straightforward loops.
PhaseTimes run_reference(BinaryRecord& r) {
  PhaseTimes t;
  Counter* plane = r.point.a[0];
  const std::uint64_t size = std::uint64_t{1} << r.K;
  auto start = Clock::now();
  for (std::uint64_t i = 0; i < size; ++i) plane[i] = 0;
  benchmark::DoNotOptimize(plane);
  t.clear = seconds_since(start);
  start = Clock::now();
  wdist_test::count_binary_columns_ref(r.g.a, r.K, r.g.n, plane);
  t.count = seconds_since(start);
  start = Clock::now();
  wdist_test::walsh_hadamard_ref(plane, r.K);
  t.wht = seconds_since(start);
  start = Clock::now();
  wdist_test::count_binary_weights_ref(plane, r.K, r.N, r.shift, r.hist_ref.data());
  t.extract = seconds_since(start);
  return t;
}

// The same two records without timers, for tables so small that reading
// the clock would cost more than a phase.
void record_fast(BinaryRecord& r) {
  std::memset(r.point.a[0], 0, table_bytes(r));
  count_columns(r);
  wdist::walsh_hadamard(r.point.a[0], r.K);
  wdist::count_binary_weights(r.point.a[0], r.K, r.N, r.shift, r.hist.data());
}

void record_reference(BinaryRecord& r) {
  Counter* plane = r.point.a[0];
  const std::uint64_t size = std::uint64_t{1} << r.K;
  for (std::uint64_t i = 0; i < size; ++i) plane[i] = 0;
  benchmark::DoNotOptimize(plane);
  wdist_test::count_binary_columns_ref(r.g.a, r.K, r.g.n, plane);
  wdist_test::walsh_hadamard_ref(plane, r.K);
  wdist_test::count_binary_weights_ref(plane, r.K, r.N, r.shift, r.hist_ref.data());
}

// The record as the program runs it for a short code over a large table.
double run_blockwise(BinaryRecord& r, std::vector<std::uint64_t>& patterns) {
  patterns.resize(static_cast<std::size_t>(r.g.n));
  const auto start = Clock::now();
  column_patterns(r, patterns.data());
  wdist::blockwise_binary_weights<Counter>(patterns.data(), patterns.size(), r.K, r.N, r.shift, r.hist.data());
  return seconds_since(start);
}

// One in-place read+write pass over the table: the memory-bound floor that
// each pass of the transform over a table beyond the caches pays.
double inplace_pass(BinaryRecord& r) {
  auto* words = reinterpret_cast<std::uint64_t*>(r.point.a[0]);
  const std::uint64_t count = table_bytes(r) / sizeof(std::uint64_t);
  const auto start = Clock::now();
  for (std::uint64_t i = 0; i < count; ++i) words[i] += 1;
  benchmark::DoNotOptimize(words);
  benchmark::ClobberMemory();
  return seconds_since(start);
}

void report(benchmark::State& state, const PhaseTimes& fast, const PhaseTimes& ref, double pass, double blockwise,
            double runs) {
  using benchmark::Counter;
  auto avg = [&](double v) { return Counter(v / runs); };
  state.counters["clear"] = avg(fast.clear);
  state.counters["count"] = avg(fast.count);
  state.counters["wht"] = avg(fast.wht);
  state.counters["extract"] = avg(fast.extract);
  state.counters["record"] = avg(fast.record());
  state.counters["clear_ref"] = avg(ref.clear);
  state.counters["count_ref"] = avg(ref.count);
  state.counters["wht_ref"] = avg(ref.wht);
  state.counters["extract_ref"] = avg(ref.extract);
  state.counters["record_ref"] = avg(ref.record());
  state.counters["x_wht"] = Counter(ref.wht / fast.wht);
  state.counters["x_record"] = Counter(ref.record() / fast.record());
  if (blockwise > 0) {
    state.counters["blockwise"] = avg(blockwise);
    state.counters["x_blockwise"] = Counter(ref.record() / blockwise);
  }
  if (pass > 0) {
    state.counters["pass"] = avg(pass);
    state.counters["wht_passes"] = Counter(fast.wht / pass);
  }
}

// One benchmark: a record of the given kind, fast and reference each run
// once per iteration, checked against each other.
void run_record_benchmark(benchmark::State& state, BinaryRecord& r) {
  run_fast(r);  // allocates nothing more, but touches every page once
  const bool by_blocks = wdist::prefers_blockwise<Counter>(r.K, static_cast<std::uint64_t>(r.g.n));
  std::vector<std::uint64_t> patterns;
  PhaseTimes fast, ref;
  double pass = 0, blockwise = 0;
  double runs = 0;
  for (auto _ : state) {
    const PhaseTimes f = run_fast(r);
    const PhaseTimes g = run_reference(r);
    if (r.hist != r.hist_ref) {
      state.SkipWithError("fast and reference histograms differ");
      break;
    }
    double b = 0;
    if (by_blocks) {
      b = run_blockwise(r, patterns);
      if (r.hist != r.hist_ref) {
        state.SkipWithError("block-wise and reference histograms differ");
        break;
      }
    }
    pass += inplace_pass(r);
    fast.add(f);
    ref.add(g);
    blockwise += b;
    runs += 1;
    state.SetIterationTime(by_blocks ? b : f.record());
  }
  if (runs > 0) report(state, fast, ref, pass, blockwise, runs);
  state.SetLabel(std::string(kWidthName) + " " + wdist::simd_path_name(wdist::active_simd_path()) +
                 (by_blocks ? " block-wise" : ""));
  state.SetBytesProcessed(static_cast<std::int64_t>(runs * static_cast<double>(table_bytes(r))));
  release_record(r);
}

// Binary code of dimension K; its length is 2K + 20, a typical code of
// that dimension with a spread of weights.
void BM_BinaryRecord(benchmark::State& state) {
  BinaryRecord r;
  const auto K = static_cast<unsigned>(state.range(0));
  make_binary_record(r, K, static_cast<std::int32_t>(2 * K + 20), 1234 + K);
  run_record_benchmark(state, r);
}

// F_4 code of dimension k and length 2k + 10; its binary image has
// K = 2k rows and 3n columns.
void BM_F4Record(benchmark::State& state) {
  BinaryRecord r;
  const auto k = static_cast<unsigned>(state.range(0));
  make_f4_record(r, k, static_cast<std::int32_t>(2 * k + 10), 4321 + k);
  run_record_benchmark(state, r);
}

// The machine's in-place streaming bandwidth: one read+write pass over a
// buffer of 2^range(0) bytes, reported as bytes read plus bytes written.
void BM_InplacePass(benchmark::State& state) {
  const std::uint64_t bytes = std::uint64_t{1} << state.range(0);
  BinaryRecord r;
  r.K = static_cast<unsigned>(state.range(0)) - static_cast<unsigned>(__builtin_ctz(sizeof(Counter)));
  size_point_table(r, 2);
  std::memset(r.point.a[0], 0, bytes);
  for (auto _ : state) state.SetIterationTime(inplace_pass(r));
  state.SetBytesProcessed(static_cast<std::int64_t>(2 * bytes * state.iterations()));
  wdist::release_count_table(r.point);
}

// A file of 10,000 random binary [30, 10] codes through menu choice 1 (the
// driver run: reading, computing, writing the report). Beside it, the four
// kernel phases of all its records, fast and reference (kernels,
// kernels_ref, x_kernels).
void BM_FileOfSmallCodes(benchmark::State& state) {
  const char* input = "wdist_bench_codes.txt";
  const char* output = "wdist_bench_codes.txt_r";
  std::srand(2024);
  wdist::write_random_codes(input, 30, 10, 2, 10000);

  // The kernel phases of the same records, fast and reference, each over
  // all records under one timer (a timer per phase would cost more than
  // the phases of a 2^10 table).
  double kernels = 0, kernels_ref = 0;
  {
    std::vector<wdist::GenMatrix> codes;
    std::FILE* in = std::fopen(input, "r");
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) {
      if (c != '?') continue;
      wdist::GenMatrix g{};
      g.mem = 0;
      if (wdist::read_code(in, g, wdist::RecordPath::weight_distribution).status != wdist::ReadStatus::ok) break;
      codes.push_back(g);
    }
    std::fclose(in);
    if (!codes.empty()) {
      BinaryRecord r;
      r.K = static_cast<unsigned>(codes[0].k);
      r.N = codes[0].n;
      size_point_table(r, 2);
      auto start = Clock::now();
      for (const wdist::GenMatrix& g : codes) {
        r.g = g;
        record_fast(r);
      }
      kernels = seconds_since(start);
      start = Clock::now();
      for (const wdist::GenMatrix& g : codes) {
        r.g = g;
        record_reference(r);
      }
      kernels_ref = seconds_since(start);
      wdist::release_count_table(r.point);
    }
    for (wdist::GenMatrix& g : codes) wdist::release_gen_matrix(g);
  }

  // The run's progress lines go to standard output; they would break up
  // the benchmark table, so they are sent to /dev/null meanwhile.
  std::fflush(stdout);
  const int saved_stdout = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);
  // The whole run is timed on the wall clock: reading and writing the
  // files is part of what a user waits for.
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    wdist::run_weight_distribution(input, output);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::fflush(stdout);
  dup2(saved_stdout, STDOUT_FILENO);
  close(null_fd);
  close(saved_stdout);
  state.counters["kernels"] = kernels;
  state.counters["kernels_ref"] = kernels_ref;
  state.counters["x_kernels"] = kernels_ref / kernels;
  state.SetLabel(std::string(kWidthName) + " " + wdist::simd_path_name(wdist::active_simd_path()));
  std::remove(input);
  std::remove(output);
}

void register_benchmarks(int max_k) {
  for (int K : {20, 24, 26, 28, 30}) {
    if (K > max_k) continue;
    // The large tables take seconds per reference record: one iteration.
    auto* b = benchmark::RegisterBenchmark("BM_BinaryRecord", BM_BinaryRecord)->Arg(K)->UseManualTime();
    b->Unit(benchmark::kMillisecond)->Iterations(K >= 26 ? 1 : 3);
  }
  for (int k : {12, 13, 14}) {
    if (2 * k > max_k) continue;
    benchmark::RegisterBenchmark("BM_F4Record", BM_F4Record)
        ->Arg(k)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2 * k >= 26 ? 1 : 3);
  }
  for (int log_bytes : {30, 31, 32}) {
    if (log_bytes - (wdist::kWideBuild ? 2 : 1) > max_k) continue;
    benchmark::RegisterBenchmark("BM_InplacePass", BM_InplacePass)
        ->Arg(log_bytes)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  }
  benchmark::RegisterBenchmark("BM_FileOfSmallCodes", BM_FileOfSmallCodes)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
}

}  // namespace

int main(int argc, char** argv) {
  int max_k = 30;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--max_k=", 8) == 0)
      max_k = std::atoi(argv[i] + 8);
    else
      args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  register_benchmarks(max_k);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
