#include "field/field_tables.h"

#include "field/elements.h"
#include "field/fields.h"

namespace wdist {

FieldTables field_tables{};

namespace {

void fill_field(FieldTables& t, std::int32_t q) {
  for (std::int32_t a = 0; a < q; ++a) {
    t.neg[a] = element_neg(q, a);
    t.inv[a] = element_inv(q, a);
    for (std::int32_t b = 0; b < q; ++b) {
      t.add[a][b] = element_add(q, a, b);
      t.mul[a][b] = element_mul(q, a, b);
    }
  }
}

}  // namespace

void build_field_tables(FieldTables& t, std::int32_t q) {
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
    case 16:
      fill_field(t, q);
      break;
    case 4:
      fill_field(t, q);
      for (std::int32_t x = 0; x < 4; ++x) t.trace[x] = t.add[x][t.mul[x][x]];  // x + x^2
      break;
    default:
      break;  // no tables: only the powers are refreshed
  }
}

void select_field(std::int32_t q) {
  FieldTables& t = field_tables;
  if (q == t.field_q) return;
  t.qpow[0] = 1;
  build_field_tables(t, q);
  t.field_q = q;
}

namespace {

struct AllFields {
  FieldTables tables[8] = {};
};

AllFields build_all_fields() {
  AllFields all;
  for (std::int32_t q = 2; q < 8; ++q) {
    if (!is_menu_field(q)) continue;
    all.tables[q].qpow[0] = 1;
    build_field_tables(all.tables[q], q);
    all.tables[q].field_q = q;
  }
  return all;
}

}  // namespace

const FieldTables& field_of(std::int32_t q) {
  static const AllFields fields = build_all_fields();  // initialised once, thread-safe
  return fields.tables[is_menu_field(q) ? q : 2];
}

}  // namespace wdist
