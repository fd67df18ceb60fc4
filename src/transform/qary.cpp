#include "transform/qary.h"

#include <cstdint>
#include <type_traits>

#include "transform/qary_kernels.h"
#include "transform/simd_path.h"

namespace wdist {

template <class C>
void qary_transform(C* const* point, int q, int k) {
  if (q < 2 || q > 7) return;
  // Signed and unsigned counters of one width may alias each other.
  using U = std::make_unsigned_t<C>;
  U* planes[7];
  for (int e = 0; e < q; ++e) planes[e] = reinterpret_cast<U*>(point[e]);
  switch (active_simd_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512: simd_kernels::qary_transform_avx512(planes, q, k); return;
    case SimdPath::avx2: simd_kernels::qary_transform_avx2(planes, q, k); return;
#endif
    default: simd_kernels::qary_transform_portable(planes, q, k); return;
  }
}

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_QARY(C) template void qary_transform<C>(C* const*, int, int);
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_QARY)

}  // namespace wdist
