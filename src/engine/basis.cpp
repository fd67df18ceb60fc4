#include "engine/basis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

#include "field/galois.h"

namespace wdist::engine {

namespace {

using Word = std::uint64_t;

// Entries 0/1 of one byte each, 64 to a word: bit j of the word is entry j.
Word pack_word(const ElemCode* entries, std::size_t count) {
  Word w = 0;
  std::size_t j = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight entries at a time: the product gathers bit 0 of byte t of x into
    // bit 56 + t, every other partial product landing below (no carries).
    for (; j + 8 <= count; j += 8) {
      std::uint64_t x = 0;
      std::memcpy(&x, entries + j, 8);
      w |= ((x * 0x0102040810204080ULL) >> 56) << j;
    }
  }
  for (; j < count; ++j) w |= Word{entries[j]} << j;
  return w;
}

// The eight entries of each byte value, bit t to entry t.
using ByteEntries = std::array<std::array<ElemCode, 8>, 256>;
constexpr ByteEntries byte_entries() {
  ByteEntries e{};
  for (std::size_t v = 0; v < e.size(); ++v)
    for (std::size_t t = 0; t < 8; ++t) e[v][t] = static_cast<ElemCode>((v >> t) & 1);
  return e;
}
constexpr ByteEntries kByteEntries = byte_entries();

void unpack_word(Word w, ElemCode* entries, std::size_t count) {
  std::size_t j = 0;
  for (; j + 8 <= count; j += 8) std::memcpy(entries + j, kByteEntries[(w >> j) & 0xff].data(), 8);
  for (; j < count; ++j) entries[j] = static_cast<ElemCode>((w >> j) & 1);
}

// Row operations on packed rows from word `from` on (words before it are
// zero in every row that is added).
void add_row(Word* row, const Word* other, std::size_t from, std::size_t words) {
  for (std::size_t j = from; j < words; ++j) row[j] ^= other[j];
}

// Binary matrices: rows packed 64 columns to a word, row operations are
// exclusive ors of whole words, and the columns of one word are reduced
// together, in three steps:
//  1. the pivots among the word's columns are found on a slab holding that
//     word of every row not yet a pivot row, contiguous, each later row's
//     copy cleared below each pivot as it is found (the rows themselves
//     are not touched);
//  2. the new pivot rows are brought into reduced form among themselves:
//     each holds 1 in its own pivot column and 0 in the others';
//  3. every other row loses its bits in those columns through tables of
//     the 256 sums of eight pivot rows: one addition per eight pivots
//     instead of one per pivot (the method of the four Russians). A sum
//     of pivot rows is 0 in every other pivot column, so each table's
//     addition leaves the bits the next table reads as they were.
// The form is unique, so the steps give what the textbook elimination
// gives.
constexpr std::size_t kTableRows = 8;
constexpr std::size_t kTableFromRows = 48;

// A code of at most 64 columns: each row is one word, reduced row by row
// against the pivot rows found so far (the elimination of reduce_general
// on words), which for the few rows of such a code costs a few hundred
// instructions where the slab and tables below cost thousands.
void reduce_binary_narrow(const MatrixView& m, Basis& b) {
  const auto n = static_cast<std::size_t>(m.n);
  // At most 64 pivots: held on the stack, so that a file of many small
  // records does not allocate here.
  // Only the first `rank` of each are ever read.
  std::array<Word, 64> pivot_rows;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  std::array<int, 64> pivots;       // NOLINT(cppcoreguidelines-pro-type-member-init)
  std::size_t rank = 0;
  for (int i = 0; i < m.k && rank < n; ++i) {
    Word row = pack_word(m.rows[i], n);
    // Masks, not branches: each bit tested is a coin toss for a random code.
    for (std::size_t p = 0; p < rank; ++p) row ^= pivot_rows[p] & (Word{0} - (row >> pivots[p] & 1));
    if (row == 0) continue;
    const int c = std::countr_zero(row);
    for (std::size_t p = 0; p < rank; ++p) pivot_rows[p] ^= row & (Word{0} - (pivot_rows[p] >> c & 1));
    pivot_rows[rank] = row;
    pivots[rank] = c;
    ++rank;
  }
  // Sorted by pivot: the reduced row echelon form.
  for (std::size_t i = 1; i < rank; ++i)
    for (std::size_t j = i; j > 0 && pivots[j - 1] > pivots[j]; --j) {
      std::swap(pivots[j - 1], pivots[j]);
      std::swap(pivot_rows[j - 1], pivot_rows[j]);
    }
  b.rank = static_cast<int>(rank);
  b.rows.resize(rank * n);
  b.pivots.assign(pivots.begin(), pivots.begin() + static_cast<std::ptrdiff_t>(rank));
  for (std::size_t r = 0; r < rank; ++r) unpack_word(pivot_rows[r], b.rows.data() + r * n, n);
}

// The rows of `m` as `words` words each, in `storage`; rows[i] points at
// row i (the elimination swaps pointers, not rows).
void pack_rows(const MatrixView& m, std::size_t words, std::vector<Word>& storage, std::vector<Word*>& rows) {
  const auto n = static_cast<std::size_t>(m.n);
  const auto k = static_cast<std::size_t>(m.k);
  storage.resize(k * words);
  rows.resize(k);
  for (std::size_t i = 0; i < k; ++i) {
    rows[i] = storage.data() + i * words;
    for (std::size_t w = 0; w < words; ++w) rows[i][w] = pack_word(m.rows[i] + 64 * w, std::min<std::size_t>(64, n - 64 * w));
  }
}

// Step 2 for the `found` pivot rows of word w (pivot columns columns_of):
// each keeps 1 in its own pivot column and 0 in the others'.
void reduce_pivot_rows(Word* const* pivot, std::size_t found, const std::size_t* columns_of, std::size_t w,
                       std::size_t words) {
  for (std::size_t a = 0; a < found; ++a) {
    for (std::size_t e = 0; e < a; ++e)
      if (((pivot[a][w] >> columns_of[e]) & 1) != 0) add_row(pivot[a], pivot[e], w, words);
    for (std::size_t e = 0; e < a; ++e)
      if (((pivot[e][w] >> columns_of[a]) & 1) != 0) add_row(pivot[e], pivot[a], w, words);
  }
}

// The first `rank` rows, unpacked into b.rows; b.pivots is filled already.
void unpack_basis(const std::vector<Word*>& rows, std::size_t rank, std::size_t n, std::size_t words, Basis& b) {
  b.rank = static_cast<int>(rank);
  b.rows.resize(rank * n);
  for (std::size_t i = 0; i < rank; ++i)
    for (std::size_t w = 0; w < words; ++w)
      unpack_word(rows[i][w], b.rows.data() + i * n + 64 * w, std::min<std::size_t>(64, n - 64 * w));
}

void reduce_binary(const MatrixView& m, Basis& b) {
  const auto n = static_cast<std::size_t>(m.n);
  const auto k = static_cast<std::size_t>(m.k);
  const std::size_t words = (n + 63) / 64;
  if (words <= 1) {
    reduce_binary_narrow(m, b);
    return;
  }
  std::vector<Word> storage;
  std::vector<Word*> rows;
  pack_rows(m, words, storage, rows);
  std::vector<Word> slab(k);
  std::vector<Word> table;
  std::size_t columns_of[64];  // the pivot columns found in the current word
  std::size_t rank = 0;
  for (std::size_t w = 0; w < words && rank < k; ++w) {
    // 1. The pivots, on the slab.
    for (std::size_t i = rank; i < k; ++i) slab[i] = rows[i][w];
    const std::size_t columns = std::min<std::size_t>(64, n - 64 * w);
    std::size_t found = 0;
    for (std::size_t c = 0; c < columns && rank + found < k; ++c) {
      const Word bit = Word{1} << c;
      const std::size_t top = rank + found;
      std::size_t p = top;
      while (p < k && (slab[p] & bit) == 0) ++p;
      if (p == k) continue;
      std::swap(rows[p], rows[top]);
      std::swap(slab[p], slab[top]);
      const Word pivot_word = slab[top];
      for (std::size_t i = p + 1; i < k; ++i) slab[i] ^= pivot_word * ((slab[i] >> c) & 1);  // no branch to mispredict
      columns_of[found++] = c;
    }
    if (found == 0) continue;
    // 2. The pivot rows in reduced form among themselves.
    Word* const* pivot = rows.data() + rank;
    reduce_pivot_rows(pivot, found, columns_of, w, words);
    // 3. The other rows: pivot by pivot when there are few of them (a table
    // of 256 sums costs more than it saves below some dozens of rows),
    // otherwise eight pivots at a time.
    if (k < kTableFromRows) {
      for (std::size_t i = 0; i < k; ++i) {
        if (i == rank) {
          i += found - 1;  // the pivot rows themselves
          continue;
        }
        for (std::size_t t = 0; t < found; ++t)
          if (((rows[i][w] >> columns_of[t]) & 1) != 0) add_row(rows[i], pivot[t], w, words);
      }
      for (std::size_t t = 0; t < found; ++t) b.pivots.push_back(static_cast<std::int64_t>(64 * w + columns_of[t]));
      rank += found;
      continue;
    }
    if (table.empty()) table.resize((std::size_t{1} << kTableRows) * words);
    for (std::size_t first = 0; first < found; first += kTableRows) {
      const std::size_t count = std::min(kTableRows, found - first);
      const std::size_t entries = std::size_t{1} << count;
      for (std::size_t j = w; j < words; ++j) table[j] = 0;
      for (std::size_t v = 1; v < entries; ++v) {
        const std::size_t low = static_cast<std::size_t>(std::countr_zero(v));
        const Word* from = table.data() + (v & (v - 1)) * words;
        Word* to = table.data() + v * words;
        const Word* row = pivot[first + low];
        for (std::size_t j = w; j < words; ++j) to[j] = from[j] ^ row[j];
      }
      for (std::size_t i = 0; i < k; ++i) {
        if (i == rank) {
          i += found - 1;  // the pivot rows themselves
          continue;
        }
        const Word word = rows[i][w];
        std::size_t v = 0;
        for (std::size_t t = 0; t < count; ++t) v |= static_cast<std::size_t>((word >> columns_of[first + t]) & 1) << t;
        if (v != 0) add_row(rows[i], table.data() + v * words, w, words);
      }
    }
    for (std::size_t t = 0; t < found; ++t) b.pivots.push_back(static_cast<std::int64_t>(64 * w + columns_of[t]));
    rank += found;
  }
  unpack_basis(rows, rank, n, words, b);
}

// Gaussian elimination into b.rows, a row at a time: bring(i, rank) puts
// row i of the matrix into row `rank` of b.rows (the first free one) and
// returns it; it is reduced there against the pivot rows above it, and
// becomes the next pivot row unless it is zero. At the end the pivot rows
// are sorted by pivot column in place and b.rows holds rank rows.
template <class Bring>
void reduce_general(int q, int k, std::size_t n, Basis& b, Bring bring) {
  if (n == 0) return;  // rank 0: rows of nothing
  const GaloisField& f = field_of(q);
  std::vector<std::size_t> pivots;
  // into -= x * other, through a table of the multiples of x.
  const auto subtract = [&f, q, n](ElemCode* into, const ElemCode* other, std::int32_t x) {
    ElemCode multiple[kLargestFieldOrder];
    const std::int32_t factor = f.neg[x];
    for (int y = 0; y < q; ++y) multiple[y] = static_cast<ElemCode>(f.mul[factor][y]);
    for (std::size_t j = 0; j < n; ++j) into[j] = static_cast<ElemCode>(f.add[into[j]][multiple[other[j]]]);
  };
  for (int i = 0; i < k; ++i) {
    ElemCode* const row = bring(i, pivots.size());
    ElemCode* const rows = b.rows.data();
    for (std::size_t p = 0; p < pivots.size(); ++p)
      if (row[pivots[p]] != 0) subtract(row, rows + p * n, row[pivots[p]]);
    std::size_t c = 0;
    while (c < n && row[c] == 0) ++c;
    if (c == n) continue;
    const std::int32_t scale = f.inv[row[c]];
    for (std::size_t j = 0; j < n; ++j) row[j] = static_cast<ElemCode>(f.mul[scale][row[j]]);
    for (std::size_t p = 0; p < pivots.size(); ++p) {
      ElemCode* pivot = rows + p * n;
      if (pivot[c] != 0) subtract(pivot, row, pivot[c]);
    }
    pivots.push_back(c);
  }
  // Sorted by pivot, in place: each cycle of the permutation moves its rows
  // through one spare row.
  const std::size_t rank = pivots.size();
  ElemCode* const rows = b.rows.data();
  std::vector<std::size_t> order(rank);
  for (std::size_t p = 0; p < rank; ++p) order[p] = p;
  std::sort(order.begin(), order.end(), [&pivots](std::size_t x, std::size_t y) { return pivots[x] < pivots[y]; });
  std::vector<ElemCode> spare;
  std::vector<bool> placed(rank, false);
  for (std::size_t start = 0; start < rank; ++start) {
    if (placed[start] || order[start] == start) continue;
    spare.assign(rows + start * n, rows + (start + 1) * n);
    // Row `at` of the basis is pivot row order[at].
    std::size_t at = start;
    while (order[at] != start) {
      std::memcpy(rows + at * n, rows + order[at] * n, n);
      placed[at] = true;
      at = order[at];
    }
    std::memcpy(rows + at * n, spare.data(), n);
    placed[at] = true;
  }
  b.rank = static_cast<int>(rank);
  for (const std::size_t p : order) b.pivots.push_back(static_cast<std::int64_t>(pivots[p]));
  b.rows.resize(rank * n);
}

// Rows beyond the rank leave storage behind: given back when it is most of it.
void fit_rows(Basis& b) {
  if (b.rows.capacity() > 2 * b.rows.size()) b.rows.shrink_to_fit();
}

}  // namespace

