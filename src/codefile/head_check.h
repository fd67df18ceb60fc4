// Which record heads the computation can take. A head is judged right after
// its three numbers are read, before anything is sized, so that a record the
// program cannot compute never allocates or touches the field tables.
#pragma once

#include <cstdint>

namespace wdist {

// The two computation paths differ in the shape of the point table: the
// weight distribution takes q = 2 and 4 through a binary table of 2^K
// entries (K = k, or 2k for the image of an F_4 code) and q = 3, 5, 7
// through the projective layout; the projective sums take every q through
// the projective layout.
enum class RecordPath { weight_distribution, projective_sums };

struct HeadNumbers {
  std::int64_t k;  // as read; may lie outside the 32-bit range (then refused)
  std::int64_t n;
  std::int64_t q;
};

// Writes the reason into `reason` (a full phrase without a newline) and
// returns false when the record must be refused.
bool accept_head(const HeadNumbers& head, RecordPath path, char* reason, std::size_t reason_size);

// theta_k = (q^k - 1) / (q - 1), the number of points of PG(k-1, q); false
// when q^k does not fit 64 bits.
bool projective_point_count(std::int64_t q, std::int64_t k, std::uint64_t& theta);

}  // namespace wdist
