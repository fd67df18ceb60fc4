// The per-target entry points of the q-ary transform kernel (one set per
// SIMD path, each compiled with its own target flags). Only qary.cpp calls
// them, after choosing the path; the counters are passed as unsigned values
// of their width, whose wrapping bits are those of the signed Counter.
// planes[e] is the plane of entry e, e = 0..q-1.
#pragma once

#include <cstdint>

namespace wdist::simd_kernels {

void qary_transform_portable(std::uint16_t* const* planes, int q, int k);
void qary_transform_portable(std::uint32_t* const* planes, int q, int k);
#if WDIST_X86_KERNELS
void qary_transform_avx2(std::uint16_t* const* planes, int q, int k);
void qary_transform_avx2(std::uint32_t* const* planes, int q, int k);
void qary_transform_avx512(std::uint16_t* const* planes, int q, int k);
void qary_transform_avx512(std::uint32_t* const* planes, int q, int k);
#endif

}  // namespace wdist::simd_kernels
