#include "field/field_tables.h"

namespace wdist {

FieldTables field_tables{};

namespace {

// Product of two polynomials over F_2 of degree < 4, reduced modulo
// x^4 + x + 1 (F_16), or modulo x^2 + x + 1 when `degree` is 2 (F_4).
std::int32_t binary_poly_mul(std::int32_t a, std::int32_t b, int degree, std::int32_t modulus) {
  std::int32_t product = 0;
  for (int bit = 0; bit < degree; ++bit)
    if ((b >> bit) & 1) product ^= a << bit;
  for (int bit = 2 * degree - 2; bit >= degree; --bit)
    if ((product >> bit) & 1) product ^= modulus << (bit - degree);
  return product;
}

void fill_prime_field(FieldTables& t, std::int32_t q) {
  for (std::int32_t a = 0; a < q; ++a) {
    t.neg[a] = (q - a) % q;
    t.inv[a] = 0;
    for (std::int32_t b = 0; b < q; ++b) {
      t.add[a][b] = (a + b) % q;
      t.mul[a][b] = (a * b) % q;
      if (a != 0 && (a * b) % q == 1) t.inv[a] = b;
    }
  }
}

void fill_binary_extension(FieldTables& t, std::int32_t q, int degree, std::int32_t modulus) {
  for (std::int32_t a = 0; a < q; ++a) {
    t.neg[a] = a;
    t.inv[a] = 0;
    for (std::int32_t b = 0; b < q; ++b) {
      t.add[a][b] = a ^ b;
      t.mul[a][b] = binary_poly_mul(a, b, degree, modulus);
      if (a != 0 && t.mul[a][b] == 1) t.inv[a] = b;
    }
  }
}

}  // namespace

void build_field_tables(std::int32_t q) {
  FieldTables& t = field_tables;
  // Powers until one reaches 2^63; q is sign-extended and the products wrap
  // modulo 2^64, so a negative q stops after qpow[1].
  const auto factor = static_cast<std::uint64_t>(static_cast<std::int64_t>(q));
  for (int i = 0; i <= 18; ++i) {
    if (t.qpow[i] >= (std::uint64_t{1} << 63)) break;
    t.qpow[i + 1] = t.qpow[i] * factor;
  }
  switch (q) {
    case 2:
    case 3:
    case 5:
    case 7:
    case 13:
      fill_prime_field(t, q);
      break;
    case 4:
      fill_binary_extension(t, 4, 2, 0b111);
      for (std::int32_t x = 0; x < 4; ++x) t.trace[x] = t.add[x][t.mul[x][x]];  // x + x^2
      break;
    case 16:
      fill_binary_extension(t, 16, 4, 0b10011);
      break;
    default:
      break;  // no tables: only the powers are refreshed
  }
}

void select_field(std::int32_t q) {
  FieldTables& t = field_tables;
  if (q == t.field_q) return;
  t.qpow[0] = 1;
  build_field_tables(q);
  t.field_q = q;
}

}  // namespace wdist
