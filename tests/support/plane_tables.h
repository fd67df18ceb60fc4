// Point tables in the q-ary kernels' layout for the kernel tests: p planes
// built from a row-major table with guard rows above it and different
// alignments per plane, random contents, the comparison entry by entry,
// and caller scratch with a canary behind it.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "support/qary_ref.h"

namespace wdist_test {

// Caller storage for the kernel, 64-byte aligned, followed by a canary
// that no kernel may overwrite.
class Scratch {
 public:
  static constexpr std::size_t kCanary = 4096;
  explicit Scratch(std::size_t bytes) : bytes_(bytes) {
    data_ = static_cast<unsigned char*>(::operator new(bytes + kCanary, std::align_val_t{64}));
    std::memset(data_, 0x5c, bytes + kCanary);
  }
  ~Scratch() { ::operator delete(data_, std::align_val_t{64}); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  void* data() { return data_; }
  bool canary_intact() const {
    for (std::size_t i = 0; i < kCanary; ++i)
      if (data_[bytes_ + i] != 0x5c) return false;
    return true;
  }

 private:
  std::size_t bytes_;
  unsigned char* data_;
};

// The value of entry e of guard row d above a table.
template <class C>
C guard_value(int e, Row d) {
  return static_cast<C>(0x3c5a ^ (d * 13 + static_cast<Row>(e) * 101));
}

// The kernel's planes of a row-major table (rows 0..P), with spare rows of
// guard values above P; plane e starts e counters into its storage, so the
// planes sit at different alignments.
template <class C>
struct Planes {
  int p = 0;
  Row P = 0, cap = 0;
  std::vector<std::vector<C>> storage;
  std::vector<C*> planes;
};

template <class C>
Planes<C> to_planes(const std::vector<C>& rows, int p, Row P, Row spare) {
  Planes<C> t;
  t.p = p;
  t.P = P;
  t.cap = P + spare;
  for (int e = 0; e < p; ++e) {
    const auto shift = static_cast<std::size_t>(e % 16);
    t.storage.emplace_back(t.cap + 1 + shift);
    C* plane = t.storage.back().data() + shift;
    for (Row d = 0; d <= t.cap; ++d)
      plane[d] = d <= P ? rows[d * static_cast<Row>(p) + static_cast<Row>(e)] : guard_value<C>(e, d);
    t.planes.push_back(plane);
  }
  return t;
}

// Entry 1 of rows 1..P over the whole counter range, the other entries 0,
// or every entry random; row 0 random in every entry.
template <class C>
std::vector<C> random_rows(int p, Row P, bool all_entries, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<C> rows((P + 1) * static_cast<Row>(p), C{0});
  for (Row d = 0; d <= P; ++d)
    for (int e = 0; e < p; ++e)
      if (d == 0 || e == 1 || all_entries) rows[d * static_cast<Row>(p) + static_cast<Row>(e)] = static_cast<C>(rng());
  return rows;
}

// Rows 0..P of the planes against the row-major table, and the guards
// above it; stops at the first difference.
template <class C>
void expect_same_table(const Planes<C>& t, const std::vector<C>& rows) {
  const auto p = static_cast<Row>(t.p);
  for (Row d = 0; d <= t.cap; ++d)
    for (int e = 0; e < t.p; ++e) {
      const C expected = d <= t.P ? rows[d * p + static_cast<Row>(e)] : guard_value<C>(e, d);
      ASSERT_EQ(t.planes[static_cast<std::size_t>(e)][d], expected)
          << "row " << d << " entry " << e << (d > t.P ? " (above the table)" : d == 0 ? " (row 0)" : "");
    }
}

}  // namespace wdist_test
