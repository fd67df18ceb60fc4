// The random code generator of menu choice 3: a file of code records, all
// with the same k, n and q, entries drawn from the C library's rand().
#pragma once

#include <cstdint>

namespace wdist {

// Writes `number` records of k rows and n columns over F_q to `name`
// (overwritten; seeded from the clock, so two runs in one second agree).
// Parameters the computation cannot take (q not 2, 3, 4, 5, 7; n or k
// negative) are refused with a message and leave the file untouched.
void write_random_codes(const char* name, std::int32_t n, std::int32_t k, std::int32_t q, std::int32_t number);

}  // namespace wdist
