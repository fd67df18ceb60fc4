#include "transform/char_vector.h"

#include "field/field_tables.h"

namespace wdist {

namespace {

constexpr int kThetaEntries = 33;

void fill_theta(std::int64_t q, std::uint64_t* theta) {
  const auto uq = static_cast<std::uint64_t>(q);
  std::uint64_t power = 1;
  theta[0] = 0;
  for (int j = 1; j < kThetaEntries; ++j) {
    power *= uq;
    theta[j] = (power - 1) / (uq - 1);
  }
}

// Columns are taken a chunk at a time and their patterns built row by row:
// each row is then read contiguously (the matrix is stored by rows), and
// the inner loop over the chunk's columns vectorises.
constexpr std::int32_t kColumnChunk = 256;

// The patterns of columns first .. first + count - 1 (count <= kColumnChunk).
void pattern_chunk(const GenMatrix& g, std::int32_t first, std::int32_t count, std::uint64_t* pattern) {
  for (std::int32_t c = 0; c < count; ++c) pattern[c] = 0;
  for (std::int32_t r = 1; r <= g.rows; ++r) {
    const ElemCode* row = g.a[r] + first;
    const unsigned bit = static_cast<unsigned>(r - 1);
    for (std::int32_t c = 0; c < count; ++c) pattern[c] |= std::uint64_t{row[c] == 1} << bit;
  }
}

std::int32_t chunk_at(const GenMatrix& g, std::int32_t first) {
  return g.n - first + 1 < kColumnChunk ? g.n - first + 1 : kColumnChunk;
}

void count_binary_layout(const GenMatrix& g, CountTable& point) {
  Counter* plane = point.a[0];
  std::uint64_t pattern[kColumnChunk];
  for (std::int32_t first = 1; first <= g.n; first += kColumnChunk) {
    const std::int32_t count = chunk_at(g, first);
    pattern_chunk(g, first, count, pattern);
    for (std::int32_t c = 0; c < count; ++c) plane[pattern[c]] = static_cast<Counter>(plane[pattern[c]] + 1);
  }
}

}  // namespace

PointIndex point_index(const GenMatrix& g, std::int32_t column, const std::uint64_t* theta) {
  const FieldTables& f = field_tables;
  const std::int32_t k = g.rows;
  PointIndex d = 0;
  std::int32_t scale = 0;
  // Row k first: the first nonzero entry met is the leading one and fixes
  // the normalising inverse; each later row adds its normalised entry times
  // theta of its position less one.
  for (std::int32_t j = 1; j <= k; ++j) {
    const ElemCode x = g.a[k - j + 1][column];
    if (d != 0) {
      d += static_cast<std::uint64_t>(f.mul[scale][x]) * theta[j - 1];
    } else if (x != 0) {
      d = theta[j];
      scale = f.inv[x];
    }
  }
  return d;
}

void count_columns_projective(const GenMatrix& g, CountTable& point) {
  std::uint64_t theta[kThetaEntries];
  fill_theta(g.q, theta);
  Counter* plane = point.a[1];
  for (std::int32_t i = 1; i <= g.n; ++i) {
    const PointIndex d = point_index(g, i, theta);
    plane[d] = static_cast<Counter>(plane[d] + 1);
  }
}

void binary_column_patterns(const GenMatrix& g, std::uint64_t* patterns) {
  for (std::int32_t first = 1; first <= g.n; first += kColumnChunk)
    pattern_chunk(g, first, chunk_at(g, first), patterns + (first - 1));
}

void count_columns(const GenMatrix& g, CountTable& point) {
  if (point.q == 2 || point.q == 4)
    count_binary_layout(g, point);
  else
    count_columns_projective(g, point);
}

}  // namespace wdist
