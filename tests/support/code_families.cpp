#include "support/code_families.h"

#include <algorithm>
#include <numeric>

#include "support/brute_force.h"

namespace wdist_test {

namespace {

int negated(int q, int a) { return q == 4 ? a : (q - a) % q; }

std::size_t at(std::int64_t row, std::int64_t n, std::int64_t column) {
  return static_cast<std::size_t>(row * n + column);
}

mpz_class power(long base, unsigned long exponent) {
  mpz_class p;
  mpz_ui_pow_ui(p.get_mpz_t(), static_cast<unsigned long>(base), exponent);
  return p;
}

mpz_class binomial(std::int64_t n, std::int64_t k) {
  mpz_class c = 0;
  if (k >= 0 && k <= n) mpz_bin_uiui(c.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(k));
  return c;
}

// Coefficients of (1 + (q-1)y)^a (1 - y)^b, by the binomial theorem twice.
Counts product_of_powers(int q, std::int64_t a, std::int64_t b) {
  Counts c(static_cast<std::size_t>(a + b) + 1, 0);
  for (std::int64_t s = 0; s <= b; ++s) {
    const mpz_class left = (s % 2 == 0 ? 1 : -1) * binomial(b, s);
    for (std::int64_t t = 0; t <= a; ++t)
      c[static_cast<std::size_t>(s + t)] += left * binomial(a, t) * power(q - 1, static_cast<unsigned long>(t));
  }
  return c;
}

wdist::Code from_rows(int q, std::int64_t n, const std::vector<std::vector<int>>& rows) {
  wdist::Code code{q, static_cast<int>(rows.size()), n, {}};
  for (const auto& row : rows)
    for (int x : row) code.entries.push_back(static_cast<wdist::ElemCode>(x));
  return code;
}

}  // namespace

wdist::Code hamming_code(int q, int m, std::mt19937_64* shuffle) {
  std::vector<std::vector<int>> points = projective_points(q, m);
  if (shuffle != nullptr) std::shuffle(points.begin(), points.end(), *shuffle);
  const auto n = static_cast<std::int64_t>(points.size());
  std::vector<std::int64_t> unit_position(static_cast<std::size_t>(m));
  for (std::int64_t c = 0; c < n; ++c) {
    const auto& v = points[static_cast<std::size_t>(c)];
    if (std::count(v.begin(), v.end(), 0) == m - 1)
      unit_position[static_cast<std::size_t>(std::find(v.begin(), v.end(), 1) - v.begin())] = c;
  }
  // The row of a point v that is no unit vector: 1 at v's column and -v_b
  // at the column of e_b, so that H times the row is v - sum v_b e_b = 0.
  wdist::Code code{q, static_cast<int>(n) - m, n, std::vector<wdist::ElemCode>(static_cast<std::size_t>((n - m) * n), 0)};
  std::int64_t row = 0;
  for (std::int64_t c = 0; c < n; ++c) {
    const auto& v = points[static_cast<std::size_t>(c)];
    if (std::count(v.begin(), v.end(), 0) == m - 1) continue;
    code.entries[at(row, n, c)] = 1;
    for (int b = 0; b < m; ++b)
      code.entries[at(row, n, unit_position[static_cast<std::size_t>(b)])] =
          static_cast<wdist::ElemCode>(negated(q, v[static_cast<std::size_t>(b)]));
    ++row;
  }
  return code;
}

Counts hamming_weights(int q, int m) {
  const mpz_class size = power(q, static_cast<unsigned long>(m));
  const std::int64_t n = (size.get_si() - 1) / (q - 1);
  const std::int64_t d = power(q, static_cast<unsigned long>(m - 1)).get_si();
  const Counts whole = product_of_powers(q, n, 0);
  const Counts simplex_words = product_of_powers(q, n - d, d);
  Counts a(static_cast<std::size_t>(n) + 1);
  for (std::size_t j = 0; j < a.size(); ++j) {
    const mpz_class sum = whole[j] + (size - 1) * simplex_words[j];
    a[j] = sum / size;
  }
  return a;
}

Counts binary_hamming_weights(int m) {
  const std::int64_t n = (std::int64_t{1} << m) - 1;
  Counts a(static_cast<std::size_t>(n) + 1, 0);
  a[0] = 1;
  mpz_class c = 1;  // C(n, j)
  for (std::int64_t j = 1; j < n; ++j) {
    c = c * (n - j + 1) / j;
    const mpz_class before = a[static_cast<std::size_t>(j - 1)] * (n - j + 1);
    a[static_cast<std::size_t>(j + 1)] = (c - a[static_cast<std::size_t>(j)] - before) / (j + 1);
  }
  return a;
}

wdist::Code binary_golay_code() {
  // [I | B] with B the complement of the adjacency matrix of the
  // icosahedron, the classical generator.
  const char* b_rows[12] = {"011111111111", "111011100010", "110111000101", "101110001011",
                            "111100010110", "111000101101", "110001011011", "100010110111",
                            "100101101110", "101011011100", "110110111000", "101101110001"};
  std::vector<std::vector<int>> rows(12, std::vector<int>(24, 0));
  for (int i = 0; i < 12; ++i) {
    rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] = 1;
    for (int j = 0; j < 12; ++j) rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(12 + j)] = b_rows[i][j] - '0';
  }
  return from_rows(2, 24, rows);
}

