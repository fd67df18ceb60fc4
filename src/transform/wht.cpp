#include "transform/wht.h"

#include <cstdint>
#include <type_traits>

#include "transform/simd_path.h"
#include "transform/wht_kernels.h"

namespace wdist {

template <class C>
void walsh_hadamard(C* v, unsigned K) {
  // Signed and unsigned counters of one width may alias each other.
  auto* u = reinterpret_cast<std::make_unsigned_t<C>*>(v);
  switch (active_simd_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512: simd_kernels::walsh_hadamard_avx512(u, K); return;
    case SimdPath::avx2: simd_kernels::walsh_hadamard_avx2(u, K); return;
#endif
    default: simd_kernels::walsh_hadamard_portable(u, K); return;
  }
}

template <class C>
unsigned lane_bits() {
  unsigned bytes = 16;
#if WDIST_X86_KERNELS
  if (active_simd_path() == SimdPath::avx512) bytes = 64;
  if (active_simd_path() == SimdPath::avx2) bytes = 32;
#endif
  unsigned bits = 0;
  while ((sizeof(C) << bits) < bytes) ++bits;
  return bits;
}

template <class C>
void fill_and_transform_lane_blocks(C* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
                                    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns) {
  auto* u = reinterpret_cast<std::make_unsigned_t<C>*>(w);
  switch (active_simd_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512:
      simd_kernels::fill_and_transform_lanes_avx512(u, m, slot, lane, high, group, columns);
      return;
    case SimdPath::avx2: simd_kernels::fill_and_transform_lanes_avx2(u, m, slot, lane, high, group, columns); return;
#endif
    default: simd_kernels::fill_and_transform_lanes_portable(u, m, slot, lane, high, group, columns); return;
  }
}

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_WHT(C)                                                                             \
  template void walsh_hadamard<C>(C*, unsigned);                                                             \
  template unsigned lane_bits<C>();                                                                          \
  template void fill_and_transform_lane_blocks<C>(C*, unsigned, const std::uint32_t*, const std::uint8_t*, \
                                                  const std::uint64_t*, std::uint64_t, std::uint64_t);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_WHT)
template unsigned lane_bits<std::int8_t>();
template void fill_and_transform_lane_blocks<std::int8_t>(std::int8_t*, unsigned, const std::uint32_t*,
                                                          const std::uint8_t*, const std::uint64_t*, std::uint64_t,
                                                          std::uint64_t);

}  // namespace wdist
