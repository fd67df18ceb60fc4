// The q-ary transform kernel, written once over GCC vector types and
// compiled once per SIMD target: qary_portable.cpp, qary_avx2.cpp and
// qary_avx512.cpp each define WDIST_QARY_VECTOR_BYTES and include this file.
//
// Everything here has internal linkage on purpose. The same template
// compiled with different target flags must never be merged by the linker,
// or the portable path could end up running AVX-512 code. For the same
// reason the body calls no inline function of the standard library.
//
// Counters are handled as unsigned values of their width: the bits of a
// wrapping signed sum and of an unsigned sum are the same, and unsigned
// arithmetic wraps by definition. Every row index and offset is 64-bit.
//
// The structure used. T(m), the theta_m points whose leading position is at
// most m (for fixed entries above m), is q copies of T(m-1) at offsets
// b * theta_(m-1), followed by one top row. Level m + 1 combines exactly
// those q copies and the top row and reads nothing else, so the table may be
// transformed depth first: all levels of each copy of T(m-1), then the level
// of T(m). Every block of a level then sees its rows in the same state as in
// the level-by-level order, so the results are the same, bit for bit.
//
// The order of the work:
// 1. Low levels, 3..s+1 (the levels inside a copy of T(s)), whose blocks
//    have fewer groups than a vector has lanes. W copies of T(s) are
//    transposed into a buffer that fits L1, one lane per copy; every low
//    level runs there on whole vectors, and the copies are transposed back.
//    s is the deepest level whose buffer fits, with theta_s >= W.
// 2. Higher levels in place, vectorised across the groups t of a block:
//    consecutive t are consecutive rows of every plane. When W does not
//    divide A, the last, overlapping vector of groups is combined first,
//    kept aside and stored last: groups are independent, so the overlap is
//    written twice with the same values.
// 3. Depth first: a region, a copy of T(m) that fits in L2, gets all its
//    levels before the next region is touched; the levels above stream the
//    table once per level (for q <= 3 once per two levels), fetching each of
//    their q * q streams ahead by hand.
#pragma once

#ifndef WDIST_QARY_VECTOR_BYTES
#error "define WDIST_QARY_VECTOR_BYTES before including qary_body.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "field/elements.h"

