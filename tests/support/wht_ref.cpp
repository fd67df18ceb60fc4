#include "support/wht_ref.h"

#include <type_traits>

namespace wdist_test {

template <class C>
void walsh_hadamard_ref(C* v, unsigned K) {
  using U = std::make_unsigned_t<C>;
  const std::uint64_t size = std::uint64_t{1} << K;
  for (std::uint64_t h = size / 2; h > 0; h /= 2)
    for (std::uint64_t b = 0; b < size; b += 2 * h)
      for (std::uint64_t x = b; x < b + h; ++x) {
        // Unsigned arithmetic of the Counter's width: the wrapping sum and
        // difference, without signed overflow.
        const U e = static_cast<U>(v[x]), f = static_cast<U>(v[x + h]);
        v[x] = static_cast<C>(static_cast<U>(e + f));
        v[x + h] = static_cast<C>(static_cast<U>(e - f));
      }
}

template <class C>
void count_binary_columns_ref(const std::uint8_t* const* rows, unsigned K, std::int32_t n, C* plane) {
  for (std::int32_t i = 1; i <= n; ++i) {
    std::uint64_t d = 0;
    for (unsigned r = 1; r <= K; ++r)
      if (rows[r][i] == 1) d |= std::uint64_t{1} << (r - 1);
    plane[d] = static_cast<C>(plane[d] + 1);
  }
}

template <class C>
void count_binary_weights_ref(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist) {
  for (std::int64_t w = 0; w <= N; ++w) hist[w] = 0;
  const std::uint64_t size = std::uint64_t{1} << K;
  for (std::uint64_t u = 0; u < size; ++u) {
    const std::int64_t W = v[u];
    ++hist[(N - W) >> shift];
  }
}

template void walsh_hadamard_ref<std::int16_t>(std::int16_t*, unsigned);
template void walsh_hadamard_ref<std::int32_t>(std::int32_t*, unsigned);
template void count_binary_columns_ref<std::int16_t>(const std::uint8_t* const*, unsigned, std::int32_t,
                                                      std::int16_t*);
template void count_binary_columns_ref<std::int32_t>(const std::uint8_t* const*, unsigned, std::int32_t,
                                                      std::int32_t*);
template void count_binary_weights_ref<std::int16_t>(const std::int16_t*, unsigned, std::int64_t, unsigned,
                                                      std::uint64_t*);
template void count_binary_weights_ref<std::int32_t>(const std::int32_t*, unsigned, std::int64_t, unsigned,
                                                      std::uint64_t*);

}  // namespace wdist_test
