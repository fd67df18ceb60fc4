#include "transform/qary_generic.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <type_traits>

#include "field/galois.h"
#include "transform/qary_generic_kernels.h"
#include "transform/simd_path.h"

namespace wdist {

namespace {

using simd_kernels::GenericQaryPlan;
using Row = std::uint64_t;

constexpr int kVectorWidths[] = {64, 32, 16};
// Across groups, the doubled rows of a vector of groups and its overlapping
// last group, p (3p + chunk) vectors, are read p times over; across the
// entries of one group its rows stay in L1, but each group is gathered
// and scattered entry by entry. Measured on the avx2 path, p = 17..251:
// with 16-bit counters across groups is faster up to p = 101 (1.6 times at
// p = 61 and 67, 1.2 at 101, equal at 127); with 32-bit counters, whose
// vectors hold half the groups, up to p = 61 (equal there, 1.6 times
// slower at 67).
constexpr int largest_chunked_prime(int counter_bytes) { return counter_bytes == 2 ? 101 : 61; }
static_assert(largest_chunked_prime(2) <= simd_kernels::kGenericLargestChunkedPrime &&
                  largest_chunked_prime(4) <= simd_kernels::kGenericLargestChunkedPrime,
              "the kernels' rows per entry hold every prime taken across groups");
// The transposed copies of the lowest levels stay within this (L2).
constexpr std::uint64_t kLowCopiesBytes = std::uint64_t{192} << 10;
// A region (a copy of T(m) that gets all its levels before the next) fills
// at most half of L2; the other half holds what streams in and out.
constexpr std::uint64_t kRegionBytes = std::uint64_t{512} << 10;

std::uint64_t round_up(std::uint64_t bytes) { return (bytes + 63) / 64 * 64; }

// Entries summed per pass across groups: all p for p <= 13 (p accumulators
// and a load fit the 16 vector registers), otherwise the passes of at most
// 12 that waste the fewest.
int chunk_of(int p) {
  if (p <= 13) return p;
  const int passes = (p + 11) / 12;
  return (p + passes - 1) / passes;
}

Row theta_of(int p, int j) {
  Row t = 0;
  for (int i = 0; i < j; ++i) t = t * static_cast<Row>(p) + 1;
  return t;
}

// The widest vector of at most `widest` bytes with at most `most` lanes;
// 16 bytes when none has so few.
int vector_bytes_within(int widest, int counter_bytes, Row most) {
  const int* fits = std::find_if(std::begin(kVectorWidths), std::end(kVectorWidths), [=](int bytes) {
    return bytes <= widest && static_cast<Row>(bytes / counter_bytes) <= most;
  });
  return fits != std::end(kVectorWidths) ? *fits : 16;
}

struct ScratchShape {
  std::uint64_t rows = 0, last = 0, low = 0;
  [[nodiscard]] std::uint64_t total() const { return rows + last + low; }
};

// One group at a time: its doubled rows and the output row, in counters.
ScratchShape entries_shape(int p, int vector_bytes, int counter_bytes, GenericQaryPlan& plan) {
  const auto P = static_cast<std::uint64_t>(p);
  plan.p = p;
  plan.by_entries = true;
  plan.row_stride = P + static_cast<std::uint64_t>(simd_kernels::kGenericEntryChunkVectors * vector_bytes / counter_bytes);
  ScratchShape s;
  s.rows = round_up((P + 1) * plan.row_stride * static_cast<std::uint64_t>(counter_bytes));
  return s;
}

// A vector of groups at a time; false when p is too large for it.
bool chunked_shape(int p, int vector_bytes, int counter_bytes, GenericQaryPlan& plan, ScratchShape& s) {
  const auto P = static_cast<std::uint64_t>(p);
  plan.p = p;
  plan.by_entries = false;
  plan.chunk = chunk_of(p);
  plan.row_stride = 2 * P + static_cast<std::uint64_t>(plan.chunk);
  s.rows = round_up(P * plan.row_stride * static_cast<std::uint64_t>(vector_bytes));
  s.last = round_up(P * P * static_cast<std::uint64_t>(vector_bytes));
  if (p > largest_chunked_prime(counter_bytes)) return false;
  // The lowest levels have fewer groups per block than a vector has lanes:
  // they run on copies of T(s) side by side, one per lane, the smallest s
  // with theta_s >= lanes, on the widest vectors whose copies fit
  // kLowCopiesBytes (narrower vectors would run a level on fewer lanes, or
  // its blocks on overlapping vectors of groups, at twice the cost or
  // more: measured on F_11, 16-bit counters, avx2).
  for (int bytes : kVectorWidths) {
    if (bytes > vector_bytes) continue;
    const Row lanes = static_cast<Row>(bytes / counter_bytes);
    int depth = 2;
    while (theta_of(p, depth) < lanes) ++depth;
    plan.low_vector_bytes = bytes;
    plan.low_depth = depth;
    s.low = round_up(P * (theta_of(p, depth) + 1) * static_cast<std::uint64_t>(bytes));
    if (s.low <= kLowCopiesBytes) break;
  }
  return true;
}

int path_vector_bytes(SimdPath path) {
  switch (path) {
    case SimdPath::avx512: return 64;
    case SimdPath::avx2: return 32;
    case SimdPath::portable: return 16;
  }
  return 16;
}

// The whole plan for a table of dimension k; false when theta_k does not
// fit 64 bits.
bool plan_table(int p, int k, int vector_bytes, int counter_bytes, GenericQaryPlan& plan, ScratchShape& shape) {
  plan = GenericQaryPlan{};
  plan.k = k;
  for (int j = 0; j <= k; ++j) {
    if (j > 0 && plan.theta[j - 1] > (UINT64_MAX - 1) / static_cast<Row>(p)) return false;
    plan.theta[j] = j == 0 ? 0 : plan.theta[j - 1] * static_cast<Row>(p) + 1;
  }
  // A table no larger than one copy of T(s) would run every level on
  // single counters across groups: across entries it runs on vectors.
  if (!chunked_shape(p, vector_bytes, counter_bytes, plan, shape) || k <= plan.low_depth) {
    shape = entries_shape(p, vector_bytes, counter_bytes, plan);
    return true;
  }
  plan.region_depth = plan.low_depth + 1;
  while (plan.region_depth < k &&
         plan.theta[plan.region_depth + 1] * static_cast<Row>(p) * static_cast<Row>(counter_bytes) <= kRegionBytes)
    ++plan.region_depth;
  for (int m = plan.low_depth + 1; m <= k; ++m)
    plan.level_vector_bytes[m] = vector_bytes_within(vector_bytes, counter_bytes, plan.theta[m - 1]);
  return true;
}

}  // namespace

bool is_generic_qary_prime(int p) { return p <= simd_kernels::kGenericLargestPrime && is_prime_number(p); }

std::uint64_t qary_generic_scratch_bytes(int p, int counter_bits) {
  if (!is_generic_qary_prime(p) || (counter_bits != 16 && counter_bits != 32)) return 0;
  std::uint64_t most = 0;
  for (int bytes : kVectorWidths) {
    GenericQaryPlan plan{};
    ScratchShape s = entries_shape(p, bytes, counter_bits / 8, plan);
    if (s.total() > most) most = s.total();
    if (chunked_shape(p, bytes, counter_bits / 8, plan, s) && s.total() > most) most = s.total();
  }
  return most;
}

namespace simd_kernels {

bool plan_generic_qary(int p, int k, int vector_bytes, int counter_bytes, void* scratch, GenericQaryPlan& plan) {
  if (!is_generic_qary_prime(p) || k < 2 || k > kGenericMaxDepth) return false;
  ScratchShape shape;
  if (!plan_table(p, k, vector_bytes, counter_bytes, plan, shape)) return false;
  auto* bytes = static_cast<unsigned char*>(scratch);
  plan.rows = bytes;
  plan.last = bytes + shape.rows;
  plan.low = bytes + shape.rows + shape.last;
  return true;
}

}  // namespace simd_kernels

template <class C>
void qary_generic_transform(C* const* point, int p, int k, void* scratch) {
  // Signed and unsigned counters of one width may alias each other.
  using U = std::make_unsigned_t<C>;
  const SimdPath path = active_simd_path();
  GenericQaryPlan plan{};
  if (!simd_kernels::plan_generic_qary(p, k, path_vector_bytes(path), static_cast<int>(sizeof(U)), scratch, plan))
    return;
  U* planes[simd_kernels::kGenericLargestPrime];
  for (int e = 0; e < p; ++e) planes[e] = reinterpret_cast<U*>(point[e]);
  switch (path) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512: simd_kernels::qary_generic_avx512(planes, plan); return;
    case SimdPath::avx2: simd_kernels::qary_generic_avx2(planes, plan); return;
#endif
    default: simd_kernels::qary_generic_portable(planes, plan); return;
  }
}

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_QARY_GENERIC(C) template void qary_generic_transform<C>(C* const*, int, int, void*);
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_QARY_GENERIC)

}  // namespace wdist