namespace wdist {
namespace {

using Row = std::uint64_t;  // a row index or offset of the point table

constexpr int kMaxDepth = 32;  // theta_k is tabled for k <= 32

// Arrays of Q entries a side. The kernels compute with Q as an int; it is a
// positive template constant, so its conversion to a bound keeps its value.
template <int Q>
inline constexpr std::size_t kSize = static_cast<std::size_t>(Q);
template <int Q, class T>
using Line = T[kSize<Q>];
template <int Q, class T>
using Square = T[kSize<Q>][kSize<Q>];
template <int Q, class T>
using Cube = T[kSize<Q>][kSize<Q>][kSize<Q>];

template <class U>
struct VectorOf {
  typedef U type __attribute__((vector_size(WDIST_QARY_VECTOR_BYTES)));
};

template <class U>
using Vec = typename VectorOf<U>::type;

template <class U>
constexpr unsigned kLanes = WDIST_QARY_VECTOR_BYTES / sizeof(U);

#define WDIST_QARY_INLINE inline __attribute__((always_inline))
#define WDIST_QARY_LAMBDA_INLINE __attribute__((always_inline))

template <class U>
WDIST_QARY_INLINE Vec<U> load_vec(const U* p) {
  Vec<U> x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

template <class U>
WDIST_QARY_INLINE void store_vec(U* p, Vec<U> x) {
  std::memcpy(p, &x, sizeof x);
}

// --- Element codes, at compile time only -----------------------------------

// The butterflies' index patterns come from the one element arithmetic
// (field/elements.h), evaluated as template constants only: nothing of it
// is ever emitted into a kernel.
template <int Q>
constexpr int code_mul(int a, int b) {
  return element_mul(Q, a, b);
}

template <int Q>
constexpr int code_sub(int e, int x) {
  return element_sub(Q, e, x);
}

// --- The butterfly ---------------------------------------------------------

// s[b][e] is entry e of the group's row in sub-block b (scratch row b + 1);
// output row a takes at entry e the sum over b of s[b][e - a*b]. Every index
// is a template constant: each output is a fixed sum of Q terms, no table,
// no loop. T is a vector of lanes or a single counter.
template <int Q, int A, int E, class T, std::size_t... Bs>
WDIST_QARY_INLINE T butterfly_entry(const Square<Q, T>& s, std::index_sequence<Bs...>) {
  return static_cast<T>((s[Bs][code_sub<Q>(E, code_mul<Q>(A, static_cast<int>(Bs)))] + ...));
}

template <int Q, int A, class T, std::size_t... Es>
WDIST_QARY_INLINE void butterfly_row(const Square<Q, T>& s, Square<Q, T>& r, std::index_sequence<Es...>) {
  ((r[A][Es] = butterfly_entry<Q, A, static_cast<int>(Es)>(s, std::make_index_sequence<kSize<Q>>{})), ...);
}

template <int Q, class T, std::size_t... As>
WDIST_QARY_INLINE void butterfly_rows(const Square<Q, T>& s, Square<Q, T>& r, std::index_sequence<As...>) {
  (butterfly_row<Q, static_cast<int>(As)>(s, r, std::make_index_sequence<kSize<Q>>{}), ...);
}

template <int Q, class T>
WDIST_QARY_INLINE void butterfly(const Square<Q, T>& s, Square<Q, T>& r) {
  butterfly_rows<Q>(s, r, std::make_index_sequence<kSize<Q>>{});
}

// --- One block of a level over rows of any element type --------------------

// rows[e][d] is entry e of row d, d counted from 1 at the table start (or
// the buffer start); T is a single counter (small tables) or a vector whose
// lanes are independent copies (the transposed low levels).
template <int Q, class T>
void level_block_rows(T* const* rows, Row o, Row A, Row B) {
  // Sub-block 1 takes the top row's count in entry 0 for every group, and
  // the top row becomes the row sums of the first group, sub-block 1
  // including that count; the count is read before the row is overwritten.
  const T top_count = rows[1][o + B];
  Line<Q, T> top;
  for (int b = 0; b < Q; ++b) {
    T sum = b == 1 ? top_count : T{};
    for (int e = 0; e < Q; ++e) sum = static_cast<T>(sum + rows[e][o + 1 + static_cast<Row>(b) * A]);
    top[b] = sum;
  }
  for (Row t = 1; t <= A; ++t) {
    Square<Q, T> s, r;
#pragma GCC unroll 8
    for (int b = 0; b < Q; ++b)
#pragma GCC unroll 8
      for (int e = 0; e < Q; ++e) s[b][e] = rows[e][o + t + static_cast<Row>(b) * A];
    s[1][0] = static_cast<T>(s[1][0] + top_count);
    butterfly<Q>(s, r);
#pragma GCC unroll 8
    for (int a = 0; a < Q; ++a)
#pragma GCC unroll 8
      for (int e = 0; e < Q; ++e) rows[e][o + t + static_cast<Row>(a) * A] = r[a][e];
  }
  for (int b = 0; b < Q; ++b) rows[b][o + B] = top[b];
}

// Levels base+2..m+1 of the copy of T(m) after row o, depth first; the
// levels up to base+1 are done.
template <int Q, class T>
void transform_rows(T* const* rows, Row o, int m, int base, const Row* theta) {
  if (m <= base) return;
  for (int b = 0; b < Q; ++b) transform_rows<Q>(rows, o + static_cast<Row>(b) * theta[m - 1], m - 1, base, theta);
  level_block_rows<Q>(rows, o, theta[m - 1], theta[m]);
}

// --- Shapes ----------------------------------------------------------------

constexpr Row theta_of(int q, int j) {
  Row t = 0;
  for (int i = 0; i < j; ++i) t = t * static_cast<Row>(q) + 1;
  return t;
}

template <int Q, class U>
struct Shape {
  static constexpr unsigned lanes = kLanes<U>;
  // The transposed buffer of the low levels holds at most this many bytes
  // (three quarters of the L1 data cache), unless the smallest depth with
  // theta_s >= W needs more (q = 5 on 64-byte vectors of 16-bit counters).
  static constexpr Row buffer_bytes = Row{24} << 10;
  static constexpr int low_depth() {
    int s = 1;
    while (theta_of(Q, s) < lanes) ++s;
    while (static_cast<Row>(Q) * theta_of(Q, s + 1) * WDIST_QARY_VECTOR_BYTES <= buffer_bytes) ++s;
    return s;
  }
  // s: the low levels are those inside a copy of T(s).
  static constexpr int depth = low_depth();
  static constexpr Row rows = theta_of(Q, depth);
  // A region fills at most half of L2; the other half holds what streams
  // in and out around it.
  static constexpr Row region_bytes = Row{512} << 10;
  // Streams beyond L2 are fetched this far ahead, into L2.
  static constexpr Row ahead = 512 / sizeof(U);
};

// --- Transposes ------------------------------------------------------------

// A W x W tile (W vectors of W lanes) is transposed by log2(W) stages, each
// swapping one bit of the row index with the same bit of the lane index:
// rows i and i + G (bit G of i clear) exchange the lanes whose bit D is set
// in row i with the lanes whose bit D is clear in row i + G. The stages
// commute, so they run in two passes whose groups fit in registers: lane
// bits 4, 8, ... (groups of W/4 rows with the same index mod 4), then lane
// bits 1 and 2 (groups of 4 consecutive rows), each pass loading and
// storing every row once.

template <unsigned Bits>
struct WideLane;
template <>
struct WideLane<16> {
  typedef std::uint32_t type;
};
template <>
struct WideLane<32> {
  typedef std::uint64_t type;
};

// One swap of lane bit D between rows a and b. Lanes of 32 bits or less
// move by a shift and a mask in lanes twice as wide (plain shifts and
// bitwise operations on every target); wider ones as whole 64-bit lanes.
template <class U, unsigned D, std::size_t... C>
WDIST_QARY_INLINE void swap_lanes(Vec<U>& a, Vec<U>& b, std::index_sequence<C...>) {
  constexpr auto bits = static_cast<unsigned>(sizeof(U) * 8 * D);
  if constexpr (bits <= 32) {
    using L = typename WideLane<bits>::type;
    typedef L Wide __attribute__((vector_size(WDIST_QARY_VECTOR_BYTES)));
    constexpr L low = (L{1} << bits) - 1;
    Wide x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    const Wide nx = (x & low) | (y << bits);
    const Wide ny = (x >> bits) | (y & ~low);
    std::memcpy(&a, &nx, sizeof a);
    std::memcpy(&b, &ny, sizeof b);
  } else {
    typedef std::uint64_t Wide __attribute__((vector_size(WDIST_QARY_VECTOR_BYTES)));
    constexpr unsigned W = WDIST_QARY_VECTOR_BYTES / 8, E = bits / 64;
    Wide x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    const Wide nx = __builtin_shufflevector(x, y, ((C & E) != 0 ? W + C - E : C)...);
    const Wide ny = __builtin_shufflevector(x, y, ((C & E) != 0 ? W + C : C + E)...);
    std::memcpy(&a, &nx, sizeof a);
    std::memcpy(&b, &ny, sizeof b);
  }
}

// The stage of lane bit D over a group of N rows held in v, where group
// positions g and g + G are the rows whose index differs in that bit.
template <class U, unsigned D, unsigned G, unsigned N>
WDIST_QARY_INLINE void swap_stage(Vec<U> (&v)[N]) {
  using Wide64 = std::make_index_sequence<WDIST_QARY_VECTOR_BYTES / 8>;
#pragma GCC unroll 16
  for (unsigned g = 0; g < N; ++g)
    if ((g & G) == 0) swap_lanes<U, D>(v[g], v[g + G], Wide64{});
}

// The stages of lane bits 4G, 8G, ... over a group of N = W/4 rows spaced 4
// apart (group position g is row 4g + j).
template <class U, unsigned N, unsigned G>
WDIST_QARY_INLINE void high_bit_stages(Vec<U> (&v)[N]) {
  if constexpr (G < N) {
    swap_stage<U, 4 * G, G, N>(v);
    high_bit_stages<U, N, 2 * G>(v);
  }
}

// Transposes the tile whose row i is load(i) and hands row i of the result
// to store(i, row).
template <class U, class Load, class Store>
WDIST_QARY_INLINE void transpose_tile(Load load, Store store) {
  constexpr unsigned W = kLanes<U>, N = W / 4;
  Vec<U> mid[W];
#pragma GCC unroll 4
  for (unsigned j = 0; j < 4; ++j) {
    Vec<U> g[N];
#pragma GCC unroll 16
    for (unsigned m = 0; m < N; ++m) g[m] = load(4 * m + j);
    high_bit_stages<U, N, 1>(g);
#pragma GCC unroll 16
    for (unsigned m = 0; m < N; ++m) mid[4 * m + j] = g[m];
  }
#pragma GCC unroll 16
  for (unsigned j = 0; j < N; ++j) {
    Vec<U> g[4];
#pragma GCC unroll 4
    for (unsigned m = 0; m < 4; ++m) g[m] = mid[4 * j + m];
    swap_stage<U, 1, 1, 4>(g);
    swap_stage<U, 2, 2, 4>(g);
#pragma GCC unroll 4
    for (unsigned m = 0; m < 4; ++m) store(4 * j + m, g[m]);
  }
}

// --- The transposed low levels ---------------------------------------------

// Up to W copies of T(s), one per lane, whose low levels are done together.
template <int Q, class U>
struct LowBatch {
  static constexpr unsigned W = kLanes<U>;
  static constexpr Row S = Shape<Q, U>::rows;
  Row offsets[W];  // copy j is rows offsets[j] + 1 .. offsets[j] + S
  unsigned count;  // copies collected so far
  Row last_row;    // the table's last row: nothing beyond it is fetched
  Vec<U> x[kSize<Q>][S + 1];  // x[e][r], lane j: entry e of row r of copy j
};

// Tiles of W rows cover rows 1..S of a copy; when W does not divide S the
// last tile starts at S - W and overlaps the one before it, which then is
// loaded and stored twice with the same values (S >= W always).
template <int Q, class U, class Visit>
WDIST_QARY_INLINE void for_each_tile(Visit visit) {
  constexpr Row W = LowBatch<Q, U>::W, S = LowBatch<Q, U>::S;
  Row r0 = 0;
  for (; r0 + W <= S; r0 += W) visit(r0);
  if (r0 < S) visit(S - W);
}

template <int Q, class U>
void run_low_batch(U* const* planes, LowBatch<Q, U>& batch, const Row* theta) {
  constexpr unsigned W = LowBatch<Q, U>::W;
  constexpr Row S = LowBatch<Q, U>::S;
  const unsigned count = batch.count;
  // The copies of the next batch follow this one's in the table. Fetching
  // them into L2 while this batch is loaded hides the memory behind this
  // batch's work (the loads of one tile hop between W copies, which the
  // hardware prefetchers do not follow); one line per loaded row spreads
  // the requests over the loads instead of issuing them in one burst.
  const Row next = batch.offsets[count - 1] + S + 1;
  const Row span = next - 1 - batch.offsets[0];
  const Row end = next + span <= batch.last_row + 1 ? next + span : batch.last_row + 1;
  int fetch_plane = 0;
  Row fetch_row = next;
  auto fetch_ahead = [&]() WDIST_QARY_LAMBDA_INLINE {
    if (fetch_plane == Q || fetch_row >= end) return;
    __builtin_prefetch(planes[fetch_plane] + fetch_row, 1, 2);
    fetch_row += 64 / sizeof(U);
    if (fetch_row >= end) {
      ++fetch_plane;
      fetch_row = next;
    }
  };
  // Lanes without a copy repeat copy 0 and are never stored.
  for (unsigned j = count; j < W; ++j) batch.offsets[j] = batch.offsets[0];
  for (int e = 0; e < Q; ++e)
    for_each_tile<Q, U>([&](Row r0) WDIST_QARY_LAMBDA_INLINE {
      const U* const from = planes[e] + 1 + r0;
      Vec<U>* const to = batch.x[e] + 1 + r0;
      transpose_tile<U>(
          [&](unsigned j) WDIST_QARY_LAMBDA_INLINE {
            fetch_ahead();
            return load_vec(from + batch.offsets[j]);
          },
          [&](unsigned r, Vec<U> row) WDIST_QARY_LAMBDA_INLINE { to[r] = row; });
    });
  Line<Q, Vec<U>*> rows;
  for (int e = 0; e < Q; ++e) rows[e] = batch.x[e];
  transform_rows<Q>(rows, 0, Shape<Q, U>::depth, 1, theta);
  for (int e = 0; e < Q; ++e)
    for_each_tile<Q, U>([&](Row r0) WDIST_QARY_LAMBDA_INLINE {
      U* const to = planes[e] + 1 + r0;
      const Vec<U>* const from = batch.x[e] + 1 + r0;
      transpose_tile<U>([&](unsigned r) WDIST_QARY_LAMBDA_INLINE { return from[r]; },
                        [&](unsigned j, Vec<U> row) WDIST_QARY_LAMBDA_INLINE {
                          if (j < count) store_vec(to + batch.offsets[j], row);
                        });
    });
  batch.count = 0;
}

// Hands every copy of T(s) inside the copy of T(m) after row o to the batch,
// in table order, running the batch whenever it is full.
template <int Q, class U>
void collect_low_copies(U* const* planes, LowBatch<Q, U>& batch, Row o, int m, const Row* theta) {
  if (m == Shape<Q, U>::depth) {
    batch.offsets[batch.count++] = o;
    if (batch.count == LowBatch<Q, U>::W) run_low_batch(planes, batch, theta);
    return;
  }
  for (int b = 0; b < Q; ++b) collect_low_copies(planes, batch, o + static_cast<Row>(b) * theta[m - 1], m - 1, theta);
}

// --- The higher levels, in place -------------------------------------------

// Broadcasts a counter to every lane.
template <class U>
WDIST_QARY_INLINE Vec<U> splat(U value) {
  Vec<U> v;
  for (unsigned j = 0; j < kLanes<U>; ++j) v[j] = value;
  return v;
}

// One block of a level with A >= W, vectorised across the groups t.
template <int Q, class U>
void level_block_planes(U* const* planes, Row o, Row A, Row B) {
  using V = Vec<U>;
  constexpr Row W = kLanes<U>, kAhead = Shape<Q, U>::ahead;
  const U top_count = planes[1][o + B];
  Line<Q, U> top;
  for (int b = 0; b < Q; ++b) {
    U sum = b == 1 ? top_count : U{0};
    for (int e = 0; e < Q; ++e) sum = static_cast<U>(sum + planes[e][o + 1 + static_cast<Row>(b) * A]);
    top[b] = sum;
  }
  const V top_lanes = splat(top_count);
  // Plane e holds the groups of sub-block b from base[e] + b*A; Q plane
  // pointers and Q offsets (rather than Q * Q pointers) keep every address
  // a register pair.
  Line<Q, U*> base;
  for (int e = 0; e < Q; ++e) base[e] = planes[e] + o + 1;
  // A block beyond L2 reads and writes Q * Q streams at once, more than the
  // hardware prefetchers follow: each is fetched ahead by hand.
  const bool far = B * Q * sizeof(U) > Shape<Q, U>::region_bytes;
  auto combine = [&](Row t0, Square<Q, V>& r) WDIST_QARY_LAMBDA_INLINE {
    Square<Q, V> s;
#pragma GCC unroll 8
    for (int b = 0; b < Q; ++b) {
      const Row at = t0 + static_cast<Row>(b) * A;
#pragma GCC unroll 8
      for (int e = 0; e < Q; ++e) s[b][e] = load_vec(base[e] + at);
    }
    s[1][0] += top_lanes;
    butterfly<Q>(s, r);
  };
  auto store = [&](Row t0, const Square<Q, V>& r) WDIST_QARY_LAMBDA_INLINE {
#pragma GCC unroll 8
    for (int a = 0; a < Q; ++a) {
      const Row at = t0 + static_cast<Row>(a) * A;
#pragma GCC unroll 8
      for (int e = 0; e < Q; ++e) store_vec(base[e] + at, r[a][e]);
    }
  };
  const bool ragged = A % W != 0;
  Square<Q, V> last;
  if (ragged) combine(A - W, last);
  for (Row t0 = 0; t0 + W <= A; t0 += W) {
    if (far && t0 + kAhead < A) {
#pragma GCC unroll 8
      for (int b = 0; b < Q; ++b)
#pragma GCC unroll 8
        for (int e = 0; e < Q; ++e) __builtin_prefetch(base[e] + t0 + static_cast<Row>(b) * A + kAhead, 1, 2);
    }
    Square<Q, V> r;
    combine(t0, r);
    store(t0, r);
  }
  if (ragged) store(A - W, last);
  for (int b = 0; b < Q; ++b) planes[b][o + B] = top[b];
}

// Levels base+2..m+1 of the copy of T(m) after row o (theta_base >= W).
template <int Q, class U>
void transform_planes(U* const* planes, Row o, int m, int base, const Row* theta) {
  if (m <= base) return;
  for (int b = 0; b < Q; ++b) transform_planes<Q>(planes, o + static_cast<Row>(b) * theta[m - 1], m - 1, base, theta);
  level_block_planes<Q>(planes, o, theta[m - 1], theta[m]);
}

// Two levels in one pass over the copy of T(M) after row o, whose q*q copies
// of T(M-2) have all their levels: the level of each copy c of T(M-1)
// (A1 = theta_(M-2), B1 = theta_(M-1), top rows o + c*B1 + B1) and the level
// of T(M) (A2 = B1, top row o + B2). For each t = 1..A1 the q*q rows
// o + c*B1 + b*A1 + t are group t of the lower level in copy c (across b)
// and group b*A1 + t of the upper level (across c): both butterflies run on
// them in registers. The lower top rows are the upper level's last group
// (t' = B1), one row per copy, combined apart. Used for q <= 3, whose q^3
// vectors of a step stay in registers.
template <int Q, class U>
void two_level_block_planes(U* const* planes, Row o, Row A1, Row B1, Row B2) {
  using V = Vec<U>;
  constexpr Row W = kLanes<U>, kAhead = Shape<Q, U>::ahead;
  // Every top count is read before any row is written.
  Line<Q, U> lower_count;
  for (int c = 0; c < Q; ++c) lower_count[c] = planes[1][o + static_cast<Row>(c) * B1 + B1];
  const U upper_count = planes[1][o + B2];
  // The lower top rows become the sums of their first group, sub-block 1
  // with its count. The upper top row becomes the sums of its first group
  // after the lower level: that row is then the plain sum of the lower
  // group's rows, so its entries add up to those of the lower top row;
  // copy 1 with the upper count.
  Square<Q, U> lower_top;
  Line<Q, U> upper_top;
  for (int c = 0; c < Q; ++c) {
    U all = c == 1 ? upper_count : U{0};
    for (int b = 0; b < Q; ++b) {
      U sum = b == 1 ? lower_count[c] : U{0};
      for (int e = 0; e < Q; ++e)
        sum = static_cast<U>(sum + planes[e][o + static_cast<Row>(c) * B1 + 1 + static_cast<Row>(b) * A1]);
      lower_top[c][b] = sum;
      all = static_cast<U>(all + sum);
    }
    upper_top[c] = all;
  }
  Line<Q, V> lower_lanes;
  for (int c = 0; c < Q; ++c) lower_lanes[c] = splat(lower_count[c]);
  const V upper_lanes = splat(upper_count);
  Line<Q, U*> base;
  for (int e = 0; e < Q; ++e) base[e] = planes[e] + o + 1;
  const bool far = B2 * Q * sizeof(U) > Shape<Q, U>::region_bytes;
  // x[c][b][e]: entry e of rows o + c*B1 + b*A1 + t for t = t0+1 .. t0+W.
  auto combine = [&](Row t0, Cube<Q, V>& x) WDIST_QARY_LAMBDA_INLINE {
#pragma GCC unroll 8
    for (int c = 0; c < Q; ++c) {
      Square<Q, V> s;
#pragma GCC unroll 8
      for (int b = 0; b < Q; ++b) {
        const Row at = t0 + static_cast<Row>(c) * B1 + static_cast<Row>(b) * A1;
#pragma GCC unroll 8
        for (int e = 0; e < Q; ++e) s[b][e] = load_vec(base[e] + at);
      }
      s[1][0] += lower_lanes[c];
      butterfly<Q>(s, x[c]);
    }
#pragma GCC unroll 8
    for (int b = 0; b < Q; ++b) {
      Square<Q, V> s, r;
#pragma GCC unroll 8
      for (int c = 0; c < Q; ++c)
#pragma GCC unroll 8
        for (int e = 0; e < Q; ++e) s[c][e] = x[c][b][e];
      s[1][0] += upper_lanes;
      butterfly<Q>(s, r);
#pragma GCC unroll 8
      for (int a = 0; a < Q; ++a)
#pragma GCC unroll 8
        for (int e = 0; e < Q; ++e) x[a][b][e] = r[a][e];
    }
  };
  auto store = [&](Row t0, const Cube<Q, V>& x) WDIST_QARY_LAMBDA_INLINE {
#pragma GCC unroll 8
    for (int c = 0; c < Q; ++c)
#pragma GCC unroll 8
      for (int b = 0; b < Q; ++b) {
        const Row at = t0 + static_cast<Row>(c) * B1 + static_cast<Row>(b) * A1;
#pragma GCC unroll 8
        for (int e = 0; e < Q; ++e) store_vec(base[e] + at, x[c][b][e]);
      }
  };
  const bool ragged = A1 % W != 0;
  Cube<Q, V> last;
  if (ragged) combine(A1 - W, last);
  for (Row t0 = 0; t0 + W <= A1; t0 += W) {
    if (far && t0 + kAhead < A1)
#pragma GCC unroll 8
      for (int c = 0; c < Q; ++c)
#pragma GCC unroll 8
        for (int b = 0; b < Q; ++b)
#pragma GCC unroll 8
          for (int e = 0; e < Q; ++e)
            __builtin_prefetch(base[e] + t0 + static_cast<Row>(c) * B1 + static_cast<Row>(b) * A1 + kAhead, 1, 2);
    Cube<Q, V> x;
    combine(t0, x);
    store(t0, x);
  }
  if (ragged) store(A1 - W, last);
  // The upper level's last group: the lower top rows.
  Square<Q, U> s, r;
  for (int c = 0; c < Q; ++c)
    for (int e = 0; e < Q; ++e) s[c][e] = lower_top[c][e];
  s[1][0] = static_cast<U>(s[1][0] + upper_count);
  butterfly<Q>(s, r);
  for (int a = 0; a < Q; ++a)
    for (int e = 0; e < Q; ++e) planes[e][o + static_cast<Row>(a) * B1 + B1] = r[a][e];
  for (int c = 0; c < Q; ++c) planes[c][o + B2] = upper_top[c];
}

// --- The whole table -------------------------------------------------------

template <int Q, class U>
struct TableWalk {
  U* const* planes;
  const Row* theta;
  int region_depth;  // the regions are the copies of T(region_depth)
  LowBatch<Q, U>* batch;
};

// All levels of the copy of T(m) after row o.
template <int Q, class U>
void transform_region(const TableWalk<Q, U>& walk, Row o, int m) {
  const Row* theta = walk.theta;
  if (m > walk.region_depth) {
    // Two levels per pass only where the q^3 vectors of a fused step stay
    // in registers: for larger q they spill, and two single passes are
    // faster even from memory.
    if constexpr (Q <= 3) {
      if (m >= walk.region_depth + 2) {
        for (int c = 0; c < Q; ++c)
          for (int b = 0; b < Q; ++b)
            transform_region(walk, o + static_cast<Row>(c) * theta[m - 1] + static_cast<Row>(b) * theta[m - 2], m - 2);
        two_level_block_planes<Q>(walk.planes, o, theta[m - 2], theta[m - 1], theta[m]);
        return;
      }
    }
    for (int b = 0; b < Q; ++b) transform_region(walk, o + static_cast<Row>(b) * theta[m - 1], m - 1);
    level_block_planes<Q>(walk.planes, o, theta[m - 1], theta[m]);
    return;
  }
  collect_low_copies(walk.planes, *walk.batch, o, m, theta);
  if (walk.batch->count != 0) run_low_batch(walk.planes, *walk.batch, theta);
  transform_planes<Q>(walk.planes, o, m, Shape<Q, U>::depth, theta);
}

template <int Q, class U>
void transform_table(U* const* planes, int k) {
  Row theta[kMaxDepth + 1];
  for (int j = 0; j <= k; ++j) theta[j] = theta_of(Q, j);
  constexpr int s = Shape<Q, U>::depth;
  if (k <= s) {
    // No larger than one copy of T(s): a few hundred rows at most.
    transform_rows<Q>(planes, 0, k, 1, theta);
    return;
  }
  int region = s + 1;
  while (region < k && theta[region + 1] * Q * sizeof(U) <= Shape<Q, U>::region_bytes) ++region;
  // Filled copy by copy as the walk collects them; count says how many hold data.
  LowBatch<Q, U> batch;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  batch.count = 0;
  batch.last_row = theta[k];
  const TableWalk<Q, U> walk{planes, theta, region, &batch};
  transform_region(walk, 0, k);
}

template <class U>
void transform_any(U* const* planes, int q, int k) {
  if (k <= 1 || k > kMaxDepth) return;
  switch (q) {
    case 2: transform_table<2>(planes, k); break;
    case 3: transform_table<3>(planes, k); break;
    case 4: transform_table<4>(planes, k); break;
    case 5: transform_table<5>(planes, k); break;
    case 7: transform_table<7>(planes, k); break;
    default: break;  // no pattern: such records are refused before counting
  }
}

}  // namespace
}  // namespace wdist
