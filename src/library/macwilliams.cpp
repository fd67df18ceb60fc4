#include "library/macwilliams.h"

#include <cmath>

namespace wdist {

bool macwilliams_transform(int q, std::int64_t n, int dual_dimension, const std::vector<mpz_class>& B,
                           std::vector<mpz_class>& A, std::string& error) {
  (void)q;
  (void)n;
  (void)dual_dimension;
  (void)B;
  A.clear();
  error = "the dual route is not built yet";
  return false;
}

double macwilliams_cost(std::int64_t n, std::uint64_t nonzero) {
  (void)n;
  (void)nonzero;
  return HUGE_VAL;  // no dual route yet
}

}  // namespace wdist
