// The generic q-ary kernel (qary_generic.h), written once over GCC vector
// types and compiled once per SIMD target: qary_generic_portable.cpp,
// qary_generic_avx2.cpp and qary_generic_avx512.cpp each define
// WDIST_QARY_GENERIC_VECTOR_BYTES (the widest vectors of their target) and
// include this file. As in qary_body.h, everything has internal linkage and
// no inline function of the standard library is called, so that code
// compiled for one target never runs on another.
//
// Counters are handled as unsigned values of their width (the wrapping bits
// are the same); row indices and offsets are 64-bit.
//
// One group. Rows b = 0..p-1 of a group (row t of sub-block b) with entries
// x[b][e]; output row a takes at entry e the sum over b of x[b][e - a*b]
// (mod p). The group's rows are copied into the scratch so that x[b]
// shifted by s, from entry e0 on, is one run of consecutive scratch
// entries: across groups (below) row b holds x[b][0..p) twice and the run
// starts at p - s + e0; across entries row b holds x[b][0..p) and then its
// first entries again, and the run starts at (e0 - s) mod p. The sums of a
// pass add such runs into accumulators that stay in registers: p passes
// (one per output row) of ceil(p / chunk) sums of p runs, p^3 additions,
// as the definition has.
//
// The order of the work across groups (`chunked`): as in
// qary_body.h. Each level adds across consecutive groups t of a block, a
// vector of groups at a time (the copies x[b] are then vectors); the
// lowest levels, whose blocks have fewer groups than a vector has lanes,
// run on copies of T(s) transposed into the scratch, one copy per lane; a
// region, a copy of T(m) that fits half of L2, gets all its levels before
// the next is touched, and the levels above it stream the table once each.
// Each level uses the widest vectors that have no more lanes than its
// blocks have groups; when the lanes do not divide the groups, the last,
// overlapping vector of groups is combined first and stored last.
//
// Across entries (`by entries`; for larger p, see qary_generic.cpp, and for
// tables of a few hundred rows, whose blocks have too few groups to fill a
// vector): one group at a time, its rows gathered from the planes, the
// additions across its entries, kGenericEntryChunkVectors vectors of
// entries per pass.
#pragma once

#ifndef WDIST_QARY_GENERIC_VECTOR_BYTES
#error "define WDIST_QARY_GENERIC_VECTOR_BYTES before including qary_generic_body.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "transform/qary_generic_kernels.h"

