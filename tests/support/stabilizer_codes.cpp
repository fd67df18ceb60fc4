#include "support/stabilizer_codes.h"

namespace wdist_test {

namespace {

// The operator with `letter` on the qubits of `support` and I elsewhere.
std::string on_qubits(int n, const std::vector<int>& support, char letter) {
  std::string op(static_cast<std::size_t>(n), 'I');
  for (const int j : support) op[static_cast<std::size_t>(j)] = letter;
  return op;
}

std::string from_row(const std::vector<int>& row, char letter) {
  std::string op;
  for (const int b : row) op += b != 0 ? letter : 'I';
  return op;
}

}  // namespace

std::vector<std::string> five_qubit_code() { return {"XZZXI", "IXZZX", "XIXZZ", "ZXIXZ"}; }

std::vector<std::string> steane_code() {
  const std::vector<std::vector<int>> hamming = {
      {0, 0, 0, 1, 1, 1, 1}, {0, 1, 1, 0, 0, 1, 1}, {1, 0, 1, 0, 1, 0, 1}};
  std::vector<std::string> g;
  for (const auto& row : hamming) g.push_back(from_row(row, 'X'));
  for (const auto& row : hamming) g.push_back(from_row(row, 'Z'));
  return g;
}

std::vector<std::string> shor_code() {
  return {"ZZIIIIIII", "IZZIIIIII", "IIIZZIIII", "IIIIZZIII",
          "IIIIIIZZI", "IIIIIIIZZ", "XXXXXXIII", "IIIXXXXXX"};
}

std::vector<std::string> four_two_two_code() { return {"XXXX", "ZZZZ"}; }

std::vector<std::string> toric_code(int L) {
  const int n = 2 * L * L;
  const auto h = [L](int i, int j) { return ((i + L) % L) * L + (j + L) % L; };          // (i,j)-(i,j+1)
  const auto v = [L](int i, int j) { return L * L + ((i + L) % L) * L + (j + L) % L; };  // (i,j)-(i+1,j)
  std::vector<std::string> g;
  for (int i = 0; i < L; ++i)
    for (int j = 0; j < L; ++j) g.push_back(on_qubits(n, {h(i, j), h(i, j - 1), v(i, j), v(i - 1, j)}, 'X'));
  for (int i = 0; i < L; ++i)
    for (int j = 0; j < L; ++j) g.push_back(on_qubits(n, {h(i, j), h(i + 1, j), v(i, j), v(i, j + 1)}, 'Z'));
  return g;
}

std::vector<std::string> rotated_surface_code(int d) {
  // Face (a, b), a, b in 0..d, covers the qubits (a-1 .. a, b-1 .. b) of the
  // grid; it is X when a + b is even, Z when odd. Every inner face is
  // taken; of the faces on the boundary (two qubits), the X ones of the top
  // and bottom rows and the Z ones of the left and right columns.
  const int n = d * d;
  std::vector<std::string> g;
  for (int a = 0; a <= d; ++a)
    for (int b = 0; b <= d; ++b) {
      const bool x_type = (a + b) % 2 == 0;
      const bool inner = a >= 1 && a <= d - 1 && b >= 1 && b <= d - 1;
      const bool top_bottom = (a == 0 || a == d) && b >= 1 && b <= d - 1;
      const bool left_right = (b == 0 || b == d) && a >= 1 && a <= d - 1;
      if (!(inner || (top_bottom && x_type) || (left_right && !x_type))) continue;
      std::vector<int> support;
      for (int i = a - 1; i <= a; ++i)
        for (int j = b - 1; j <= b; ++j)
          if (i >= 0 && i < d && j >= 0 && j < d) support.push_back(i * d + j);
      g.push_back(on_qubits(n, support, x_type ? 'X' : 'Z'));
    }
  return g;
}

std::vector<std::vector<int>> golay_code_rows() {
  const std::vector<int> g = {1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1};  // coefficients of x^0 .. x^11
  std::vector<std::vector<int>> rows;
  for (int shift = 0; shift < 12; ++shift) {
    std::vector<int> row(23, 0);
    for (int i = 0; i < 12; ++i) row[static_cast<std::size_t>(i + shift)] = g[static_cast<std::size_t>(i)];
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> quantum_golay_code() {
  // The even subcode: consecutive sums of the rows, (1 + x) g(x) shifted.
  const std::vector<std::vector<int>> rows = golay_code_rows();
  std::vector<std::vector<int>> even;
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    std::vector<int> sum(23);
    for (std::size_t j = 0; j < 23; ++j) sum[j] = rows[i][j] ^ rows[i + 1][j];
    even.push_back(sum);
  }
  std::vector<std::string> g;
  for (const auto& row : even) g.push_back(from_row(row, 'X'));
  for (const auto& row : even) g.push_back(from_row(row, 'Z'));
  return g;
}

std::vector<KnownStabilizer> known_stabilizer_codes() {
  return {
      {"[[5,1,3]]", five_qubit_code(), 5, 1, 3, false},
      {"Steane [[7,1,3]]", steane_code(), 7, 1, 3, false},
      {"Shor [[9,1,3]]", shor_code(), 9, 1, 3, true},
      {"[[4,2,2]]", four_two_two_code(), 4, 2, 2, false},
      {"toric L = 2", toric_code(2), 8, 2, 2, false},
      {"toric L = 3", toric_code(3), 18, 2, 3, false},
      {"toric L = 4", toric_code(4), 32, 2, 4, false},
      {"rotated surface d = 3", rotated_surface_code(3), 9, 1, 3, true},
      {"rotated surface d = 5", rotated_surface_code(5), 25, 1, 5, true},
      {"quantum Golay [[23,1,7]]", quantum_golay_code(), 23, 1, 7, false},
  };
}

}  // namespace wdist_test
