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

template void walsh_hadamard<std::int16_t>(std::int16_t*, unsigned);
template void walsh_hadamard<std::int32_t>(std::int32_t*, unsigned);

}  // namespace wdist
