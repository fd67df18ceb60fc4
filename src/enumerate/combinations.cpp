#include "enumerate/combinations.h"

namespace wdist {

std::uint64_t binomial(std::int64_t n, std::int64_t w) {
  if (w < 0 || n < 0 || w > n) return 0;
  if (w > n - w) w = n - w;
  // r * (n - w + i) / i is C(n - w + i, i), an integer at every step; the
  // product before the division is taken in 64 bits while it fits (the
  // walks unrank with many of these) and in 128 bits otherwise.
  std::uint64_t r = 1;
  for (std::int64_t i = 1; i <= w; ++i) {
    const auto factor = static_cast<std::uint64_t>(n - w + i);
    std::uint64_t product = 0;
    if (!__builtin_mul_overflow(r, factor, &product)) {
      r = product / static_cast<std::uint64_t>(i);
      continue;
    }
    const unsigned __int128 wide = static_cast<unsigned __int128>(r) * factor / static_cast<std::uint64_t>(i);
    if (wide >= UINT64_MAX) return UINT64_MAX;
    r = static_cast<std::uint64_t>(wide);
  }
  return r;
}

std::uint64_t combination_rank(const int* c, int n, int w) {
  std::uint64_t sum = 0;
  for (int j = 0; j < w; ++j) sum += binomial(n - 1 - c[j], w - j);
  return binomial(n, w) - 1 - sum;
}

void combination_of_rank(std::uint64_t rank, int n, int w, int* c) {
  // The mirrored positions x_j = n - 1 - c_j decrease; each is the largest
  // x with C(x, w - j) <= what is left of the complement.
  std::uint64_t left = binomial(n, w) - 1 - rank;
  int x = n - 1;
  for (int j = 0; j < w; ++j) {
    std::uint64_t b = binomial(x, w - j);
    while (b > left) {
      --x;
      b = binomial(x, w - j);
    }
    left -= b;
    c[j] = n - 1 - x;
    --x;
  }
}

void pair_of_index(std::uint64_t index, int n, int& a, int& b) {
  int lo = 0, hi = n - 2;  // the first position lies in lo..hi
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (pair_offset(n, mid) <= index)
      lo = mid;
    else
      hi = mid - 1;
  }
  a = lo;
  b = a + 1 + static_cast<int>(index - pair_offset(n, a));
}

}  // namespace wdist
