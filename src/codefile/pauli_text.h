// One Pauli operator on n qubits written as text, the rows of a stabilizer
// record and the strings a front end is given: every rule of the notation
// in one place.
//
//   text    := blanks? phase? body blanks?
//   blanks  := any of ' ', '\t', '\r', '\v', '\f'  (at the ends only)
//   phase   := ('+' | '-')? 'i'?                   (read and dropped)
//   body    := letters | digits
//   letters := n of I X Y Z i x y z _ .            ('_' and '.' are I)
//   digits  := 2n of 0 1                           (x_1..x_n, then z_1..z_n)
//
// The body is the binary form when it starts with a digit. A lowercase 'i'
// is both a phase and the identity letter; the length decides: it is the
// phase when a digit follows it, or when n + 1 letters follow the sign
// (so "iXZ" is i times XZ for n = 2 and IXZ for n = 3).
//
// The operator becomes its 2n bits (x, z): I (0, 0), X (1, 0), Z (0, 1),
// Y (1, 1), the phase dropped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wdist {

// What a text says about its number of qubits before any n is known: each
// text allows one n, or two when a lowercase 'i' may be the phase or a
// letter. `valid` is false when a character is outside the notation
// (`reason` then names it); a text that allows no n (an odd number of
// binary digits, no letters at all) is valid with `count` 0.
struct PauliShape {
  bool valid = false;
  bool binary = false;
  int count = 0;           // the n it allows: 0, 1 or 2 of them
  std::int64_t n[2] = {};  // larger first
};

// Which n the text allows. Columns in a reason are 1-based from
// `first_column` (the column of text[0] in the line it came from).
PauliShape pauli_shape(const char* text, std::size_t size, std::int64_t first_column, char* reason,
                       std::size_t reason_size);

// Reads the text as an operator on n qubits into bits[0 .. 2n). False, with
// the reason ("column 4: 'Q' is not a Pauli letter (I, X, Y, Z)", "has 4
// letters, not n = 5"), when it is not one; `bits` may then hold anything.
// A character outside the notation is named before a wrong length.
bool read_pauli_text(const char* text, std::size_t size, std::int64_t n, std::int64_t first_column,
                     std::uint8_t* bits, char* reason, std::size_t reason_size);

// Whether a character is a blank at the ends of a text.
constexpr bool is_pauli_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace wdist
