// The Walsh-Hadamard kernel on 64-byte vectors (the avx512 path).
#define WDIST_WHT_VECTOR_BYTES 64
#include "transform/wht_body.h"
#include "transform/wht_kernels.h"

namespace wdist::simd_kernels {

void walsh_hadamard_avx512(std::uint16_t* v, unsigned K) { transform_table(v, K); }
void walsh_hadamard_avx512(std::uint32_t* v, unsigned K) { transform_table(v, K); }

}  // namespace wdist::simd_kernels
