#include "codefile/report.h"

namespace wdist {

namespace {

// Entries are printed with "%d"; the reader only stores the values 0..9,
// so a row is assembled digit by digit and written in chunks.
void write_row(std::FILE* out, const ElemCode* row, std::int32_t n) {
  char chunk[4096] = {};
  std::int32_t j = 0;
  while (j < n) {
    std::size_t used = 0;
    for (; j < n && used + 4 < sizeof chunk; ++j) {
      if (row[j] < 10)
        chunk[used++] = static_cast<char>('0' + row[j]);
      else
        used += static_cast<std::size_t>(std::snprintf(chunk + used, sizeof chunk - used, "%d", row[j]));
    }
    std::fwrite(chunk, 1, used, out);
  }
  std::fputc('\n', out);
}

}  // namespace

void write_code_report(std::FILE* out, std::int32_t k, std::int32_t n, std::int32_t q, std::int32_t record,
                       std::int32_t cap_rows, std::int32_t cap_cols, const ElemCode* const* rows) {
  std::fprintf(out, report_formats::kHead, k, n, q, record, cap_rows, cap_cols);
  for (std::int32_t i = 0; i < k; ++i) write_row(out, rows[i], n);
  std::fprintf(out, report_formats::kGenerator, 1ULL);
}

void write_report_time(std::FILE* out, double seconds) { std::fprintf(out, report_formats::kTime, seconds); }

void write_weights(std::FILE* out, const std::uint64_t* hist, std::int64_t length) {
  write_weights_start(out);
  for (std::int64_t w = 0; w <= length; ++w)
    if (hist[w] != 0)
      std::fprintf(out, report_formats::kWeight, static_cast<int>(w), static_cast<long long>(hist[w]));
}

void write_weights_start(std::FILE* out) { std::fputs(report_formats::kWeightsStart, out); }

void write_weight_digits(std::FILE* out, std::int64_t w, const char* digits) {
  std::fprintf(out, report_formats::kWeightDigits, static_cast<int>(w), digits);
}

}  // namespace wdist
