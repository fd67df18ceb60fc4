// The transform counter of this build: the only header that reads
// WDIST_COUNTER_BITS. Everything width-dependent (the Counter type, the
// announced limits on n, the banner's limit line, the two check lines that
// differ between the programs) is keyed off it here.
#pragma once

#include <cstdint>

#ifndef WDIST_COUNTER_BITS
#error "WDIST_COUNTER_BITS must be 16 or 32 (set by the build)"
#endif

static_assert(WDIST_COUNTER_BITS == 16 || WDIST_COUNTER_BITS == 32,
              "WDIST_COUNTER_BITS must be 16 or 32");

namespace wdist {

#if WDIST_COUNTER_BITS == 16
using Counter = std::int16_t;
inline constexpr bool kWideBuild = false;
#else
using Counter = std::int32_t;
inline constexpr bool kWideBuild = true;
#endif

// The announced limits: every transform value lies in -N..N with N the
// (binary) length, so N must fit a signed Counter. n < 2^15 (2^31), and for
// q = 4, whose binary image has length 3n, n < 2^13 (2^29).
inline constexpr std::int64_t kLengthLimit = kWideBuild ? (std::int64_t{1} << 31) : (std::int64_t{1} << 15);
inline constexpr std::int64_t kLengthLimitF4 = kWideBuild ? (std::int64_t{1} << 29) : (std::int64_t{1} << 13);

// Picks the one of two values that belongs to this build's width.
constexpr int by_width(int narrow, int wide) { return kWideBuild ? wide : narrow; }

}  // namespace wdist
