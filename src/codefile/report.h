// The report block written for every computed record: the record again in
// the code record format (so a report reads back as an input file), the
// "G=" line, the time line, then the nonzero A_w as pairs " w^A_w ". A
// block starts with a newline and ends without one. The formats live here
// and nowhere else; the menu programs and `wdist --format report` both
// write their blocks through these calls.
#pragma once

#include <cstdint>
#include <cstdio>

#include "field/fields.h"

namespace wdist {

namespace report_formats {
inline constexpr char kHead[] = "\n? %d %d %d %d %d %d  \n";
inline constexpr char kGenerator[] = "G= %llu \n";
inline constexpr char kTime[] = "\n Time =  %10.3f seconds";
inline constexpr char kWeightsStart[] = " \n";
inline constexpr char kWeight[] = " %d^%lld ";
inline constexpr char kWeightDigits[] = " %d^%s ";  // a count beyond 64 bits, in decimal
}  // namespace report_formats

// The newline, the head line (k, n, q, the record number and the matrix
// storage's capacities), rows[0..k) of n entries each and the "G=" line
// with the value 1.
void write_code_report(std::FILE* out, std::int32_t k, std::int32_t n, std::int32_t q, std::int32_t record,
                       std::int32_t cap_rows, std::int32_t cap_cols, const ElemCode* const* rows);

// The time line: processor seconds spent on the record.
void write_report_time(std::FILE* out, double seconds);

// " \n" and the nonzero counts hist[w], w = 0..length.
void write_weights(std::FILE* out, const std::uint64_t* hist, std::int64_t length);

// The same one pair at a time: the start, then each nonzero count with its
// decimal digits (any size).
void write_weights_start(std::FILE* out);
void write_weight_digits(std::FILE* out, std::int64_t w, const char* digits);

}  // namespace wdist
