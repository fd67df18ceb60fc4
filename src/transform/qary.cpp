#include "transform/qary.h"

#include <cstdint>
#include <utility>

namespace wdist {

namespace {

// Element-code arithmetic of the butterflies, evaluated at compile time
// only: for q = 4 the codes 0, 1, 2, 3 are 0, 1, w, w^2 with w^2 = w + 1.
constexpr int kF4Mul[4][4] = {{0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}};

template <int Q>
constexpr int code_mul(int a, int b) {
  if constexpr (Q == 4) return kF4Mul[a][b];
  else return a * b % Q;
}

template <int Q>
constexpr int code_sub(int e, int x) {
  if constexpr (Q == 4) return e ^ x;
  else return (e - x + Q) % Q;
}

// Output entry E of group row Aout: the sum over b of entry E - Aout*b of
// scratch row b + 1. All indices are template constants, so each output is
// a fixed sum of Q loads.
template <int Q, int Aout, int E, class C, std::size_t... Bs>
C butterfly_entry(C* const* scratch, std::index_sequence<Bs...>) {
  return static_cast<C>((0 + ... + scratch[code_sub<Q>(E, code_mul<Q>(Aout, static_cast<int>(Bs)))][Bs + 1]));
}

template <int Q, int Aout, class C, std::size_t... Es>
void butterfly_row(C* const* point, C* const* scratch, std::uint64_t row, std::index_sequence<Es...>) {
  ((point[Es][row] = butterfly_entry<Q, Aout, static_cast<int>(Es)>(scratch, std::make_index_sequence<Q>{})), ...);
}

template <int Q, class C, std::size_t... As>
void butterfly_rows(C* const* point, C* const* scratch, std::uint64_t first, std::uint64_t A,
                    std::index_sequence<As...>) {
  (butterfly_row<Q, static_cast<int>(As)>(point, scratch, first + As * A, std::make_index_sequence<Q>{}), ...);
}

// Group t of the block after row o: rows o + t + a*A for a = 0..q-1.
template <int Q, class C>
void qary_butterfly(C* const* point, C* const* scratch, std::uint64_t A, std::uint64_t t, std::uint64_t o) {
  butterfly_rows<Q>(point, scratch, o + t, A, std::make_index_sequence<Q>{});
}

template <class C>
void load_scratch(C* const* point, C* const* scratch, int q, std::uint64_t A, std::uint64_t t, std::uint64_t o) {
  for (int s = 1; s <= q; ++s)
    for (int e = 0; e < q; ++e) scratch[e][s] = point[e][o + t + static_cast<std::uint64_t>(s - 1) * A];
}

template <class C>
void sum_scratch_rows(C* const* point, C* const* scratch, int q, std::uint64_t top) {
  for (int s = 1; s <= q; ++s) {
    C sum = 0;
    for (int e = 0; e < q; ++e) sum = static_cast<C>(sum + scratch[e][s]);
    point[s - 1][top] = sum;
  }
}

template <class C>
void butterfly_for(int q, C* const* point, C* const* scratch, std::uint64_t A, std::uint64_t t, std::uint64_t o) {
  switch (q) {
    case 2: qary_butterfly<2>(point, scratch, A, t, o); break;
    case 3: qary_butterfly<3>(point, scratch, A, t, o); break;
    case 4: qary_butterfly<4>(point, scratch, A, t, o); break;
    case 5: qary_butterfly<5>(point, scratch, A, t, o); break;
    case 7: qary_butterfly<7>(point, scratch, A, t, o); break;
    default: break;  // no pattern: such records are refused before counting
  }
}

}  // namespace

template <class C>
void qary_level_block(C* const* point, C* const* scratch, int q, std::uint64_t o, std::uint64_t A, std::uint64_t B) {
  const C top_count = point[1][o + B];
  for (std::uint64_t r = o + A + 1; r <= o + 2 * A; ++r) point[0][r] = static_cast<C>(point[0][r] + top_count);
  for (std::uint64_t t = 1; t <= A; ++t) {
    load_scratch(point, scratch, q, A, t, o);
    if (t == 1) sum_scratch_rows(point, scratch, q, o + B);
    butterfly_for(q, point, scratch, A, t, o);
  }
}

template <class C>
void qary_transform(C* const* point, C* const* scratch, int q, int k) {
  if (k <= 1) return;
  const auto uq = static_cast<std::uint64_t>(q);
  std::uint64_t theta[34] = {0};  // theta[j] = (q^j - 1)/(q - 1)
  for (int j = 1; j <= k; ++j) theta[j] = theta[j - 1] * uq + 1;
  const std::uint64_t P = theta[k];
  for (int i = 3; i <= k + 1; ++i) {
    const std::uint64_t A = theta[i - 2], B = theta[i - 1];
    std::int32_t digits[34] = {0};  // digit counters of positions i-1..k
    std::uint64_t o = 0;
    while (o < P) {
      qary_level_block(point, scratch, q, o, A, B);
      ++digits[i - 1];
      o += B;
      // Each carry passes over one row: the top row of a block of a higher
      // level, which keeps its count until its own level comes.
      for (int m = i - 1; digits[m] == q && m < 33; ++m) {
        digits[m] = 0;
        ++o;
        ++digits[m + 1];
      }
    }
  }
}

template void qary_transform<std::int16_t>(std::int16_t* const*, std::int16_t* const*, int, int);
template void qary_transform<std::int32_t>(std::int32_t* const*, std::int32_t* const*, int, int);
template void qary_level_block<std::int16_t>(std::int16_t* const*, std::int16_t* const*, int, std::uint64_t,
                                             std::uint64_t, std::uint64_t);
template void qary_level_block<std::int32_t>(std::int32_t* const*, std::int32_t* const*, int, std::uint64_t,
                                             std::uint64_t, std::uint64_t);

}  // namespace wdist
