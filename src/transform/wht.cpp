#include "transform/wht.h"

#include <cstddef>
#include <cstdint>

namespace wdist {

template <class C>
void walsh_hadamard(C* v, unsigned K) {
  const std::uint64_t size = std::uint64_t{1} << K;
  for (std::uint64_t h = size / 2; h > 0; h /= 2)
    for (std::uint64_t b = 0; b < size; b += 2 * h)
      for (std::uint64_t x = b; x < b + h; ++x) {
        const C e = v[x], f = v[x + h];
        v[x] = static_cast<C>(e + f);
        v[x + h] = static_cast<C>(e - f);
      }
}

template void walsh_hadamard<std::int16_t>(std::int16_t*, unsigned);
template void walsh_hadamard<std::int32_t>(std::int32_t*, unsigned);

}  // namespace wdist
