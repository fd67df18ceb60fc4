// Binary and F_4 records as the menu programs compute them, beside the
// straightforward twins of the kernels (tests/support/wht_ref.cpp, built -O2
// without target flags), interleaved in one run and repeated. Built once per
// counter width (wdist_bench_binary for 16-bit counters,
// wdist_bench_binary_wide for 32-bit ones).
//
// "record" is the program's own record: the plan of the menu programs
// (plan_record under their policy, as src/menu/console/drivers.cpp plans), the
// binary image of an F_4 code built as the driver builds it, prepare_record
// and run_units over every unit of the plan. "whole table" is the same steps
// with the plan's route set to the whole table (the route the program takes
// for codes too long for the block-wise one). The kernel phases (clear,
// count, transform, extract) are timed one by one on the whole table, fast
// and reference, to show where the time goes.
//
// Steady state: every table is allocated and first touched before any
// timing (the first whole-table record, timed apart as first_touch), then
// `--warmup` untimed rounds of every record kind, the reference included,
// run on the same table; then `--runs` rounds, each running the program's
// record, the whole-table record, the fast phases, the reference record
// and one in-place pass in turn, so that a change of load strikes fast and
// reference alike. Every histogram is checked against the reference's.
// Times are this thread's processor time (as the programs' time line);
// ratios are taken per round and summarised min / median / max.
//
// Counters (seconds, medians over the rounds unless said):
//   record, record_min, record_max     the program's record
//   whole_table                        the program's steps over the whole table
//   record_ref (+ _min, _max)          the reference record (clear, count, transform, extract)
//   x_record (+ _min, _max)            record_ref / record, per round
//   x_whole                            record_ref / whole_table, per round
//   clear count wht extract (+ _ref)   the phases of the whole-table record, fast and reference
//   pass, wht_passes                   one in-place read+write pass over the table; wht / pass
//   first_touch                        the first whole-table record on the fresh table
//   huge                               share of the table in transparent huge pages
//   faults                             minor page faults inside the timed regions (all rounds)
// At the end the program prints the table of bench/README.md.
//
// Extra options (before Google Benchmark's own):
//   --max_k=K        binary and F_4 tables up to 2^K entries only (default 30)
//   --runs=R         timed rounds per record (default 5)
//   --warmup=W       untimed rounds before them (default 1)
//   --small_pages    keep the table out of transparent huge pages (to see
//                    what address translation costs each record)
//   --write_codes=D  write the records of this program as code files into
//                    directory D (for bench/compare_programs.sh) and stop
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "menu/codefile/code_reader.h"
#include "menu/console/drivers.h"
#include "samples.h"
#include "engine/plan.h"
#include "engine/record_steps.h"
#include "menu/store/count_table.h"
#include "menu/store/counter.h"
#include "menu/store/gen_matrix.h"
#include "support/wht_ref.h"
#include "menu/transform/binary_image.h"
#include "menu/transform/char_vector.h"
#include "transform/columns.h"
#include "transform/histogram.h"
#include "transform/simd_path.h"
#include "transform/wht.h"

namespace {

using wdist::Counter;

struct Settings {
  int max_k = 30;
  int runs = 5;
  int warmup = 1;
  bool small_pages = false;
  std::string write_codes;
};
Settings g_settings;

constexpr const char* kWidthName = wdist::kWideBuild ? "wide" : "narrow";

using wdist::kMenuPolicy;  // the menu programs' policy (src/menu/console/drivers.h)

// This thread's processor time: other processes sharing the cores stretch
// the wall clock of a run but not these numbers (they still share caches
// and memory bandwidth).
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

long thread_minor_faults() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_minflt;
}

// The share of [p, p + bytes) backed by transparent huge pages, from the
// mapping that holds p in /proc/self/smaps; -1 when it cannot be read.
double huge_page_share(const void* p, std::uint64_t bytes) {
  std::FILE* f = std::fopen("/proc/self/smaps", "r");
  if (f == nullptr) return -1;
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  char line[512];
  bool inside = false;
  double share = -1;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long long start = 0, end = 0;
    if (std::sscanf(line, "%llx-%llx ", &start, &end) == 2 && std::strchr(line, '-') != nullptr &&
        std::strncmp(line, "AnonHugePages", 13) != 0) {
      inside = address >= start && address < end;
      continue;
    }
    unsigned long long kb = 0;
    if (inside && std::sscanf(line, "AnonHugePages: %llu kB", &kb) == 1) {
      share = std::min(1.0, static_cast<double>(kb) * 1024.0 / static_cast<double>(bytes));
      break;
    }
  }
  std::fclose(f);
  return share;
}


