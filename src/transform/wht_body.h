// The blocked Walsh-Hadamard kernel, written once over GCC vector types and
// compiled once per SIMD target: wht_portable.cpp, wht_avx2.cpp and
// wht_avx512.cpp each define WDIST_WHT_VECTOR_BYTES and include this file.
//
// Everything here has internal linkage on purpose. The same template
// compiled with different target flags must never be merged by the linker,
// or the portable path could end up running AVX-512 code. For the same
// reason the body calls no inline function of the standard library.
//
// Counters are handled as unsigned values of their width: the bits of a
// wrapping signed sum and of an unsigned sum are the same, and unsigned
// arithmetic wraps by definition.
//
// Order of the work. All stages commute, so they may run in any order:
// 1. The table is cut into blocks that fit the L2 cache. Each block runs
//    all of its own stages (strides below the block size) before the next
//    block is touched; inside it, sub-blocks that fit L1 do the same.
//    The smallest strides (inside one vector) are lane shuffles; the next
//    few are done in registers over groups of consecutive vectors.
// 2. The strides of the block size and above are done in passes of radix
//    2^r, r <= 4: one pass loads 2^r vectors at that pass's stride, runs its
//    r stages in registers and stores them back, so each pass streams the
//    table from memory exactly once.
#pragma once

