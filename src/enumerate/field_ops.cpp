#include "enumerate/field_ops.h"

#include <utility>

#include "field/field_tables.h"
#include "field/fields.h"

namespace wdist {

namespace {

// p and m with q = p^m; false when q is not a prime power.
bool prime_power(int q, int& p, int& m) {
  if (q < 2) return false;
  p = 2;
  while (q % p != 0) ++p;
  m = 0;
  int rest = q;
  while (rest % p == 0) {
    rest /= p;
    ++m;
  }
  return rest == 1;
}

// The sum of two codes digit by digit modulo p.
int digitwise_sum(int a, int b, int p, int m) {
  int sum = 0;
  int weight = 1;
  for (int t = 0; t < m; ++t) {
    sum += ((a % p + b % p) % p) * weight;
    a /= p;
    b /= p;
    weight *= p;
  }
  return sum;
}

}  // namespace

bool load_field_ops(int q, FieldOps& ops) {
  int p = 0, m = 0;
  if (q > 256 || !prime_power(q, p, m) || !is_supported_field(q)) return false;
  // The one read of the field module: today field_of for the fields it
  // tables (2, 3, 4, 5, 7).
  const FieldTables& t = field_of(q);
  for (int a = 0; a < q; ++a)
    for (int b = 0; b < q; ++b)
      if (t.add[a][b] != digitwise_sum(a, b, p, m)) return false;
  FieldOps f;
  f.q = q;
  f.p = p;
  f.m = m;
  const auto size = static_cast<std::size_t>(q);
  const std::size_t entries = size * size;
  f.mul.resize(entries);
  f.sub.resize(entries);
  for (int a = 0; a < q; ++a) {
    f.inv[static_cast<std::size_t>(a)] = static_cast<std::uint8_t>(t.inv[a]);
    for (int b = 0; b < q; ++b) {
      f.mul[static_cast<std::size_t>(a) * size + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(t.mul[a][b]);
      f.sub[static_cast<std::size_t>(a) * size + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(t.add[a][t.neg[b]]);
    }
  }
  ops = std::move(f);
  return true;
}

}  // namespace wdist
