// The generic q-ary kernel (src/transform/qary_generic.h) and the records
// of the new fields, on this machine:
//
//   Kernel/p/k/bits      the generic kernel beside its straightforward twin
//                        (tests/support/qary_ref.cpp, built -O2 without
//                        target flags) on one point table of PG(k-1, p);
//                        for p = 3, 5, 7 also beside the per-q butterflies
//                        of qary.h on the same table
//   Blocks/q/k/n/threads a random [n, k] code over the prime field F_q as
//                        the projective-blocks route will count it once
//                        q is routed (src/engine/record_steps.cpp,
//                        run_projective_blocks, with the generic kernel and
//                        the field module's tables): the block dimension
//                        the plan chooses today for 1 MiB blocks, every
//                        block, the weights checked to add up to q^k - 1
//   Image/q/k/n/threads  a random [n, k] code over F_q, q = p^m, through
//                        its image over F_p (src/transform/field_image.h)
//                        and the library as it is (F_2 or F_3 routes,
//                        wdist::weight_distribution, dual route off): what
//                        these fields cost once the plan routes them so;
//                        the image weights are turned back into weights
//                        and checked to add up to q^k
//
// Times: kernels, the benchmark thread's processor time, median of the
// rounds (min-max); records, the wall clock of the whole record and the
// processor time of all its threads (on a shared machine the wall clock of
// two threads may exceed one's; the processor time over the threads is
// what an idle machine would take). The load average of the machine is
// printed before and after.
//
// Options (before Google Benchmark's own): --runs=R timed rounds of each
// kernel (default 5; the twin runs at most twice, once for p = 251);
// --records=0 leaves out the records (they take a minute or more).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "samples.h"
#include "field/galois.h"
#include "support/qary_ref.h"
#include "transform/field_image.h"
#include "transform/qary.h"
#include "transform/qary_extract.h"
#include "transform/qary_generic.h"
#include "transform/simd_path.h"
#include "wdist/wdist.h"

