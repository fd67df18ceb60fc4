// The walks of walk.h, written once and compiled once per SIMD target:
// walk_portable.cpp, walk_avx2.cpp and walk_avx512.cpp each define
// WDIST_WALK_PATH (0 portable, 1 AVX2 with the popcnt instruction, 2
// AVX-512 with VPOPCNTQ) and include this file.
//
// Everything here has internal linkage on purpose: the same code compiled
// with different target flags must never be merged by the linker, or the
// portable path could end up running AVX-512 code. For the same reason
// the body calls no inline function of another header (the standard
// library's included); the functions of combinations.cpp it calls are
// compiled once, without target flags.
#pragma once

#ifndef WDIST_WALK_PATH
#error "define WDIST_WALK_PATH before including walk_body.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#if WDIST_WALK_PATH >= 1
#include <immintrin.h>
#endif

// The AVX2 and AVX-512 paths are x86 by design (built only for x86-64,
// chosen at run time); their intrinsics have no portable form.
// NOLINTBEGIN(portability-simd-intrinsics)

#include "enumerate/combinations.h"
#include "enumerate/walk.h"

#ifndef WDIST_WALK_VARIANT
#define WDIST_WALK_VARIANT 1
#endif

namespace wdist {
namespace {

#define WDIST_WALK_INLINE inline __attribute__((always_inline))

using Word = WalkWord;

WDIST_WALK_INLINE unsigned popcount_word(Word x) {
#if WDIST_WALK_PATH == 0
  // No popcount instruction on the base target: the bit-slicing sum.
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<unsigned>((x * 0x0101010101010101ULL) >> 56);
#else
  return static_cast<unsigned>(__builtin_popcountll(x));
#endif
}

// Pairs a < b in lexicographic order (combinations.h), local so that no
// inline function of another unit is called from here.
WDIST_WALK_INLINE std::size_t local_pair_offset(int n, int a) {
  const auto x = static_cast<std::size_t>(a);
  return x * (2 * static_cast<std::size_t>(n) - x - 1) / 2;
}

// Bytes of a vector register of the path, as a GCC vector type: the
// compiler's own operations on it are the path's instructions.
#if WDIST_WALK_PATH == 2
#define WDIST_WALK_VECTOR_BYTES 64
#elif WDIST_WALK_PATH == 1
#define WDIST_WALK_VECTOR_BYTES 32
#else
#define WDIST_WALK_VECTOR_BYTES 16
#endif
typedef std::uint8_t Bytes __attribute__((vector_size(WDIST_WALK_VECTOR_BYTES)));

// ---- The binary scan: the first light entry of a table.

// One word per entry: popcount(s ^ t[e]) <= limit.
WDIST_WALK_INLINE std::size_t light_one_word(Word s, const Word* t, std::size_t from, std::size_t to, unsigned limit) {
  std::size_t e = from;
#if WDIST_WALK_PATH == 2
  const __m512i vs = _mm512_set1_epi64(static_cast<long long>(s));
  const __m512i vl = _mm512_set1_epi64(static_cast<long long>(limit));
  for (; e + 8 <= to; e += 8) {
    const __m512i x = _mm512_xor_si512(vs, _mm512_loadu_si512(t + e));
    const __mmask8 hits = _mm512_cmple_epu64_mask(_mm512_popcnt_epi64(x), vl);
    if (hits != 0) return e + static_cast<std::size_t>(__builtin_ctz(hits));
  }
  if (e < to) {
    const auto tail = static_cast<__mmask8>((1U << (to - e)) - 1);
    const __m512i x = _mm512_xor_si512(vs, _mm512_maskz_loadu_epi64(tail, t + e));
    const __mmask8 hits = _mm512_mask_cmple_epu64_mask(tail, _mm512_popcnt_epi64(x), vl);
    if (hits != 0) return e + static_cast<std::size_t>(__builtin_ctz(hits));
  }
  return to;
#elif WDIST_WALK_PATH == 1
  // AVX2 has no popcount of lanes: each byte's count from two table
  // lookups of its nibbles (vpshufb), summed per 64-bit lane (vpsadbw).
  const __m256i vs = _mm256_set1_epi64x(static_cast<long long>(s));
  const __m256i vl = _mm256_set1_epi64x(static_cast<long long>(limit));
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i counts = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2,
                                          3, 2, 3, 3, 4);
  const __m256i zero = _mm256_setzero_si256();
  const auto heavy = [&](const Word* p) {
    const __m256i x = _mm256_xor_si256(vs, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    const auto low = reinterpret_cast<Bytes>(_mm256_shuffle_epi8(counts, _mm256_and_si256(x, nibble)));
    const auto high = reinterpret_cast<Bytes>(_mm256_shuffle_epi8(counts, _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble)));
    const auto c = reinterpret_cast<__m256i>(low + high);
    return _mm256_cmpgt_epi64(_mm256_sad_epu8(c, zero), vl);
  };
  const auto light_lanes = [](__m256i heavy0, __m256i heavy1) {
    return ~(static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(heavy0))) |
             static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(heavy1))) << 4) & 0xffU;
  };
  for (; e + 8 <= to; e += 8) {
    const __m256i h0 = heavy(t + e), h1 = heavy(t + e + 4);
    if (static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(h0, h1))) != 0xffffffffU)
      return e + static_cast<std::size_t>(__builtin_ctz(light_lanes(h0, h1)));
  }
  if (e < to) {
    // The table is readable 8 entries past `to`: the last block whole,
    // its lanes past `to` masked.
    const unsigned light = light_lanes(heavy(t + e), heavy(t + e + 4)) & ((1U << (to - e)) - 1);
    if (light != 0) return e + static_cast<std::size_t>(__builtin_ctz(light));
  }
  return to;
