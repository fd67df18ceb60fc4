// The dual code from a basis in reduced row echelon form. With the pivot
// columns first the basis reads [I | P] (r x (n - r)); the dual code is
// spanned by [-P^T | I], put back into the original column positions: one
// row per non-pivot column c, holding 1 at c and -P[i][c] at pivot
// column pivots[i]. Over F_4 this is the Euclidean dual (sum of x_i y_i),
// whose Hamming weight enumerator obeys the same MacWilliams identity.
#pragma once

#include <vector>

#include "engine/basis.h"

namespace wdist::engine {

// The (n - rank) x n generator matrix of the dual of the code spanned by
// `basis`, row by row. A basis of rank n gives no rows (the dual is the
// zero code); a basis of rank 0 gives the identity (the whole space).
// May throw std::bad_alloc.
void dual_generator(const Basis& basis, std::vector<ElemCode>& rows);

}  // namespace wdist::engine
