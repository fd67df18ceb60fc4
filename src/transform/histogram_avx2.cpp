// The weight tally's window kernel on 32-byte vectors (the avx2 path).
//
// A code's weights gather around their mean, so most histogram indices of a
// table fall into a few consecutive bins. Scalar counting pays one
// load-add-store per value; here 32 indices are narrowed to bytes relative
// to the window, and each window bin is counted by one compare-equal
// subtracted into 32 byte counters (a count per lane and bin). The indices
// outside the window are found by one mask and counted one by one.
#include <immintrin.h>

#include <algorithm>

#include "transform/histogram_kernels.h"

// The avx2 path is x86 by design (built only for x86-64, chosen at run
// time); its intrinsics have no portable form.
// NOLINTBEGIN(portability-simd-intrinsics)

namespace wdist::simd_kernels {

namespace {

// Lane-wise arithmetic in the vector types' own operators (the compiler
// emits the same instructions as the intrinsics would).
using Bytes = std::uint8_t __attribute__((vector_size(32)));
using Words = std::uint16_t __attribute__((vector_size(32)));

inline __m256i sub_bytes(__m256i a, __m256i b) { return reinterpret_cast<__m256i>(Bytes(a) - Bytes(b)); }
inline __m256i sub_words(__m256i a, __m256i b) { return reinterpret_cast<__m256i>(Words(a) - Words(b)); }
inline __m256i min_words(__m256i a, __m256i b) {
  const Words x = Words(a), y = Words(b);
  return reinterpret_cast<__m256i>(x < y ? x : y);
}

constexpr unsigned kBins = kTallyWindowBins;  // the most a window has
constexpr std::uint64_t kLanes = 32;
// A byte counter gains at most one per vector: 255 vectors fill it. They
// are also the run whose relative indices are formed first into a buffer
// (8 KiB, in L1) and then counted half a window at a time, so that the
// counters of one half and their bin constants stay in registers.
constexpr std::uint64_t kRunVectors = 255;
constexpr unsigned kHalf = kTallyWindowGroup;

// Relative indices (bytes, in the order a0..7, b0..7, a8..15, b8..15 of the
// 16-bit vectors a, b of 32 values; 255 for every index outside the
// window) of `vectors` vectors of values into run; misses counted into
// hist one by one. Returns the number of misses.
std::uint64_t form_run(const std::uint16_t* v, std::uint64_t vectors, std::uint16_t n, std::uint16_t nb, unsigned shift,
                       unsigned step_bits, unsigned bins, std::uint64_t* hist, __m256i* run) {
  const __m256i nbv = _mm256_set1_epi16(static_cast<short>(nb));
  // The relative index is the difference rotated right by shift +
  // step_bits: bits below that rotate to the top, where they make the
  // index a miss (counted exactly by the scalar path).
  const __m128i sh = _mm_cvtsi32_si128(static_cast<int>(shift + step_bits));
  const __m128i back = _mm_cvtsi32_si128(static_cast<int>(16 - shift - step_bits));
  const __m256i cap = _mm256_set1_epi16(255);
  // Relative indices below the window's bins stay below 128; from there on
  // the saturating add sets the top bit, which movemask collects.
  const __m256i lift = _mm256_set1_epi8(static_cast<char>(128 - bins));
  std::uint64_t misses = 0;
  for (std::uint64_t k = 0; k < vectors; ++k) {
    const std::uint16_t* x = v + k * kLanes;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 16));
    const __m256i da = sub_words(nbv, a), db = sub_words(nbv, b);
    const __m256i ra = min_words(_mm256_or_si256(_mm256_srl_epi16(da, sh), _mm256_sll_epi16(da, back)), cap);
    const __m256i rb = min_words(_mm256_or_si256(_mm256_srl_epi16(db, sh), _mm256_sll_epi16(db, back)), cap);
    const __m256i r = _mm256_packus_epi16(ra, rb);
    _mm256_store_si256(run + k, r);
    auto miss = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(r, lift)));
    while (miss != 0) {
      const auto lane = static_cast<unsigned>(__builtin_ctz(miss));
      miss &= miss - 1;
      const unsigned half = lane >> 4, j = lane & 15;
      const unsigned at = j < 8 ? half * 8 + j : 16 + half * 8 + (j - 8);
      ++hist[static_cast<std::uint16_t>(n - x[at]) >> shift];
      ++misses;
    }
  }
  return misses;
}

