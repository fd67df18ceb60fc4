#include "enumerate/field_ops.h"

#include <utility>

#include "field/galois.h"

namespace wdist {

bool load_field_ops(int q, FieldOps& ops) {
  // The one read of the field module.
  const GaloisField* t = galois_field(q);
  if (t == nullptr) return false;
  FieldOps f;
  f.q = q;
  f.p = t->p;
  f.m = t->m;
  const auto size = static_cast<std::size_t>(q);
  const std::size_t entries = size * size;
  f.mul.resize(entries);
  f.sub.resize(entries);
  for (int a = 0; a < q; ++a) {
    f.inv[static_cast<std::size_t>(a)] = static_cast<std::uint8_t>(t->inv[a]);
    for (int b = 0; b < q; ++b) {
      f.mul[static_cast<std::size_t>(a) * size + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(t->mul[a][b]);
      f.sub[static_cast<std::size_t>(a) * size + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(t->add[a][t->neg[b]]);
    }
  }
  ops = std::move(f);
  return true;
}

}  // namespace wdist