// The engine's per-thread storage as the menu program holds it: one set
// for the process, cache-sized buffers kept from record to record.
struct EngineStorage {
  wdist::TallyScratch tally{};
  alignas(64) unsigned char group[wdist::kBlockGroupBytes] = {};
  wdist::engine::PreparedRecord prepared;
  wdist::RowPointers rows{};
};
EngineStorage g_engine;

// A record: the code as the menu program holds it and the tables it is
// computed in.
struct BinaryRecord {
  wdist::GenMatrix code{};   // the binary code, or the F_4 code
  wdist::GenMatrix image{};  // F_4: its binary image (2k rows, 3n columns)
  wdist::CountTable point{};  // one plane of 2^K Counters
  wdist::CountTable scratch{};  // not used on the binary routes
  wdist::engine::RecordPlan plan{};  // the menu program's plan
  std::vector<std::uint64_t> hist;
  std::vector<std::uint64_t> hist_ref;
};

std::uint64_t table_bytes(const BinaryRecord& r) { return sizeof(Counter) << r.plan.K; }

// The matrix whose columns are counted: the code, or its binary image.
const wdist::GenMatrix& counted_matrix(const BinaryRecord& r) { return r.plan.binary_image ? r.image : r.code; }

// Plans the record as the menu program does and sizes its tables through
// the driver's own step (one plane of 2^K Counters, the image of an F_4
// code).
void plan_and_size(BinaryRecord& r) {
  const std::int32_t q = r.code.q, k = r.code.k, n = r.code.n;
  wdist::engine::plan_record(wdist::engine::RecordShape{q, k, n, false}, kMenuPolicy, r.plan);
  r.image.mem = 0;
  r.point.mem = 0;
  wdist::size_record_tables(r.plan, r.code, r.image, r.point, r.scratch);
  if (r.plan.binary_image) wdist::build_binary_image(r.code, r.image);  // for the reference; the record builds it again
  if (g_settings.small_pages) madvise(r.point.a[0], table_bytes(r), MADV_NOHUGEPAGE);
  r.hist.assign(static_cast<std::size_t>(r.plan.N) + 1, 0);
  r.hist_ref.assign(static_cast<std::size_t>(r.plan.N) + 1, 0);
}

// A random binary [n, K] code.
void make_binary_code(wdist::GenMatrix& g, unsigned K, std::int32_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  g.mem = 0;
  wdist::size_gen_matrix(g, static_cast<std::int32_t>(K), n, 2);
  g.k = static_cast<std::int32_t>(K);
  for (unsigned row = 1; row <= K; ++row)
    for (std::int32_t c = 1; c <= n; ++c) g.a[row][c] = static_cast<wdist::ElemCode>(rng() & 1);
}

// A random [n, k] code over F_4 (element codes 0, 1, 2 = w, 3 = w^2).
void make_f4_code(wdist::GenMatrix& g, unsigned k, std::int32_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  g.mem = 0;
  wdist::size_gen_matrix(g, static_cast<std::int32_t>(k), n, 4);
  g.k = static_cast<std::int32_t>(k);
  for (unsigned row = 1; row <= k; ++row)
    for (std::int32_t c = 1; c <= n; ++c) g.a[row][c] = static_cast<wdist::ElemCode>(rng() & 3);
}

// The benchmark codes: binary of dimension K and length 2K + 20 (a typical
// code of that dimension with a spread of weights); F_4 of dimension k and
// length 2k + 10 (binary image: K = 2k rows, 3n columns).
constexpr int kBinaryDimensions[] = {20, 24, 26, 28, 30};
constexpr int kF4Dimensions[] = {12, 13, 14};
std::int32_t binary_length(int K) { return 2 * K + 20; }
std::uint64_t binary_seed(int K) { return 1234 + static_cast<std::uint64_t>(K); }
std::int32_t f4_length(int k) { return 2 * k + 10; }
std::uint64_t f4_seed(int k) { return 4321 + static_cast<std::uint64_t>(k); }

