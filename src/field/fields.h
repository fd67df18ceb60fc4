// Which fields the computation takes, and the size of their projective
// spaces: the one place that answers both.
#pragma once

#include <cstdint>

namespace wdist {

using ElemCode = std::uint8_t;  // a field element's code, one byte per matrix entry

}  // namespace wdist

#include "field/galois.h"

namespace wdist {

// Every F_q with q = p^m <= 256, p prime (galois.h lists them): what the
// library, the program and the Python module take. The plan decides how
// each is counted (engine/plan.h).
constexpr bool is_supported_field(std::int64_t q) { return is_galois_order(q); }
inline constexpr char kSupportedFieldsText[] = "the prime powers up to 256";

// F_2, F_3, F_4, F_5 and F_7: the menu programs' fields, one digit per
// entry in their record format and a butterfly for each in the q-ary
// transform.
constexpr bool is_menu_field(std::int64_t q) { return q == 2 || q == 3 || q == 4 || q == 5 || q == 7; }
inline constexpr char kMenuFieldsText[] = "2, 3, 4, 5, 7";

// q^k; false when it does not fit 64 bits (q >= 2, k >= 0).
constexpr bool field_power(std::int64_t q, std::int64_t k, std::uint64_t& power) {
  std::uint64_t p = 1;
  for (std::int64_t i = 0; i < k; ++i) {
    if (p > UINT64_MAX / static_cast<std::uint64_t>(q)) return false;
    p *= static_cast<std::uint64_t>(q);
  }
  power = p;
  return true;
}

// theta_k = (q^k - 1)/(q - 1), the number of points of PG(k-1, q) (and of
// one-dimensional subspaces of F_q^k); false when q^k does not fit 64 bits.
constexpr bool projective_point_count(std::int64_t q, std::int64_t k, std::uint64_t& theta) {
  std::uint64_t power = 0;
  if (!field_power(q, k, power)) return false;
  theta = (power - 1) / static_cast<std::uint64_t>(q - 1);
  return true;
}

// theta_j for j = 0..count-1, as far as q^j fits 64 bits (0 beyond).
constexpr void fill_theta(std::int64_t q, std::uint64_t* theta, int count) {
  for (int j = 0; j < count; ++j) {
    theta[j] = 0;
    projective_point_count(q, j, theta[j]);
  }
}

}  // namespace wdist
