// The per-target entry points of the weight tally's window kernel. Only
// histogram.cpp calls them, after choosing the path; the portable path has
// no window kernel (its tally counts one value at a time).
#pragma once

#include <cstdint>

namespace wdist::simd_kernels {

// The window: the histogram indices base + (j << step_bits) for j below
// its bins, a multiple of kTallyWindowGroup up to kTallyWindowBins (a code
// whose weights step by 2 or 4, as binary images of F_4 codes and even
// codes do, fills every bin of a window with a step).
inline constexpr unsigned kTallyWindowBins = 32;
inline constexpr unsigned kTallyWindowGroup = 8;
inline constexpr unsigned kTallyWindowStepBitsMax = 3;

#if WDIST_X86_KERNELS
// Each value x of v[0..count) adds 1 at hist[(n - x) >> shift], formed in
// 16-bit wrapping arithmetic as the tally does. The values whose index
// falls in the window are counted in vector lanes and added to its bins at
// the end (so hist must hold the whole window); the others one by one.
// Returns how many values fell outside the window. shift + step_bits <= 8.
std::uint64_t tally_window_avx2(const std::uint16_t* v, std::uint64_t count, std::uint16_t n, unsigned shift,
                                std::uint16_t base, unsigned step_bits, unsigned bins, std::uint64_t* hist);
// The same for values modulo 256: the index is (n - x mod 256) >> shift,
// and the window lies within the 2^(8 - shift) indices of bytes.
std::uint64_t tally_window_bytes_avx2(const std::uint8_t* v, std::uint64_t count, std::uint8_t n, unsigned shift,
                                      std::uint8_t base, unsigned step_bits, unsigned bins, std::uint64_t* hist);
#endif

}  // namespace wdist::simd_kernels