void release_record(BinaryRecord& r) {
  wdist::release_count_table(r.point);
  wdist::release_gen_matrix(r.code);
  if (r.plan.binary_image) wdist::release_gen_matrix(r.image);
}

// The plan with its route set to the whole table: what the program plans
// for a code too long for the block-wise record (src/engine/plan.cpp).
wdist::engine::RecordPlan whole_table_plan(wdist::engine::RecordPlan p) {
  if (p.route != wdist::engine::Route::binary_blocks) return p;
  p.route = wdist::engine::Route::binary_table;
  p.block_bits = 0;
  p.blocks = 1;
  p.blocks_per_unit = 1;
  p.units = 1;
  p.block_bytes = 0;
  p.table_rows = std::uint64_t{1} << p.K;
  p.table_bytes = p.table_rows * static_cast<std::uint64_t>(p.counter_bits / 8);
  return p;
}

// The record as the menu program computes it once its tables are sized
// (src/menu/console/drivers.cpp, compute_weight_distribution and run_plan).
void run_program_record(BinaryRecord& r, const wdist::engine::RecordPlan& plan) {
  wdist::MatrixView columns = wdist::view_of(r.code, r.code.q, g_engine.rows);
  if (plan.binary_image) {
    wdist::build_binary_image(r.code, r.image);
    columns = wdist::view_of(r.image, 2, g_engine.rows);
  }
  wdist::engine::prepare_record(columns, plan, g_engine.prepared);
  void* planes[1] = {r.point.a[0]};
  wdist::engine::Workspace ws{&g_engine.tally, g_engine.group, nullptr, nullptr};
  std::fill(r.hist.begin(), r.hist.end(), 0);
  wdist::engine::run_units(g_engine.prepared, 0, plan.units, ws, planes, r.hist.data());
}

struct PhaseTimes {
  double clear = 0, count = 0, wht = 0, extract = 0;
  double record() const { return clear + count + wht + extract; }
};

// The whole-table record phase by phase through the fast kernels (the
// steps the record runs on its table route, each under its own timer).
PhaseTimes run_fast_phases(BinaryRecord& r) {
  PhaseTimes t;
  Counter* plane = r.point.a[0];
  const wdist::GenMatrix& g = counted_matrix(r);
  auto start = thread_seconds();
  std::memset(plane, 0, table_bytes(r));
  t.clear = thread_seconds() - start;
  start = thread_seconds();
  std::vector<std::uint64_t> patterns(static_cast<std::size_t>(g.n));
  wdist::RowPointers rows{};
  wdist::binary_patterns(wdist::view_of(g, 2, rows), 0, g.n, patterns.data());
  for (std::uint64_t p : patterns) plane[p] = static_cast<Counter>(plane[p] + 1);
  t.count = thread_seconds() - start;
  start = thread_seconds();
  wdist::walsh_hadamard(plane, r.plan.K);
  t.wht = thread_seconds() - start;
  start = thread_seconds();
  wdist::count_binary_weights(plane, r.plan.K, r.plan.N, r.plan.shift, r.hist.data());
  t.extract = thread_seconds() - start;
  return t;
}

// The same record through the straightforward loops.
PhaseTimes run_reference(BinaryRecord& r) {
  PhaseTimes t;
  Counter* plane = r.point.a[0];
  const wdist::GenMatrix& g = counted_matrix(r);
  const std::uint64_t size = std::uint64_t{1} << r.plan.K;
  auto start = thread_seconds();
  for (std::uint64_t i = 0; i < size; ++i) plane[i] = 0;
  benchmark::DoNotOptimize(plane);
  t.clear = thread_seconds() - start;
  start = thread_seconds();
  wdist_test::count_binary_columns_ref(g.a, r.plan.K, g.n, plane);
  t.count = thread_seconds() - start;
  start = thread_seconds();
  wdist_test::walsh_hadamard_ref(plane, r.plan.K);
  t.wht = thread_seconds() - start;
  start = thread_seconds();
  wdist_test::count_binary_weights_ref(plane, r.plan.K, r.plan.N, r.plan.shift, r.hist_ref.data());
  t.extract = thread_seconds() - start;
  return t;
}

