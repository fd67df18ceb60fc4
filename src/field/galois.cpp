#include "field/galois.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>

namespace wdist {

namespace {

// The least g whose powers run through all of F_p^* (1 for p = 2).
int least_primitive_root(int p) {
  for (int g = 1; g < p; ++g) {
    int order = 1;
    for (int x = g % p; x != 1; x = x * g % p) ++order;
    if (order == p - 1) return g;
  }
  return 0;
}

DefiningPolynomial defining_polynomial(int q, int p, int m) {
  if (m >= 2) {
    const auto* listed = std::find_if(std::begin(kConwayPolynomials), std::end(kConwayPolynomials),
                                      [q](const DefiningPolynomial& f) { return f.q == q; });
    // every_extension_has_a_polynomial rules out the end.
    return listed != std::end(kConwayPolynomials) ? *listed : DefiningPolynomial{};
  }
  const int g = least_primitive_root(p);
  return DefiningPolynomial{q, p, 1, {static_cast<std::uint8_t>((p - g) % p), 1}};
}

int code_of_digits(const int* digits, int p, int m) {
  int code = 0;
  for (int j = m - 1; j >= 0; --j) code = code * p + digits[j];
  return code;
}

// a * x for the element x with these digits: x^m is replaced by
// -(f_0 + f_1 x + ... + f_(m-1) x^(m-1)).
void times_root(int* digits, const DefiningPolynomial& f) {
  const int p = f.p, m = f.m, top = digits[m - 1];
  for (int j = m - 1; j >= 1; --j) digits[j] = digits[j - 1];
  digits[0] = 0;
  for (int j = 0; j < m; ++j) digits[j] = ((digits[j] - top * f.coefficient[j]) % p + p) % p;
}

// The tables of F_q into a record that is all zero.
bool fill_galois_field(std::int64_t q, GaloisField& f) {
  int p = 0, m = 0;
  if (!galois_order(q, p, m)) return false;
  const int order = static_cast<int>(q);
  const DefiningPolynomial poly = defining_polynomial(order, p, m);
  if (poly.q != order) return false;

  for (int x = 0; x < order; ++x)
    for (int j = 0, rest = x; j < m; ++j, rest /= p) f.digit[x][j] = static_cast<std::uint8_t>(rest % p);
  for (int x = 0; x < order; ++x) {
    int sum[kLargestFieldDegree], minus[kLargestFieldDegree];
    for (int y = 0; y < order; ++y) {
      for (int j = 0; j < m; ++j) sum[j] = (f.digit[x][j] + f.digit[y][j]) % p;
      f.add[x][y] = static_cast<ElemCode>(code_of_digits(sum, p, m));
    }
    for (int j = 0; j < m; ++j) minus[j] = (p - f.digit[x][j]) % p;
    f.neg[x] = static_cast<ElemCode>(code_of_digits(minus, p, m));
  }

  // The powers of a; a is primitive when the first power to return to 1 is
  // the (q-1)-th.
  int power[kLargestFieldDegree] = {1};
  for (int i = 0; i < order - 1; ++i) {
    const int code = code_of_digits(power, p, m);
    if (i > 0 && code == 1) return false;
    f.exp[i] = f.exp[i + order - 1] = static_cast<ElemCode>(code);
    f.log[code] = static_cast<std::uint8_t>(i);
    times_root(power, poly);
  }
  if (code_of_digits(power, p, m) != 1) return false;

  for (int x = 1; x < order; ++x) {
    f.inv[x] = f.exp[(order - 1 - f.log[x]) % (order - 1)];
    for (int y = 1; y < order; ++y) f.mul[x][y] = f.exp[f.log[x] + f.log[y]];
  }
  f.q = order;
  f.p = p;
  f.m = m;
  f.polynomial = poly;
  f.primitive = f.exp[1];
  return true;
}

// Slot of each supported q in the table of built fields, -1 for the others.
struct Slots {
  int of[kLargestFieldOrder + 1];
};

constexpr Slots slots_of_orders() {
  Slots s{};
  int next = 0;
  for (int q = 0; q <= kLargestFieldOrder; ++q) s.of[q] = is_galois_order(q) ? next++ : -1;
  return s;
}
constexpr Slots kSlots = slots_of_orders();

// Zero-initialised, so in the process image only as address space until a
// field is built: each field touches the table rows of its own codes.
GaloisField g_fields[kGaloisFieldCount];
std::once_flag g_built[kGaloisFieldCount];

}  // namespace

bool build_galois_field(std::int64_t q, GaloisField& f) {
  std::memset(&f, 0, sizeof f);
  if (fill_galois_field(q, f)) return true;
  std::memset(&f, 0, sizeof f);
  return false;
}

namespace {

bool has_slot(std::int64_t q) { return q >= 0 && q <= kLargestFieldOrder && kSlots.of[q] >= 0; }

// The tables of a q that has a slot, built on first use.
GaloisField& built_field(std::int64_t q) {
  const int slot = kSlots.of[q];
  std::call_once(g_built[slot], [q, slot] { fill_galois_field(q, g_fields[slot]); });
  return g_fields[slot];
}

}  // namespace

const GaloisField* galois_field(std::int64_t q) { return has_slot(q) ? &built_field(q) : nullptr; }

const GaloisField& field_of(std::int64_t q) { return built_field(has_slot(q) ? q : 2); }

}  // namespace wdist
