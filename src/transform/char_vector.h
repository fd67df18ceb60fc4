// The characteristic vector: how many columns of a generator matrix fall on
// each point, written into the point table in the layout its transform
// consumes in place.
//
// Binary layout (point table q = 2 or 4): one plane of 2^K entries; the
// column whose rows r = 1..K hold the 0/1 pattern d (bit r-1 set when the
// entry is 1) adds 1 at entry d; a zero column lands on entry 0.
//
// Projective layout: one row per point of PG(k-1, q); the column with point
// index d adds 1 to entry 1 of row d, a zero column to entry 1 of row 0. The
// point index: with r0 the highest row holding a nonzero entry, normalise
// the column so that row r0 holds 1; then
//   index = theta_(k-r0+1) + sum over r < r0 of c'_r * theta_(k-r),
// theta_j = (q^j - 1)/(q - 1). The q - 1 multiples of a column share it.
#pragma once

#include <cstdint>

#include "store/count_table.h"
#include "store/gen_matrix.h"

namespace wdist {

using PointIndex = std::uint64_t;

// The layout follows the point table's q: binary for 2 and 4, else projective.
void count_columns(const GenMatrix& g, CountTable& point);
// The binary pattern of every column of g: patterns[j - 1] for column j.
void binary_column_patterns(const GenMatrix& g, std::uint64_t* patterns);
// Always the projective layout.
void count_columns_projective(const GenMatrix& g, CountTable& point);

// The point index of column `column` of g (0 for a zero column), with
// theta[j] = theta_j for j = 1..g.rows.
PointIndex point_index(const GenMatrix& g, std::int32_t column, const std::uint64_t* theta);

}  // namespace wdist