// One in-place read+write pass over the table: the memory-bound floor that
// each pass of the transform over a table beyond the caches pays.
double inplace_pass(BinaryRecord& r) {
  auto* words = reinterpret_cast<std::uint64_t*>(r.point.a[0]);
  const std::uint64_t count = table_bytes(r) / sizeof(std::uint64_t);
  const auto start = thread_seconds();
  for (std::uint64_t i = 0; i < count; ++i) words[i] += 1;
  benchmark::DoNotOptimize(words);
  benchmark::ClobberMemory();
  return thread_seconds() - start;
}

// Times f() on this thread's clock and adds the page faults it took.
template <class F>
double timed(long& faults, F f) {
  const long before = thread_minor_faults();
  const double start = thread_seconds();
  f();
  const double seconds = thread_seconds() - start;
  faults += thread_minor_faults() - before;
  return seconds;
}

struct RecordSamples {
  Samples record, whole, record_ref, x_record, x_whole;
  Samples clear, count, wht, extract, clear_ref, count_ref, wht_ref, extract_ref, pass;
};

void set_counters(benchmark::State& state, const RecordSamples& s, double first_touch, double huge, long faults) {
  using benchmark::Counter;
  auto& c = state.counters;
  c["record"] = Counter(s.record.median());
  c["record_min"] = Counter(s.record.min());
  c["record_max"] = Counter(s.record.max());
  c["whole_table"] = Counter(s.whole.median());
  c["record_ref"] = Counter(s.record_ref.median());
  c["record_ref_min"] = Counter(s.record_ref.min());
  c["record_ref_max"] = Counter(s.record_ref.max());
  c["x_record"] = Counter(s.x_record.median());
  c["x_record_min"] = Counter(s.x_record.min());
  c["x_record_max"] = Counter(s.x_record.max());
  c["x_whole"] = Counter(s.x_whole.median());
  c["clear"] = Counter(s.clear.median());
  c["count"] = Counter(s.count.median());
  c["wht"] = Counter(s.wht.median());
  c["extract"] = Counter(s.extract.median());
  c["clear_ref"] = Counter(s.clear_ref.median());
  c["count_ref"] = Counter(s.count_ref.median());
  c["wht_ref"] = Counter(s.wht_ref.median());
  c["extract_ref"] = Counter(s.extract_ref.median());
  c["pass"] = Counter(s.pass.median());
  c["wht_passes"] = Counter(s.wht.median() / s.pass.median());
  c["first_touch"] = Counter(first_touch);
  c["huge"] = Counter(huge);
  c["faults"] = Counter(static_cast<double>(faults));
}

// One benchmark: the record of r, all kinds interleaved round by round.
void run_record_benchmark(benchmark::State& state, BinaryRecord& r) {
  const wdist::engine::RecordPlan table_plan = whole_table_plan(r.plan);
  const bool by_blocks = r.plan.route == wdist::engine::Route::binary_blocks;
  // Allocated (untouched) by the sizing: the first whole-table record takes
  // every page fault of the table.
  long faults = 0;
  const double first_touch = timed(faults, [&] { run_program_record(r, table_plan); });
  for (int w = 0; w < g_settings.warmup; ++w) {
    run_program_record(r, r.plan);
    run_program_record(r, table_plan);
    run_fast_phases(r);
    run_reference(r);
  }
  const double huge = huge_page_share(r.point.a[0], table_bytes(r));
  RecordSamples s;
  faults = 0;
  for (auto _ : state) {
    for (int round = 0; round < g_settings.runs; ++round) {
      const double record = timed(faults, [&] { run_program_record(r, r.plan); });
      const std::vector<std::uint64_t> record_hist = r.hist;
      const double whole = by_blocks ? timed(faults, [&] { run_program_record(r, table_plan); }) : record;
      const std::vector<std::uint64_t> whole_hist = r.hist;
      PhaseTimes f, g;
      const long before = thread_minor_faults();
      f = run_fast_phases(r);
      const std::vector<std::uint64_t> phases_hist = r.hist;
      g = run_reference(r);
      faults += thread_minor_faults() - before;
      if (record_hist != r.hist_ref || whole_hist != r.hist_ref || phases_hist != r.hist_ref) {
        state.SkipWithError("a fast histogram differs from the reference's");
        release_record(r);
        return;
      }
      s.record.add(record);
      s.whole.add(whole);
      s.record_ref.add(g.record());
      s.x_record.add(g.record() / record);
      s.x_whole.add(g.record() / whole);
      s.clear.add(f.clear);
      s.count.add(f.count);
      s.wht.add(f.wht);
      s.extract.add(f.extract);
      s.clear_ref.add(g.clear);
      s.count_ref.add(g.count);
      s.wht_ref.add(g.wht);
      s.extract_ref.add(g.extract);
      s.pass.add(timed(faults, [&] { inplace_pass(r); }));
    }
    state.SetIterationTime(s.record.median());
  }
  set_counters(state, s, first_touch, huge, faults);
  state.SetLabel(std::string(kWidthName) + " " + wdist::simd_path_name(wdist::active_simd_path()) + " " +
                 wdist::engine::route_name(r.plan.route));
  release_record(r);
}

