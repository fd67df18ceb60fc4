// Arithmetic on element codes, written once and usable at compile time: the
// q-ary butterflies take their index patterns from it as template
// constants, and the binary image of an F_4 code its entries. The tables of
// field/galois.h hold the same codes (a test checks every product).
//
// Codes: for a prime q the residue 0..q-1. For q = 4 the code is the bit
// pattern of a polynomial in w over F_2 of degree < 2, reduced modulo
// w^2 + w + 1: the code 2 is w and 3 is w^2 = w + 1. Addition of such codes
// is exclusive or.
#pragma once

namespace wdist {

// F_4, the one field of this arithmetic that is not a prime field.
constexpr bool is_binary_extension(int q) { return q == 4; }

namespace element_detail {

// Product of two polynomials over F_2 of degree < 2, reduced modulo
// w^2 + w + 1.
constexpr int f4_mul(int a, int b) {
  int product = 0;
  for (int bit = 0; bit < 2; ++bit)
    if ((b >> bit) & 1) product ^= a << bit;
  if ((product >> 2) & 1) product ^= 0b111;
  return product;
}

}  // namespace element_detail

// a + b, a * b, -a and a - b on the codes of F_q (q a prime or 4).
constexpr int element_add(int q, int a, int b) { return is_binary_extension(q) ? a ^ b : (a + b) % q; }
constexpr int element_neg(int q, int a) { return is_binary_extension(q) ? a : (q - a) % q; }
constexpr int element_sub(int q, int a, int b) { return element_add(q, a, element_neg(q, b)); }
constexpr int element_mul(int q, int a, int b) {
  return is_binary_extension(q) ? element_detail::f4_mul(a, b) : a * b % q;
}
// The inverse of a nonzero code; 0 for 0.
constexpr int element_inv(int q, int a) {
  for (int b = 1; b < q; ++b)
    if (a != 0 && element_mul(q, a, b) == 1) return b;
  return 0;
}

static_assert(element_mul(4, 2, 2) == 3 && element_mul(4, 2, 3) == 1, "F_4: w * w = w^2, w * w^2 = 1");
static_assert(element_mul(4, 3, 3) == 2, "F_4: w^2 * w^2 = w");
static_assert(element_inv(7, 3) == 5 && element_sub(5, 1, 3) == 3, "prime fields are residues");

}  // namespace wdist
