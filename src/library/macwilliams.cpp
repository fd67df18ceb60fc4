#include "library/macwilliams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace wdist {

namespace {

// The two steps of a Krawtchouk row, in 64-bit integers (where the bounds
// below allow it) and in GMP integers.
//   next = (a * current - b * previous) / d, the division exact;
//   sum += factor * value.
void recurrence_step(std::int64_t& next, std::int64_t current, long a, std::int64_t previous, unsigned long b,
                     unsigned long d) {
  next = (a * current - static_cast<std::int64_t>(b) * previous) / static_cast<std::int64_t>(d);
}
void recurrence_step(mpz_class& next, const mpz_class& current, long a, const mpz_class& previous, unsigned long b,
                     unsigned long d) {
  mpz_mul_si(next.get_mpz_t(), current.get_mpz_t(), a);
  mpz_submul_ui(next.get_mpz_t(), previous.get_mpz_t(), b);
  mpz_divexact_ui(next.get_mpz_t(), next.get_mpz_t(), d);
}
void add_product(std::int64_t& sum, std::int64_t factor, std::int64_t value) { sum += factor * value; }
void add_product(mpz_class& sum, const mpz_class& factor, const mpz_class& value) {
  mpz_addmul(sum.get_mpz_t(), factor.get_mpz_t(), value.get_mpz_t());
}

// Adds b * K_j(i) to sums[j] for j = 0..n, the row K_.(i) by the three-term
// recurrence in j:
//   (j+1) K_{j+1} = ((q-1)(n-j) + j - q i) K_j - (q-1)(n-j+1) K_{j-1},
// K_0 = 1, K_{-1} = 0. Every K_j(i) is an integer, so each division is
// exact; two rolling values and one scratch hold the row.
template <class Int>
void add_krawtchouk_row(long q, long n, long i, const Int& b, Int* sums) {
  Int previous = 0, current = 1, next = 0;
  add_product(sums[0], b, current);
  for (long j = 0; j < n; ++j) {
    recurrence_step(next, current, (q - 1) * (n - j) + j - q * i, previous,
                    static_cast<unsigned long>((q - 1) * (n - j + 1)), static_cast<unsigned long>(j + 1));
    add_product(sums[j + 1], b, next);
    std::swap(previous, current);
    std::swap(current, next);
  }
}

// Whether every value of the sums fits 63 bits, for B_i of absolute
// values adding up to `total`. |K_j(i)| is at most the coefficient of y^j
// in (1 + y)^i (1 + (q-1)y)^(n-i), so at most q^n; a recurrence step
// multiplies values of that size by at most q(n + 1), twice, before it
// divides; a sum is at most total * q^n.
bool sums_fit_64_bits(int q, std::int64_t n, const mpz_class& total) {
  mpz_class largest;
  mpz_ui_pow_ui(largest.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(n));
  const mpz_class step = 2 * static_cast<long>(q) * (n + 1);
  largest *= total > step ? total : step;
  return mpz_sizeinbase(largest.get_mpz_t(), 2) <= 62;
}

}  // namespace

void krawtchouk_sums(int q, std::int64_t n, const std::vector<mpz_class>& B, std::vector<mpz_class>& S) {
  static_assert(sizeof(long) == sizeof(std::int64_t), "the recurrence's coefficients are longs");
  const auto length = static_cast<std::size_t>(n) + 1;
  mpz_class total = 0;
  for (const mpz_class& b : B) total += abs(b);
  if (sums_fit_64_bits(q, n, total)) {
    std::vector<std::int64_t> sums(length, 0);
    for (std::size_t i = 0; i < length; ++i)
      if (B[i] != 0) add_krawtchouk_row<std::int64_t>(q, n, static_cast<long>(i), B[i].get_si(), sums.data());
    S.resize(length);
    for (std::size_t j = 0; j < length; ++j) S[j] = static_cast<long>(sums[j]);
    return;
  }
  S.assign(length, 0);
  for (std::size_t i = 0; i < length; ++i)
    if (B[i] != 0) add_krawtchouk_row<mpz_class>(q, n, static_cast<long>(i), B[i], S.data());
}

bool macwilliams_transform(int q, std::int64_t n, int dual_dimension, const std::vector<mpz_class>& B,
                           std::vector<mpz_class>& A, std::string& error) {
  krawtchouk_sums(q, n, B, A);
  mpz_class size;  // of the dual: q^m
  mpz_ui_pow_ui(size.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(dual_dimension));
  for (std::size_t j = 0; j < A.size(); ++j) {
    const bool negative = A[j] < 0;
    if (negative || !mpz_divisible_p(A[j].get_mpz_t(), size.get_mpz_t())) {
      char text[160];
      std::snprintf(text, sizeof text, "the MacWilliams sum at weight %zu is %s", j,
                    negative ? "negative" : ("not divisible by q^" + std::to_string(dual_dimension)).c_str());
      error = text;
      return false;
    }
    mpz_divexact(A[j].get_mpz_t(), A[j].get_mpz_t(), size.get_mpz_t());
  }
  return true;
}

double macwilliams_cost(int q, std::int64_t n, int dual_dimension) {
  // Measured on an AMD EPYC (Zen 4) against a binary message of the counting
  // routes (bench/dual_bench.cpp, BM_Routes and BM_KrawtchoukSums): the
  // route's fixed part (the dual's generator, the sums' vectors, the
  // division) about 1.5 us; a step of a row about 4 ns in 64-bit integers,
  // 28 ns plus 2 ns a limb in GMP's.
  constexpr double kFixed = 5000;
  constexpr double kStep64 = 13;
  constexpr double kStepBig = 90;
  constexpr double kPerLimb = 7;
  if (n <= 0) return kFixed;
  const double length = static_cast<double>(n) + 1;
  const double bits_per_symbol = std::log2(static_cast<double>(q));
  const double words = std::pow(static_cast<double>(q), dual_dimension);
  const double rows = std::min(length, words);
  // The sums fit 64 bits only for short codes; q^m, the B_i's total, then
  // is small too.
  bool small = false;
  if (static_cast<double>(n) * bits_per_symbol < 62 && dual_dimension < 62) {
    mpz_class total;
    mpz_ui_pow_ui(total.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(dual_dimension));
    small = sums_fit_64_bits(q, n, total);
  }
  const double step = small ? kStep64 : kStepBig + kPerLimb * static_cast<double>(n) * bits_per_symbol / 64;
  return kFixed + rows * length * step;
}

}  // namespace wdist
