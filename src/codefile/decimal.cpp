#include "codefile/decimal.h"

namespace wdist {

namespace {

bool is_white(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

DecimalStatus input_end(std::FILE* in) {
  return std::ferror(in) ? DecimalStatus::read_error : DecimalStatus::end_of_input;
}

}  // namespace

DecimalStatus read_decimal(std::FILE* in, std::int64_t& value) {
  int c = getc_unlocked(in);
  while (is_white(c)) c = getc_unlocked(in);
  if (c == EOF) return input_end(in);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = getc_unlocked(in);
  }
  if (c < '0' || c > '9') {
    if (c == EOF) return input_end(in);
    std::ungetc(c, in);
    return DecimalStatus::unreadable;
  }
  constexpr std::int64_t kSaturated = std::int64_t{1} << 40;
  std::int64_t magnitude = 0;
  for (; c >= '0' && c <= '9'; c = getc_unlocked(in))
    if (magnitude < kSaturated) magnitude = magnitude * 10 + (c - '0');
  if (c != EOF) std::ungetc(c, in);
  value = negative ? -magnitude : magnitude;
  return DecimalStatus::ok;
}

std::int32_t clamp_to_int32(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace wdist
