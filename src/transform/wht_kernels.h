// The per-target entry points of the Walsh-Hadamard kernel, one set per
// SIMD path, each compiled with its own target flags. Only wht.cpp calls
// them, after choosing the path; the counters are passed as unsigned values
// of their width, whose wrapping bits are those of the signed Counter.
#pragma once

#include <cstdint>

namespace wdist::simd_kernels {

void walsh_hadamard_portable(std::uint16_t* v, unsigned K);
void walsh_hadamard_portable(std::uint32_t* v, unsigned K);
#if WDIST_X86_KERNELS
void walsh_hadamard_avx2(std::uint16_t* v, unsigned K);
void walsh_hadamard_avx2(std::uint32_t* v, unsigned K);
void walsh_hadamard_avx512(std::uint16_t* v, unsigned K);
void walsh_hadamard_avx512(std::uint32_t* v, unsigned K);
#endif

// The lane blocks of the block-wise record, per path (see wht.h).
void fill_and_transform_lanes_portable(std::uint8_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_portable(std::uint16_t* w, unsigned m, const std::uint32_t* slot,
                                       const std::uint8_t* lane, const std::uint64_t* high, std::uint64_t group,
                                       std::uint64_t columns);
void fill_and_transform_lanes_portable(std::uint32_t* w, unsigned m, const std::uint32_t* slot,
                                       const std::uint8_t* lane, const std::uint64_t* high, std::uint64_t group,
                                       std::uint64_t columns);
#if WDIST_X86_KERNELS
void fill_and_transform_lanes_avx2(std::uint8_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_avx2(std::uint16_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                   const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_avx2(std::uint32_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                   const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_avx512(std::uint8_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_avx512(std::uint16_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                     const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
void fill_and_transform_lanes_avx512(std::uint32_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                     const std::uint64_t* high, std::uint64_t group, std::uint64_t columns);
#endif

}  // namespace wdist::simd_kernels
