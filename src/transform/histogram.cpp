#include "transform/histogram.h"

#include <cstring>

namespace wdist {

template <class C>
void count_binary_weights(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist) {
  std::memset(hist, 0, static_cast<std::size_t>(N + 1) * sizeof *hist);
  const std::uint64_t size = std::uint64_t{1} << K;
  for (std::uint64_t u = 0; u < size; ++u) ++hist[(N - static_cast<std::int64_t>(v[u])) >> shift];
}

template <class C>
void count_point_weights(const C* entry0, std::uint64_t points, std::int64_t N, std::int64_t bias,
                         std::uint64_t step, std::uint64_t* hist) {
  std::memset(hist, 0, static_cast<std::size_t>(N + 1) * sizeof *hist);
  for (std::uint64_t d = 1; d <= points; ++d) hist[N - bias - static_cast<std::int64_t>(entry0[d])] += step;
}

template void count_binary_weights<std::int16_t>(const std::int16_t*, unsigned, std::int64_t, unsigned,
                                                  std::uint64_t*);
template void count_binary_weights<std::int32_t>(const std::int32_t*, unsigned, std::int64_t, unsigned,
                                                  std::uint64_t*);
template void count_point_weights<std::int16_t>(const std::int16_t*, std::uint64_t, std::int64_t, std::int64_t,
                                                 std::uint64_t, std::uint64_t*);
template void count_point_weights<std::int32_t>(const std::int32_t*, std::uint64_t, std::int64_t, std::int64_t,
                                                 std::uint64_t, std::uint64_t*);

}  // namespace wdist