// The same for bytes: nb - x is the index relative to the window, shifted
// left by shift, modulo 256. Indices below the window wrap to at least the
// window's end (it lies within the indices of bytes), and with a step the
// indices off its grid keep low bits: both are misses. Bytes stay in their
// lanes, so a miss's lane is its value's.
std::uint64_t form_run(const std::uint8_t* v, std::uint64_t vectors, std::uint8_t n, std::uint8_t nb, unsigned shift,
                       unsigned step_bits, unsigned bins, std::uint64_t* hist, __m256i* run) {
  const __m256i nbv = _mm256_set1_epi8(static_cast<char>(nb));
  const unsigned down = shift + step_bits;
  const __m128i sh = _mm_cvtsi32_si128(static_cast<int>(down));
  // The byte's own bits after a shift of its 16-bit lane.
  const __m256i keep = _mm256_set1_epi8(static_cast<char>(0xFF >> down));
  const __m256i grid = _mm256_set1_epi8(static_cast<char>((1u << down) - 1));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lift = _mm256_set1_epi8(static_cast<char>(128 - bins));
  std::uint64_t misses = 0;
  for (std::uint64_t k = 0; k < vectors; ++k) {
    const std::uint8_t* x = v + k * kLanes;
    const __m256i d = sub_bytes(nbv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x)));
    __m256i r = _mm256_and_si256(_mm256_srl_epi16(d, sh), keep);
    // The bits below shift are zero in every index; those of the step
    // only on the grid.
    if (step_bits != 0) r = _mm256_or_si256(r, _mm256_andnot_si256(_mm256_cmpeq_epi8(_mm256_and_si256(d, grid), zero), _mm256_set1_epi8(-1)));
    _mm256_store_si256(run + k, r);
    auto miss = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_adds_epu8(r, lift)));
    while (miss != 0) {
      const auto lane = static_cast<unsigned>(__builtin_ctz(miss));
      miss &= miss - 1;
      ++hist[static_cast<std::uint8_t>(n - x[lane]) >> shift];
      ++misses;
    }
  }
  return misses;
}

// counts += mask, in counts' own register. Written as intrinsics GCC adds
// into the mask's register and moves the sum back, a move per bin and
// vector on the tally's hottest loop.
inline void add_in_place(__m256i& counts, __m256i mask) { asm("vpaddb %1, %0, %0" : "+x"(counts) : "x"(mask)); }

// Counts bins first .. first + kHalf - 1 of the run into sums (four 64-bit
// sums per bin). The byte counters add the compare masks (-1 per hit), so
// they hold minus the count.
void count_half(const __m256i* run, std::uint64_t vectors, unsigned first, __m256i* sums) {
  __m256i bin[kHalf], counts[kHalf];
#pragma GCC unroll 8
  for (unsigned j = 0; j < kHalf; ++j) {
    bin[j] = _mm256_set1_epi8(static_cast<char>(first + j));
    counts[j] = _mm256_setzero_si256();
  }
  for (std::uint64_t k = 0; k < vectors; ++k) {
    const __m256i r = _mm256_load_si256(run + k);
#pragma GCC unroll 8
    for (unsigned j = 0; j < kHalf; ++j) add_in_place(counts[j], _mm256_cmpeq_epi8(r, bin[j]));
  }
  const __m256i zero = _mm256_setzero_si256();
#pragma GCC unroll 8
  for (unsigned j = 0; j < kHalf; ++j) sums[j] += _mm256_sad_epu8(sub_bytes(zero, counts[j]), zero);
}

// The window's bins into the histogram.
void add_window_sums(const __m256i* sums, unsigned base, unsigned step_bits, unsigned bins, std::uint64_t* hist) {
  for (unsigned j = 0; j < bins; ++j) {
    alignas(32) std::uint64_t s[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(s), sums[j]);
    hist[base + (j << step_bits)] += s[0] + s[1] + s[2] + s[3];
  }
}

// The window tally of 16-bit values or bytes (U). With d = n - (base <<
// shift) - x (wrapping in U), index - base is d >> shift when the index is
// at least base; below base, d wraps to at least 2^bits(U) - (base <<
// shift), whose relative index is at least bins (the window lies within
// the indices of U): a miss like any other.
template <class U>
std::uint64_t tally_window(const U* v, std::uint64_t count, U n, unsigned shift, U base, unsigned step_bits,
                           unsigned bins, std::uint64_t* hist) {
  const auto nb = static_cast<U>(n - (base << shift));
  alignas(32) __m256i run[kRunVectors];
  __m256i sums[kBins];
  std::fill(sums, sums + kBins, _mm256_setzero_si256());
  std::uint64_t misses = 0;
  const std::uint64_t vectors = count / kLanes;
  for (std::uint64_t k = 0; k < vectors; k += kRunVectors) {
    const std::uint64_t step = vectors - k < kRunVectors ? vectors - k : kRunVectors;
    misses += form_run(v + k * kLanes, step, n, nb, shift, step_bits, bins, hist, run);
    for (unsigned first = 0; first < bins; first += kHalf) count_half(run, step, first, sums + first);
  }
  add_window_sums(sums, base, step_bits, bins, hist);
  for (std::uint64_t i = vectors * kLanes; i < count; ++i) {
    const unsigned index = static_cast<unsigned>(static_cast<U>(n - v[i])) >> shift;
    ++hist[index];
    const unsigned rel = index - base;
    misses += rel >> step_bits >= bins || (rel & ((1u << step_bits) - 1)) != 0 ? std::uint64_t{1} : std::uint64_t{0};
  }
  return misses;
}

}  // namespace

std::uint64_t tally_window_avx2(const std::uint16_t* v, std::uint64_t count, std::uint16_t n, unsigned shift,
                                std::uint16_t base, unsigned step_bits, unsigned bins, std::uint64_t* hist) {
  return tally_window(v, count, n, shift, base, step_bits, bins, hist);
}

std::uint64_t tally_window_bytes_avx2(const std::uint8_t* v, std::uint64_t count, std::uint8_t n, unsigned shift,
                                      std::uint8_t base, unsigned step_bits, unsigned bins, std::uint64_t* hist) {
  return tally_window(v, count, n, shift, base, step_bits, bins, hist);
}

}  // namespace wdist::simd_kernels

// NOLINTEND(portability-simd-intrinsics)
