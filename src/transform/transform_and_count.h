// The transforms with their weight extractions: they consume the point table
// (only fit to be cleared afterwards) and rewrite the weight histogram
// (code_context.Bspec[0..length]) whole.
#pragma once

#include "store/count_table.h"
#include "store/gen_matrix.h"

namespace wdist {

// q = 2, 4 (binary layout): Walsh-Hadamard over the single plane with the
// table's dim as K; every message counts once, the zero message included.
// q = 3, 5, 7 (projective layout): the q-ary transform; every point adds
// q - 1 at the weight of its codewords, the zero codeword is not counted.
void transform_and_count(CountTable& point, CountTable& scratch);

// q = 2, 4, when the code is short beside its table: the columns of g (the
// code or its binary image), the transform and the extraction at once,
// block by block, without touching the point table (sized as ever, so that
// what it holds and the checks stay as they are). False, with nothing done,
// when the record is better computed over the whole table.
bool transform_and_count_blockwise(const GenMatrix& g, const CountTable& point);

// Projective layout for every q: one count per point at index n minus the
// point's orthogonal nonzero columns (its weight plus the zero columns).
void transform_and_count_projective(CountTable& point, CountTable& scratch);

}  // namespace wdist
