#include "engine/basis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "field/field_tables.h"

namespace wdist {

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

// Binary matrices: rows packed 64 columns to a word, row operations are
// exclusive ors of whole words. The columns of one word are reduced
// together over a slab holding that word of every row, contiguous: finding
// the pivot and the rows to clear scans the slab, not the rows' memory.
void reduce_binary(const MatrixView& m, Basis& b) {
  const auto n = static_cast<std::size_t>(m.n);
  const auto k = static_cast<std::size_t>(m.k);
  const std::size_t words = (n + 63) / 64;
  std::vector<Word> storage(k * words);
  std::vector<Word*> rows(k);
  for (std::size_t i = 0; i < k; ++i) {
    rows[i] = storage.data() + i * words;
    for (std::size_t w = 0; w < words; ++w) rows[i][w] = pack_word(m.rows[i] + 64 * w, std::min<std::size_t>(64, n - 64 * w));
  }
  std::vector<Word> slab(k);
  std::size_t rank = 0;
  for (std::size_t w = 0; w < words && rank < k; ++w) {
    for (std::size_t i = 0; i < k; ++i) slab[i] = rows[i][w];
    const std::size_t columns = std::min<std::size_t>(64, n - 64 * w);
    for (std::size_t c = 0; c < columns && rank < k; ++c) {
      const Word bit = Word{1} << c;
      std::size_t p = rank;
      while (p < k && (slab[p] & bit) == 0) ++p;
      if (p == k) continue;
      std::swap(rows[p], rows[rank]);
      std::swap(slab[p], slab[rank]);
      const Word* pivot = rows[rank];
      const Word pivot_slab = slab[rank];
      for (std::size_t i = 0; i < k; ++i) {
        if (i == rank || (slab[i] & bit) == 0) continue;
        // Words below the pivot's are zero in the pivot row.
        Word* row = rows[i];
        for (std::size_t j = w; j < words; ++j) row[j] ^= pivot[j];
        slab[i] ^= pivot_slab;
      }
      b.pivots.push_back(static_cast<std::int64_t>(64 * w + c));
      ++rank;
    }
  }
  b.rank = static_cast<int>(rank);
  b.rows.resize(rank * n);
  for (std::size_t i = 0; i < rank; ++i)
    for (std::size_t w = 0; w < words; ++w)
      unpack_word(rows[i][w], b.rows.data() + i * n + 64 * w, std::min<std::size_t>(64, n - 64 * w));
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