namespace wdist {
namespace {

using simd_kernels::GenericQaryPlan;
using simd_kernels::kGenericEntryChunkVectors;
using simd_kernels::kGenericLargestChunkedPrime;
using simd_kernels::kGenericLargestPrime;
using Row = std::uint64_t;

constexpr int kWidest = WDIST_QARY_GENERIC_VECTOR_BYTES;

template <class U, int VB>
struct VectorOf {
  typedef U type __attribute__((vector_size(VB)));
};

template <class U, int VB>
using Vec = typename VectorOf<U, VB>::type;

template <class U, int VB>
constexpr unsigned kLanes = VB / sizeof(U);

#define WDIST_GENERIC_INLINE inline __attribute__((always_inline))
#define WDIST_GENERIC_LAMBDA_INLINE __attribute__((always_inline))

template <class V, class U>
WDIST_GENERIC_INLINE V load_vec(const U* p) {
  V x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

template <class U, class V>
WDIST_GENERIC_INLINE void store_vec(U* p, V x) {
  std::memcpy(p, &x, sizeof x);
}

// Streams of a block beyond L2 are fetched this many bytes ahead, into L2;
// a block is beyond L2 when its p planes of B counters pass half of it.
constexpr Row kAheadBytes = 512;
constexpr Row kFarBytes = Row{512} << 10;

// --- One group -------------------------------------------------------------

// The sums of a group from its doubled rows: row b at x2 + b * stride, its
// entry j at j and p + j. The last pass of a row may sum up to chunk - 1
// entries past e = p - 1, reading as far as 2p + chunk - 2 (the stride
// leaves room): those sums are never handed out. Hands out(a, e, sum)
// every output entry. T is a vector of groups or a counter.
template <int E, class T, class Out>
WDIST_GENERIC_INLINE void sum_group(const T* x2, int p, Row stride, Out out) {
  for (int a = 0; a < p; ++a)
    for (int e0 = 0; e0 < p; e0 += E) {
      T acc[static_cast<std::size_t>(E)];  // E > 0, a template constant
      const T* first = x2 + p + e0;
#pragma GCC unroll 16
      for (int i = 0; i < E; ++i) acc[i] = first[i];
      // Row b holds x[b][e - a*b] at p - (a*b mod p) + e.
      const T* row = x2 + stride;
      int shift = a;
      for (int b = 1; b < p; ++b, row += stride) {
        const T* from = row + (p - shift) + e0;
#pragma GCC unroll 16
        for (int i = 0; i < E; ++i) acc[i] = static_cast<T>(acc[i] + from[i]);
        shift += a;
        if (shift >= p) shift -= p;
      }
#pragma GCC unroll 16
      for (int i = 0; i < E; ++i)
        if (e0 + i < p) out(a, e0 + i, acc[i]);
    }
}

// --- Levels over rows of any element type ----------------------------------

// One block of a level over the transposed copies, rows[e][d] (d counted
// from the buffer's start): sub-blocks of A rows after row o, top row
// o + B. T is a vector whose lanes are independent copies.
template <int E, class T>
void level_block_rows(const GenericQaryPlan& plan, T* const* rows, Row o, Row A, Row B) {
  const int p = plan.p;
  const Row stride = plan.row_stride;
  T* x2 = static_cast<T*>(plan.rows);
  // Sub-block 1 takes the top row's count in entry 0 for every group, and
  // the top row becomes the row sums of the first group, sub-block 1
  // including that count; the count is read before the row is overwritten.
  const T top_count = rows[1][o + B];
  T top[kGenericLargestChunkedPrime];
  for (int b = 0; b < p; ++b) {
    T sum = b == 1 ? top_count : T{};
    for (int e = 0; e < p; ++e) sum = static_cast<T>(sum + rows[e][o + 1 + static_cast<Row>(b) * A]);
    top[b] = sum;
  }
  for (Row t = 1; t <= A; ++t) {
    T* row = x2;
    for (int b = 0; b < p; ++b, row += stride)
      for (int e = 0; e < p; ++e) row[e] = row[p + e] = rows[e][o + t + static_cast<Row>(b) * A];
    x2[stride] = static_cast<T>(x2[stride] + top_count);
    x2[stride + static_cast<Row>(p)] = x2[stride];
    sum_group<E>(x2, p, stride, [&](int a, int e, T value) WDIST_GENERIC_LAMBDA_INLINE {
      rows[e][o + t + static_cast<Row>(a) * A] = value;
    });
  }
  for (int b = 0; b < p; ++b) rows[b][o + B] = top[b];
}

// The levels that build T(base+1) .. T(m) inside the copy of T(m) after
// row o, depth first; the copies of T(base) are done.
template <int E, class T>
void transform_rows(const GenericQaryPlan& plan, T* const* rows, Row o, int m, int base) {
  if (m <= base) return;
  const Row* theta = plan.theta;
  for (int b = 0; b < plan.p; ++b) transform_rows<E>(plan, rows, o + static_cast<Row>(b) * theta[m - 1], m - 1, base);
  level_block_rows<E>(plan, rows, o, theta[m - 1], theta[m]);
}

// --- Levels in place, a vector of groups at a time -------------------------

template <int E, int VB, class U>
void level_block_planes(const GenericQaryPlan& plan, U* const* planes, Row o, Row A, Row B) {
  using V = Vec<U, VB>;
  constexpr Row W = kLanes<U, VB>, kAhead = kAheadBytes / sizeof(U);
  const int p = plan.p;
  const Row stride = plan.row_stride;
  V* x2 = static_cast<V*>(plan.rows);
  V* last = static_cast<V*>(plan.last);
  const U top_count = planes[1][o + B];
  U top[kGenericLargestChunkedPrime];
  for (int b = 0; b < p; ++b) {
    U sum = b == 1 ? top_count : U{0};
    for (int e = 0; e < p; ++e) sum = static_cast<U>(sum + planes[e][o + 1 + static_cast<Row>(b) * A]);
    top[b] = sum;
  }
  const V top_lanes = V{} + top_count;
  // Plane e holds the groups of sub-block b from base[e] + b*A.
  U* base[kGenericLargestChunkedPrime];
  for (int e = 0; e < p; ++e) base[e] = planes[e] + o + 1;
  const bool far = B * static_cast<Row>(p) * sizeof(U) > kFarBytes;
  auto gather = [&](Row t0) WDIST_GENERIC_LAMBDA_INLINE {
    V* row = x2;
    for (int b = 0; b < p; ++b, row += stride) {
      const Row at = t0 + static_cast<Row>(b) * A;
      for (int e = 0; e < p; ++e) row[e] = row[p + e] = load_vec<V>(base[e] + at);
    }
    x2[stride] += top_lanes;
    x2[stride + static_cast<Row>(p)] = x2[stride];
  };
  const bool ragged = A % W != 0;
  if (ragged) {
    gather(A - W);
    sum_group<E>(x2, p, stride, [&](int a, int e, V value) WDIST_GENERIC_LAMBDA_INLINE { last[a * p + e] = value; });
  }
  for (Row t0 = 0; t0 + W <= A; t0 += W) {
    // A block beyond L2 reads and writes p * p streams at once, more than
    // the hardware prefetchers follow: each is fetched ahead by hand.
    if (far && t0 + kAhead < A)
      for (int b = 0; b < p; ++b)
        for (int e = 0; e < p; ++e) __builtin_prefetch(base[e] + t0 + static_cast<Row>(b) * A + kAhead, 1, 2);
    gather(t0);
    sum_group<E>(x2, p, stride, [&](int a, int e, V value) WDIST_GENERIC_LAMBDA_INLINE {
      store_vec(base[e] + t0 + static_cast<Row>(a) * A, value);
    });
  }
  if (ragged)
    for (int a = 0; a < p; ++a)
      // NOLINTNEXTLINE(clang-analyzer-core.UndefinedBinaryOperatorResult): base[0..p) is set above; the analyzer loses p's bound
      for (int e = 0; e < p; ++e) store_vec(base[e] + (A - W) + static_cast<Row>(a) * A, last[a * p + e]);
  // NOLINTNEXTLINE(clang-analyzer-core.uninitialized.Assign): top[0..p) is set above; the analyzer loses p's bound
  for (int b = 0; b < p; ++b) planes[b][o + B] = top[b];
}

template <int E, class U>
void level_planes(const GenericQaryPlan& plan, U* const* planes, Row o, int m) {
  const Row A = plan.theta[m - 1], B = plan.theta[m];
  if constexpr (kWidest >= 64)
    if (plan.level_vector_bytes[m] == 64) return level_block_planes<E, 64>(plan, planes, o, A, B);
  if constexpr (kWidest >= 32)
    if (plan.level_vector_bytes[m] == 32) return level_block_planes<E, 32>(plan, planes, o, A, B);
  level_block_planes<E, 16>(plan, planes, o, A, B);
}

// The levels that build T(base+1) .. T(m) inside the copy of T(m) after
// row o, in place, depth first.
template <int E, class U>
void transform_planes(const GenericQaryPlan& plan, U* const* planes, Row o, int m, int base) {
  if (m <= base) return;
  for (int b = 0; b < plan.p; ++b)
    transform_planes<E>(plan, planes, o + static_cast<Row>(b) * plan.theta[m - 1], m - 1, base);
  level_planes<E>(plan, planes, o, m);
}

// --- Transposes ------------------------------------------------------------

// A W x W tile (W vectors of W lanes) is transposed by log2(W) stages, each
// swapping one bit of the row index with the same bit of the lane index:
// rows g and g + D (bit D of g clear) exchange the lanes of row g whose bit
// D is set with the lanes of row g + D whose bit D is clear. The stages
// commute; together they exchange row and lane.
template <class U, int VB, unsigned D, std::size_t... C>
WDIST_GENERIC_INLINE void swap_lanes(Vec<U, VB>& a, Vec<U, VB>& b, std::index_sequence<C...>) {
  constexpr std::size_t W = kLanes<U, VB>;
  const Vec<U, VB> na = __builtin_shufflevector(a, b, ((C & D) != 0 ? W + C - D : C)...);
  const Vec<U, VB> nb = __builtin_shufflevector(a, b, ((C & D) != 0 ? W + C : C + D)...);
  a = na;
  b = nb;
}

template <class U, int VB, unsigned D>
WDIST_GENERIC_INLINE void swap_stages(Vec<U, VB>* v) {
  constexpr unsigned W = kLanes<U, VB>;
  if constexpr (D < W) {
#pragma GCC unroll 32
    for (unsigned g = 0; g < W; ++g)
      if ((g & D) == 0) swap_lanes<U, VB, D>(v[g], v[g + D], std::make_index_sequence<W>{});
    swap_stages<U, VB, 2 * D>(v);
  }
}

// Transposes the tile whose row r is load(r) and hands row r of the result
// to store(r, row).
template <class U, int VB, class Load, class Store>
WDIST_GENERIC_INLINE void transpose_tile(Load load, Store store) {
  constexpr unsigned W = kLanes<U, VB>;
  Vec<U, VB> v[W];
#pragma GCC unroll 32
  for (unsigned r = 0; r < W; ++r) v[r] = load(r);
  swap_stages<U, VB, 1>(v);
#pragma GCC unroll 32
  for (unsigned r = 0; r < W; ++r) store(r, v[r]);
}

// Tiles of W rows cover rows 1..S of a copy; when W does not divide S the
// last tile starts at S - W and overlaps the one before it, which then is
// loaded and stored twice with the same values (S >= W always).
template <class Visit>
WDIST_GENERIC_INLINE void for_each_tile(Row S, Row W, Visit visit) {
  Row r0 = 0;
  for (; r0 + W <= S; r0 += W) visit(r0);
  if (r0 < S) visit(S - W);
}

// --- The transposed low levels ---------------------------------------------

// Up to W copies of T(s), one per lane, whose low levels are done together
// in the scratch: plane e of the copies at x + e * (S + 1), row r of copy j
// in lane j of x[e * (S + 1) + r].
template <class U, int VB>
struct LowBatch {
  static constexpr unsigned W = kLanes<U, VB>;
  Row offsets[W];  // copy j is rows offsets[j] + 1 .. offsets[j] + S
  unsigned count;  // copies collected so far
  Row S;           // theta_s
  Vec<U, VB>* x;
};

template <int E, class U, int VB>
void run_low_batch(const GenericQaryPlan& plan, U* const* planes, LowBatch<U, VB>& batch) {
  using V = Vec<U, VB>;
  constexpr unsigned W = LowBatch<U, VB>::W;
  const int p = plan.p;
  const Row S = batch.S;
  const unsigned count = batch.count;
  // Lanes without a copy repeat copy 0 and are never stored.
  for (unsigned j = count; j < W; ++j) batch.offsets[j] = batch.offsets[0];
  V* rows[kGenericLargestChunkedPrime];
  for (int e = 0; e < p; ++e) rows[e] = batch.x + static_cast<Row>(e) * (S + 1);
  for (int e = 0; e < p; ++e) {
    const U* from = planes[e] + 1;
    V* to = rows[e] + 1;
    for_each_tile(S, W, [&](Row r0) WDIST_GENERIC_LAMBDA_INLINE {
      transpose_tile<U, VB>([&](unsigned j) WDIST_GENERIC_LAMBDA_INLINE { return load_vec<V>(from + batch.offsets[j] + r0); },
                            [&](unsigned r, V row) WDIST_GENERIC_LAMBDA_INLINE { to[r0 + r] = row; });
    });
  }
  transform_rows<E>(plan, rows, 0, plan.low_depth, 1);
  for (int e = 0; e < p; ++e) {
    U* to = planes[e] + 1;
    const V* from = rows[e] + 1;
    for_each_tile(S, W, [&](Row r0) WDIST_GENERIC_LAMBDA_INLINE {
      transpose_tile<U, VB>([&](unsigned r) WDIST_GENERIC_LAMBDA_INLINE { return from[r0 + r]; },
                            [&](unsigned j, V row) WDIST_GENERIC_LAMBDA_INLINE {
                              if (j < count) store_vec(to + batch.offsets[j] + r0, row);
                            });
    });
  }
  batch.count = 0;
}

// Hands every copy of T(s) inside the copy of T(m) after row o to the batch,
// in table order, running the batch whenever it is full.
template <int E, class U, int VB>
void collect_low_copies(const GenericQaryPlan& plan, U* const* planes, LowBatch<U, VB>& batch, Row o, int m) {
  if (m == plan.low_depth) {
    batch.offsets[batch.count++] = o;
    if (batch.count == LowBatch<U, VB>::W) run_low_batch<E>(plan, planes, batch);
    return;
  }
  for (int b = 0; b < plan.p; ++b)
    collect_low_copies<E>(plan, planes, batch, o + static_cast<Row>(b) * plan.theta[m - 1], m - 1);
}

// All levels of the copy of T(m) after row o.
template <int E, class U, int VB>
void transform_region(const GenericQaryPlan& plan, U* const* planes, LowBatch<U, VB>& batch, Row o, int m) {
  if (m > plan.region_depth) {
    for (int b = 0; b < plan.p; ++b)
      transform_region<E>(plan, planes, batch, o + static_cast<Row>(b) * plan.theta[m - 1], m - 1);
    level_planes<E>(plan, planes, o, m);
    return;
  }
  collect_low_copies<E>(plan, planes, batch, o, m);
  if (batch.count != 0) run_low_batch<E>(plan, planes, batch);
  transform_planes<E>(plan, planes, o, m, plan.low_depth);
}

template <int E, class U, int VB>
void chunked_walk(const GenericQaryPlan& plan, U* const* planes) {
  LowBatch<U, VB> batch;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled copy by copy
  batch.count = 0;
  batch.S = plan.theta[plan.low_depth];
  batch.x = static_cast<Vec<U, VB>*>(plan.low);
  transform_region<E>(plan, planes, batch, 0, plan.k);
}

template <int E, class U>
void chunked_table(const GenericQaryPlan& plan, U* const* planes) {
  if (plan.k <= plan.low_depth) return;  // planned across entries (qary_generic.cpp)
  if constexpr (kWidest >= 64)
    if (plan.low_vector_bytes == 64) return chunked_walk<E, U, 64>(plan, planes);
  if constexpr (kWidest >= 32)
    if (plan.low_vector_bytes == 32) return chunked_walk<E, U, 32>(plan, planes);
  chunked_walk<E, U, 16>(plan, planes);
}

// --- By entries, one group at a time ---------------------------------------

template <class U>
void entries_level_block(const GenericQaryPlan& plan, U* const* planes, Row o, Row A, Row B) {
  using V = Vec<U, kWidest>;
  constexpr int W = static_cast<int>(kLanes<U, kWidest>), kRun = kGenericEntryChunkVectors * W;
  const int p = plan.p;
  const Row stride = plan.row_stride;
  U* rows = static_cast<U*>(plan.rows);
  U* out = rows + static_cast<Row>(p) * stride;
  const U top_count = planes[1][o + B];
  U top[kGenericLargestPrime];
  for (int b = 0; b < p; ++b) {
    U sum = b == 1 ? top_count : U{0};
    for (int e = 0; e < p; ++e) sum = static_cast<U>(sum + planes[e][o + 1 + static_cast<Row>(b) * A]);
    top[b] = sum;
  }
  for (Row t = 1; t <= A; ++t) {
    U* row = rows;
    for (int b = 0; b < p; ++b, row += stride) {
      const Row at = o + t + static_cast<Row>(b) * A;
      for (int e = 0; e < p; ++e) row[e] = planes[e][at];
    }
    rows[stride] = static_cast<U>(rows[stride] + top_count);
    // Row b continues with its own first entries, so that a run of kRun
    // entries from any start below p reads x[b][start mod p ..].
    row = rows;
    for (int b = 0; b < p; ++b, row += stride)
      for (int j = 0; j < kRun; ++j) row[p + j] = row[j];
    for (int a = 0; a < p; ++a) {
      for (int e0 = 0; e0 < p; e0 += kRun) {
        V acc[kGenericEntryChunkVectors];
#pragma GCC unroll 8
        for (int i = 0; i < kGenericEntryChunkVectors; ++i) acc[i] = load_vec<V>(rows + e0 + i * W);
        // Row b holds x[b][e - a*b] at start + (e - e0), start = (e0 - a*b) mod p.
        int start = e0;
        const U* from = rows + stride;
        for (int b = 1; b < p; ++b, from += stride) {
          start = start >= a ? start - a : start + p - a;
#pragma GCC unroll 8
          for (int i = 0; i < kGenericEntryChunkVectors; ++i) acc[i] += load_vec<V>(from + start + i * W);
        }
#pragma GCC unroll 8
        for (int i = 0; i < kGenericEntryChunkVectors; ++i) store_vec(out + e0 + i * W, acc[i]);
      }
      const Row at = o + t + static_cast<Row>(a) * A;
      for (int e = 0; e < p; ++e) planes[e][at] = out[e];
    }
  }
  // NOLINTNEXTLINE(clang-analyzer-core.uninitialized.Assign): top[0..p) is set above; the analyzer loses p's bound
  for (int b = 0; b < p; ++b) planes[b][o + B] = top[b];
}

template <class U>
void transform_by_entries(const GenericQaryPlan& plan, U* const* planes, Row o, int m) {
  if (m <= 1) return;
  for (int b = 0; b < plan.p; ++b) transform_by_entries(plan, planes, o + static_cast<Row>(b) * plan.theta[m - 1], m - 1);
  entries_level_block(plan, planes, o, plan.theta[m - 1], plan.theta[m]);
}

// --- The whole table -------------------------------------------------------

template <class U>
void generic_transform(const GenericQaryPlan& plan, U* const* planes) {
  if (plan.by_entries) return transform_by_entries(plan, planes, 0, plan.k);
  switch (plan.chunk) {
    case 2: return chunked_table<2>(plan, planes);
    case 3: return chunked_table<3>(plan, planes);
    case 5: return chunked_table<5>(plan, planes);
    case 7: return chunked_table<7>(plan, planes);
    case 9: return chunked_table<9>(plan, planes);
    case 10: return chunked_table<10>(plan, planes);
    case 11: return chunked_table<11>(plan, planes);
    case 12: return chunked_table<12>(plan, planes);
    case 13: return chunked_table<13>(plan, planes);
    default: return;  // qary_generic.cpp plans no other chunk
  }
}

}  // namespace
}  // namespace wdist
