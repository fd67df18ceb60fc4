#include "menu/transform/char_vector.h"

namespace wdist {

MatrixView view_of(const GenMatrix& g, int q, RowPointers& storage) {
  const int k = g.k < 64 ? g.k : 64;
  for (int i = 0; i < k; ++i) storage.rows[i] = g.a[i + 1] + 1;
  return MatrixView{q, k, g.n, storage.rows};
}

}  // namespace wdist