void BM_BinaryRecord(benchmark::State& state) {
  BinaryRecord r;
  const auto K = static_cast<int>(state.range(0));
  make_binary_code(r.code, static_cast<unsigned>(K), binary_length(K), binary_seed(K));
  plan_and_size(r);
  run_record_benchmark(state, r);
}

void BM_F4Record(benchmark::State& state) {
  BinaryRecord r;
  const auto k = static_cast<int>(state.range(0));
  make_f4_code(r.code, static_cast<unsigned>(k), f4_length(k), f4_seed(k));
  plan_and_size(r);
  run_record_benchmark(state, r);
}

// The machine's in-place streaming bandwidth: one read+write pass over a
// buffer of 2^range(0) bytes, reported as bytes read plus bytes written.
void BM_InplacePass(benchmark::State& state) {
  const std::uint64_t bytes = std::uint64_t{1} << state.range(0);
  BinaryRecord r;
  r.plan.K = static_cast<unsigned>(state.range(0)) - static_cast<unsigned>(__builtin_ctz(sizeof(Counter)));
  r.point.mem = 0;
  wdist::size_count_table(r.point, (std::uint64_t{1} << r.plan.K) - 1, 0, 2);
  std::memset(r.point.a[0], 0, bytes);
  inplace_pass(r);
  for (auto _ : state) state.SetIterationTime(inplace_pass(r));
  state.SetBytesProcessed(static_cast<std::int64_t>(2 * bytes) * state.iterations());
  wdist::release_count_table(r.point);
}

// The file of small codes: 10,000 random binary [30, 10] codes, fixed seed,
// in the format of the menu's generator.
constexpr int kSmallCodes = 10000;
constexpr const char* kSmallCodesName = "small_codes.txt";

void write_record(std::FILE* out, const wdist::GenMatrix& g, int number) {
  std::fprintf(out, "? %d %d %d %d \n", g.k, g.n, g.q, number);
  for (std::int32_t row = 1; row <= g.k; ++row) {
    for (std::int32_t c = 1; c <= g.n; ++c) std::fputc('0' + g.a[row][c], out);
    std::fputc('\n', out);
  }
}

bool write_small_codes(const std::string& name) {
  std::FILE* out = std::fopen(name.c_str(), "w");
  if (out == nullptr) return false;
  std::fputc('\n', out);
  wdist::GenMatrix g{};
  for (int i = 1; i <= kSmallCodes; ++i) {
    make_binary_code(g, 10, 30, 2024 + static_cast<std::uint64_t>(i));
    write_record(out, g, i);
    wdist::release_gen_matrix(g);
  }
  return std::fclose(out) == 0;
}

