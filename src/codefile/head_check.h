// Which record heads the computation can take. A head is judged right after
// its three numbers are read, before anything is sized, so that a record the
// program cannot compute never allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codefile/record_reader.h"

namespace wdist {

// The two computation paths differ in the shape of the point table: the
// weight distribution takes q = 2 and 4 through a binary table of 2^K
// entries (K = k, or 2k for the image of an F_4 code) and q = 3, 5, 7
// through the projective layout; the projective sums take every q through
// the projective layout.
enum class RecordPath { weight_distribution, projective_sums };

// What a program takes: lengths below `length` (`length_f4` for q = 4,
// whose binary image is three times as long), and tables whose byte count
// in counters of `counter_bytes` fits 64 bits.
struct HeadLimits {
  std::int64_t length;
  std::int64_t length_f4;
  int counter_bytes;
  bool wide;  // the limits of wdist-wide (the refusal of a long code names no other program)
};
inline constexpr HeadLimits kWideLimits{std::int64_t{1} << 31, std::int64_t{1} << 29, 4, true};
inline constexpr HeadLimits kNarrowLimits{std::int64_t{1} << 15, std::int64_t{1} << 13, 2, false};

// Writes the reason into `reason` (a full phrase without a newline) and
// returns false when the record must be refused.
bool accept_head(const HeadNumbers& head, RecordPath path, const HeadLimits& limits, char* reason,
                 std::size_t reason_size);

}  // namespace wdist