void reduce_to_basis(const MatrixView& m, Basis& basis) {
  basis.q = m.q;
  basis.n = m.n;
  basis.rank = 0;
  basis.rows.clear();
  basis.pivots.clear();
  if (m.q == 2) {
    reduce_binary(m, basis);
    return;
  }
  // The basis rows grow with the rank (a tall matrix of low rank costs
  // its rank), reserved up to the most there can be without touching it.
  const auto n = static_cast<std::size_t>(m.n);
  basis.rows.reserve(static_cast<std::size_t>(std::min<std::int64_t>(m.k, m.n)) * n);
  reduce_general(m.q, m.k, n, basis, [&m, &basis, n](int i, std::size_t rank) {
    if (basis.rows.size() < (rank + 1) * n) basis.rows.resize((rank + 1) * n);
    ElemCode* row = basis.rows.data() + rank * n;
    std::copy_n(m.rows[i], n, row);
    return row;
  });
  fit_rows(basis);
}

void reduce_in_place(int q, int k, std::int64_t n, std::vector<ElemCode>& entries, Basis& basis) {
  basis.q = q;
  basis.n = n;
  basis.rank = 0;
  basis.rows = std::move(entries);
  entries = {};
  basis.pivots.clear();
  if (q == 2) {
    // The binary reduction packs the rows before it writes any basis row,
    // and the basis rows are at most the rows: the same storage serves.
    std::vector<const ElemCode*> rows(static_cast<std::size_t>(k));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = basis.rows.data() + i * static_cast<std::size_t>(n);
    reduce_binary(MatrixView{q, k, n, rows.data()}, basis);
  } else {
    // Row i is read when row `rank` <= i is free: its own row was read
    // before and either moved up to a pivot row or dropped.
    const auto columns = static_cast<std::size_t>(n);
    reduce_general(q, k, columns, basis, [&basis, columns](int i, std::size_t rank) {
      ElemCode* row = basis.rows.data() + rank * columns;
      if (rank != static_cast<std::size_t>(i)) std::memcpy(row, basis.rows.data() + static_cast<std::size_t>(i) * columns, columns);
      return row;
    });
  }
  fit_rows(basis);
}

MatrixView view_of(const Basis& basis, std::vector<const ElemCode*>& pointers) {
  pointers.resize(static_cast<std::size_t>(basis.rank));
  for (std::size_t i = 0; i < pointers.size(); ++i) pointers[i] = basis.rows.data() + i * static_cast<std::size_t>(basis.n);
  return MatrixView{basis.q, basis.rank, basis.n, pointers.data()};
}

}  // namespace wdist::engine
