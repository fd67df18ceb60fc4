// Reading one integer from a stream the way the "%d" conversion does, but
// with a defined result for numbers beyond the 32-bit range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace wdist {

enum class DecimalStatus {
  ok,            // a number was read; the first character after it is left unread
  unreadable,    // no digits where the number should start; the offending character is left unread
  end_of_input,  // the input ended before a digit
  read_error,    // the stream reported an error
};

// A number as written, for a message about one that does not fit 64 bits
// (its value is then saturated and must not be shown): its sign and its
// digits from the first nonzero one, quoted whole up to kQuotedDigits of
// them, otherwise only counted (a head may hold a number of a million
// digits).
inline constexpr std::size_t kQuotedDigits = 40;
struct WrittenNumber {
  bool exact = true;                   // the value read is the number written
  bool negative = false;
  std::int64_t digits = 0;             // significant digits
  char quoted[kQuotedDigits + 1] = {};  // the first of them, up to kQuotedDigits, NUL-terminated
};

// Skips white space (newlines included), takes an optional sign and the
// decimal digits. The value is exact when it fits 64 bits; beyond, it
// saturates at +-(2^63 - 1), so any value outside the 32-bit range stays
// recognisable as such. `written` gets the number as written.
DecimalStatus read_decimal(std::FILE* in, std::int64_t& value, WrittenNumber& written);
DecimalStatus read_decimal(std::FILE* in, std::int64_t& value);

// The number for a message: the value when it is exact, otherwise the
// digits as written ("-123456789012345678901234567890") or, beyond
// kQuotedDigits of them, "a number of N digits". `out` holds at least
// kNumberTextSize characters.
inline constexpr std::size_t kNumberTextSize = kQuotedDigits + 48;
void number_text(std::int64_t value, const WrittenNumber& written, char* out, std::size_t size);

// Clamps a value read by read_decimal into the 32-bit range.
std::int32_t clamp_to_int32(std::int64_t value);

}  // namespace wdist
