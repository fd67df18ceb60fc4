// A basis of the row space of a generator matrix over F_q, in reduced row
// echelon form: the engine computes every code from it, so that a
// rank-deficient matrix costs what its rank costs and every result knows its
// rank. The dual code is read off the same form (dual.h).
#pragma once

#include <cstdint>
#include <vector>

#include "transform/columns.h"

namespace wdist::engine {

struct Basis {
  int q = 2;
  int rank = 0;
  std::int64_t n = 0;
  // rank rows of n element codes, row by row. Row i holds 1 in column
  // pivots[i] and 0 in every other pivot column.
  std::vector<ElemCode> rows;
  std::vector<std::int64_t> pivots;  // increasing, 0-based
};

// The basis of the row space of m's k rows over F_q (entries below q).
// Gaussian elimination with the field's tables; binary matrices 64 columns
// per word. May throw std::bad_alloc.
void reduce_to_basis(const MatrixView& m, Basis& basis);

// The same for the k rows of n entries in `entries` (row by row), reduced
// in their own storage, which becomes the basis rows: the matrix is held
// once, not twice (a long code's memory is its entries). `entries` is left
// empty. May throw std::bad_alloc.
void reduce_in_place(int q, int k, std::int64_t n, std::vector<ElemCode>& entries, Basis& basis);

// The basis rows as a view; `pointers` holds the row pointers.
MatrixView view_of(const Basis& basis, std::vector<const ElemCode*>& pointers);

}  // namespace wdist::engine
