// Every finite field F_q with q = p^m <= 256, p prime: the one list of the
// fields the engine can take, their defining polynomials, and the
// arithmetic tables of each, built once per field.
//
// Element codes. a is a root of the field's Conway polynomial, a primitive
// element; the element c_0 + c_1 a + ... + c_(m-1) a^(m-1), 0 <= c_j < p,
// has the code c_0 + c_1 p + ... + c_(m-1) p^(m-1), the integer coding the
// common computer-algebra systems share. Its digits c_j (base p) are its
// coordinates over F_p. So a prime field's codes are the residues 0..p-1
// (the Conway polynomial of degree 1 is x - g, g the least primitive root
// mod p, and a = g); F_4's are those of field/elements.h (2 = w, 3 = w^2 =
// w + 1); for p = 2 the code is the bit pattern of the coefficients, and
// addition is exclusive or.
//
// The tables are indexed by codes and hold codes; entries of codes q and
// above are zero. Row a of `mul` is the map x -> a*x: a row operation by a
// scalar reads one row of 256 codes. `log` and `exp` turn products of
// nonzero elements into sums of exponents: exp[log x + log y] = x*y without
// a reduction modulo q - 1.
#pragma once

#include <cstdint>

namespace wdist {

// As in fields.h, which includes this header for its list of fields.
using ElemCode = std::uint8_t;

inline constexpr int kLargestFieldOrder = 256;
inline constexpr int kLargestFieldDegree = 8;  // 2^8

// A monic polynomial over F_p of degree m, coefficient[j] the coefficient
// of x^j (constant term first, coefficient[m] = 1).
struct DefiningPolynomial {
  int q;
  int p;
  int m;
  std::uint8_t coefficient[kLargestFieldDegree + 1];
};

// The Conway polynomials of the fields of degree m >= 2. The prime fields'
// (x - g) are computed, not listed.
inline constexpr DefiningPolynomial kConwayPolynomials[] = {
    {4, 2, 2, {1, 1, 1}},
    {8, 2, 3, {1, 1, 0, 1}},
    {16, 2, 4, {1, 1, 0, 0, 1}},
    {32, 2, 5, {1, 0, 1, 0, 0, 1}},
    {64, 2, 6, {1, 1, 0, 1, 1, 0, 1}},
    {128, 2, 7, {1, 1, 0, 0, 0, 0, 0, 1}},
    {256, 2, 8, {1, 0, 1, 1, 1, 0, 0, 0, 1}},
    {9, 3, 2, {2, 2, 1}},
    {27, 3, 3, {1, 2, 0, 1}},
    {81, 3, 4, {2, 0, 0, 2, 1}},
    {243, 3, 5, {1, 2, 0, 0, 0, 1}},
    {25, 5, 2, {2, 4, 1}},
    {125, 5, 3, {3, 3, 0, 1}},
    {49, 7, 2, {3, 6, 1}},
    {121, 11, 2, {2, 7, 1}},
    {169, 13, 2, {2, 12, 1}},
};

constexpr bool is_prime_number(std::int64_t n) {
  if (n < 2) return false;
  for (std::int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// q = p^m with p prime and 2 <= q <= 256: sets p and m and returns true;
// any other q: false, p and m left as they were.
constexpr bool galois_order(std::int64_t q, int& p, int& m) {
  if (q < 2 || q > kLargestFieldOrder) return false;
  std::int64_t prime = 2;
  while (q % prime != 0) ++prime;
  int degree = 0;
  for (std::int64_t rest = q; rest > 1; rest /= prime, ++degree)
    if (rest % prime != 0) return false;
  p = static_cast<int>(prime);
  m = degree;
  return true;
}

// Whether the engine's field module knows F_q.
constexpr bool is_galois_order(std::int64_t q) {
  int p = 0, m = 0;
  return galois_order(q, p, m);
}

// p and m of a supported q; 0 for any other q.
constexpr int galois_characteristic(std::int64_t q) {
  int p = 0, m = 0;
  return galois_order(q, p, m) ? p : 0;
}
constexpr int galois_degree(std::int64_t q) {
  int p = 0, m = 0;
  return galois_order(q, p, m) ? m : 0;
}

// The number of supported fields: the primes below 256 and the 16 proper
// prime powers.
constexpr int galois_field_count() {
  int count = 0;
  for (int q = 2; q <= kLargestFieldOrder; ++q) count += is_galois_order(q) ? 1 : 0;
  return count;
}
inline constexpr int kGaloisFieldCount = galois_field_count();
static_assert(kGaloisFieldCount == 54 + 16, "54 primes below 256 and 16 proper prime powers up to 256");

// Every field of degree m >= 2 has its polynomial in the list, and every
// listed polynomial is monic of degree m with q = p^m.
constexpr bool every_extension_has_a_polynomial() {
  for (const DefiningPolynomial& f : kConwayPolynomials) {
    std::int64_t power = 1;
    for (int j = 0; j < f.m; ++j) power *= f.p;
    if (power != f.q || f.coefficient[f.m] != 1) return false;
    for (int j = 0; j < f.m; ++j)
      if (f.coefficient[j] >= f.p) return false;
  }
  for (int q = 2; q <= kLargestFieldOrder; ++q) {
    if (galois_degree(q) < 2) continue;
    bool listed = false;
    for (const DefiningPolynomial& f : kConwayPolynomials)
      listed = listed || (f.q == q && f.p == galois_characteristic(q) && f.m == galois_degree(q));
    if (!listed) return false;
  }
  return true;
}
static_assert(every_extension_has_a_polynomial(), "a Conway polynomial for every proper prime power up to 256");

// The tables of one field, in fixed arrays indexed by codes. A plain
// record: all zero until built.
struct GaloisField {
  int q;
  int p;
  int m;
  ElemCode primitive;                            // the code of a: p for m >= 2, g for m = 1
  DefiningPolynomial polynomial;                 // the Conway polynomial (x - g for m = 1)
  ElemCode add[kLargestFieldOrder][kLargestFieldOrder];  // add[x][y] = x + y
  ElemCode mul[kLargestFieldOrder][kLargestFieldOrder];  // mul[x][y] = x * y
  ElemCode neg[kLargestFieldOrder];              // -x
  ElemCode inv[kLargestFieldOrder];              // 1/x for x != 0; inv[0] = 0
  std::uint8_t log[kLargestFieldOrder];          // x = a^log[x] for x != 0, 0 <= log[x] < q - 1; log[0] = 0
  ElemCode exp[2 * kLargestFieldOrder];          // exp[i] = a^i for 0 <= i < 2(q - 1)
  std::uint8_t digit[kLargestFieldOrder][kLargestFieldDegree];  // digit[x][j] = c_j, 0 for j >= m
};

// Builds the tables of F_q into `f`. False for a q that is not supported
// (f then holds q = 0 and no tables) or, which the tests rule out, a
// polynomial whose root is not primitive.
bool build_galois_field(std::int64_t q, GaloisField& f);

// The tables of F_q, built on first use and never changed afterwards, so
// that any number of threads may read them; nullptr for a q that is not
// supported. Lives as long as the process.
const GaloisField* galois_field(std::int64_t q);

// The tables of F_q for a q the engine plans (fields.h): galois_field(q),
// never null (for a q that is no field's order, which no plan has, those of
// F_2). The one field record the engine, the basis and the kernels use.
const GaloisField& field_of(std::int64_t q);

// x - y.
inline ElemCode galois_sub(const GaloisField& f, ElemCode x, ElemCode y) { return f.add[x][f.neg[y]]; }

}  // namespace wdist
