// The counter table: a two-dimensional table of Counters, rows 0..rows and
// columns (entry codes) 0..cols. The drivers use it for the point table,
// which holds the characteristic vector and is transformed in place, and for
// the q-ary scratch table.
//
// Layout: column-major. a[e] is the plane that holds entry e of every row,
// rows 0..cap_rows contiguous, each plane its own allocation. A point table
// in the projective layout is thus q planes of one Counter per point, which
// the transforms stream and vectorise across points; the binary layout is a
// single plane (cols = 0) of one Counter per message. Planes keep the
// record free of any per-row bookkeeping: the storage is exactly the
// Counters plus a table of cap_cols + 1 plane pointers.
//
// Invariants: `mem` is 0 (nothing held) or 1 (planes 0..cap_cols of
// cap_rows + 1 Counters held). Sizing keeps the storage, the capacities and
// `q` when both capacities suffice and otherwise re-allocates exactly the
// request; nothing is ever cleared here.
#pragma once

#include <cstdint>

#include "menu/store/alloc.h"
#include "menu/store/counter.h"

namespace wdist {

struct CountTable {
  std::uint64_t cols;      // last column index in use
  std::uint64_t rows;      // last row index in use
  std::uint64_t cap_cols;  // last column index that holds storage
  std::uint64_t cap_rows;  // last row index that holds storage
  std::int64_t dim;        // the dimension the transforms work with (k, or 2k for an F_4 image)
  std::int64_t q;          // field size, recorded at allocation (drivers store it before sizing)
  std::uint64_t mem;       // 0: no storage held, 1: held
  Counter** a;             // a[e][d]: entry e of row d
};

void size_count_table(CountTable& c, std::uint64_t rows, std::uint64_t columns, std::int32_t q);
void release_count_table(CountTable& c);

}  // namespace wdist
