// The transforms with their weight extractions: they consume the point table
// (only fit to be cleared afterwards) and rewrite the weight histogram
// (code_context.Bspec[0..length]) whole.
#pragma once

#include "store/count_table.h"

namespace wdist {

// q = 2, 4 (binary layout): Walsh-Hadamard over the single plane with the
// table's dim as K; every message counts once, the zero message included.
// q = 3, 5, 7 (projective layout): the q-ary transform; every point adds
// q - 1 at the weight of its codewords, the zero codeword is not counted.
void transform_and_count(CountTable& point, CountTable& scratch);

// Projective layout for every q: one count per point at index n minus the
// point's orthogonal nonzero columns (its weight plus the zero columns).
void transform_and_count_projective(CountTable& point, CountTable& scratch);

}  // namespace wdist
