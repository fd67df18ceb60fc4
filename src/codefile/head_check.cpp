#include "codefile/head_check.h"

#include <cstdint>
#include <cstdio>

#include "store/counter.h"

namespace wdist {

namespace {

constexpr std::int64_t kBinaryDimensionLimit = 62;  // 2^62 Counters would overflow a 64-bit byte count
constexpr std::int64_t kProjectiveDimensionLimit = 32;

bool is_supported_field(std::int64_t q) { return q == 2 || q == 3 || q == 4 || q == 5 || q == 7; }

bool fits_int32(std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

bool projective_point_count(std::int64_t q, std::int64_t k, std::uint64_t& theta) {
  std::uint64_t power = 1;
  for (std::int64_t i = 0; i < k; ++i) {
    if (power > UINT64_MAX / static_cast<std::uint64_t>(q)) return false;
    power *= static_cast<std::uint64_t>(q);
  }
  theta = (power - 1) / static_cast<std::uint64_t>(q - 1);
  return true;
}

bool accept_head(const HeadNumbers& head, RecordPath path, char* reason, std::size_t reason_size) {
  const std::int64_t k = head.k, n = head.n, q = head.q;
  // Every reason passes its text through a format with at least one
  // argument, so no text is ever read as a format by itself.
  auto refuse = [&](const char* format, auto... values) {
    std::snprintf(reason, reason_size, format, values...);
    return false;
  };
  if (!fits_int32(k) || !fits_int32(n) || !fits_int32(q))
    return refuse("%s", "a head number does not fit a 32-bit integer");
  if (k < 1) return refuse("k = %lld, the dimension must be at least 1", static_cast<long long>(k));
  if (n < 0) return refuse("n = %lld, the length must not be negative", static_cast<long long>(n));
  if (!is_supported_field(q)) return refuse("q = %lld, the field must be one of 2, 3, 4, 5, 7", static_cast<long long>(q));
  const std::int64_t limit = q == 4 ? kLengthLimitF4 : kLengthLimit;
  if (n >= limit) {
    if (kWideBuild)
      return refuse("n = %lld, this program takes n < %lld for q = %lld", static_cast<long long>(n),
                    static_cast<long long>(limit), static_cast<long long>(q));
    return refuse("n = %lld, this program takes n < %lld for q = %lld (wdist-wide takes longer codes)",
                  static_cast<long long>(n), static_cast<long long>(limit), static_cast<long long>(q));
  }
  const bool binary_layout = path == RecordPath::weight_distribution && (q == 2 || q == 4);
  if (binary_layout) {
    const std::int64_t dimension = q == 4 ? 2 * k : k;
    if (dimension >= kBinaryDimensionLimit)
      return refuse("k = %lld, a table of 2^%lld entries cannot be addressed", static_cast<long long>(k),
                    static_cast<long long>(dimension));
    return true;
  }
  if (k > kProjectiveDimensionLimit)
    return refuse("k = %lld, the projective layout takes k <= %lld", static_cast<long long>(k),
                  static_cast<long long>(kProjectiveDimensionLimit));
  std::uint64_t theta = 0;
  if (!projective_point_count(q, k, theta) || theta + 1 > UINT64_MAX / (static_cast<std::uint64_t>(q) * sizeof(Counter)))
    return refuse("k = %lld, a table of (%lld^%lld - 1)/%lld points cannot be addressed", static_cast<long long>(k),
                  static_cast<long long>(q), static_cast<long long>(k), static_cast<long long>(q - 1));
  return true;
}

}  // namespace wdist
