// The field arithmetic of the information-set search, through one adapter:
// everything the search needs of F_q (its characteristic p and degree m,
// products, differences, inverses) comes from load_field_ops, the one
// place that reads the field module. The walks are generic over q: a new
// field reaches them by being answered here.
//
// Element codes are the field module's: the code of c_0 + c_1 a + ... +
// c_(m-1) a^(m-1) (0 <= c_t < p, a the field's generator) is c_0 + c_1 p +
// ... + c_(m-1) p^(m-1). A sum of elements is then the digit-wise sum
// modulo p (exclusive or for p = 2), which is what lets the walks add rows
// of codes byte by byte; load_field_ops checks that the module's addition
// is exactly that before it answers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace wdist {

struct FieldOps {
  int q = 0;  // p^m, at most 256
  int p = 0;  // the characteristic
  int m = 0;  // the degree over F_p
  std::vector<std::uint8_t> mul;     // q * q entries: mul[a * q + b] = a * b
  std::vector<std::uint8_t> sub;     // q * q entries: sub[a * q + b] = a - b
  std::array<std::uint8_t, 256> inv{};  // inv[a] = 1 / a for a != 0; inv[0] = 0
};

inline std::uint8_t field_mul(const FieldOps& f, int a, int b) {
  return f.mul[static_cast<std::size_t>(a) * static_cast<std::size_t>(f.q) + static_cast<std::size_t>(b)];
}
inline std::uint8_t field_sub(const FieldOps& f, int a, int b) {
  return f.sub[static_cast<std::size_t>(a) * static_cast<std::size_t>(f.q) + static_cast<std::size_t>(b)];
}

// Digit t (0 <= t < m) of an element code: its coefficient of a^t.
inline int field_digit(const FieldOps& f, int code, int t) {
  for (int i = 0; i < t; ++i) code /= f.p;
  return code % f.p;
}

// The arithmetic of F_q; false (ops untouched) when the field module does
// not have F_q or codes it otherwise than above. May throw std::bad_alloc.
bool load_field_ops(int q, FieldOps& ops);

}  // namespace wdist
