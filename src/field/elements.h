// Arithmetic on element codes, written once and usable at compile time: the
// field tables are filled from it, and the q-ary butterflies take their
// index patterns from it as template constants.
//
// Codes: for a prime q the residue 0..q-1. For q = 2^m (4 and 16) the code
// is the bit pattern of a polynomial in x over F_2 of degree < m, reduced
// modulo x^2 + x + 1 (F_4) or x^4 + x + 1 (F_16): for F_4 the code 2 is
// w = x and 3 is w^2 = w + 1. Addition of such codes is exclusive or.
#pragma once

namespace wdist {

constexpr bool is_binary_extension(int q) { return q == 4 || q == 16; }

namespace element_detail {

constexpr int degree_of(int q) { return q == 4 ? 2 : 4; }
constexpr int modulus_of(int q) { return q == 4 ? 0b111 : 0b10011; }

// Product of two binary polynomials of degree < m, reduced modulo the
// field's modulus.
constexpr int binary_poly_mul(int a, int b, int m, int modulus) {
  int product = 0;
  for (int bit = 0; bit < m; ++bit)
    if ((b >> bit) & 1) product ^= a << bit;
  for (int bit = 2 * m - 2; bit >= m; --bit)
    if ((product >> bit) & 1) product ^= modulus << (bit - m);
  return product;
}

}  // namespace element_detail

// a + b, a * b, -a and a - b on the codes of F_q (q a prime, 4 or 16).
constexpr int element_add(int q, int a, int b) { return is_binary_extension(q) ? a ^ b : (a + b) % q; }
constexpr int element_neg(int q, int a) { return is_binary_extension(q) ? a : (q - a) % q; }
constexpr int element_sub(int q, int a, int b) { return element_add(q, a, element_neg(q, b)); }
constexpr int element_mul(int q, int a, int b) {
  if (is_binary_extension(q))
    return element_detail::binary_poly_mul(a, b, element_detail::degree_of(q), element_detail::modulus_of(q));
  return a * b % q;
}
// The inverse of a nonzero code; 0 for 0.
constexpr int element_inv(int q, int a) {
  for (int b = 1; b < q; ++b)
    if (a != 0 && element_mul(q, a, b) == 1) return b;
  return 0;
}

static_assert(element_mul(4, 2, 2) == 3 && element_mul(4, 2, 3) == 1, "F_4: w * w = w^2, w * w^2 = 1");
static_assert(element_inv(7, 3) == 5 && element_sub(5, 1, 3) == 3, "prime fields are residues");

}  // namespace wdist
