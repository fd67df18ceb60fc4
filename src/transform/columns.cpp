#include "transform/columns.h"

namespace wdist {

ThetaTable theta_table(int q) {
  ThetaTable t{};
  fill_theta(q, t.theta, kThetaEntries);
  return t;
}

// Patterns are built a row at a time over a chunk of columns: each row is
// read contiguously (the matrix is stored by rows), and the inner loop over
// the chunk's columns vectorises. Callers pass chunks of a few hundred.
void binary_patterns(const MatrixView& m, std::int64_t first, std::int64_t count, std::uint64_t* patterns) {
  for (std::int64_t c = 0; c < count; ++c) patterns[c] = 0;
  for (int r = 0; r < m.k; ++r) {
    const ElemCode* row = m.rows[r] + first;
    const auto bit = static_cast<unsigned>(r);
    for (std::int64_t c = 0; c < count; ++c) patterns[c] |= std::uint64_t{row[c] == 1} << bit;
  }
}

void f4_image_patterns(const MatrixView& m, int block, std::int64_t first, std::int64_t count,
                       std::uint64_t* patterns) {
  std::uint64_t lower[4], upper[4];
  for (int x = 0; x < 4; ++x) {
    lower[x] = static_cast<std::uint64_t>(f4_image_entry(x, block, false));
    upper[x] = static_cast<std::uint64_t>(f4_image_entry(x, block, true));
  }
  for (std::int64_t c = 0; c < count; ++c) patterns[c] = 0;
  const auto k = static_cast<unsigned>(m.k);
  for (unsigned r = 0; r < k; ++r) {
    const ElemCode* row = m.rows[r] + first;
    for (std::int64_t c = 0; c < count; ++c) patterns[c] |= lower[row[c] & 3] << r | upper[row[c] & 3] << (k + r);
  }
}

namespace {

// The same for the tables of the small fields (int32 entries) and those of
// every field (byte entries).
template <class Field>
PointIndex point_index_in(const Field& f, const ElemCode* column, int k, const ThetaTable& t) {
  PointIndex d = 0;
  std::int32_t scale = 0;
  // Row k first: the first nonzero entry met is the leading one and fixes
  // the normalising inverse; each later row adds its normalised entry times
  // theta of its position less one.
  for (int j = 1; j <= k; ++j) {
    const ElemCode x = column[k - j];
    if (d != 0) {
      d += static_cast<std::uint64_t>(f.mul[scale][x]) * t.theta[j - 1];
    } else if (x != 0) {
      d = t.theta[j];
      scale = f.inv[x];
    }
  }
  return d;
}

template <class Field>
void point_indices_in(const Field& f, const ThetaTable& t, const MatrixView& m, std::int64_t first,
                      std::int64_t count, PointIndex* points) {
  ElemCode column[kThetaEntries];
  for (std::int64_t c = 0; c < count; ++c) {
    for (int r = 0; r < m.k; ++r) column[r] = m.rows[r][first + c];
    points[c] = point_index_in(f, column, m.k, t);
  }
}

}  // namespace

PointIndex point_index_of(const FieldTables& f, const ElemCode* column, int k, const ThetaTable& t) {
  return point_index_in(f, column, k, t);
}

PointIndex point_index_of(const GaloisField& f, const ElemCode* column, int k, const ThetaTable& t) {
  return point_index_in(f, column, k, t);
}

void point_indices(const FieldTables& f, const ThetaTable& t, const MatrixView& m, std::int64_t first,
                   std::int64_t count, PointIndex* points) {
  point_indices_in(f, t, m, first, count, points);
}

void point_indices(const GaloisField& f, const ThetaTable& t, const MatrixView& m, std::int64_t first,
                   std::int64_t count, PointIndex* points) {
  point_indices_in(f, t, m, first, count, points);
}

void point_of_index(const ThetaTable& t, int k, PointIndex d, ElemCode* entries) {
  // T(k) is q copies of T(k-1) at offsets b * theta_(k-1), b the entry of
  // row 1, then the top row (row 1 alone, = 1).
  for (int r = 0; r < k; ++r) entries[r] = 0;
  for (int r = 0, m = k; m >= 1; ++r, --m) {
    if (d == t.theta[m]) {
      entries[r] = 1;
      return;
    }
    const std::uint64_t b = (d - 1) / t.theta[m - 1];
    entries[r] = static_cast<ElemCode>(b);
    d -= b * t.theta[m - 1];
  }
}

}  // namespace wdist