// The file of small codes through menu choice 1 (the driver run: reading,
// computing, writing the report; wall clock, the whole run, min / median /
// max of the rounds). Beside it the records of the file alone: the
// program's steps (plan, prepare, run_units) over all of them, and the
// reference kernels (steps, steps_ref, x_steps).
void BM_FileOfSmallCodes(benchmark::State& state) {
  const std::string input = std::string("wdist_bench_") + kSmallCodesName;
  const std::string output = input + "_r";
  if (!write_small_codes(input)) {
    state.SkipWithError("cannot write the file of small codes");
    return;
  }
  std::vector<wdist::GenMatrix> codes;
  {
    std::FILE* in = std::fopen(input.c_str(), "r");
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) {
      if (c != '?') continue;
      wdist::GenMatrix g{};
      g.mem = 0;
      if (wdist::read_code(in, g, wdist::RecordPath::weight_distribution).status != wdist::ReadStatus::ok) break;
      codes.push_back(g);
    }
    std::fclose(in);
  }
  // The records alone, each over all codes under one timer (a timer per
  // record would cost more than a record of a 2^10 table).
  BinaryRecord r;
  r.code = codes[0];
  plan_and_size(r);
  auto all_steps = [&] {
    for (const wdist::GenMatrix& g : codes) {
      r.code = g;
      wdist::engine::plan_record(wdist::engine::RecordShape{g.q, g.k, g.n, false}, kMenuPolicy, r.plan);
      run_program_record(r, r.plan);
    }
  };
  auto all_reference = [&] {
    for (const wdist::GenMatrix& g : codes) {
      r.code = g;
      run_reference(r);
    }
  };
  all_steps();
  all_reference();
  Samples steps, steps_ref, x_steps, run;
  long faults = 0;
  // The run's progress lines go to standard output; they would break up
  // the benchmark table, so they are sent to /dev/null meanwhile.
  std::fflush(stdout);
  const int saved_stdout = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);
  wdist::run_weight_distribution(input.c_str(), output.c_str());  // untimed, as every record kind
  for (auto _ : state) {
    for (int round = 0; round < g_settings.runs; ++round) {
      const auto start = std::chrono::steady_clock::now();
      wdist::run_weight_distribution(input.c_str(), output.c_str());
      run.add(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      const double a = timed(faults, all_steps);
      const double b = timed(faults, all_reference);
      steps.add(a);
      steps_ref.add(b);
      x_steps.add(b / a);
    }
    state.SetIterationTime(run.median());
  }
  std::fflush(stdout);
  dup2(saved_stdout, STDOUT_FILENO);
  close(null_fd);
  close(saved_stdout);
  using benchmark::Counter;
  state.counters["run"] = Counter(run.median());
  state.counters["run_min"] = Counter(run.min());
  state.counters["run_max"] = Counter(run.max());
  state.counters["steps"] = Counter(steps.median());
  state.counters["steps_ref"] = Counter(steps_ref.median());
  state.counters["x_steps"] = Counter(x_steps.median());
  state.counters["x_steps_min"] = Counter(x_steps.min());
  state.counters["x_steps_max"] = Counter(x_steps.max());
  state.SetLabel(std::string(kWidthName) + " " + wdist::simd_path_name(wdist::active_simd_path()));
  r.code.mem = 0;  // the codes are released below
  release_record(r);
  for (wdist::GenMatrix& g : codes) wdist::release_gen_matrix(g);
  std::remove(input.c_str());
  std::remove(output.c_str());
}

// Remembers the counters of every benchmark for the closing table.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> results;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      for (const auto& [name, counter] : run.counters) results[run.run_name.str()][name] = counter.value;
    ConsoleReporter::ReportRuns(runs);
  }
};

// Milliseconds, three significant digits or whole.
std::string ms(double seconds) {
  const double v = 1e3 * seconds;
  char text[32];
  std::snprintf(text, sizeof text, v >= 100 ? "%.0f" : v >= 10 ? "%.1f" : "%.2f", v);
  return text;
}

std::string ratio(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", x);
  return text;
}

std::string spread(const std::string& mid, const std::string& low, const std::string& high) {
  return mid + " (" + low + "–" + high + ")";
}

