// The menu's matrix records as the column views the record steps take.
#pragma once

#include <cstdint>

#include "menu/store/gen_matrix.h"
#include "transform/columns.h"

namespace wdist {

// Row pointers for a view: the records the menu computes have at most 64
// rows in use (binary K < 62, projective k <= 32).
struct RowPointers {
  const ElemCode* rows[64];
};

// Rows 1..g.k of g as a view over F_q (entries of row i at g.a[i][1..n]).
MatrixView view_of(const GenMatrix& g, int q, RowPointers& storage);

}  // namespace wdist
