// The generic q-ary kernel on 16-byte vectors (the portable path: SSE2 on any x86-64, plain code elsewhere).
#define WDIST_QARY_GENERIC_VECTOR_BYTES 16
#include "transform/qary_generic_body.h"
#include "transform/qary_generic_kernels.h"

namespace wdist::simd_kernels {

void qary_generic_portable(std::uint16_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }
void qary_generic_portable(std::uint32_t* const* planes, const GenericQaryPlan& plan) { generic_transform(plan, planes); }

}  // namespace wdist::simd_kernels