#ifndef WDIST_WHT_VECTOR_BYTES
#error "define WDIST_WHT_VECTOR_BYTES before including wht_body.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace wdist {
namespace {

using Index = std::uint64_t;  // an entry index into the table

template <class U>
struct VectorOf;
// Bytes serve the lane blocks only (their values taken modulo 256).
template <>
struct VectorOf<std::uint8_t> {
  typedef std::uint8_t type __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int8_t lane __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int8_t lane_index;
};
template <>
struct VectorOf<std::uint16_t> {
  typedef std::uint16_t type __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int16_t lane __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int16_t lane_index;
};
template <>
struct VectorOf<std::uint32_t> {
  typedef std::uint32_t type __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int32_t lane __attribute__((vector_size(WDIST_WHT_VECTOR_BYTES)));
  typedef std::int32_t lane_index;
};

template <class U>
using Vec = typename VectorOf<U>::type;

constexpr unsigned log2_of(Index x) {
  unsigned l = 0;
  while (x > 1) {
    x >>= 1;
    ++l;
  }
  return l;
}

template <class U>
struct Shape {
  static constexpr unsigned lanes = WDIST_WHT_VECTOR_BYTES / sizeof(U);
  static constexpr unsigned lanes_log = log2_of(lanes);
  // A sub-block of half the L1 data cache and a block of half the L2: the
  // other halves hold what streams in and out around them.
  static constexpr unsigned l1_log = log2_of((Index{16} << 10) / sizeof(U));
  static constexpr unsigned l2_log = log2_of((Index{512} << 10) / sizeof(U));
};

template <class U>
inline Vec<U> load_vec(const U* p) {
  Vec<U> x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

template <class U>
inline void store_vec(U* p, Vec<U> x) {
  std::memcpy(p, &x, sizeof x);
}

// The stage of stride H inside one vector: lane i pairs with lane i ^ H;
// the lower lane of a pair keeps the sum, the upper one the difference.
// Lane i of the result is lane i ^ H of v; a constant shuffle, which both
// GCC (12 and later) and clang take.
template <class U, unsigned H, unsigned... Lane>
inline Vec<U> partner_lanes(Vec<U> v, std::integer_sequence<unsigned, Lane...>) {
  return __builtin_shufflevector(v, v, static_cast<int>(Lane ^ H)...);
}

template <class U, unsigned H>
inline Vec<U> lane_stage(Vec<U> v) {
  using M = typename VectorOf<U>::lane;
  constexpr unsigned L = Shape<U>::lanes;
  M upper{};
  for (unsigned i = 0; i < L; ++i) upper[i] = (i & H) != 0 ? -1 : 0;
  const Vec<U> p = partner_lanes<U, H>(v, std::make_integer_sequence<unsigned, L>{});
  const Vec<U> sum = v + p;
  const Vec<U> diff = p - v;
  const Vec<U> up = reinterpret_cast<Vec<U>>(upper);
  return (sum & ~up) | (diff & up);
}

template <class U, unsigned H>
inline Vec<U> lane_stages_from(Vec<U> v) {
  if constexpr (H == 0) {
    return v;
  } else {
    return lane_stages_from<U, H / 2>(lane_stage<U, H>(v));
  }
}

// Every stage with a stride below the vector length.
template <class U>
inline Vec<U> lane_stages(Vec<U> v) {
  return lane_stages_from<U, Shape<U>::lanes / 2>(v);
}

// The lane stages of two neighbouring vectors together with the stage
// between them, by butterflies that always pair the two vectors: after
// each butterfly the sums and differences are interleaved, which moves the
// pair's bit to the lowest lane bit, shifts the lane bits up by one and
// brings the highest lane bit to the pair. After lanes_log + 1 rounds every
// bit has had its stage and the layout is back where it started. Each round
// costs one add or subtract and one two-vector shuffle per vector, against
// a shuffle, both operations and a blend for one lane stage alone.
// Lane i of the result takes lane Offset + i/2 of the sums (i even) or of
// the differences (i odd).
template <class U, unsigned Offset, unsigned... Lane>
inline Vec<U> interleave_lanes(Vec<U> sum, Vec<U> diff, std::integer_sequence<unsigned, Lane...>) {
  constexpr unsigned L = sizeof...(Lane);
  return __builtin_shufflevector(sum, diff, static_cast<int>(((Lane & 1) != 0 ? L : 0) + Lane / 2 + Offset)...);
}

template <class U>
inline void paired_lane_stages(Vec<U>& a, Vec<U>& b) {
  constexpr unsigned L = Shape<U>::lanes;
  constexpr auto lanes = std::make_integer_sequence<unsigned, L>{};
#pragma GCC unroll 8
  for (unsigned round = 0; round <= Shape<U>::lanes_log; ++round) {
    const Vec<U> sum = a + b, diff = a - b;
    a = interleave_lanes<U, 0>(sum, diff, lanes);
    b = interleave_lanes<U, L / 2>(sum, diff, lanes);
  }
}

// R stages over 2^R vectors held in registers, from the stage of stride
// 2^First vectors on: x[i] pairs with x[i ^ s].
template <class U, unsigned R, unsigned First = 0>
inline void register_stages(Vec<U>* x) {
  constexpr unsigned n = 1u << R;
#pragma GCC unroll 8
  for (unsigned s = 1u << First; s < n; s <<= 1)
#pragma GCC unroll 32
    for (unsigned i = 0; i < n; ++i)
      if ((i & s) == 0) {
        const Vec<U> a = x[i], b = x[i + s];
        x[i] = a + b;
        x[i + s] = a - b;
      }
}

// R stages across 2^R rows at `stride` entries, over `cols` entries of
// each row from `base` on (stride and cols multiples of the lanes).
template <class U, unsigned R>
void radix_rows(U* base, Index stride, Index cols) {
  constexpr unsigned n = 1u << R;
  constexpr Index L = Shape<U>::lanes;
  for (Index j = 0; j < cols; j += L) {
    Vec<U> x[n];
#pragma GCC unroll 32
    for (unsigned i = 0; i < n; ++i) x[i] = load_vec(base + j + i * stride);
    register_stages<U, R>(x);
#pragma GCC unroll 32
    for (unsigned i = 0; i < n; ++i) store_vec(base + j + i * stride, x[i]);
  }
}

template <class U>
void radix_rows_dispatch(unsigned r, U* base, Index stride, Index cols) {
  switch (r) {
    case 1: radix_rows<U, 1>(base, stride, cols); break;
    case 2: radix_rows<U, 2>(base, stride, cols); break;
    case 3: radix_rows<U, 3>(base, stride, cols); break;
    default: radix_rows<U, 4>(base, stride, cols); break;
  }
}

// Stages `first` .. `last` - 1 (strides 2^first ..) over `span` entries,
// in as few register passes as the radix limit allows, the stages spread
// evenly over the passes.
template <class U>
void radix_stages(U* p, Index span, unsigned first, unsigned last, unsigned max_radix) {
  while (first < last) {
    const unsigned left = last - first;
    const unsigned passes = (left + max_radix - 1) / max_radix;
    const unsigned r = (left + passes - 1) / passes;
    const Index stride = Index{1} << first;
    for (Index g = 0; g < span; g += stride << r) radix_rows_dispatch(r, p + g, stride, stride);
    first += r;
  }
}

// Which stages a block transform runs: all of them, or (for lane blocks,
// below) only those across vectors, every lane on its own.
enum class Stages { all, across_vectors };

// The lowest stages of a block of 2^k entries (k >= lanes_log): groups of
// 2^R consecutive vectors, each first through its lane stages (unless only
// the stages across vectors are asked for), then R stages across the group
// in registers.
template <class U, unsigned R, Stages S>
void leaf_pass(U* p, Index span) {
  constexpr unsigned n = 1u << R;
  constexpr Index L = Shape<U>::lanes;
  for (Index g = 0; g < span; g += n * L) {
    Vec<U> x[n];
#pragma GCC unroll 32
    for (unsigned i = 0; i < n; ++i) x[i] = load_vec(p + g + i * L);
    if constexpr (S == Stages::across_vectors) {
      register_stages<U, R>(x);
    } else if constexpr (R == 0) {
      x[0] = lane_stages<U>(x[0]);
    } else {
#pragma GCC unroll 16
      for (unsigned i = 0; i < n; i += 2) paired_lane_stages<U>(x[i], x[i + 1]);
      register_stages<U, R, 1>(x);
    }
#pragma GCC unroll 32
    for (unsigned i = 0; i < n; ++i) store_vec(p + g + i * L, x[i]);
  }
}

// Stages per register pass: 2^4 vectors fill 16 registers. With AVX-512's
// 32 that leaves room for the temporaries; with 16 registers the compiler
// spills a few to L1, which still measures faster than radix 8.
constexpr unsigned kCacheRadixLog = 4;

// The stages S of a block of 2^k entries held in L1.
template <class U, Stages S = Stages::all>
void transform_l1_block(U* p, unsigned k) {
  constexpr unsigned lanes_log = Shape<U>::lanes_log;
  const Index span = Index{1} << k;
  const unsigned above = k - lanes_log;  // stages across vectors
  const unsigned leaf = above < kCacheRadixLog ? above : kCacheRadixLog;
  switch (leaf) {
    case 0: leaf_pass<U, 0, S>(p, span); break;
    case 1: leaf_pass<U, 1, S>(p, span); break;
    case 2: leaf_pass<U, 2, S>(p, span); break;
    case 3: leaf_pass<U, 3, S>(p, span); break;
    default: leaf_pass<U, 4, S>(p, span); break;
  }
  radix_stages(p, span, lanes_log + leaf, k, kCacheRadixLog);
}

// The stages S of a block of 2^k entries held in L2: each L1 sub-block
// first, then the strides between sub-blocks.
template <class U, Stages S = Stages::all>
void transform_l2_block(U* p, unsigned k) {
  constexpr unsigned l1_log = Shape<U>::l1_log;
  if (k <= l1_log) {
    transform_l1_block<U, S>(p, k);
    return;
  }
  const Index span = Index{1} << k, sub = Index{1} << l1_log;
  for (Index b = 0; b < span; b += sub) transform_l1_block<U, S>(p + b, l1_log);
  radix_stages(p, span, l1_log, k, kCacheRadixLog);
}

// Tables smaller than one vector: the plain loops.
template <class U>
void transform_small(U* v, unsigned K) {
  const Index size = Index{1} << K;
  for (Index h = size / 2; h > 0; h /= 2)
    for (Index b = 0; b < size; b += 2 * h)
      for (Index x = b; x < b + h; ++x) {
        const U e = v[x], f = v[x + h];
        v[x] = static_cast<U>(e + f);
        v[x + h] = static_cast<U>(e - f);
      }
}

template <class U>
void transform_table(U* v, unsigned K) {
  if (K < Shape<U>::lanes_log) {
    transform_small(v, K);
    return;
  }
  constexpr unsigned l2_log = Shape<U>::l2_log;
  if (K <= l2_log) {
    transform_l2_block(v, K);
    return;
  }
  // Blocks of twice the size (all of L2) when that saves a whole pass over
  // the table for the strides above the block.
  const unsigned above = K - l2_log;
  const unsigned block_log = above > 1 && (above - 1) % kCacheRadixLog == 0 ? l2_log + 1 : l2_log;
  const Index size = Index{1} << K, block = Index{1} << block_log;
  for (Index b = 0; b < size; b += block) transform_l2_block(v + b, block_log);
  // The strides of a block and above: each register pass streams the
  // whole table from memory once, so these take the largest radix.
  radix_stages(v, size, block_log, K, kCacheRadixLog);
}

// ---------------------------------------------------------------- lane blocks
//
// The block-wise record keeps one independent block in every lane: entry e
// of the block in lane t is lane t of vector e. Its transform then has
// stages across vectors only (no lane shuffles), and a column adds a
// whole Walsh row at once: lane t of row x is (-1)^popcount(t & x).

// Row x of the Walsh matrix of order `lanes` as a vector, at x; its
// negation at lanes + x.
template <class U>
struct LaneRows {
  Vec<U> row[2 * Shape<U>::lanes];
};

template <class U>
LaneRows<U> make_lane_rows() {
  constexpr unsigned L = Shape<U>::lanes;
  LaneRows<U> rows{};
  for (unsigned x = 0; x < L; ++x)
    for (unsigned t = 0; t < L; ++t) {
      const bool odd = (__builtin_popcount(t & x) & 1) != 0;
      rows.row[x][t] = odd ? static_cast<U>(~U{0}) : U{1};
      rows.row[L + x][t] = odd ? U{1} : static_cast<U>(~U{0});
    }
  return rows;
}

// Clears 2^m vectors at w, adds for every column j the Walsh row lane[j]
// (see LaneRows), negated when high[j] & group has odd parity, at vector
// slot[j], then transforms every lane over the vectors.
template <class U>
void fill_and_transform_lanes(U* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                              const std::uint64_t* high, std::uint64_t group, std::uint64_t columns) {
  static const LaneRows<U> rows = make_lane_rows<U>();
  constexpr Index L = Shape<U>::lanes;
  std::memset(w, 0, (L << m) * sizeof(U));
  for (std::uint64_t j = 0; j < columns; ++j) {
    U* at = w + static_cast<Index>(slot[j]) * L;
    const unsigned negated = static_cast<unsigned>(__builtin_parityll(high[j] & group));
    store_vec(at, load_vec(at) + rows.row[lane[j] + negated * L]);
  }
  transform_l2_block<U, Stages::across_vectors>(w, m + Shape<U>::lanes_log);
}

}  // namespace
}  // namespace wdist