#else
  // Four entries per test: the rare hit costs a second look, the common
  // miss one branch per four popcounts. (On the AVX2 path the popcnt
  // instruction, eight entries per test, made 1.5e9 steps per CPU second
  // on a random [128,64] code on this project's AMD EPYC machine; the
  // nibble lookups above 2.5e9 in the same run.)
  for (; e + 4 <= to; e += 4) {
    const unsigned a = popcount_word(s ^ t[e]);
    const unsigned b = popcount_word(s ^ t[e + 1]);
    const unsigned c = popcount_word(s ^ t[e + 2]);
    const unsigned d = popcount_word(s ^ t[e + 3]);
    if (((a <= limit) | (b <= limit) | (c <= limit) | (d <= limit)) != 0) {
      if (a <= limit) return e;
      if (b <= limit) return e + 1;
      if (c <= limit) return e + 2;
      return e + 3;
    }
  }
  for (; e < to; ++e)
    if (popcount_word(s ^ t[e]) <= limit) return e;
  return to;
#endif
}

// Several words per entry, dropped as soon as the partial weight passes
// the limit.
WDIST_WALK_INLINE std::size_t light_words(const Word* s, const Word* t, std::size_t words, std::size_t from,
                                          std::size_t to, unsigned limit) {
  for (std::size_t e = from; e < to; ++e) {
    const Word* entry = t + e * words;
    unsigned weight = popcount_word(s[0] ^ entry[0]);
    std::size_t i = 1;
    while (weight <= limit && i < words) {
      weight += popcount_word(s[i] ^ entry[i]);
      ++i;
    }
    if (weight <= limit) return e;
  }
  return to;
}

WDIST_WALK_INLINE std::size_t light_entry(const Word* s, const Word* t, std::size_t words, std::size_t from,
                                          std::size_t to, int limit) {
  if (limit < 0) return to;
  const auto l = static_cast<unsigned>(limit);
  return words == 1 ? light_one_word(s[0], t, from, to, l) : light_words(s, t, words, from, to, l);
}

