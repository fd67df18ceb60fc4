#include "support/pauli_ref.h"

#include <algorithm>
#include <bit>
#include <set>
#include <utility>

namespace wdist_test {

PauliOp pauli_of(const std::string& letters) {
  PauliOp op;
  for (std::size_t j = 0; j < letters.size(); ++j) {
    const char c = letters[j];
    if (c == 'X' || c == 'Y') op.x |= std::uint32_t{1} << j;
    if (c == 'Z' || c == 'Y') op.z |= std::uint32_t{1} << j;
  }
  return op;
}

std::vector<std::string> pauli_texts(const PauliList& list) {
  std::vector<std::string> texts;
  for (const PauliOp& op : list.ops) {
    std::string t;
    for (int j = 0; j < list.n; ++j) {
      const bool x = (op.x >> j) & 1, z = (op.z >> j) & 1;
      t += x ? (z ? 'Y' : 'X') : (z ? 'Z' : 'I');
    }
    texts.push_back(t);
  }
  return texts;
}

std::vector<std::uint8_t> symplectic_bits(const PauliList& list) {
  std::vector<std::uint8_t> bits;
  for (const PauliOp& op : list.ops) {
    for (int j = 0; j < list.n; ++j) bits.push_back(static_cast<std::uint8_t>((op.x >> j) & 1));
    for (int j = 0; j < list.n; ++j) bits.push_back(static_cast<std::uint8_t>((op.z >> j) & 1));
  }
  return bits;
}

int pauli_weight(const PauliOp& op, int n) {
  int w = 0;
  for (int j = 0; j < n; ++j)
    if ((((op.x | op.z) >> j) & 1) != 0) ++w;
  return w;
}

bool commute(const PauliOp& a, const PauliOp& b) {
  // The qubits where the two anticommute: both not I and different.
  int anticommuting = 0;
  for (int j = 0; j < 32; ++j) {
    const int ax = (a.x >> j) & 1, az = (a.z >> j) & 1, bx = (b.x >> j) & 1, bz = (b.z >> j) & 1;
    const bool a_trivial = ax == 0 && az == 0, b_trivial = bx == 0 && bz == 0;
    if (!a_trivial && !b_trivial && (ax != bx || az != bz)) ++anticommuting;
  }
  return anticommuting % 2 == 0;
}

std::string first_anticommuting_pair(const PauliList& list) {
  for (std::size_t j = 0; j < list.ops.size(); ++j)
    for (std::size_t i = 0; i < j; ++i)
      if (!commute(list.ops[i], list.ops[j])) return std::to_string(i + 1) + " " + std::to_string(j + 1);
  return "";
}

GroupRef group_ref(const PauliList& list, bool normalizer) {
  GroupRef ref;
  const int n = list.n;
  std::set<std::pair<std::uint32_t, std::uint32_t>> group;
  const std::size_t r = list.ops.size();
  for (std::uint64_t subset = 0; subset < (std::uint64_t{1} << r); ++subset) {
    PauliOp product;
    for (std::size_t i = 0; i < r; ++i)
      if ((subset >> i) & 1) {
        product.x ^= list.ops[i].x;
        product.z ^= list.ops[i].z;
      }
    group.insert({product.x, product.z});
  }
  ref.rank = std::countr_zero(group.size());
  ref.A.assign(static_cast<std::size_t>(n) + 1, 0);
  for (const auto& [x, z] : group) ++ref.A[static_cast<std::size_t>(pauli_weight(PauliOp{x, z}, n))];
  if (!normalizer) return ref;

  ref.B.assign(static_cast<std::size_t>(n) + 1, 0);
  const int k = n - ref.rank;
  std::int64_t distance = n + 1;
  for (std::uint32_t x = 0; x < (std::uint32_t{1} << n); ++x)
    for (std::uint32_t z = 0; z < (std::uint32_t{1} << n); ++z) {
      const PauliOp op{x, z};
      if (!std::all_of(list.ops.begin(), list.ops.end(), [&op](const PauliOp& g) { return commute(op, g); }))
        continue;
      const int w = pauli_weight(op, n);
      ++ref.B[static_cast<std::size_t>(w)];
      const bool in_group = group.count({x, z}) != 0;
      const bool counts = k == 0 ? in_group && w > 0 : !in_group;
      if (counts) distance = std::min<std::int64_t>(distance, w);
    }
  ref.distance = distance;
  for (const auto& [x, z] : group) {
    const int w = pauli_weight(PauliOp{x, z}, n);
    if (w > 0 && w < distance) ref.degenerate = true;
  }
  return ref;
}

}  // namespace wdist_test
