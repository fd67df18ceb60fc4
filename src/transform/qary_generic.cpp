#include "transform/qary_generic.h"

#include <cstddef>
#include <type_traits>

#include "field/galois.h"
#include "transform/qary_generic_kernels.h"
#include "transform/simd_path.h"

namespace wdist {

namespace {

using simd_kernels::GenericQaryPlan;
using Row = std::uint64_t;

constexpr int kLargestPrime = 251;
constexpr int kVectorWidths[] = {64, 32, 16};
// Across groups, the doubled rows of a group and the overlapping last
// group are read p times over: they stay within half of L2. Beyond that,
// and beyond kGenericLargestChunkedPrime, one group at a time across its
// entries reads less.
constexpr std::uint64_t kChunkedRowBytes = std::uint64_t{256} << 10;
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
  for (int bytes : kVectorWidths)
    if (bytes <= widest && static_cast<Row>(bytes / counter_bytes) <= most) return bytes;
  return 16;
}

struct ScratchShape {
  std::uint64_t rows = 0, last = 0, low = 0;
  std::uint64_t total() const { return rows + last + low; }
};

// Fills every field of `plan` but the theta beyond low_depth, the levels'
// vectors and the scratch pointers; the shape of the scratch it needs.
ScratchShape plan_shape(int p, int vector_bytes, int counter_bytes, GenericQaryPlan& plan) {
  ScratchShape s;
  const auto P = static_cast<std::uint64_t>(p);
  plan.p = p;
  plan.chunk = chunk_of(p);
  const std::uint64_t row_vectors = 2 * P + static_cast<std::uint64_t>(plan.chunk);
  s.rows = round_up(P * row_vectors * static_cast<std::uint64_t>(vector_bytes));
  s.last = round_up(P * P * static_cast<std::uint64_t>(vector_bytes));
  plan.by_entries = p > simd_kernels::kGenericLargestChunkedPrime || s.rows + s.last > kChunkedRowBytes;
  if (plan.by_entries) {
    const int lanes = vector_bytes / counter_bytes;
    plan.row_stride = P + static_cast<std::uint64_t>(simd_kernels::kGenericEntryChunkVectors * lanes);
    s.rows = round_up((P + 1) * plan.row_stride * static_cast<std::uint64_t>(counter_bytes));
    s.last = 0;
    s.low = 0;
    plan.low_depth = 1;
    plan.low_vector_bytes = vector_bytes;
    return s;
  }
  plan.row_stride = row_vectors;
  // The lowest levels have fewer groups per block than a vector has lanes:
  // they run on copies of T(s) side by side, one per lane, the smallest s
  // with theta_s >= lanes, on vectors of at most p + 1 (theta_2) lanes when
  // the path has such.
  plan.low_vector_bytes = vector_bytes_within(vector_bytes, counter_bytes, P + 1);
  const Row lanes = static_cast<Row>(plan.low_vector_bytes / counter_bytes);
  plan.low_depth = 2;
  while (theta_of(p, plan.low_depth) < lanes) ++plan.low_depth;
  s.low = round_up(P * (theta_of(p, plan.low_depth) + 1) * static_cast<std::uint64_t>(plan.low_vector_bytes));
  return s;
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
  shape = plan_shape(p, vector_bytes, counter_bytes, plan);
  for (int j = 0; j <= k; ++j) {
    if (j > 0 && plan.theta[j - 1] > (UINT64_MAX - 1) / static_cast<Row>(p)) return false;
    plan.theta[j] = j == 0 ? 0 : plan.theta[j - 1] * static_cast<Row>(p) + 1;
  }
  if (plan.by_entries) return true;
  plan.region_depth = plan.low_depth + 1;
  while (plan.region_depth < k &&
         plan.theta[plan.region_depth + 1] * static_cast<Row>(p) * static_cast<Row>(counter_bytes) <= kRegionBytes)
    ++plan.region_depth;
  for (int m = plan.low_depth + 1; m <= k; ++m)
    plan.level_vector_bytes[m] = vector_bytes_within(vector_bytes, counter_bytes, plan.theta[m - 1]);
  return true;
}

}  // namespace

bool is_generic_qary_prime(int p) { return p <= kLargestPrime && is_prime_number(p); }

std::uint64_t qary_generic_scratch_bytes(int p, int counter_bits) {
  if (!is_generic_qary_prime(p) || (counter_bits != 16 && counter_bits != 32)) return 0;
  std::uint64_t most = 0;
  for (int bytes : kVectorWidths) {
    GenericQaryPlan plan{};
    const ScratchShape s = plan_shape(p, bytes, counter_bits / 8, plan);
    if (s.total() > most) most = s.total();
  }
  return most;
}

template <class C>
void qary_generic_transform(C* const* point, int p, int k, void* scratch) {
  if (!is_generic_qary_prime(p) || k < 2 || k > simd_kernels::kGenericMaxDepth) return;
  // Signed and unsigned counters of one width may alias each other.
  using U = std::make_unsigned_t<C>;
  const SimdPath path = active_simd_path();
  GenericQaryPlan plan;
  ScratchShape shape;
  if (!plan_table(p, k, path_vector_bytes(path), static_cast<int>(sizeof(U)), plan, shape)) return;
  auto* bytes = static_cast<unsigned char*>(scratch);
  plan.rows = bytes;
  plan.last = bytes + shape.rows;
  plan.low = bytes + shape.rows + shape.last;
  U* planes[kLargestPrime];
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