// ---- The binary walk.

template <bool kOneWord>
void walk_binary_body(const BinaryWalkTables& t, int w, std::uint64_t first, std::uint64_t count, int limit,
                      WalkScratch& scratch, WalkVisitor visit, void* context) {
  if (count == 0 || limit < w) return;
  const int K = t.rows;
  const std::size_t W = kOneWord ? 1 : t.words;
  const bool pairs = w >= 2 && t.pair_words != nullptr;
  const int m = w - (pairs ? 2 : 1);  // prefix positions c[0..m), tail c[m..w)
  const Word* rows = t.row_words;
  const Word* table = pairs ? t.pair_words : rows;
  const std::size_t table_end = pairs ? local_pair_offset(K, K - 1) : static_cast<std::size_t>(K);
  int* c = scratch.ints.data();
  // sums + j * W: the sum of the rows of c[0..j), j = 0..m.
  Word* sums = scratch.words.data();
  Word* word = sums + static_cast<std::size_t>(m + 1) * W;
  combination_of_rank(first, K, w, c);
  for (std::size_t b = 0; b < W; ++b) sums[b] = 0;
  for (int j = 0; j < m; ++j) {
    const Word* row = rows + static_cast<std::size_t>(c[j]) * W;
    Word* to = sums + static_cast<std::size_t>(j + 1) * W;
    const Word* from = to - W;
    for (std::size_t b = 0; b < W; ++b) to[b] = from[b] ^ row[b];
  }
  std::size_t pos = pairs ? local_pair_offset(K, c[m]) + static_cast<std::size_t>(c[m + 1] - c[m] - 1)
                          : static_cast<std::size_t>(c[m]);
  std::uint64_t rank = first;
  std::uint64_t remaining = count;
  int entry_limit = limit - w;
  for (;;) {
    const Word* s = sums + static_cast<std::size_t>(m) * W;
    const std::size_t run_start = pos;
    std::size_t end = table_end;
    if (end - pos > remaining) end = pos + static_cast<std::size_t>(remaining);
    while (pos < end) {
      const std::size_t e = light_entry(s, table, W, pos, end, entry_limit);
      if (e == end) break;
      const Word* entry = table + e * W;
      int weight = w;
      for (std::size_t b = 0; b < W; ++b) {
        word[b] = s[b] ^ entry[b];
        weight += static_cast<int>(popcount_word(word[b]));
      }
      if (pairs) {
        int a = 0, b = 0;
        pair_of_index(e, K, a, b);
        c[m] = a;
        c[m + 1] = b;
      } else {
        c[m] = static_cast<int>(e);
      }
      const WalkHit hit{weight, rank + (e - run_start), c, nullptr, word, nullptr};
      entry_limit = visit(context, hit) - w;
      if (entry_limit < 0) return;
      pos = e + 1;
    }
    remaining -= end - run_start;
    rank += end - run_start;
    if (remaining == 0) return;
    // The next prefix in lexicographic order; position j may rise to
    // K - w + j, leaving room for the positions after it.
    int j = m - 1;
    while (j >= 0 && c[j] == K - w + j) --j;
    if (j < 0) return;
    ++c[j];
    for (int l = j + 1; l < m; ++l) c[l] = c[l - 1] + 1;
    for (int l = j; l < m; ++l) {
      const Word* row = rows + static_cast<std::size_t>(c[l]) * W;
      Word* to = sums + static_cast<std::size_t>(l + 1) * W;
      const Word* from = to - W;
      for (std::size_t b = 0; b < W; ++b) to[b] = from[b] ^ row[b];
    }
    pos = pairs ? local_pair_offset(K, c[m - 1] + 1) : static_cast<std::size_t>(c[m - 1] + 1);
  }
}

// ---- Vectors of bytes over F_q, q > 2.