wdist::Code ternary_golay_code() {
  // [I | A] with A the 6 x 6 matrix built on the quadratic residues mod 5.
  const int a[6][6] = {{0, 1, 1, 1, 1, 1}, {1, 0, 1, 2, 2, 1}, {1, 1, 0, 1, 2, 2},
                       {1, 2, 1, 0, 1, 2}, {1, 2, 2, 1, 0, 1}, {1, 1, 2, 2, 1, 0}};
  std::vector<std::vector<int>> rows(6, std::vector<int>(12, 0));
  for (int i = 0; i < 6; ++i) {
    rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] = 1;
    for (int j = 0; j < 6; ++j) rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(6 + j)] = a[i][j];
  }
  return from_rows(3, 12, rows);
}

wdist::Code direct_sum(const std::vector<wdist::Code>& parts) {
  wdist::Code sum{parts.front().q, 0, 0, {}};
  for (const wdist::Code& p : parts) {
    sum.k += p.k;
    sum.n += p.n;
  }
  sum.entries.assign(static_cast<std::size_t>(sum.k * sum.n), 0);
  std::int64_t row = 0, column = 0;
  for (const wdist::Code& p : parts) {
    for (int i = 0; i < p.k; ++i)
      for (std::int64_t j = 0; j < p.n; ++j) sum.entries[at(row + i, sum.n, column + j)] = p.entries[at(i, p.n, j)];
    row += p.k;
    column += p.n;
  }
  return sum;
}

Counts convolution(const Counts& a, const Counts& b) {
  Counts c(a.size() + b.size() - 1, 0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) c[i + j] += a[i] * b[j];
  return c;
}

wdist::Code disguised(const wdist::Code& code, std::mt19937_64& rng) {
  const int q = code.q, k = code.k;
  const std::int64_t n = code.n;
  auto random_below = [&rng](std::uint64_t bound) { return rng() % bound; };
  std::vector<wdist::ElemCode> g = code.entries;
  // Invertible row operations: adding multiples of other rows, then
  // scaling by nonzero elements, then a permutation of the rows.
  for (int step = 0; k >= 2 && step < 4 * k; ++step) {
    const auto target = static_cast<std::int64_t>(random_below(static_cast<std::uint64_t>(k)));
    auto source = static_cast<std::int64_t>(random_below(static_cast<std::uint64_t>(k - 1)));
    if (source >= target) ++source;
    const int factor = 1 + static_cast<int>(random_below(static_cast<std::uint64_t>(q - 1)));
    for (std::int64_t j = 0; j < n; ++j)
      g[at(target, n, j)] = static_cast<wdist::ElemCode>(
          field_add(q, g[at(target, n, j)], field_mul(q, factor, g[at(source, n, j)])));
  }
  std::vector<std::int64_t> row_order(static_cast<std::size_t>(k)), column_order(static_cast<std::size_t>(n));
  std::iota(row_order.begin(), row_order.end(), 0);
  std::iota(column_order.begin(), column_order.end(), 0);
  std::shuffle(row_order.begin(), row_order.end(), rng);
  std::shuffle(column_order.begin(), column_order.end(), rng);
  wdist::Code out{q, k, n, std::vector<wdist::ElemCode>(g.size())};
  for (std::int64_t i = 0; i < k; ++i) {
    const int scale = 1 + static_cast<int>(random_below(static_cast<std::uint64_t>(q - 1)));
    for (std::int64_t j = 0; j < n; ++j)
      out.entries[at(i, n, j)] = static_cast<wdist::ElemCode>(
          field_mul(q, scale, g[at(row_order[static_cast<std::size_t>(i)], n, column_order[static_cast<std::size_t>(j)])]));
  }
  return out;
}

Counts enumerated_weights(int q, int k, std::int64_t n, const std::vector<wdist::ElemCode>& rows) {
  // Every message once; a rank-deficient matrix gives each codeword
  // q^(k - rank) times, divided out at the end through A_0.
  std::vector<std::uint64_t> all(static_cast<std::size_t>(n) + 1, 0);
  std::vector<int> message(static_cast<std::size_t>(k), 0), word(static_cast<std::size_t>(n));
  for (;;) {
    std::fill(word.begin(), word.end(), 0);
    for (int i = 0; i < k; ++i) {
      const int x = message[static_cast<std::size_t>(i)];
      if (x == 0) continue;
      for (std::int64_t j = 0; j < n; ++j)
        word[static_cast<std::size_t>(j)] = field_add(q, word[static_cast<std::size_t>(j)], field_mul(q, x, rows[at(i, n, j)]));
    }
    ++all[static_cast<std::size_t>(std::count_if(word.begin(), word.end(), [](int x) { return x != 0; }))];
    int i = 0;
    while (i < k && ++message[static_cast<std::size_t>(i)] == q) message[static_cast<std::size_t>(i++)] = 0;
    if (i == k) break;
  }
  Counts b(all.size());
  for (std::size_t w = 0; w < all.size(); ++w) b[w] = mpz_class(static_cast<unsigned long>(all[w] / all[0]));
  return b;
}

