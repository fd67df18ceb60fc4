// The rules every record passes whoever reads it (the library's check of a
// Code, its record reader, the menu programs' head checks), with their
// texts, written once. Each reader keeps its own order of the rules and
// adds its own limits (the menu programs' lengths and tables); the number
// in a text is shown as the reader has it: a decimal value, or the number
// as written in the input when it does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "field/fields.h"

namespace wdist::engine {

// q: one of the supported fields (field/fields.h).
inline bool field_passes(std::int64_t q) { return is_supported_field(q); }
// k: at least one row.
inline bool dimension_passes(std::int64_t k) { return k >= 1; }
// n: 0 <= n < 2^31, the columns a 32-bit index numbers.
inline bool length_passes(std::int64_t n) { return n >= 0 && n < (std::int64_t{1} << 31); }

inline void field_refusal(const char* q_shown, char* out, std::size_t size) {
  std::snprintf(out, size, "q = %s, the field must be one of %s", q_shown, kSupportedFieldsText);
}
inline void dimension_refusal(const char* k_shown, char* out, std::size_t size) {
  std::snprintf(out, size, "k = %s, the dimension must be at least 1", k_shown);
}
inline void length_refusal(const char* n_shown, char* out, std::size_t size) {
  std::snprintf(out, size, "n = %s, the length must lie in 0 .. 2^31 - 1", n_shown);
}

// A value as a reader without a written form shows it.
struct Decimal {
  explicit Decimal(std::int64_t value) { std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value)); }
  char text[24] = {};
};

}  // namespace wdist::engine