// out = in + addend, plane by plane (addend form: see QaryWalkTables; the
// lengths are multiples of 64, so whole vectors of every path).
WDIST_WALK_INLINE void add_vector(std::uint8_t* out, const std::uint8_t* in, const std::uint8_t* addend,
                                  std::size_t bytes, int p) {
  const auto prime = static_cast<std::uint8_t>(p);
  for (std::size_t i = 0; i < bytes; i += sizeof(Bytes)) {
    Bytes x, a;
    std::memcpy(&x, in + i, sizeof x);
    std::memcpy(&a, addend + i, sizeof a);
    Bytes r;
    if (p == 2) {
      r = x ^ a;
    } else {
      // x + d = x - (p - d), plus p where that borrows.
      const Bytes borrow = reinterpret_cast<Bytes>(x < a);
      r = x - a + (borrow & prime);
    }
    std::memcpy(out + i, &r, sizeof r);
  }
}

// The columns of a vector (planes of `length` bytes) with a nonzero digit.
WDIST_WALK_INLINE int nonzero_columns(const std::uint8_t* v, int planes, std::size_t length) {
  int count = 0;
#if WDIST_WALK_PATH == 2
  for (std::size_t i = 0; i < length; i += 64) {
    __m512i x = _mm512_loadu_si512(v + i);
    for (int t = 1; t < planes; ++t)
      x = _mm512_or_si512(x, _mm512_loadu_si512(v + static_cast<std::size_t>(t) * length + i));
    count += __builtin_popcountll(_mm512_test_epi8_mask(x, x));
  }
#elif WDIST_WALK_PATH == 1
  const __m256i zero = _mm256_setzero_si256();
  for (std::size_t i = 0; i < length; i += 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + i));
    for (int t = 1; t < planes; ++t)
      x = _mm256_or_si256(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + static_cast<std::size_t>(t) * length + i)));
    const auto zeros = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, zero)));
    count += 32 - __builtin_popcount(zeros);
  }
#else
  for (std::size_t i = 0; i < length; ++i) {
    std::uint8_t x = v[i];
    for (int t = 1; t < planes; ++t) x = static_cast<std::uint8_t>(x | v[static_cast<std::size_t>(t) * length + i]);
    count += x != 0 ? 1 : 0;
  }
#endif
  return count;
}

// The nonzero bytes of one vector.
WDIST_WALK_INLINE int nonzero_bytes(Bytes x) {
#if WDIST_WALK_PATH == 2
  const auto v = reinterpret_cast<__m512i>(x);
  return __builtin_popcountll(_mm512_test_epi8_mask(v, v));
#elif WDIST_WALK_PATH == 1
  const auto zeros = static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(reinterpret_cast<__m256i>(x), _mm256_setzero_si256())));
  return 32 - __builtin_popcount(zeros);
#else
  int count = 0;
  for (std::size_t half = 0; half < 2; ++half) {
    std::uint64_t h = 0;
    std::memcpy(&h, reinterpret_cast<const unsigned char*>(&x) + 8 * half, 8);
    h |= h >> 4;
    h |= h >> 2;
    h |= h >> 1;
    h &= 0x0101010101010101ULL;  // bit 0 of each byte: the byte was nonzero
    count += static_cast<int>((h * 0x0101010101010101ULL) >> 56);
  }
  return count;
#endif
}

WDIST_WALK_INLINE Bytes add_bytes(Bytes x, Bytes a, int p) {
  if (p == 2) return x ^ a;
  const Bytes borrow = reinterpret_cast<Bytes>(x < a);
  return x - a + (borrow & static_cast<std::uint8_t>(p));
}

