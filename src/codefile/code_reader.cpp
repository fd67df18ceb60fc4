#include "codefile/code_reader.h"

#include <cstdint>
#include <cstdio>

#include "codefile/decimal.h"
#include "field/field_tables.h"

namespace wdist {

namespace {

// Drops characters up to and including the next newline; the end of the
// input ends it as well (a later read that needs a character reports it).
void drop_line(std::FILE* in) {
  int c;
  do c = std::getc(in);
  while (c != '\n' && c != EOF);
}

ReadResult result(ReadStatus status) { return ReadResult{status, {}}; }

ReadResult stopped(std::FILE* in) { return result(std::ferror(in) ? ReadStatus::failed : ReadStatus::truncated); }

}  // namespace

ReadResult read_code(std::FILE* in, GenMatrix& g, RecordPath path) {
  HeadNumbers head{};
  std::int64_t* numbers[] = {&head.k, &head.n, &head.q};
  for (std::int64_t* number : numbers) {
    switch (read_decimal(in, *number)) {
      case DecimalStatus::ok:
        break;
      case DecimalStatus::unreadable: {
        ReadResult r = result(ReadStatus::refused);
        std::snprintf(r.reason, sizeof r.reason, "its head does not hold three numbers k n q");
        return r;
      }
      case DecimalStatus::end_of_input:
        return result(ReadStatus::truncated);
      case DecimalStatus::read_error:
        return result(ReadStatus::failed);
    }
  }
  ReadResult r = result(ReadStatus::ok);
  if (!accept_head(head, path, r.reason, sizeof r.reason)) {
    r.status = ReadStatus::refused;
    return r;
  }
  const auto k = static_cast<std::int32_t>(head.k);
  const auto n = static_cast<std::int32_t>(head.n);
  const auto q = static_cast<std::int32_t>(head.q);
  size_gen_matrix(g, k, n, q);
  select_field(q);
  g.k = g.rows;
  drop_line(in);

  int remembered = 0;
  std::int64_t bad_row = 0, bad_column = 0;
  int bad_value = 0;
  for (std::int32_t i = 1; i <= g.k; ++i) {
    ElemCode* row = g.a[i];
    for (std::int32_t j = 1; j <= g.n; ++j) {
      int c = std::getc(in);
      if (c == EOF) return stopped(in);
      if (c >= '0' && c <= '9') remembered = c - '0';
      row[j] = static_cast<ElemCode>(remembered);
      if (remembered >= q && bad_row == 0) {
        bad_row = i;
        bad_column = j;
        bad_value = remembered;
      }
    }
    if (i < g.k) drop_line(in);
  }
  if (bad_row != 0) {
    r.status = ReadStatus::refused;
    std::snprintf(r.reason, sizeof r.reason, "entry %d in row %lld, column %lld is not below q = %d", bad_value,
                  static_cast<long long>(bad_row), static_cast<long long>(bad_column), q);
  }
  return r;
}

}  // namespace wdist
