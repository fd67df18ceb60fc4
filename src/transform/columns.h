// The columns of a generator matrix as the transforms consume them: binary
// bit patterns, point indices of PG(k-1, q), and the columns of the binary
// image of an F_4 code. Works on a view of the rows, so that the menu's
// matrix records and the library's codes share it.
//
// Binary pattern: bit r-1 set when row r of the column holds 1 (rows
// counted from 1).
//
// Point index: with r0 the highest row holding a nonzero entry, normalise
// the column so that row r0 holds 1; then
//   index = theta_(k-r0+1) + sum over r < r0 of c'_r * theta_(k-r),
// theta_j = (q^j - 1)/(q - 1); 0 for a zero column. The q - 1 multiples of
// a column share it. The points with a given set of coordinates above row
// r form a contiguous copy: T(m), the theta_m points whose leading row is
// at most m (rows m+1.. zero), is q copies of T(m-1) at offsets
// b * theta_(m-1) (b the entry of row k-m+1) followed by one top row.
#pragma once

#include <cstdint>

#include "field/elements.h"
#include "field/field_tables.h"
#include "field/fields.h"
#include "field/galois.h"

namespace wdist {

using PointIndex = std::uint64_t;

// k rows of n element codes: rows[i][j] is the entry of row i + 1, column
// j + 1. The rows are not owned.
struct MatrixView {
  int q;
  int k;
  std::int64_t n;
  const ElemCode* const* rows;
};

// theta_j for j = 0..kThetaEntries-1 (as far as they fit 64 bits).
inline constexpr int kThetaEntries = 41;
struct ThetaTable {
  std::uint64_t theta[kThetaEntries];
};
ThetaTable theta_table(int q);

// The patterns of columns first .. first + count - 1 of a binary matrix
// (k <= 64): patterns[c] for column first + c.
void binary_patterns(const MatrixView& m, std::int64_t first, std::int64_t count, std::uint64_t* patterns);

// The point index of a column given by its k entries, column[r - 1] the
// entry of row r; over F_2 .. F_7 with their tables, over any field with
// its GaloisField (the same index).
PointIndex point_index_of(const FieldTables& f, const ElemCode* column, int k, const ThetaTable& t);
PointIndex point_index_of(const GaloisField& f, const ElemCode* column, int k, const ThetaTable& t);

// The point indices of columns first .. first + count - 1 of m (k <= 40).
void point_indices(const FieldTables& f, const ThetaTable& t, const MatrixView& m, std::int64_t first,
                   std::int64_t count, PointIndex* points);
void point_indices(const GaloisField& f, const ThetaTable& t, const MatrixView& m, std::int64_t first,
                   std::int64_t count, PointIndex* points);

// The vector of point index d (1..theta_k) of PG(k-1, q), normalised:
// entries[r - 1] for row r.
void point_of_index(const ThetaTable& t, int k, PointIndex d, ElemCode* entries);

// The binary image of a code over F_4 (dimension 2k, length 3n; every
// codeword's image has twice its weight). Image column b*n + c (b = 0, 1,
// 2) holds in row j the trace of x * m_b and in row k + j the trace of
// x * m'_b, x the entry of row j, column c: with m = 1, w, w^2 and
// m' = w^2, 1, w, row k + j is the image of w^2 times row j. The trace
// of y is y + y^2; a nonzero x has exactly two ones among its three images.
constexpr int f4_image_entry(int x, int block, bool upper) {
  constexpr int kLower[3] = {1, 2, 3};
  constexpr int kUpper[3] = {3, 1, 2};
  const int y = element_mul(4, x, upper ? kUpper[block] : kLower[block]);
  return element_add(4, y, element_mul(4, y, y));
}

// The patterns (2k bits) of image columns b*n + first .. b*n + first +
// count - 1 of the F_4 matrix m (k <= 31), straight from its entries.
void f4_image_patterns(const MatrixView& m, int block, std::int64_t first, std::int64_t count,
                       std::uint64_t* patterns);

}  // namespace wdist