void print_table(const CollectingReporter& reporter) {
  std::printf("\n%s counters, SIMD path %s, %d rounds after %d untimed, processor time in ms; median (min–max)\n\n",
              kWidthName, wdist::simd_path_name(wdist::active_simd_path()), g_settings.runs, g_settings.warmup);
  std::printf("| %s | record | record ref | x | whole table | x | transform | transform ref | passes | extract | "
              "extract ref | huge pages | first touch | faults |\n",
              wdist::kWideBuild ? "wide (32-bit)" : "narrow (16-bit)");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& [name, c] : reporter.results) {
    if (c.count("record") == 0) continue;
    std::string label;
    unsigned k = 0;
    if (std::sscanf(name.c_str(), "BM_BinaryRecord/%u", &k) == 1) label = "binary K = " + std::to_string(k);
    if (std::sscanf(name.c_str(), "BM_F4Record/%u", &k) == 1)
      label = "F_4 k = " + std::to_string(k) + " (K = " + std::to_string(2 * k) + ")";
    std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %.0f%% | %s | %.0f |\n", label.c_str(),
                spread(ms(c.at("record")), ms(c.at("record_min")), ms(c.at("record_max"))).c_str(),
                spread(ms(c.at("record_ref")), ms(c.at("record_ref_min")), ms(c.at("record_ref_max"))).c_str(),
                spread(ratio(c.at("x_record")), ratio(c.at("x_record_min")), ratio(c.at("x_record_max"))).c_str(),
                ms(c.at("whole_table")).c_str(), ratio(c.at("x_whole")).c_str(), ms(c.at("wht")).c_str(),
                ms(c.at("wht_ref")).c_str(), ratio(c.at("wht_passes")).c_str(), ms(c.at("extract")).c_str(),
                ms(c.at("extract_ref")).c_str(), 100 * c.at("huge"), ms(c.at("first_touch")).c_str(), c.at("faults"));
  }
  for (const auto& [name, c] : reporter.results) {
    if (c.count("run") == 0) continue;
    std::printf("\n10,000 binary [30,10] codes through choice 1 (wall clock, whole run): %s ms; their records "
                "alone: %s ms program steps, %s ms reference, x %s\n",
                spread(ms(c.at("run")), ms(c.at("run_min")), ms(c.at("run_max"))).c_str(), ms(c.at("steps")).c_str(),
                ms(c.at("steps_ref")).c_str(),
                spread(ratio(c.at("x_steps")), ratio(c.at("x_steps_min")), ratio(c.at("x_steps_max"))).c_str());
  }
}

void register_benchmarks() {
  for (int K : kBinaryDimensions) {
    if (K > g_settings.max_k) continue;
    benchmark::RegisterBenchmark("BM_BinaryRecord", BM_BinaryRecord)
        ->Arg(K)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  for (int k : kF4Dimensions) {
    if (2 * k > g_settings.max_k) continue;
    benchmark::RegisterBenchmark("BM_F4Record", BM_F4Record)
        ->Arg(k)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  for (int log_bytes : {30, 31, 32}) {
    if (log_bytes - (wdist::kWideBuild ? 2 : 1) > g_settings.max_k) continue;
    benchmark::RegisterBenchmark("BM_InplacePass", BM_InplacePass)
        ->Arg(log_bytes)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  }
  benchmark::RegisterBenchmark("BM_FileOfSmallCodes", BM_FileOfSmallCodes)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
}

// The records of this program as code files in `dir`, one record each, and
// the file of small codes.
int write_codes(const std::string& dir) {
  bool ok = true;
  // One record a file; the matrix is given back either way.
  const auto write_file = [&ok](const std::string& name, wdist::GenMatrix& g) {
    std::FILE* out = std::fopen(name.c_str(), "w");
    ok = ok && out != nullptr;
    if (out != nullptr) {
      write_record(out, g, 1);
      ok = std::fclose(out) == 0 && ok;
    }
    wdist::release_gen_matrix(g);
  };
  for (int K : kBinaryDimensions) {
    wdist::GenMatrix g{};
    make_binary_code(g, static_cast<unsigned>(K), binary_length(K), binary_seed(K));
    write_file(dir + "/binary_K" + std::to_string(K) + ".txt", g);
  }
  for (int k : kF4Dimensions) {
    wdist::GenMatrix g{};
    make_f4_code(g, static_cast<unsigned>(k), f4_length(k), f4_seed(k));
    write_file(dir + "/f4_k" + std::to_string(k) + ".txt", g);
  }
  ok = write_small_codes(dir + "/" + kSmallCodesName) && ok;
  if (!ok) std::fprintf(stderr, "cannot write the code files into %s\n", dir.c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--max_k=", 0) == 0)
      g_settings.max_k = std::atoi(a.c_str() + 8);
    else if (a.rfind("--runs=", 0) == 0)
      g_settings.runs = std::max(1, std::atoi(a.c_str() + 7));
    else if (a.rfind("--warmup=", 0) == 0)
      g_settings.warmup = std::max(0, std::atoi(a.c_str() + 9));
    else if (a == "--small_pages")
      g_settings.small_pages = true;
    else if (a.rfind("--write_codes=", 0) == 0)
      g_settings.write_codes = a.substr(14);
    else
      args.push_back(argv[i]);
  }
  if (!g_settings.write_codes.empty()) return write_codes(g_settings.write_codes);
  int count = static_cast<int>(args.size());
  register_benchmarks();
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_table(reporter);
  benchmark::Shutdown();
  return 0;
}