Counts krawtchouk_sums_ref(int q, std::int64_t n, const Counts& B) {
  const auto size = static_cast<std::size_t>(n) + 1;
  // Pascal's triangle and the powers of q - 1, once.
  std::vector<Counts> c(size, Counts(size, 0));
  for (std::size_t a = 0; a < size; ++a) {
    c[a][0] = 1;
    for (std::size_t b = 1; b <= a; ++b) c[a][b] = c[a - 1][b - 1] + (b < a ? c[a - 1][b] : mpz_class(0));
  }
  Counts powers(size, 1);
  for (std::size_t t = 1; t < size; ++t) powers[t] = powers[t - 1] * (q - 1);
  Counts a(size, 0);
  for (std::size_t i = 0; i < size; ++i) {
    if (B[i] == 0) continue;
    for (std::size_t j = 0; j < size; ++j) {
      mpz_class k = 0;
      for (std::size_t s = 0; s <= std::min(i, j); ++s) {
        if (j - s > size - 1 - i) continue;  // C(n - i, j - s) = 0
        const mpz_class term = c[i][s] * c[size - 1 - i][j - s] * powers[j - s];
        if (s % 2 == 0)
          k += term;
        else
          k -= term;
      }
      a[j] += B[i] * k;
    }
  }
  return a;
}

Counts macwilliams_ref(int q, std::int64_t n, int m, const Counts& B) {
  const mpz_class size = power(q, static_cast<unsigned long>(m));
  Counts a = krawtchouk_sums_ref(q, n, B);
  for (mpz_class& x : a) {
    if (!mpz_divisible_p(x.get_mpz_t(), size.get_mpz_t())) return Counts();
    x /= size;
  }
  return a;
}

bool orthogonal(int q, std::int64_t n, const std::vector<wdist::ElemCode>& g, const std::vector<wdist::ElemCode>& h) {
  const auto g_rows = static_cast<std::int64_t>(n == 0 ? 0 : g.size() / static_cast<std::size_t>(n));
  const auto h_rows = static_cast<std::int64_t>(n == 0 ? 0 : h.size() / static_cast<std::size_t>(n));
  for (std::int64_t a = 0; a < g_rows; ++a)
    for (std::int64_t b = 0; b < h_rows; ++b) {
      int dot = 0;
      for (std::int64_t j = 0; j < n; ++j) dot = field_add(q, dot, field_mul(q, g[at(a, n, j)], h[at(b, n, j)]));
      if (dot != 0) return false;
    }
  return true;
}

std::vector<wdist::ElemCode> reduced_echelon_ref(int q, std::int64_t n, std::vector<wdist::ElemCode> rows,
                                                 std::vector<std::int64_t>& pivots) {
  const auto k = static_cast<std::int64_t>(n == 0 ? 0 : rows.size() / static_cast<std::size_t>(n));
  pivots.clear();
  std::int64_t rank = 0;
  for (std::int64_t c = 0; c < n && rank < k; ++c) {
    std::int64_t p = rank;
    while (p < k && rows[at(p, n, c)] == 0) ++p;
    if (p == k) continue;
    for (std::int64_t j = 0; j < n; ++j) std::swap(rows[at(p, n, j)], rows[at(rank, n, j)]);
    const int inverse = field_inv(q, rows[at(rank, n, c)]);
    for (std::int64_t j = 0; j < n; ++j) rows[at(rank, n, j)] = static_cast<wdist::ElemCode>(field_mul(q, inverse, rows[at(rank, n, j)]));
    for (std::int64_t i = 0; i < k; ++i) {
      if (i == rank) continue;
      const int factor = negated(q, rows[at(i, n, c)]);
      for (std::int64_t j = 0; j < n; ++j)
        rows[at(i, n, j)] = static_cast<wdist::ElemCode>(field_add(q, rows[at(i, n, j)], field_mul(q, factor, rows[at(rank, n, j)])));
    }
    pivots.push_back(c);
    ++rank;
  }
  rows.resize(static_cast<std::size_t>(rank * n));
  return rows;
}

int rank_ref(int q, std::int64_t n, const std::vector<wdist::ElemCode>& rows) {
  std::vector<std::int64_t> pivots;
  reduced_echelon_ref(q, n, rows, pivots);
  return static_cast<int>(pivots.size());
}

}  // namespace wdist_test
