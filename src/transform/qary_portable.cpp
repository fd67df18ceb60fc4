// The q-ary transform kernel on 16-byte vectors (the portable path: SSE2 on any x86-64, plain code elsewhere).
#define WDIST_QARY_VECTOR_BYTES 16
#include "transform/qary_body.h"
#include "transform/qary_kernels.h"

namespace wdist::simd_kernels {

void qary_transform_portable(std::uint16_t* const* planes, int q, int k) { transform_any(planes, q, k); }
void qary_transform_portable(std::uint32_t* const* planes, int q, int k) { transform_any(planes, q, k); }

}  // namespace wdist::simd_kernels
