#include "engine/basis.h"

#include <utility>

#include "field/field_tables.h"

namespace wdist {

namespace {

using Word = std::uint64_t;

// Binary matrices: rows packed 64 columns to a word, row operations are
// exclusive ors of whole words.
void reduce_binary(const MatrixView& m, Basis& b) {
  const std::int64_t n = m.n;
  const std::size_t words = static_cast<std::size_t>((n + 63) / 64);
  std::vector<std::vector<Word>> rows(static_cast<std::size_t>(m.k), std::vector<Word>(words, 0));
  for (int i = 0; i < m.k; ++i)
    for (std::int64_t c = 0; c < n; ++c)
      if (m.rows[i][c] == 1) rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(c / 64)] |= Word{1} << (c % 64);
  std::size_t rank = 0;
  for (std::int64_t c = 0; c < n && rank < rows.size(); ++c) {
    const std::size_t w = static_cast<std::size_t>(c / 64);
    const Word bit = Word{1} << (c % 64);
    std::size_t p = rank;
    while (p < rows.size() && (rows[p][w] & bit) == 0) ++p;
    if (p == rows.size()) continue;
    std::swap(rows[p], rows[rank]);
    const std::vector<Word>& pivot = rows[rank];
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i == rank || (rows[i][w] & bit) == 0) continue;
      // Words below the pivot's are zero in the pivot row.
      for (std::size_t j = w; j < words; ++j) rows[i][j] ^= pivot[j];
    }
    b.pivots.push_back(c);
    ++rank;
  }
  b.rank = static_cast<int>(rank);
  b.rows.assign(rank * static_cast<std::size_t>(n), 0);
  for (std::size_t i = 0; i < rank; ++i)
    for (std::int64_t c = 0; c < n; ++c)
      b.rows[i * static_cast<std::size_t>(n) + static_cast<std::size_t>(c)] =
          static_cast<ElemCode>((rows[i][static_cast<std::size_t>(c / 64)] >> (c % 64)) & 1);
}

void reduce_general(const MatrixView& m, Basis& b) {
  const FieldTables& f = field_of(m.q);
  const auto n = static_cast<std::size_t>(m.n);
  std::vector<std::vector<ElemCode>> rows(static_cast<std::size_t>(m.k));
  for (int i = 0; i < m.k; ++i) rows[static_cast<std::size_t>(i)].assign(m.rows[i], m.rows[i] + n);
  std::size_t rank = 0;
  for (std::size_t c = 0; c < n && rank < rows.size(); ++c) {
    std::size_t p = rank;
    while (p < rows.size() && rows[p][c] == 0) ++p;
    if (p == rows.size()) continue;
    std::swap(rows[p], rows[rank]);
    std::vector<ElemCode>& pivot = rows[rank];
    const std::int32_t scale = f.inv[pivot[c]];
    for (std::size_t j = c; j < n; ++j) pivot[j] = static_cast<ElemCode>(f.mul[scale][pivot[j]]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i == rank || rows[i][c] == 0) continue;
      // row_i -= x * pivot, through a table of the 1..q-1 multiples.
      const std::int32_t factor = f.neg[rows[i][c]];
      ElemCode multiple[kFieldCodes];
      for (int y = 0; y < m.q; ++y) multiple[y] = static_cast<ElemCode>(f.mul[factor][y]);
      std::vector<ElemCode>& row = rows[i];
      for (std::size_t j = c; j < n; ++j) row[j] = static_cast<ElemCode>(f.add[row[j]][multiple[pivot[j]]]);
    }
    b.pivots.push_back(static_cast<std::int64_t>(c));
    ++rank;
  }
  b.rank = static_cast<int>(rank);
  b.rows.clear();
  b.rows.reserve(rank * n);
  for (std::size_t i = 0; i < rank; ++i) b.rows.insert(b.rows.end(), rows[i].begin(), rows[i].end());
}

}  // namespace

void reduce_to_basis(const MatrixView& m, Basis& basis) {
  basis.q = m.q;
  basis.n = m.n;
  basis.rank = 0;
  basis.rows.clear();
  basis.pivots.clear();
  if (m.q == 2)
    reduce_binary(m, basis);
  else
    reduce_general(m, basis);
}

MatrixView view_of(const Basis& basis, std::vector<const ElemCode*>& pointers) {
  pointers.resize(static_cast<std::size_t>(basis.rank));
  for (std::size_t i = 0; i < pointers.size(); ++i) pointers[i] = basis.rows.data() + i * static_cast<std::size_t>(basis.n);
  return MatrixView{basis.q, basis.rank, basis.n, pointers.data()};
}

}  // namespace wdist