namespace {

using Row = std::uint64_t;

struct Settings {
  int runs = 5;
  bool records = true;
};
Settings g_settings;

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Processor time of every thread of the process.
double process_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double wall_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The process's peak resident memory so far, in MiB: a case run alone
// (--benchmark_filter) shows its own.
double peak_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string load_average() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  if (f == nullptr) return "?";
  char text[128] = {};
  const bool read = std::fgets(text, sizeof text, f) != nullptr;
  std::fclose(f);
  std::string s = read ? text : "?";
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

struct AlignedBuffer {
  void* data = nullptr;
  explicit AlignedBuffer(std::size_t bytes) : data(::operator new(bytes == 0 ? 64 : bytes, std::align_val_t{64})) {}
  ~AlignedBuffer() { ::operator delete(data, std::align_val_t{64}); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
};

// --- Kernels ---------------------------------------------------------------

struct KernelCase {
  int p;
  int k;
  int bits;
};

constexpr KernelCase kKernelCases[] = {{3, 14, 16},  {5, 9, 16},  {7, 8, 16},   {11, 5, 16},  {11, 6, 16},
                                       {11, 6, 32},  {13, 5, 16}, {13, 6, 16},  {31, 3, 16},  {31, 4, 16},
                                       {61, 3, 16},  {61, 3, 32}, {101, 3, 16}, {251, 2, 16}, {251, 3, 16}};

template <class C>
void time_kernel(benchmark::State& state, const KernelCase& c) {
  const int p = c.p, k = c.k;
  const Row P = wdist_test::theta_ref(p, k);
  // The column counts of a random code of length 600 (a few zero columns).
  std::vector<std::uint8_t> matrix(static_cast<std::size_t>(k) * 600);
  std::mt19937 rng(static_cast<unsigned>(100 * p + k));
  for (auto& x : matrix) x = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(p));
  std::vector<C> rows((P + 1) * static_cast<Row>(p));
  wdist_test::clear_rows_ref(rows.data(), p, P);
  wdist_test::count_columns_projective_ref(matrix.data(), k, 600, p, rows.data());
  std::vector<std::vector<C>> storage(static_cast<std::size_t>(p), std::vector<C>(P + 1));
  std::vector<C*> planes;
  for (int e = 0; e < p; ++e) {
    for (Row d = 0; d <= P; ++d) storage[static_cast<std::size_t>(e)][d] = rows[d * static_cast<Row>(p) + static_cast<Row>(e)];
    planes.push_back(storage[static_cast<std::size_t>(e)].data());
  }
  AlignedBuffer scratch(wdist::qary_generic_scratch_bytes(p, c.bits));
  std::vector<C> ref_scratch((static_cast<Row>(p) + 1) * static_cast<Row>(p));
  // One transform each, compared entry by entry before anything is timed.
  wdist::qary_generic_transform(planes.data(), p, k, scratch.data);
  std::vector<C> ref = rows;
  double start = thread_seconds();
  wdist_test::qary_transform_ref(ref.data(), ref_scratch.data(), p, k);
  Samples twin;
  twin.add(thread_seconds() - start);
  for (int e = 0; e < p; ++e)
    for (Row d = 0; d <= P; ++d)
      if (planes[static_cast<std::size_t>(e)][d] != ref[d * static_cast<Row>(p) + static_cast<Row>(e)]) {
        state.SkipWithError("the generic kernel differs from its twin");
        return;
      }
  const bool butterflies = p <= 7;
  Samples generic, existing;
  for (auto _ : state) {
    for (int round = 0; round < g_settings.runs; ++round) {
      start = thread_seconds();
      wdist::qary_generic_transform(planes.data(), p, k, scratch.data);
      generic.add(thread_seconds() - start);
      if (butterflies) {
        start = thread_seconds();
        wdist::qary_transform(planes.data(), p, k);
        existing.add(thread_seconds() - start);
      }
      if (round < (p > 100 ? 0 : 1)) {
        start = thread_seconds();
        wdist_test::qary_transform_ref(ref.data(), ref_scratch.data(), p, k);
        twin.add(thread_seconds() - start);
      }
    }
    state.SetIterationTime(generic.median());
  }
  auto& counters = state.counters;
  counters["generic_ms"] = 1e3 * generic.median();
  counters["generic_min_ms"] = 1e3 * generic.min();
  counters["generic_max_ms"] = 1e3 * generic.max();
  counters["twin_ms"] = 1e3 * twin.median();
  counters["x_twin"] = twin.median() / generic.median();
  // Rows of p entries per nanosecond per level: the work is p^2 additions
  // per row and level.
  counters["ns_per_row_level"] = 1e9 * generic.median() / (static_cast<double>(P) * (k - 1));
  if (butterflies) {
    counters["butterflies_ms"] = 1e3 * existing.median();
    counters["generic_over_butterflies"] = generic.median() / existing.median();
  }
  state.SetLabel(wdist::simd_path_name(wdist::active_simd_path()));
}

// --- Records of a prime field, block by block -------------------------------

// The projective-blocks route of record_steps.cpp over F_p: rows 1..low of
// the code are the low coordinates, rows low+1..K the high ones; block b
// (the point b + 1 of PG(K-low-1, p)) counts the columns shifted by the
// scalar product of their high coordinates with that point in a small
// table of dimension low + 1.
struct BlockRecord {
  const wdist::GaloisField* f;
  int p, K, low, H;
  std::int64_t n;
  std::vector<Row> theta;
  std::vector<std::uint32_t> shifted;  // shifted[c * p + s]
  std::vector<std::uint8_t> high;      // high[c * H + i]
  std::uint64_t blocks;
};

Row point_index(const wdist::GaloisField& f, const std::uint8_t* column, int k, const std::vector<Row>& theta) {
  Row d = 0;
  int scale = 0;
  for (int j = 1; j <= k; ++j) {
    const int x = column[k - j];
    if (d != 0) {
      d += static_cast<Row>(f.mul[scale][x]) * theta[static_cast<std::size_t>(j - 1)];
    } else if (x != 0) {
      d = theta[static_cast<std::size_t>(j)];
      scale = f.inv[x];
    }
  }
  return d;
}

void point_of_index(const std::vector<Row>& theta, int k, Row d, std::uint8_t* entries) {
  for (int r = 0; r < k; ++r) entries[r] = 0;
  for (int r = 0, m = k; m >= 1; ++r, --m) {
    if (d == theta[static_cast<std::size_t>(m)]) {
      entries[r] = 1;
      return;
    }
    const Row b = (d - 1) / theta[static_cast<std::size_t>(m - 1)];
    entries[r] = static_cast<std::uint8_t>(b);
    d -= b * theta[static_cast<std::size_t>(m - 1)];
  }
}

// The low dimension plan.cpp chooses for 1 MiB blocks of 16-bit counters.
int block_low_dimension(int p, int K) {
  auto bytes = [p](int dim) { return static_cast<double>(wdist_test::theta_ref(p, dim) + 1) * p * 2; };
  int m = 1;
  while (m + 2 <= K && bytes(m + 2) <= 1 << 20) ++m;
  return m;
}

BlockRecord prepare_blocks(int p, int K, std::int64_t n, const std::vector<std::uint8_t>& matrix) {
  BlockRecord r;
  r.f = wdist::galois_field(p);
  r.p = p;
  r.K = K;
  r.n = n;
  r.low = block_low_dimension(p, K);
  r.H = K - r.low;
  for (int j = 0; j <= K + 1; ++j) r.theta.push_back(wdist_test::theta_ref(p, j));
  r.blocks = r.theta[static_cast<std::size_t>(r.H)];
  r.shifted.resize(static_cast<std::size_t>(n * p));
  r.high.resize(static_cast<std::size_t>(n * r.H));
  std::uint8_t column[64];
  for (std::int64_t c = 0; c < n; ++c) {
    for (int i = 0; i < r.low; ++i) column[1 + i] = matrix[static_cast<std::size_t>(i * n + c)];
    for (int s = 0; s < p; ++s) {
      column[0] = static_cast<std::uint8_t>(s);
      r.shifted[static_cast<std::size_t>(c * p + s)] =
          static_cast<std::uint32_t>(point_index(*r.f, column, r.low + 1, r.theta));
    }
    for (int i = 0; i < r.H; ++i)
      r.high[static_cast<std::size_t>(c * r.H + i)] = matrix[static_cast<std::size_t>((r.low + i) * n + c)];
  }
  return r;
}

// Blocks taken `chunk` at a time from `next` until none is left.
void run_blocks(const BlockRecord& r, std::atomic<std::uint64_t>& next, std::vector<std::uint64_t>& hist) {
  using C = std::int16_t;
  const int p = r.p;
  const Row rows = r.theta[static_cast<std::size_t>(r.low + 1)] + 1, copy = r.theta[static_cast<std::size_t>(r.low)];
  std::vector<C> table(rows * static_cast<Row>(p));
  std::vector<C*> planes;
  for (int e = 0; e < p; ++e) planes.push_back(table.data() + static_cast<Row>(e) * rows);
  AlignedBuffer scratch(wdist::qary_generic_scratch_bytes(p, 16));
  const wdist::GaloisField& f = *r.f;
  std::uint8_t h[64];
  constexpr std::uint64_t kChunk = 8;
  for (std::uint64_t first = next.fetch_add(kChunk); first < r.blocks; first = next.fetch_add(kChunk)) {
    const std::uint64_t end = std::min(r.blocks, first + kChunk);
    for (std::uint64_t b = first; b < end; ++b) {
      point_of_index(r.theta, r.H, b + 1, h);
      std::memset(table.data(), 0, table.size() * sizeof(C));
      C* counts = planes[1];
      const std::uint8_t* digits = r.high.data();
      const std::uint32_t* shifted = r.shifted.data();
      for (std::int64_t c = 0; c < r.n; ++c, digits += r.H, shifted += p) {
        int s = 0;
        for (int i = 0; i < r.H; ++i) s = f.add[s][f.mul[h[i]][digits[i]]];
        counts[shifted[s]] = static_cast<C>(counts[shifted[s]] + 1);
      }
      wdist::qary_generic_transform(planes.data(), p, r.low + 1, scratch.data);
      const std::int64_t bias = counts[0];
      wdist::count_qary_weights(planes[0] + copy, rows - 1 - copy, r.n, bias, static_cast<Row>(p - 1), hist.data());
      if (b == 0) wdist::count_qary_weights(planes[0], copy, r.n, bias, static_cast<Row>(p - 1), hist.data());
    }
  }
}

struct RecordCase {
  int q;
  int k;
  std::int64_t n;
  unsigned threads;
};

constexpr RecordCase kBlockCases[] = {{11, 8, 60, 1}, {11, 8, 60, 2}, {13, 8, 60, 1}, {13, 8, 60, 2}};

void time_blocks(benchmark::State& state, const RecordCase& c) {
  std::mt19937 rng(static_cast<unsigned>(c.q * 100 + c.k));
  std::vector<std::uint8_t> matrix(static_cast<std::size_t>(c.k * c.n));
  for (auto& x : matrix) x = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(c.q));
  const BlockRecord r = prepare_blocks(c.q, c.k, c.n, matrix);
  double seconds = 0, processor = 0;
  std::vector<std::uint64_t> total(static_cast<std::size_t>(c.n) + 1, 0);
  for (auto _ : state) {
    std::atomic<std::uint64_t> next{0};
    std::vector<std::vector<std::uint64_t>> hist(c.threads, std::vector<std::uint64_t>(total.size(), 0));
    const double start = wall_seconds(), start_processor = process_seconds();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < c.threads; ++t) workers.emplace_back([&, t] { run_blocks(r, next, hist[t]); });
    for (std::thread& w : workers) w.join();
    seconds = wall_seconds() - start;
    processor = process_seconds() - start_processor;
    std::fill(total.begin(), total.end(), 0);
    for (const auto& h : hist)
      for (std::size_t w = 0; w < h.size(); ++w) total[w] += h[w];
    state.SetIterationTime(seconds);
  }
  std::uint64_t sum = 0, messages = 1;
  for (std::uint64_t x : total) sum += x;
  for (int i = 0; i < c.k; ++i) messages *= static_cast<std::uint64_t>(c.q);
  if (sum != messages - 1) state.SkipWithError("the weights do not add up to q^k - 1");
  state.counters["seconds"] = seconds;
  state.counters["processor_s"] = processor;
  state.counters["peak_MiB"] = peak_mib();
  state.counters["block_dim"] = r.low + 1;
  state.counters["blocks"] = static_cast<double>(r.blocks);
  state.counters["Gmsg_per_s"] = static_cast<double>(messages) / seconds * 1e-9;
}

