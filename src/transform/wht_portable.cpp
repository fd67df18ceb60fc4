// The Walsh-Hadamard kernel on 16-byte vectors (the portable path).
#define WDIST_WHT_VECTOR_BYTES 16
#include "transform/wht_body.h"
#include "transform/wht_kernels.h"

namespace wdist::simd_kernels {

void walsh_hadamard_portable(std::uint16_t* v, unsigned K) { transform_table(v, K); }
void walsh_hadamard_portable(std::uint32_t* v, unsigned K) { transform_table(v, K); }

}  // namespace wdist::simd_kernels
