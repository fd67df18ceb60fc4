#include "program/report.h"

#include <charconv>
#include <cstring>

namespace wdist {

namespace {

void append_number(ReportSink& out, std::int64_t value) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

template <class... Values>
void append_format(ReportSink& out, const char* format, Values... values) {
  char line[160];
  const int used = std::snprintf(line, sizeof line, format, values...);
  if (used > 0) out.append(line, static_cast<std::size_t>(used) < sizeof line ? static_cast<std::size_t>(used) : sizeof line - 1);
}

// Entries are printed with "%d"; the reader only stores the values 0..9,
// so a row is assembled digit by digit, a chunk at a time.
void write_row(ReportSink& out, const ElemCode* row, std::int32_t n) {
  // cppcheck-suppress uninitvar ; only the `used` bytes written below are read
  char chunk[4096];
  std::int32_t j = 0;
  // The usual row: every entry one digit, turned into characters a vector
  // at a time.
  while (j < n) {
    const std::int32_t count = n - j < static_cast<std::int32_t>(sizeof chunk) ? n - j : static_cast<std::int32_t>(sizeof chunk);
    ElemCode largest = 0;
    for (std::int32_t i = 0; i < count; ++i) largest = row[j + i] > largest ? row[j + i] : largest;
    if (largest >= 10) break;
    for (std::int32_t i = 0; i < count; ++i) chunk[i] = static_cast<char>('0' + row[j + i]);
    out.append(chunk, static_cast<std::size_t>(count));
    j += count;
  }
  while (j < n) {
    std::size_t used = 0;
    for (; j < n && used + 4 < sizeof chunk; ++j) {
      if (row[j] < 10) {
        chunk[used++] = static_cast<char>('0' + row[j]);
      } else {
        const std::to_chars_result r = std::to_chars(chunk + used, chunk + sizeof chunk, int{row[j]});
        used = static_cast<std::size_t>(r.ptr - chunk);
      }
    }
    out.append(chunk, used);
  }
  out.append('\n');
}

}  // namespace

void ReportSink::flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

void write_code_report(ReportSink& out, std::int32_t k, std::int32_t n, std::int32_t q, std::int32_t record,
                       std::int32_t cap_rows, std::int32_t cap_cols, const ElemCode* const* rows) {
  append_format(out, report_formats::kHead, k, n, q, record, cap_rows, cap_cols);
  for (std::int32_t i = 0; i < k; ++i) write_row(out, rows[i], n);
  append_format(out, report_formats::kGenerator, 1ULL);
}

void write_report_time(ReportSink& out, double seconds) { append_format(out, report_formats::kTime, seconds); }

void write_weights(ReportSink& out, const std::uint64_t* hist, std::int64_t length) {
  write_weights_start(out);
  for (std::int64_t w = 0; w <= length; ++w)
    if (hist[w] != 0) write_weight(out, w, hist[w]);
}

void write_weights_start(ReportSink& out) { out.append(report_formats::kWeightsStart, 2); }

void write_weight(ReportSink& out, std::int64_t w, std::uint64_t count) {
  // " %d^%lld " of w and count: w as the int and the count as the signed
  // 64-bit value the format gives them.
  out.append(' ');
  append_number(out, static_cast<int>(w));
  out.append('^');
  append_number(out, static_cast<std::int64_t>(count));
  out.append(' ');
}

void write_weight_digits(ReportSink& out, std::int64_t w, const char* digits) {
  out.append(' ');
  append_number(out, static_cast<int>(w));
  out.append('^');
  out.append(digits, std::strlen(digits));
  out.append(' ');
}

}  // namespace wdist