// --- Records of an extension field through its image ------------------------

constexpr RecordCase kImageCases[] = {{8, 10, 100, 2}, {16, 8, 100, 2}, {256, 4, 100, 2}, {9, 10, 100, 2},
                                      {8, 10, 100, 1}, {16, 8, 100, 1}, {256, 4, 100, 1}, {9, 10, 100, 1}};

void time_image(benchmark::State& state, const RecordCase& c) {
  const wdist::GaloisField& f = *wdist::galois_field(c.q);
  std::mt19937 rng(static_cast<unsigned>(c.q * 100 + c.k));
  std::vector<std::vector<wdist::ElemCode>> code(static_cast<std::size_t>(c.k), std::vector<wdist::ElemCode>(static_cast<std::size_t>(c.n)));
  std::vector<const wdist::ElemCode*> code_rows;
  for (auto& row : code) {
    for (auto& x : row) x = static_cast<wdist::ElemCode>(rng() % static_cast<unsigned>(c.q));
    code_rows.push_back(row.data());
  }
  const int image_k = wdist::image_row_count(f, c.k);
  const std::int64_t image_n = wdist::image_column_count(f, c.n);
  wdist::Code image{f.p, image_k, image_n, std::vector<wdist::ElemCode>(static_cast<std::size_t>(image_k * image_n))};
  std::vector<wdist::ElemCode*> image_rows;
  for (int i = 0; i < image_k; ++i) image_rows.push_back(image.entries.data() + static_cast<std::size_t>(i * image_n));
  const double start_image = wall_seconds();
  wdist::write_image_rows(f, wdist::MatrixView{c.q, c.k, c.n, code_rows.data()}, image_rows.data());
  const double image_seconds = wall_seconds() - start_image;
  wdist::Options options;
  options.threads = c.threads;
  options.dual = wdist::DualRoute::never;
  options.max_work = 0x1p40;
  wdist::Distribution d;
  double seconds = 0, processor = 0;
  for (auto _ : state) {
    const double start = wall_seconds(), start_processor = process_seconds();
    const wdist::Status s = wdist::weight_distribution(image, options, d);
    seconds = wall_seconds() - start;
    processor = process_seconds() - start_processor;
    if (!s) {
      state.SkipWithError(s.message.c_str());
      return;
    }
    state.SetIterationTime(seconds);
  }
  // Image weights back to weights; every count lands on a multiple of p^(m-1).
  mpz_class sum = 0, messages = 1;
  for (int i = 0; i < c.k; ++i) messages *= c.q;
  for (std::size_t w = 0; w < d.counts.size(); ++w) {
    if (d.counts[w] == 0) continue;
    std::int64_t weight = 0;
    if (!wdist::weight_from_image_weight(f, static_cast<std::int64_t>(w), weight) || weight > c.n) {
      state.SkipWithError("an image weight that no codeword has");
      return;
    }
    sum += d.counts[w];
  }
  if (sum != messages) state.SkipWithError("the weights do not add up to q^k");
  state.counters["seconds"] = seconds;
  state.counters["processor_s"] = processor;
  state.counters["peak_MiB"] = peak_mib();
  state.counters["image_ms"] = 1e3 * image_seconds;
  state.counters["image_rows"] = image_k;
  state.counters["image_columns"] = static_cast<double>(image_n);
  state.counters["Gmsg_per_s"] = messages.get_d() / seconds * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0)
      g_settings.runs = std::max(1, std::atoi(a.c_str() + 7));
    else if (a.rfind("--records=", 0) == 0)
      g_settings.records = std::atoi(a.c_str() + 10) != 0;
    else
      args.push_back(argv[i]);
  }
  for (const KernelCase& c : kKernelCases) {
    const std::string name = "Kernel/" + std::to_string(c.p) + "/" + std::to_string(c.k) + "/" + std::to_string(c.bits);
    auto* b = c.bits == 16 ? benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& s) { time_kernel<std::int16_t>(s, c); })
                           : benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& s) { time_kernel<std::int32_t>(s, c); });
    b->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  }
  if (g_settings.records) {
    for (const RecordCase& c : kBlockCases) {
      const std::string name = "Blocks/" + std::to_string(c.q) + "/" + std::to_string(c.k) + "/" + std::to_string(c.n) + "/" +
                               std::to_string(c.threads);
      benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& s) { time_blocks(s, c); })
          ->UseManualTime()
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
    for (const RecordCase& c : kImageCases) {
      const std::string name = "Image/" + std::to_string(c.q) + "/" + std::to_string(c.k) + "/" + std::to_string(c.n) + "/" +
                               std::to_string(c.threads);
      benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& s) { time_image(s, c); })
          ->UseManualTime()
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
  }
  std::printf("load average before: %s\n", load_average().c_str());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("load average after: %s\n", load_average().c_str());
  return 0;
}
