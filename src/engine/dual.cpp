#include "engine/dual.h"

#include "field/field_tables.h"
#include "field/fields.h"
#include "field/galois.h"

namespace wdist {

namespace {

template <class Field>
void dual_generator_with(const Field& f, const Basis& basis, std::vector<ElemCode>& rows) {
  const auto n = static_cast<std::size_t>(basis.n);
  const auto rank = static_cast<std::size_t>(basis.rank);
  rows.assign((n - rank) * n, 0);
  std::size_t next_pivot = 0;
  std::size_t row = 0;
  for (std::size_t c = 0; c < n; ++c) {
    if (next_pivot < rank && static_cast<std::size_t>(basis.pivots[next_pivot]) == c) {
      ++next_pivot;
      continue;
    }
    ElemCode* out = rows.data() + row * n;
    out[c] = 1;
    for (std::size_t i = 0; i < rank; ++i)
      out[static_cast<std::size_t>(basis.pivots[i])] = static_cast<ElemCode>(f.neg[basis.rows[i * n + c]]);
    ++row;
  }
}

}  // namespace

void dual_generator(const Basis& basis, std::vector<ElemCode>& rows) {
  if (is_menu_field(basis.q))
    dual_generator_with(field_of(basis.q), basis, rows);
  else
    dual_generator_with(*galois_field(basis.q), basis, rows);
}

}  // namespace wdist
