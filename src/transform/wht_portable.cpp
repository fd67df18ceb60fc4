// The Walsh-Hadamard kernel on 16-byte vectors (the portable path).
#define WDIST_WHT_VECTOR_BYTES 16
#include "transform/wht_body.h"
#include "transform/wht_kernels.h"

namespace wdist::simd_kernels {

void walsh_hadamard_portable(std::uint16_t* v, unsigned K) { transform_table(v, K); }
void walsh_hadamard_portable(std::uint32_t* v, unsigned K) { transform_table(v, K); }

void fill_and_transform_lanes_portable(std::uint8_t* w, unsigned m, const std::uint32_t* slot, const std::uint8_t* lane,
    const std::uint64_t* high, std::uint64_t group, std::uint64_t columns) {
  fill_and_transform_lanes(w, m, slot, lane, high, group, columns);
}
void fill_and_transform_lanes_portable(std::uint16_t* w, unsigned m, const std::uint32_t* slot,
                                       const std::uint8_t* lane, const std::uint64_t* high, std::uint64_t group,
                                       std::uint64_t columns) {
  fill_and_transform_lanes(w, m, slot, lane, high, group, columns);
}
void fill_and_transform_lanes_portable(std::uint32_t* w, unsigned m, const std::uint32_t* slot,
                                       const std::uint8_t* lane, const std::uint64_t* high, std::uint64_t group,
                                       std::uint64_t columns) {
  fill_and_transform_lanes(w, m, slot, lane, high, group, columns);
}

}  // namespace wdist::simd_kernels
