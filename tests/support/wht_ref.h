// Straightforward twins of the binary kernels, written from the definition
// and sharing no code with them: the tests compare the fast kernels with
// these entry by entry, and the benchmarks time them as the baseline.
#pragma once

#include <cstdint>

namespace wdist_test {

// In place over 2^K Counters: strides from 2^(K-1) down to 1, blocks from
// low to high addresses, one butterfly (e + f, e - f) per pair, wrapping in
// the Counter's width.
template <class C>
void walsh_hadamard_ref(C* v, unsigned K);

// Adds 1 at entry d of `plane` for every column i = 1..n of the 0/1 rows
// rows[1..K] (entries rows[r][i]), d having bit r-1 set when the entry of
// row r is 1: the binary layout of the characteristic vector.
template <class C>
void count_binary_columns_ref(const std::uint8_t* const* rows, unsigned K, std::int32_t n, C* plane);

// Clears hist[0..N], then adds 1 at (N - v[u]) >> shift for each of the
// 2^K values, v[u] read as a signed Counter widened to 64 bits.
template <class C>
void count_binary_weights_ref(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist);

extern template void walsh_hadamard_ref<std::int16_t>(std::int16_t*, unsigned);
extern template void walsh_hadamard_ref<std::int32_t>(std::int32_t*, unsigned);
extern template void count_binary_columns_ref<std::int16_t>(const std::uint8_t* const*, unsigned, std::int32_t,
                                                             std::int16_t*);
extern template void count_binary_columns_ref<std::int32_t>(const std::uint8_t* const*, unsigned, std::int32_t,
                                                             std::int32_t*);
extern template void count_binary_weights_ref<std::int16_t>(const std::int16_t*, unsigned, std::int64_t, unsigned,
                                                             std::uint64_t*);
extern template void count_binary_weights_ref<std::int32_t>(const std::int32_t*, unsigned, std::int64_t, unsigned,
                                                             std::uint64_t*);

}  // namespace wdist_test
