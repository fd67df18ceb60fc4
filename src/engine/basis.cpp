#include "engine/basis.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "field/field_tables.h"

namespace wdist {

namespace {

using Word = std::uint64_t;

// Rows are taken one at a time: each is reduced by the pivot rows found so
// far, and if anything is left its lowest nonzero column is a new pivot,
// which is then cleared from the earlier pivot rows. The pivot rows end
// sorted by pivot: the reduced row echelon form, whatever the row order.

// Binary matrices: rows packed 64 columns to a word, row operations are
// exclusive ors of whole words.
void reduce_binary(const MatrixView& m, Basis& b) {
  const std::int64_t n = m.n;
  const std::size_t words = static_cast<std::size_t>((n + 63) / 64);
  std::vector<Word> pivot_rows;  // rank rows of `words` words
  std::vector<std::int64_t> pivots;
  std::vector<Word> row(words);
  for (int i = 0; i < m.k; ++i) {
    for (std::size_t w = 0; w < words; ++w) {
      const ElemCode* entries = m.rows[i] + w * 64;
      const std::size_t length = std::min<std::size_t>(64, static_cast<std::size_t>(n) - w * 64);
      Word bits = 0;
      for (std::size_t j = 0; j < length; ++j) bits |= static_cast<Word>(entries[j] == 1) << j;
      row[w] = bits;
    }
    for (std::size_t p = 0; p < pivots.size(); ++p) {
      const std::int64_t c = pivots[p];
      if ((row[static_cast<std::size_t>(c / 64)] >> (c % 64) & 1) == 0) continue;
      const Word* pivot = pivot_rows.data() + p * words;
      for (std::size_t j = 0; j < words; ++j) row[j] ^= pivot[j];
    }
    std::size_t first = 0;
    while (first < words && row[first] == 0) ++first;
    if (first == words) continue;
    const std::int64_t c = static_cast<std::int64_t>(first) * 64 + std::countr_zero(row[first]);
    for (std::size_t p = 0; p < pivots.size(); ++p) {
      Word* pivot = pivot_rows.data() + p * words;
      if ((pivot[first] >> (c % 64) & 1) == 0) continue;
      for (std::size_t j = 0; j < words; ++j) pivot[j] ^= row[j];
    }
    pivot_rows.insert(pivot_rows.end(), row.begin(), row.end());
    pivots.push_back(c);
  }
  std::vector<std::size_t> order(pivots.size());
  for (std::size_t p = 0; p < order.size(); ++p) order[p] = p;
  std::sort(order.begin(), order.end(), [&pivots](std::size_t x, std::size_t y) { return pivots[x] < pivots[y]; });
  b.rank = static_cast<int>(pivots.size());
  b.rows.assign(pivots.size() * static_cast<std::size_t>(n), 0);
  for (std::size_t r = 0; r < order.size(); ++r) {
    const Word* packed = pivot_rows.data() + order[r] * words;
    ElemCode* out = b.rows.data() + r * static_cast<std::size_t>(n);
    for (std::size_t w = 0; w < words; ++w) {
      const std::size_t length = std::min<std::size_t>(64, static_cast<std::size_t>(n) - w * 64);
      for (std::size_t j = 0; j < length; ++j) out[w * 64 + j] = static_cast<ElemCode>(packed[w] >> j & 1);
    }
    b.pivots.push_back(pivots[order[r]]);
  }
}

void reduce_general(const MatrixView& m, Basis& b) {
  const FieldTables& f = field_of(m.q);
  const auto n = static_cast<std::size_t>(m.n);
  std::vector<ElemCode> pivot_rows;  // rank rows of n entries, each 1 at its pivot
  std::vector<std::size_t> pivots;
  std::vector<ElemCode> row(n);
  // row -= x * pivot, through a table of the multiples of x.
  const auto subtract = [&f, q = m.q, n](ElemCode* target, const ElemCode* pivot, std::int32_t x) {
    ElemCode multiple[kFieldCodes];
    const std::int32_t factor = f.neg[x];
    for (int y = 0; y < q; ++y) multiple[y] = static_cast<ElemCode>(f.mul[factor][y]);
    for (std::size_t j = 0; j < n; ++j) target[j] = static_cast<ElemCode>(f.add[target[j]][multiple[pivot[j]]]);
  };
  for (int i = 0; i < m.k; ++i) {
    std::copy(m.rows[i], m.rows[i] + n, row.begin());
    for (std::size_t p = 0; p < pivots.size(); ++p)
      if (row[pivots[p]] != 0) subtract(row.data(), pivot_rows.data() + p * n, row[pivots[p]]);
    std::size_t c = 0;
    while (c < n && row[c] == 0) ++c;
    if (c == n) continue;
    const std::int32_t scale = f.inv[row[c]];
    for (std::size_t j = 0; j < n; ++j) row[j] = static_cast<ElemCode>(f.mul[scale][row[j]]);
    for (std::size_t p = 0; p < pivots.size(); ++p) {
      ElemCode* pivot = pivot_rows.data() + p * n;
      if (pivot[c] != 0) subtract(pivot, row.data(), pivot[c]);
    }
    pivot_rows.insert(pivot_rows.end(), row.begin(), row.end());
    pivots.push_back(c);
  }
  std::vector<std::size_t> order(pivots.size());
  for (std::size_t p = 0; p < order.size(); ++p) order[p] = p;
  std::sort(order.begin(), order.end(), [&pivots](std::size_t x, std::size_t y) { return pivots[x] < pivots[y]; });
  b.rank = static_cast<int>(pivots.size());
  b.rows.clear();
  b.rows.reserve(pivots.size() * n);
  for (const std::size_t p : order) {
    b.rows.insert(b.rows.end(), pivot_rows.begin() + static_cast<std::ptrdiff_t>(p * n),
                  pivot_rows.begin() + static_cast<std::ptrdiff_t>((p + 1) * n));
    b.pivots.push_back(static_cast<std::int64_t>(pivots[p]));
  }
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
