#include "console/binary_image.h"

#include <cstddef>
#include <cstdint>

#include "field/field_tables.h"

namespace wdist {

void build_binary_image(const GenMatrix& g, GenMatrix& image) {
  const FieldTables& f = field_tables;
  const std::int32_t k = g.k, n = g.n;
  // trace(x * m) for the multipliers m = 1, w, w^2 (codes 1, 2, 3): a nonzero
  // x gives exactly two ones among its three images, which doubles weights.
  constexpr int kLowMultipliers[3] = {1, 2, 3};
  constexpr int kHighMultipliers[3] = {3, 1, 2};
  for (std::int32_t j = 1; j <= k; ++j) {
    const ElemCode* row = g.a[j];
    for (int b = 0; b < 3; ++b) {
      ElemCode* low = image.a[j] + static_cast<std::ptrdiff_t>(b) * n;
      ElemCode* high = image.a[k + j] + static_cast<std::ptrdiff_t>(b) * n;
      for (std::int32_t c = 1; c <= n; ++c) {
        low[c] = static_cast<ElemCode>(f.trace[f.mul[row[c]][kLowMultipliers[b]]]);
        high[c] = static_cast<ElemCode>(f.trace[f.mul[row[c]][kHighMultipliers[b]]]);
      }
    }
  }
  image.k = 2 * k;
}

}  // namespace wdist
