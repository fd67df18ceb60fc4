// Reading one integer from a stream the way the "%d" conversion does, but
// with a defined result for numbers beyond the 32-bit range.
#pragma once

#include <cstdint>
#include <cstdio>

namespace wdist {

enum class DecimalStatus {
  ok,            // a number was read; the first character after it is left unread
  unreadable,    // no digits where the number should start; the offending character is left unread
  end_of_input,  // the input ended before a digit
  read_error,    // the stream reported an error
};

// Skips white space (newlines included), takes an optional sign and the
// decimal digits. Magnitudes beyond 2^40 saturate there, so any value
// outside the 32-bit range stays recognisable as such.
DecimalStatus read_decimal(std::FILE* in, std::int64_t& value);

// Clamps a value read by read_decimal into the 32-bit range.
std::int32_t clamp_to_int32(std::int64_t value);

}  // namespace wdist
