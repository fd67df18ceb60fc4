#include "menu/transform/binary_image.h"

#include <cstddef>
#include <cstdint>

#include "transform/columns.h"

namespace wdist {

void build_binary_image(const GenMatrix& g, GenMatrix& image) {
  const std::int32_t k = g.k, n = g.n;
  for (std::int32_t j = 1; j <= k; ++j) {
    const ElemCode* row = g.a[j];
    for (int b = 0; b < 3; ++b) {
      ElemCode* lower = image.a[j] + static_cast<std::ptrdiff_t>(b) * n;
      ElemCode* upper = image.a[k + j] + static_cast<std::ptrdiff_t>(b) * n;
      for (std::int32_t c = 1; c <= n; ++c) {
        lower[c] = static_cast<ElemCode>(f4_image_entry(row[c] & 3, b, false));
        upper[c] = static_cast<ElemCode>(f4_image_entry(row[c] & 3, b, true));
      }
    }
  }
  image.k = 2 * k;
}

}  // namespace wdist
