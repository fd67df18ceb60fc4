#include "codefile/head_check.h"

#include <cstdint>
#include <cstdio>

#include "engine/plan.h"
#include "engine/record_rules.h"
#include "field/fields.h"

namespace wdist {

namespace {

bool fits_int32(std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

bool accept_head(const HeadNumbers& head, RecordPath path, const HeadLimits& limits, char* reason,
                 std::size_t reason_size) {
  const std::int64_t k = head.k, n = head.n, q = head.q;
  // Every reason passes its text through a format with at least one
  // argument, so no text is ever read as a format by itself.
  auto refuse = [&](const char* format, auto... values) {
    std::snprintf(reason, reason_size, format, values...);
    return false;
  };
  if (!fits_int32(k) || !fits_int32(n) || !fits_int32(q))
    return refuse("%s", "a head number does not fit a 32-bit integer");
  // The rules every reader shares, in this program's order, the length
  // with this program's own limits and texts.
  if (!engine::dimension_passes(k)) {
    engine::dimension_refusal(engine::Decimal(k).text, reason, reason_size);
    return false;
  }
  if (n < 0) return refuse("n = %lld, the length must not be negative", static_cast<long long>(n));
  // The menu programs keep their own fields (their tables and texts).
  if (!is_menu_field(q))
    return refuse("q = %lld, the field must be one of %s", static_cast<long long>(q), kMenuFieldsText);
  const std::int64_t limit = q == 4 ? limits.length_f4 : limits.length;
  if (n >= limit) {
    if (limits.wide)
      return refuse("n = %lld, this program takes n < %lld for q = %lld", static_cast<long long>(n),
                    static_cast<long long>(limit), static_cast<long long>(q));
    return refuse("n = %lld, this program takes n < %lld for q = %lld (wdist-wide takes longer codes)",
                  static_cast<long long>(n), static_cast<long long>(limit), static_cast<long long>(q));
  }
  if (engine::takes_binary_layout(static_cast<int>(q), n, path == RecordPath::projective_sums)) {
    const std::int64_t dimension = q == 4 ? 2 * k : k;
    if (dimension >= static_cast<std::int64_t>(engine::kBinaryDimensionLimit))
      return refuse("k = %lld, a table of 2^%lld entries cannot be addressed", static_cast<long long>(k),
                    static_cast<long long>(dimension));
    return true;
  }
  if (k > static_cast<std::int64_t>(engine::kProjectiveTableDimension))
    return refuse("k = %lld, the projective layout takes k <= %lld", static_cast<long long>(k),
                  static_cast<long long>(engine::kProjectiveTableDimension));
  std::uint64_t theta = 0;
  if (!projective_point_count(q, k, theta) || theta + 1 > UINT64_MAX / (static_cast<std::uint64_t>(q) * static_cast<std::uint64_t>(limits.counter_bytes)))
    return refuse("k = %lld, a table of (%lld^%lld - 1)/%lld points cannot be addressed", static_cast<long long>(k),
                  static_cast<long long>(q), static_cast<long long>(k), static_cast<long long>(q - 1));
  return true;
}

}  // namespace wdist
