#include "menu/store/gen_matrix.h"

#include <cstdint>
#include <cstdlib>

#include "menu/store/cons_str.h"

namespace wdist {

namespace {

void allocate_gen_matrix(GenMatrix& c, std::int32_t rows, std::int32_t columns) {
  c.cap_rows = rows;
  // Rounded up to whole 16-column units; the one length whose rounding would
  // leave the 32-bit range keeps the largest capacity that is representable.
  std::int64_t rounded = 16 * ((static_cast<std::int64_t>(columns) - 1) / 16 + 1);
  c.cap_cols = static_cast<std::int32_t>(rounded > INT32_MAX ? INT32_MAX : rounded);
  std::int64_t table_entries = static_cast<std::int64_t>(rows) + 1;
  c.a = table_entries >= 0
            ? static_cast<ElemCode**>(request_block_twice(static_cast<std::size_t>(table_entries) * sizeof(ElemCode*)))
            : nullptr;
  check(c.a == nullptr, CheckId::gen_matrix_rows_null);
  for (std::int32_t i = 0; i <= rows; ++i) c.a[i] = new_byte_row(c.cap_cols);
  c.mem = 1;
}

}  // namespace

void size_gen_matrix(GenMatrix& c, std::int32_t rows, std::int32_t columns, std::int32_t q) {
  check(!((1 == c.mem) || (0 == c.mem)), CheckId::gen_matrix_size_mem);
  c.rows = rows;
  c.q = q;
  c.n = columns;
  if (c.mem == 1) {
    if (columns <= c.cap_cols && rows <= c.cap_rows) return;
    release_gen_matrix(c);
  }
  c.mem = 1;
  allocate_gen_matrix(c, rows, columns);
}

void release_gen_matrix(GenMatrix& c) {
  check(static_cast<std::uint32_t>(c.mem) > 1, CheckId::gen_matrix_release_mem);
  if (c.mem == 0) return;
  for (std::int32_t i = 0; i <= c.cap_rows; ++i) free_byte_row(c.a[i]);
  std::free(static_cast<void*>(c.a));
  c.mem = 0;
  check(nullptr == c.a, CheckId::gen_matrix_release_null);
}

}  // namespace wdist
