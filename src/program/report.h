// The report block written for every computed record: the record again in
// the code record format (so a report reads back as an input file), the
// "G=" line, the time line, then the nonzero A_w as pairs " w^A_w ". A
// block starts with a newline and ends without one. The formats live here
// and nowhere else; the menu programs and `wdist --format report` both
// write their blocks through these calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "field/fields.h"

namespace wdist {

namespace report_formats {
inline constexpr char kHead[] = "\n? %d %d %d %d %d %d  \n";
inline constexpr char kGenerator[] = "G= %llu \n";
inline constexpr char kTime[] = "\n Time =  %10.3f seconds";
inline constexpr char kWeightsStart[] = " \n";
// " %d^%lld ": a blank, w, '^', A_w, a blank. Written digit by digit (the
// same bytes for the non-negative values a report holds), which a long
// weight line is much faster for.
inline constexpr char kWeight[] = " %d^%lld ";
}  // namespace report_formats

// Where a block goes: appended to a string, or written to a file in chunks
// (what is still buffered goes out at flush() and on destruction).
class ReportSink {
 public:
  explicit ReportSink(std::FILE* file) : file_(file), text_(&buffer_) {}
  explicit ReportSink(std::string& text) : text_(&text) {}
  ~ReportSink() { flush(); }
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;
  ReportSink(ReportSink&&) = delete;
  ReportSink& operator=(ReportSink&&) = delete;

  void append(const char* bytes, std::size_t size) {
    text_->append(bytes, size);
    if (file_ != nullptr && buffer_.size() >= kChunk) flush();
  }
  void append(char c) {
    text_->push_back(c);
    if (file_ != nullptr && buffer_.size() >= kChunk) flush();
  }
  void flush();

 private:
  // A file sink writes when this much is buffered.
  static constexpr std::size_t kChunk = std::size_t{64} << 10;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  std::string* text_;
};

// The newline, the head line (k, n, q, the record number and the matrix
// storage's capacities), rows[0..k) of n entries each and the "G=" line
// with the value 1.
void write_code_report(ReportSink& out, std::int32_t k, std::int32_t n, std::int32_t q, std::int32_t record,
                       std::int32_t cap_rows, std::int32_t cap_cols, const ElemCode* const* rows);

// The time line: seconds spent on the record.
void write_report_time(ReportSink& out, double seconds);

// " \n" and the nonzero counts hist[w], w = 0..length.
void write_weights(ReportSink& out, const std::uint64_t* hist, std::int64_t length);

// The same one pair at a time: the start, then each nonzero count, as a
// number or by its decimal digits (any size).
void write_weights_start(ReportSink& out);
void write_weight(ReportSink& out, std::int64_t w, std::uint64_t count);
void write_weight_digits(ReportSink& out, std::int64_t w, const char* digits);

}  // namespace wdist
