#include "codefile/pauli_text.h"

#include <array>
#include <cstdio>

namespace wdist {

namespace {

// Per character: bit 2 set for a Pauli letter, bit 0 its x, bit 1 its z.
constexpr std::uint8_t kLetter = 4;
constexpr std::array<std::uint8_t, 256> letter_table() {
  std::array<std::uint8_t, 256> t{};
  for (const char c : {'I', 'i', '_', '.'}) t[static_cast<unsigned char>(c)] = kLetter;
  for (const char c : {'X', 'x'}) t[static_cast<unsigned char>(c)] = kLetter | 1;
  for (const char c : {'Z', 'z'}) t[static_cast<unsigned char>(c)] = kLetter | 2;
  for (const char c : {'Y', 'y'}) t[static_cast<unsigned char>(c)] = kLetter | 3;
  return t;
}
constexpr std::array<std::uint8_t, 256> kLetters = letter_table();

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A text cut into its parts: [first, last) without the blanks at its ends,
// the body [body, last) after the phase.
struct Parts {
  std::size_t first = 0, last = 0, body = 0;
  bool binary = false;
  bool leading_i = false;  // a Pauli body starting with 'i', which may yet be the phase
};

Parts parts_of(const char* text, std::size_t size) {
  Parts p;
  p.last = size;
  while (p.first < p.last && is_pauli_blank(static_cast<unsigned char>(text[p.first]))) ++p.first;
  while (p.last > p.first && is_pauli_blank(static_cast<unsigned char>(text[p.last - 1]))) --p.last;
  p.body = p.first;
  if (p.body < p.last && (text[p.body] == '+' || text[p.body] == '-')) ++p.body;
  if (p.body + 1 < p.last && text[p.body] == 'i' && is_digit(text[p.body + 1])) ++p.body;
  p.binary = p.body < p.last && is_digit(text[p.body]);
  p.leading_i = !p.binary && p.body < p.last && text[p.body] == 'i';
  return p;
}

// A character as a message shows it: 'Q', '\'', '\x09'.
void char_text(unsigned char c, char* out, std::size_t size) {
  if (c == '\'' || c == '\\')
    std::snprintf(out, size, "'\\%c'", c);
  else if (c >= 0x20 && c < 0x7f)
    std::snprintf(out, size, "'%c'", c);
  else
    std::snprintf(out, size, "'\\x%02x'", c);
}

// Whether every character of the body belongs to its form; otherwise the
// first that does not, named with its column.
bool check_characters(const char* text, const Parts& p, std::int64_t first_column, char* reason,
                      std::size_t reason_size) {
  for (std::size_t i = p.body; i < p.last; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (p.binary ? (c == '0' || c == '1') : (kLetters[c] & kLetter) != 0) continue;
    char shown[8];
    char_text(c, shown, sizeof shown);
    const long long column = first_column + static_cast<std::int64_t>(i);
    if (p.binary)
      std::snprintf(reason, reason_size, "column %lld: %s is not 0 or 1 (a generator starting with a digit is in the "
                    "binary form)", column, shown);
    else
      std::snprintf(reason, reason_size, "column %lld: %s is not a Pauli letter (I, X, Y, Z)", column, shown);
    return false;
  }
  return true;
}

}  // namespace

PauliShape pauli_shape(const char* text, std::size_t size, std::int64_t first_column, char* reason,
                       std::size_t reason_size) {
  PauliShape shape;
  const Parts p = parts_of(text, size);
  if (!check_characters(text, p, first_column, reason, reason_size)) return shape;
  shape.valid = true;
  shape.binary = p.binary;
  const auto length = static_cast<std::int64_t>(p.last - p.body);
  if (p.binary) {
    if (length % 2 == 0) shape.n[shape.count++] = length / 2;
  } else {
    if (length >= 1) shape.n[shape.count++] = length;
    if (p.leading_i && length >= 2) shape.n[shape.count++] = length - 1;
  }
  return shape;
}

bool read_pauli_text(const char* text, std::size_t size, std::int64_t n, std::int64_t first_column,
                     std::uint8_t* bits, char* reason, std::size_t reason_size) {
  Parts p = parts_of(text, size);
  if (p.first == p.last) {
    std::snprintf(reason, reason_size, "%s", "is empty");
    return false;
  }
  if (!check_characters(text, p, first_column, reason, reason_size)) return false;
  auto length = static_cast<std::int64_t>(p.last - p.body);
  if (p.binary) {
    if (length != 2 * n) {
      std::snprintf(reason, reason_size, "has %lld binary digits, not 2n = %lld", static_cast<long long>(length),
                    2 * static_cast<long long>(n));
      return false;
    }
    for (std::int64_t j = 0; j < 2 * n; ++j) bits[j] = static_cast<std::uint8_t>(text[p.body + static_cast<std::size_t>(j)] - '0');
    return true;
  }
  if (p.leading_i && length == n + 1) {
    ++p.body;
    --length;
  }
  if (length != n) {
    std::snprintf(reason, reason_size, "has %lld letters, not n = %lld", static_cast<long long>(length),
                  static_cast<long long>(n));
    return false;
  }
  const char* letters = text + p.body;
  for (std::int64_t j = 0; j < n; ++j) {
    const std::uint8_t code = kLetters[static_cast<unsigned char>(letters[j])];
    bits[j] = code & 1;
    bits[n + j] = (code >> 1) & 1;
  }
  return true;
}

}  // namespace wdist