// The codeword a q-ary walk carries from step to step, in one of two
// forms with the same operations: a single plane of at most 256 bytes held
// in registers (the common case: each step's addition and count then wait
// on no store), or any vector in the scratch memory.
template <std::size_t kChunks>
struct RegisterVector {
  Bytes x[kChunks];
  WDIST_WALK_INLINE void load(const std::uint8_t* from) {
    for (std::size_t j = 0; j < kChunks; ++j) std::memcpy(&x[j], from + j * sizeof(Bytes), sizeof(Bytes));
  }
  WDIST_WALK_INLINE void store(std::uint8_t* to) const {
    for (std::size_t j = 0; j < kChunks; ++j) std::memcpy(to + j * sizeof(Bytes), &x[j], sizeof(Bytes));
  }
  // Adds the tabled vector and returns the nonzero columns of the sum.
  WDIST_WALK_INLINE int add(const std::uint8_t* addend, int p) {
    int count = 0;
    for (std::size_t j = 0; j < kChunks; ++j) {
      Bytes a;
      std::memcpy(&a, addend + j * sizeof(Bytes), sizeof a);
      x[j] = add_bytes(x[j], a, p);
      count += nonzero_bytes(x[j]);
    }
    return count;
  }
  [[nodiscard]] WDIST_WALK_INLINE int nonzero() const {
    int count = 0;
    for (std::size_t j = 0; j < kChunks; ++j) count += nonzero_bytes(x[j]);
    return count;
  }
};

struct MemoryVector {
  std::uint8_t* v;
  int planes;
  std::size_t length;
  WDIST_WALK_INLINE void load(const std::uint8_t* from) const {
    std::memcpy(v, from, static_cast<std::size_t>(planes) * length);
  }
  WDIST_WALK_INLINE void store(std::uint8_t* to) const {
    if (to != v) std::memcpy(to, v, static_cast<std::size_t>(planes) * length);
  }
  WDIST_WALK_INLINE int add(const std::uint8_t* addend, int p) const {
    add_vector(v, v, addend, static_cast<std::size_t>(planes) * length, p);
    return nonzero_columns(v, planes, length);
  }
  [[nodiscard]] WDIST_WALK_INLINE int nonzero() const { return nonzero_columns(v, planes, length); }
};

// ---- The walk over F_q, q > 2.

