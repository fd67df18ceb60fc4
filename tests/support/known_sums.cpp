#include "support/known_sums.h"

#include <algorithm>
#include <numeric>

#include "support/brute_force.h"
#include "support/library_codes.h"

namespace wdist_test {

namespace {

using Matrix = std::vector<std::vector<int>>;

int random_element(std::mt19937_64& rng, int q) { return static_cast<int>(rng() % static_cast<unsigned>(q)); }

// A random invertible k x k matrix: unit lower triangular times upper
// triangular with a nonzero diagonal, dense in both halves.
Matrix random_invertible(std::mt19937_64& rng, int q, int k) {
  const auto size = static_cast<std::size_t>(k);
  Matrix lower(size, std::vector<int>(size, 0)), upper(size, std::vector<int>(size, 0)), m(size, std::vector<int>(size, 0));
  for (std::size_t i = 0; i < size; ++i) {
    lower[i][i] = 1;
    for (std::size_t j = 0; j < i; ++j) lower[i][j] = random_element(rng, q);
    upper[i][i] = 1 + random_element(rng, q - 1);
    for (std::size_t j = i + 1; j < size; ++j) upper[i][j] = random_element(rng, q);
  }
  for (std::size_t i = 0; i < size; ++i)
    for (std::size_t j = 0; j < size; ++j)
      for (std::size_t l = 0; l < size; ++l) m[i][j] = field_add(q, m[i][j], field_mul(q, lower[i][l], upper[l][j]));
  return m;
}

}  // namespace

KnownCode mixed_direct_sum(std::mt19937_64& rng, int q, const std::vector<Part>& parts, int zero_columns) {
  int k = 0, n = zero_columns;
  for (const Part& p : parts) {
    k += p.k;
    n += p.n;
  }
  // The block-diagonal sum, its distribution the convolution of the parts'.
  Matrix sum(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n), 0));
  std::vector<mpz_class> counts{1};
  KnownCode known;
  int row = 0, column = 0;
  for (const Part& p : parts) {
    const TestCode part = random_code(rng, q, p.k, p.n, false, 0);
    int rank = 0;
    const Weights weights = codeword_weights(part, rank);
    known.rank += rank;
    std::vector<mpz_class> product(counts.size() + weights.size() - 1, 0);
    for (std::size_t a = 0; a < counts.size(); ++a)
      for (std::size_t b = 0; b < weights.size(); ++b) product[a + b] += counts[a] * mpz_class(static_cast<unsigned long>(weights[b]));
    counts = std::move(product);
    for (int i = 0; i < p.k; ++i)
      for (int j = 0; j < p.n; ++j)
        sum[static_cast<std::size_t>(row + i)][static_cast<std::size_t>(column + j)] = entry_of(part, i, j);
    row += p.k;
    column += p.n;
  }
  counts.resize(static_cast<std::size_t>(n) + 1, 0);  // the zero columns add no weight
  known.counts = std::move(counts);

  const Matrix mix = random_invertible(rng, q, k);
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  known.code = wdist::Code{q, k, n, std::vector<wdist::ElemCode>(static_cast<std::size_t>(k) * static_cast<std::size_t>(n))};
  for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i)
    for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
      int v = 0;
      for (std::size_t l = 0; l < static_cast<std::size_t>(k); ++l)
        v = field_add(q, v, field_mul(q, mix[i][l], sum[l][static_cast<std::size_t>(order[j])]));
      known.code.entries[i * static_cast<std::size_t>(n) + j] = static_cast<wdist::ElemCode>(v);
    }
  return known;
}

std::vector<mpz_class> per_subcode(const std::vector<mpz_class>& counts, int q) {
  std::vector<mpz_class> p(counts.size());
  for (std::size_t w = 1; w < counts.size(); ++w) p[w] = counts[w] / (q - 1);
  if (!p.empty()) p[0] = 0;
  return p;
}

}  // namespace wdist_test
