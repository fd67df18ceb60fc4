#include "codefile/decimal.h"

namespace wdist {

namespace {

bool is_white(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

DecimalStatus input_end(std::FILE* in) {
  return std::ferror(in) ? DecimalStatus::read_error : DecimalStatus::end_of_input;
}

}  // namespace

DecimalStatus read_decimal(std::FILE* in, std::int64_t& value, WrittenNumber& written) {
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
  written = WrittenNumber{};
  written.negative = negative;
  std::int64_t magnitude = 0;
  for (; c >= '0' && c <= '9'; c = getc_unlocked(in)) {
    const int digit = c - '0';
    if (written.digits == 0 && digit == 0) continue;
    if (static_cast<std::size_t>(written.digits) < kQuotedDigits) written.quoted[written.digits] = static_cast<char>(c);
    ++written.digits;
    if (!written.exact) continue;
    if (magnitude > (INT64_MAX - digit) / 10) {
      written.exact = false;
      magnitude = INT64_MAX;
    } else {
      magnitude = magnitude * 10 + digit;
    }
  }
  if (c != EOF) std::ungetc(c, in);
  value = negative ? -magnitude : magnitude;
  return DecimalStatus::ok;
}

DecimalStatus read_decimal(std::FILE* in, std::int64_t& value) {
  WrittenNumber unused;
  return read_decimal(in, value, unused);
}

void number_text(std::int64_t value, const WrittenNumber& written, char* out, std::size_t size) {
  if (written.exact)
    std::snprintf(out, size, "%lld", static_cast<long long>(value));
  else if (static_cast<std::size_t>(written.digits) <= kQuotedDigits)
    std::snprintf(out, size, "%s%s", written.negative ? "-" : "", written.quoted);
  else
    std::snprintf(out, size, "a %snumber of %lld digits", written.negative ? "negative " : "",
                  static_cast<long long>(written.digits));
}

std::int32_t clamp_to_int32(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace wdist
