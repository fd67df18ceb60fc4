#include "transform/qary_extract.h"

#include <cstring>

namespace wdist {

namespace {

// Codes of few weights put long runs of points on one histogram entry; one
// histogram would then wait on its own last increment for every point.
// Four sub-histograms, taken in turn, keep four increments in flight. They
// hold 32-bit counts in a stack buffer when the histogram is short enough
// (every real length in the narrow program); longer ones are counted
// straight into the 64-bit histogram.
constexpr std::int64_t kSubBins = 4096;
constexpr int kSubCount = 4;
// Points per flush of the sub-histograms: no 32-bit count can wrap.
constexpr std::uint64_t kFlushPoints = std::uint64_t{1} << 30;

template <class C>
void count_into_sub_histograms(const C* entry0, std::uint64_t points, std::int64_t N, std::int64_t bias,
                               std::uint64_t step, std::uint64_t* hist) {
  std::uint32_t sub[kSubCount][kSubBins];
  const auto bins = static_cast<std::size_t>(N + 1);
  const std::int64_t base = N - bias;
  std::uint64_t d = 1;
  while (d <= points) {
    for (auto& s : sub) std::memset(s, 0, bins * sizeof s[0]);
    const std::uint64_t end = points - d + 1 > kFlushPoints ? d + kFlushPoints : points + 1;
    for (; d + kSubCount <= end; d += kSubCount) {
      ++sub[0][base - entry0[d]];
      ++sub[1][base - entry0[d + 1]];
      ++sub[2][base - entry0[d + 2]];
      ++sub[3][base - entry0[d + 3]];
    }
    for (; d < end; ++d) ++sub[0][base - entry0[d]];
    for (std::size_t w = 0; w < bins; ++w) {
      const std::uint64_t count = std::uint64_t{sub[0][w]} + sub[1][w] + sub[2][w] + sub[3][w];
      hist[w] += count * step;
    }
  }
}

}  // namespace

template <class C>
void count_qary_weights(const C* entry0, std::uint64_t points, std::int64_t N, std::int64_t bias, std::uint64_t step,
                        std::uint64_t* hist) {
  if (N < kSubBins) {
    count_into_sub_histograms(entry0, points, N, bias, step, hist);
    return;
  }
  const std::int64_t base = N - bias;
  for (std::uint64_t d = 1; d <= points; ++d) hist[base - entry0[d]] += step;
}

// NOLINTNEXTLINE(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_QARY_EXTRACT(C) \
  template void count_qary_weights<C>(const C*, std::uint64_t, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t*);
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_QARY_EXTRACT)

}  // namespace wdist
