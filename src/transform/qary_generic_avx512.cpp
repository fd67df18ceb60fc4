// The generic q-ary kernel on 64-byte vectors (the avx512 path).
#define WDIST_QARY_GENERIC_VECTOR_BYTES 64
#include "transform/qary_generic_body.h"
#include "transform/qary_generic_kernels.h"

namespace wdist::simd_kernels {

void qary_generic_avx512(std::uint16_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }
void qary_generic_avx512(std::uint32_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }

}  // namespace wdist::simd_kernels
