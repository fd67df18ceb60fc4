// The generator-matrix record: one code's k x n matrix of element codes,
// rows and columns numbered from 1, with its capacities and state.
//
// Invariants: `mem` is 0 (no storage) or 1 (rows 0..cap_rows, each with
// entries -1..cap_cols, are held). `cap_cols` is a multiple of 16. Sizing
// keeps the storage when both capacities suffice and otherwise re-allocates
// exactly the new request; it never clears.
#pragma once

#include <cstdint>

#include "menu/store/alloc.h"

namespace wdist {

struct GenMatrix {
  std::int32_t n;         // columns in use (the code length)
  std::int32_t rows;      // rows requested by the last sizing
  std::int32_t cap_cols;  // column capacity of every row, a multiple of 16
  std::int32_t cap_rows;  // rows 0..cap_rows hold storage
  std::int32_t k;         // rows in use (the dimension), set by the user
  std::int32_t q;         // field size
  std::int32_t mem;       // 0: no storage held, 1: held; anything else halts
  ElemCode** a;           // a[i][j]: row i, column j
};

void size_gen_matrix(GenMatrix& c, std::int32_t rows, std::int32_t columns, std::int32_t q);
void release_gen_matrix(GenMatrix& c);

}  // namespace wdist