template <class Vector>
void walk_qary_with(Vector vector, const QaryWalkTables& t, int w, std::uint64_t first, std::uint64_t count,
                    int limit, WalkScratch& scratch, WalkVisitor visit, void* context) {
  const int K = t.rows;
  const int base = t.q - 1;  // values of a Gray digit
  const std::size_t stride = static_cast<std::size_t>(t.planes) * t.length;
  const auto multiple = [&t, base, stride](int row, int code) {
    return t.multiples + (static_cast<std::size_t>(row) * static_cast<std::size_t>(base) +
                          static_cast<std::size_t>(code - 1)) * stride;
  };
  std::uint64_t per_combination = 1;  // base^(w - 1), below the level's size
  for (int i = 1; i < w; ++i) per_combination *= static_cast<std::uint64_t>(base);
  int* c = scratch.ints.data();
  int* gray = c + w;              // digit i: the coefficient of position w - 1 - i, as value 0..base-1
  int* direction = gray + w;      // +1 or -1
  // sums + j * stride: the rows of c[0..j) added with coefficient 1.
  std::uint8_t* sums = scratch.bytes.data();
  std::uint8_t* v = sums + static_cast<std::size_t>(w + 1) * stride;  // the hits' copy
  std::uint8_t* coefficients = v + 2 * stride;                         // after the memory vector's place
  std::uint64_t g = first % per_combination;
  combination_of_rank(first / per_combination, K, w, c);
  std::memset(sums, 0, stride);
  for (int j = 0; j < w; ++j) add_vector(sums + static_cast<std::size_t>(j + 1) * stride, sums + static_cast<std::size_t>(j) * stride, multiple(c[j], 1), stride, t.p);
  // The reflected Gray code at index g: digit i counts up while
  // floor(g / base^(i+1)) is even and down while it is odd.
  {
    std::uint64_t rest = g;
    for (int i = 0; i + 1 < w; ++i) {
      const int d = static_cast<int>(rest % static_cast<std::uint64_t>(base));
      rest /= static_cast<std::uint64_t>(base);
      const bool up = rest % 2 == 0;
      gray[i] = up ? d : base - 1 - d;
      direction[i] = up ? 1 : -1;
    }
  }
  coefficients[0] = 1;
  std::memcpy(v, sums + stride, stride);
  for (int i = 0; i + 1 < w; ++i) {
    const int position = w - 1 - i;
    coefficients[position] = static_cast<std::uint8_t>(gray[i] + 1);
    add_vector(v, v, multiple(c[position], gray[i] + 1), stride, t.p);
  }
  vector.load(v);
  int weight_limit = limit - w;
  int nonzero = vector.nonzero();
  std::uint64_t rank = first;
  std::uint64_t remaining = count;
  for (;;) {
    if (nonzero <= weight_limit) {
      vector.store(v);
      const WalkHit hit{w + nonzero, rank, c, coefficients, nullptr, v};
      weight_limit = visit(context, hit) - w;
      if (weight_limit < 0) return;
    }
    if (--remaining == 0) return;
    ++rank;
    if (++g < per_combination) {
      // The lowest digit that can move in its direction moves; the digits
      // below it, each at an end, turn round.
      int i = 0;
      while (gray[i] + direction[i] < 0 || gray[i] + direction[i] >= base) {
        direction[i] = -direction[i];
        ++i;
      }
      const int position = w - 1 - i;
      const int difference = direction[i] > 0 ? t.step_up[gray[i]] : t.step_down[gray[i]];
      gray[i] += direction[i];
      coefficients[position] = static_cast<std::uint8_t>(gray[i] + 1);
      nonzero = vector.add(multiple(c[position], difference), t.p);
      continue;
    }
    g = 0;
    int j = w - 1;
    while (j >= 0 && c[j] == K - w + j) --j;
    if (j < 0) return;
    ++c[j];
    for (int l = j + 1; l < w; ++l) c[l] = c[l - 1] + 1;
    for (int l = j; l < w; ++l)
      add_vector(sums + static_cast<std::size_t>(l + 1) * stride, sums + static_cast<std::size_t>(l) * stride, multiple(c[l], 1), stride, t.p);
    for (int i = 0; i + 1 < w; ++i) {
      gray[i] = 0;
      direction[i] = 1;
      coefficients[i + 1] = 1;
    }
    vector.load(sums + static_cast<std::size_t>(w) * stride);
    nonzero = vector.nonzero();
  }
}

void walk_qary_body(const QaryWalkTables& t, int w, std::uint64_t first, std::uint64_t count, int limit,
                    WalkScratch& scratch, WalkVisitor visit, void* context) {
  if (count == 0 || limit < w) return;
  constexpr std::size_t kPer64 = 64 / sizeof(Bytes);  // vectors per 64 bytes
  if (t.planes == 1 && t.length <= 256) {
    switch (t.length / 64) {
      case 1: walk_qary_with(RegisterVector<kPer64>{}, t, w, first, count, limit, scratch, visit, context); return;
      case 2: walk_qary_with(RegisterVector<2 * kPer64>{}, t, w, first, count, limit, scratch, visit, context); return;
      case 3: walk_qary_with(RegisterVector<3 * kPer64>{}, t, w, first, count, limit, scratch, visit, context); return;
      case 4: walk_qary_with(RegisterVector<4 * kPer64>{}, t, w, first, count, limit, scratch, visit, context); return;
      default: break;
    }
  }
  const std::size_t stride = static_cast<std::size_t>(t.planes) * t.length;
  // After the sums and the hits' copy.
  const MemoryVector memory{scratch.bytes.data() + static_cast<std::size_t>(w + 2) * stride, t.planes, t.length};
  walk_qary_with(memory, t, w, first, count, limit, scratch, visit, context);
}

}  // namespace
}  // namespace wdist

// NOLINTEND(portability-simd-intrinsics)
