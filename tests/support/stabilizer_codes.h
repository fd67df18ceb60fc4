// Stabilizer codes whose parameters are known, as Pauli strings: the
// five-qubit code, Steane's, Shor's, [[4,2,2]], toric and rotated surface
// codes, the quantum Golay code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdist_test {

struct KnownStabilizer {
  std::string name;
  std::vector<std::string> generators;
  std::int64_t n, k, distance;
  bool degenerate;
};

std::vector<std::string> five_qubit_code();     // [[5,1,3]], XZZXI and its cyclic shifts
std::vector<std::string> steane_code();         // [[7,1,3]], CSS of the Hamming code
std::vector<std::string> shor_code();           // [[9,1,3]], degenerate
std::vector<std::string> four_two_two_code();   // [[4,2,2]], XXXX and ZZZZ
// [[2L^2, 2, L]]: every vertex star and every plaquette of the L x L torus
// (2L^2 generators, two of them dependent).
std::vector<std::string> toric_code(int L);
// [[d^2, 1, d]]: the rotated surface code on a d x d grid, d odd.
std::vector<std::string> rotated_surface_code(int d);
// [[23, 1, 7]]: CSS of the binary Golay code [23, 12, 7] over its even
// subcode, its dual.
std::vector<std::string> quantum_golay_code();
// The binary Golay code's 12 generator rows (cyclic shifts of
// 1 + x^2 + x^4 + x^5 + x^6 + x^10 + x^11), for a check of the rows used.
std::vector<std::vector<int>> golay_code_rows();

// All of the above with their parameters (toric L = 2, 3, 4; surface d = 3, 5).
// Degenerate: an element of the group other than I below the distance
// (Shor's weight-2 Z pairs, the surface codes' weight-2 boundary faces; a
// toric code's weight-4 faces only from L = 5).
std::vector<KnownStabilizer> known_stabilizer_codes();

}  // namespace wdist_test
