// The generic q-ary kernel on 32-byte vectors (the avx2 path).
#define WDIST_QARY_GENERIC_VECTOR_BYTES 32
#include "transform/qary_generic_body.h"
#include "transform/qary_generic_kernels.h"

namespace wdist::simd_kernels {

void qary_generic_avx2(std::uint16_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }
void qary_generic_avx2(std::uint32_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }

}  // namespace wdist::simd_kernels
