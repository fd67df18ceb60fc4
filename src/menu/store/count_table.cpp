#include "menu/store/count_table.h"

#include <cstdlib>

#include "menu/store/cons_str.h"

namespace wdist {

namespace {

void allocate_count_table(CountTable& c, std::uint64_t rows, std::uint64_t columns, std::int32_t q) {
  c.cap_cols = columns;
  c.cap_rows = rows;
  c.q = q;
  bool representable = columns < SIZE_MAX / sizeof(Counter*);
  c.a = representable ? static_cast<Counter**>(request_block_twice((columns + 1) * sizeof(Counter*))) : nullptr;
  check(c.a == nullptr, CheckId::count_table_rows_null);
  for (std::uint64_t e = 0; e <= columns; ++e) c.a[e] = new_counter_array(rows);
  c.mem = 1;
}

}  // namespace

void size_count_table(CountTable& c, std::uint64_t rows, std::uint64_t columns, std::int32_t q) {
  c.cols = columns;
  c.rows = rows;
  if (c.mem == 1) {
    if (columns <= c.cap_cols && rows <= c.cap_rows) return;
    release_count_table(c);
  }
  c.mem = 1;
  allocate_count_table(c, rows, columns, q);
}

void release_count_table(CountTable& c) {
  if (c.mem == 0) return;
  for (std::uint64_t e = 0; e <= c.cap_cols; ++e) {
    Counter* r = c.a[e];
    std::free(r);
    check(nullptr == r, CheckId::counter_row_release_null);
  }
  std::free(static_cast<void*>(c.a));
  c.mem = 0;
  check(nullptr == c.a, CheckId::count_table_release_null);
}

}  // namespace wdist
