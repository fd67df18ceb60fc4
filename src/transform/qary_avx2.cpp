// The q-ary transform kernel on 32-byte vectors (the avx2 path).
#define WDIST_QARY_VECTOR_BYTES 32
#include "transform/qary_body.h"
#include "transform/qary_kernels.h"

namespace wdist::simd_kernels {

void qary_transform_avx2(std::uint16_t* const* planes, int q, int k) { transform_any(planes, q, k); }
void qary_transform_avx2(std::uint32_t* const* planes, int q, int k) { transform_any(planes, q, k); }

}  // namespace wdist::simd_kernels
