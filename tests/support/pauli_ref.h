// Stabilizer groups counted from the definition, the slow twin of the
// library's binary image and MacWilliams finish: the group is built as the
// set of products of subsets of the generators, the normalizer by trying
// every one of the 4^n Pauli operators against every generator. Operators
// are two bit masks (qubit j at bit j), nothing of the library is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdist_test {

struct PauliOp {
  std::uint32_t x = 0;
  std::uint32_t z = 0;
};

// A list of generators on n <= 16 qubits (the normalizer's count takes
// n <= 8 or so: 4^n operators).
struct PauliList {
  int n = 0;
  std::vector<PauliOp> ops;
};

// "XZZXI" (letters I, X, Y, Z) as an operator.
PauliOp pauli_of(const std::string& letters);
// The list as Pauli strings, for the library's parser and for messages.
std::vector<std::string> pauli_texts(const PauliList& list);
// The same in the binary symplectic form, r * 2n bits, x then z.
std::vector<std::uint8_t> symplectic_bits(const PauliList& list);

int pauli_weight(const PauliOp& op, int n);
bool commute(const PauliOp& a, const PauliOp& b);

// The first pair of generators that does not commute, from 1, as "i j"
// with the least j, then the least i < j; empty when all commute.
std::string first_anticommuting_pair(const PauliList& list);

struct GroupRef {
  int rank = 0;                  // log2 of the group's size
  std::vector<std::uint64_t> A;  // A[w], w = 0..n, over the distinct elements of the group
  std::vector<std::uint64_t> B;  // B[w], over the operators commuting with every generator (when asked for)
  std::int64_t distance = 0;     // by the definition (k >= 1: an operator of N(S) outside S; k = 0: of S)
  bool degenerate = false;
};

// The group spanned by the generators (every subset's product; at most 2^20
// subsets); with `normalizer`, the operators commuting with all of them, the
// distance and degeneracy as well (the generators must commute then).
GroupRef group_ref(const PauliList& list, bool normalizer);

}  // namespace wdist_test
