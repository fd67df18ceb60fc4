#include "support/qary_ref.h"

#include <cstddef>

namespace wdist_test {

namespace {

// The sum of the terms in the Counter's wrapping arithmetic: formed in
// unsigned 32 bits, where every Counter value is its own residue, and cut
// back to the Counter.
template <class C, class... Ts>
C wrap_sum(Ts... terms) {
  return static_cast<C>((std::uint32_t{0} + ... + static_cast<std::uint32_t>(terms)));
}

// The butterflies, written out per q: output row a of the group (row
// o + t + a*A) takes at entry e the sum over b of entry e - a*b of scratch
// row b + 1, with e - a*b formed in F_q on element codes (for q = 4 the
// codes 0, 1, 2, 3 are 0, 1, w, w^2 and subtraction is exclusive or).

template <class C>
void qary_butterfly_q2(C* point, const C* scratch, Row A, Row t, Row o) {
  C* r0 = point + (o + t) * 2;
  C* r1 = point + (o + t + 1 * A) * 2;
  const C* s1 = scratch + 1 * 2;
  const C* s2 = scratch + 2 * 2;
  r0[0] = wrap_sum<C>(s1[0], s2[0]);
  r0[1] = wrap_sum<C>(s1[1], s2[1]);
  r1[0] = wrap_sum<C>(s1[0], s2[1]);
  r1[1] = wrap_sum<C>(s1[1], s2[0]);
}

template <class C>
void qary_butterfly_q3(C* point, const C* scratch, Row A, Row t, Row o) {
  C* r0 = point + (o + t) * 3;
  C* r1 = point + (o + t + 1 * A) * 3;
  C* r2 = point + (o + t + 2 * A) * 3;
  const C* s1 = scratch + 1 * 3;
  const C* s2 = scratch + 2 * 3;
  const C* s3 = scratch + 3 * 3;
  r0[0] = wrap_sum<C>(s1[0], s2[0], s3[0]);
  r0[1] = wrap_sum<C>(s1[1], s2[1], s3[1]);
  r0[2] = wrap_sum<C>(s1[2], s2[2], s3[2]);
  r1[0] = wrap_sum<C>(s1[0], s2[2], s3[1]);
  r1[1] = wrap_sum<C>(s1[1], s2[0], s3[2]);
  r1[2] = wrap_sum<C>(s1[2], s2[1], s3[0]);
  r2[0] = wrap_sum<C>(s1[0], s2[1], s3[2]);
  r2[1] = wrap_sum<C>(s1[1], s2[2], s3[0]);
  r2[2] = wrap_sum<C>(s1[2], s2[0], s3[1]);
}

template <class C>
void qary_butterfly_q4(C* point, const C* scratch, Row A, Row t, Row o) {
  C* r0 = point + (o + t) * 4;
  C* r1 = point + (o + t + 1 * A) * 4;
  C* r2 = point + (o + t + 2 * A) * 4;
  C* r3 = point + (o + t + 3 * A) * 4;
  const C* s1 = scratch + 1 * 4;
  const C* s2 = scratch + 2 * 4;
  const C* s3 = scratch + 3 * 4;
  const C* s4 = scratch + 4 * 4;
  r0[0] = wrap_sum<C>(s1[0], s2[0], s3[0], s4[0]);
  r0[1] = wrap_sum<C>(s1[1], s2[1], s3[1], s4[1]);
  r0[2] = wrap_sum<C>(s1[2], s2[2], s3[2], s4[2]);
  r0[3] = wrap_sum<C>(s1[3], s2[3], s3[3], s4[3]);
  r1[0] = wrap_sum<C>(s1[0], s2[1], s3[2], s4[3]);
  r1[1] = wrap_sum<C>(s1[1], s2[0], s3[3], s4[2]);
  r1[2] = wrap_sum<C>(s1[2], s2[3], s3[0], s4[1]);
  r1[3] = wrap_sum<C>(s1[3], s2[2], s3[1], s4[0]);
  r2[0] = wrap_sum<C>(s1[0], s2[2], s3[3], s4[1]);
  r2[1] = wrap_sum<C>(s1[1], s2[3], s3[2], s4[0]);
  r2[2] = wrap_sum<C>(s1[2], s2[0], s3[1], s4[3]);
  r2[3] = wrap_sum<C>(s1[3], s2[1], s3[0], s4[2]);
  r3[0] = wrap_sum<C>(s1[0], s2[3], s3[1], s4[2]);
  r3[1] = wrap_sum<C>(s1[1], s2[2], s3[0], s4[3]);
  r3[2] = wrap_sum<C>(s1[2], s2[1], s3[3], s4[0]);
  r3[3] = wrap_sum<C>(s1[3], s2[0], s3[2], s4[1]);
}

template <class C>
void qary_butterfly_q5(C* point, const C* scratch, Row A, Row t, Row o) {
  C* r0 = point + (o + t) * 5;
  C* r1 = point + (o + t + 1 * A) * 5;
  C* r2 = point + (o + t + 2 * A) * 5;
  C* r3 = point + (o + t + 3 * A) * 5;
  C* r4 = point + (o + t + 4 * A) * 5;
  const C* s1 = scratch + 1 * 5;
  const C* s2 = scratch + 2 * 5;
  const C* s3 = scratch + 3 * 5;
  const C* s4 = scratch + 4 * 5;
  const C* s5 = scratch + 5 * 5;
  r0[0] = wrap_sum<C>(s1[0], s2[0], s3[0], s4[0], s5[0]);
  r0[1] = wrap_sum<C>(s1[1], s2[1], s3[1], s4[1], s5[1]);
  r0[2] = wrap_sum<C>(s1[2], s2[2], s3[2], s4[2], s5[2]);
  r0[3] = wrap_sum<C>(s1[3], s2[3], s3[3], s4[3], s5[3]);
  r0[4] = wrap_sum<C>(s1[4], s2[4], s3[4], s4[4], s5[4]);
  r1[0] = wrap_sum<C>(s1[0], s2[4], s3[3], s4[2], s5[1]);
  r1[1] = wrap_sum<C>(s1[1], s2[0], s3[4], s4[3], s5[2]);
  r1[2] = wrap_sum<C>(s1[2], s2[1], s3[0], s4[4], s5[3]);
  r1[3] = wrap_sum<C>(s1[3], s2[2], s3[1], s4[0], s5[4]);
  r1[4] = wrap_sum<C>(s1[4], s2[3], s3[2], s4[1], s5[0]);
  r2[0] = wrap_sum<C>(s1[0], s2[3], s3[1], s4[4], s5[2]);
  r2[1] = wrap_sum<C>(s1[1], s2[4], s3[2], s4[0], s5[3]);
  r2[2] = wrap_sum<C>(s1[2], s2[0], s3[3], s4[1], s5[4]);
  r2[3] = wrap_sum<C>(s1[3], s2[1], s3[4], s4[2], s5[0]);
  r2[4] = wrap_sum<C>(s1[4], s2[2], s3[0], s4[3], s5[1]);
  r3[0] = wrap_sum<C>(s1[0], s2[2], s3[4], s4[1], s5[3]);
  r3[1] = wrap_sum<C>(s1[1], s2[3], s3[0], s4[2], s5[4]);
  r3[2] = wrap_sum<C>(s1[2], s2[4], s3[1], s4[3], s5[0]);
  r3[3] = wrap_sum<C>(s1[3], s2[0], s3[2], s4[4], s5[1]);
  r3[4] = wrap_sum<C>(s1[4], s2[1], s3[3], s4[0], s5[2]);
  r4[0] = wrap_sum<C>(s1[0], s2[1], s3[2], s4[3], s5[4]);
  r4[1] = wrap_sum<C>(s1[1], s2[2], s3[3], s4[4], s5[0]);
  r4[2] = wrap_sum<C>(s1[2], s2[3], s3[4], s4[0], s5[1]);
  r4[3] = wrap_sum<C>(s1[3], s2[4], s3[0], s4[1], s5[2]);
  r4[4] = wrap_sum<C>(s1[4], s2[0], s3[1], s4[2], s5[3]);
}

template <class C>
void qary_butterfly_q7(C* point, const C* scratch, Row A, Row t, Row o) {
  C* r0 = point + (o + t) * 7;
  C* r1 = point + (o + t + 1 * A) * 7;
  C* r2 = point + (o + t + 2 * A) * 7;
  C* r3 = point + (o + t + 3 * A) * 7;
  C* r4 = point + (o + t + 4 * A) * 7;
  C* r5 = point + (o + t + 5 * A) * 7;
  C* r6 = point + (o + t + 6 * A) * 7;
  const C* s1 = scratch + 1 * 7;
  const C* s2 = scratch + 2 * 7;
  const C* s3 = scratch + 3 * 7;
  const C* s4 = scratch + 4 * 7;
  const C* s5 = scratch + 5 * 7;
  const C* s6 = scratch + 6 * 7;
  const C* s7 = scratch + 7 * 7;
  r0[0] = wrap_sum<C>(s1[0], s2[0], s3[0], s4[0], s5[0], s6[0], s7[0]);
  r0[1] = wrap_sum<C>(s1[1], s2[1], s3[1], s4[1], s5[1], s6[1], s7[1]);
  r0[2] = wrap_sum<C>(s1[2], s2[2], s3[2], s4[2], s5[2], s6[2], s7[2]);
  r0[3] = wrap_sum<C>(s1[3], s2[3], s3[3], s4[3], s5[3], s6[3], s7[3]);
  r0[4] = wrap_sum<C>(s1[4], s2[4], s3[4], s4[4], s5[4], s6[4], s7[4]);
  r0[5] = wrap_sum<C>(s1[5], s2[5], s3[5], s4[5], s5[5], s6[5], s7[5]);
  r0[6] = wrap_sum<C>(s1[6], s2[6], s3[6], s4[6], s5[6], s6[6], s7[6]);
  r1[0] = wrap_sum<C>(s1[0], s2[6], s3[5], s4[4], s5[3], s6[2], s7[1]);
  r1[1] = wrap_sum<C>(s1[1], s2[0], s3[6], s4[5], s5[4], s6[3], s7[2]);
  r1[2] = wrap_sum<C>(s1[2], s2[1], s3[0], s4[6], s5[5], s6[4], s7[3]);
  r1[3] = wrap_sum<C>(s1[3], s2[2], s3[1], s4[0], s5[6], s6[5], s7[4]);
  r1[4] = wrap_sum<C>(s1[4], s2[3], s3[2], s4[1], s5[0], s6[6], s7[5]);
  r1[5] = wrap_sum<C>(s1[5], s2[4], s3[3], s4[2], s5[1], s6[0], s7[6]);
  r1[6] = wrap_sum<C>(s1[6], s2[5], s3[4], s4[3], s5[2], s6[1], s7[0]);
  r2[0] = wrap_sum<C>(s1[0], s2[5], s3[3], s4[1], s5[6], s6[4], s7[2]);
  r2[1] = wrap_sum<C>(s1[1], s2[6], s3[4], s4[2], s5[0], s6[5], s7[3]);
  r2[2] = wrap_sum<C>(s1[2], s2[0], s3[5], s4[3], s5[1], s6[6], s7[4]);
  r2[3] = wrap_sum<C>(s1[3], s2[1], s3[6], s4[4], s5[2], s6[0], s7[5]);
  r2[4] = wrap_sum<C>(s1[4], s2[2], s3[0], s4[5], s5[3], s6[1], s7[6]);
  r2[5] = wrap_sum<C>(s1[5], s2[3], s3[1], s4[6], s5[4], s6[2], s7[0]);
  r2[6] = wrap_sum<C>(s1[6], s2[4], s3[2], s4[0], s5[5], s6[3], s7[1]);
  r3[0] = wrap_sum<C>(s1[0], s2[4], s3[1], s4[5], s5[2], s6[6], s7[3]);
  r3[1] = wrap_sum<C>(s1[1], s2[5], s3[2], s4[6], s5[3], s6[0], s7[4]);
  r3[2] = wrap_sum<C>(s1[2], s2[6], s3[3], s4[0], s5[4], s6[1], s7[5]);
  r3[3] = wrap_sum<C>(s1[3], s2[0], s3[4], s4[1], s5[5], s6[2], s7[6]);
  r3[4] = wrap_sum<C>(s1[4], s2[1], s3[5], s4[2], s5[6], s6[3], s7[0]);
  r3[5] = wrap_sum<C>(s1[5], s2[2], s3[6], s4[3], s5[0], s6[4], s7[1]);
  r3[6] = wrap_sum<C>(s1[6], s2[3], s3[0], s4[4], s5[1], s6[5], s7[2]);
  r4[0] = wrap_sum<C>(s1[0], s2[3], s3[6], s4[2], s5[5], s6[1], s7[4]);
  r4[1] = wrap_sum<C>(s1[1], s2[4], s3[0], s4[3], s5[6], s6[2], s7[5]);
  r4[2] = wrap_sum<C>(s1[2], s2[5], s3[1], s4[4], s5[0], s6[3], s7[6]);
  r4[3] = wrap_sum<C>(s1[3], s2[6], s3[2], s4[5], s5[1], s6[4], s7[0]);
  r4[4] = wrap_sum<C>(s1[4], s2[0], s3[3], s4[6], s5[2], s6[5], s7[1]);
  r4[5] = wrap_sum<C>(s1[5], s2[1], s3[4], s4[0], s5[3], s6[6], s7[2]);
  r4[6] = wrap_sum<C>(s1[6], s2[2], s3[5], s4[1], s5[4], s6[0], s7[3]);
  r5[0] = wrap_sum<C>(s1[0], s2[2], s3[4], s4[6], s5[1], s6[3], s7[5]);
  r5[1] = wrap_sum<C>(s1[1], s2[3], s3[5], s4[0], s5[2], s6[4], s7[6]);
  r5[2] = wrap_sum<C>(s1[2], s2[4], s3[6], s4[1], s5[3], s6[5], s7[0]);
  r5[3] = wrap_sum<C>(s1[3], s2[5], s3[0], s4[2], s5[4], s6[6], s7[1]);
  r5[4] = wrap_sum<C>(s1[4], s2[6], s3[1], s4[3], s5[5], s6[0], s7[2]);
  r5[5] = wrap_sum<C>(s1[5], s2[0], s3[2], s4[4], s5[6], s6[1], s7[3]);
  r5[6] = wrap_sum<C>(s1[6], s2[1], s3[3], s4[5], s5[0], s6[2], s7[4]);
  r6[0] = wrap_sum<C>(s1[0], s2[1], s3[2], s4[3], s5[4], s6[5], s7[6]);
  r6[1] = wrap_sum<C>(s1[1], s2[2], s3[3], s4[4], s5[5], s6[6], s7[0]);
  r6[2] = wrap_sum<C>(s1[2], s2[3], s3[4], s4[5], s5[6], s6[0], s7[1]);
  r6[3] = wrap_sum<C>(s1[3], s2[4], s3[5], s4[6], s5[0], s6[1], s7[2]);
  r6[4] = wrap_sum<C>(s1[4], s2[5], s3[6], s4[0], s5[1], s6[2], s7[3]);
  r6[5] = wrap_sum<C>(s1[5], s2[6], s3[0], s4[1], s5[2], s6[3], s7[4]);
  r6[6] = wrap_sum<C>(s1[6], s2[0], s3[1], s4[2], s5[3], s6[4], s7[5]);
}

// Any other prime q, the same sums as loops: output row a of the group
// takes at entry e the sum over b of entry e - a*b (mod q) of scratch row
// b + 1.
template <class C>
void qary_butterfly_prime(C* point, const C* scratch, int q, Row A, Row t, Row o) {
  std::uint32_t sum[256];
  for (int a = 0; a < q; ++a) {
    for (int e = 0; e < q; ++e) sum[e] = 0;
    for (int b = 0; b < q; ++b) {
      const int shift = a * b % q;
      const C* s = scratch + (b + 1) * q;
      for (int e = 0; e < q; ++e) sum[e] += static_cast<std::uint32_t>(s[e >= shift ? e - shift : e - shift + q]);
    }
    C* r = point + (o + t + static_cast<Row>(a) * A) * static_cast<Row>(q);
    for (int e = 0; e < q; ++e) r[e] = static_cast<C>(sum[e]);
  }
}

// F_q on element codes, for the point index only.
int mul_ref(int q, int a, int b) {
  static const int f4[4][4] = {{0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}};
  return q == 4 ? f4[a][b] : a * b % q;
}

int inv_ref(int q, int x) {
  for (int y = 1; y < q; ++y)
    if (mul_ref(q, x, y) == 1) return y;
  return 0;
}

template <class C>
void load_scratch_ref(const C* rows, C* scratch, int q, Row A, Row t, Row o) {
  for (int s = 1; s <= q; ++s)
    for (int e = 0; e < q; ++e)
      scratch[s * q + e] = rows[(o + t + static_cast<Row>(s - 1) * A) * static_cast<Row>(q) + static_cast<Row>(e)];
}

template <class C>
void sum_scratch_rows_ref(C* rows, const C* scratch, int q, Row top) {
  for (int s = 1; s <= q; ++s) {
    C sum = 0;
    for (int e = 0; e < q; ++e) sum = wrap_sum<C>(sum, scratch[s * q + e]);
    rows[top * static_cast<Row>(q) + static_cast<Row>(s - 1)] = sum;
  }
}

template <class C>
void qary_butterfly_ref(C* rows, const C* scratch, int q, Row A, Row t, Row o) {
  switch (q) {
    case 2: qary_butterfly_q2(rows, scratch, A, t, o); break;
    case 3: qary_butterfly_q3(rows, scratch, A, t, o); break;
    case 4: qary_butterfly_q4(rows, scratch, A, t, o); break;
    case 5: qary_butterfly_q5(rows, scratch, A, t, o); break;
    case 7: qary_butterfly_q7(rows, scratch, A, t, o); break;
    default: qary_butterfly_prime(rows, scratch, q, A, t, o); break;
  }
}

}  // namespace

Row theta_ref(int q, int j) {
  Row power = 1;
  for (int i = 0; i < j; ++i) power *= static_cast<Row>(q);
  return (power - 1) / static_cast<Row>(q - 1);
}

template <class C>
void qary_level_block_ref(C* rows, C* scratch, int q, Row o, Row A, Row B) {
  const Row top = o + B, Q = static_cast<Row>(q);
  for (Row r = o + A + 1; r <= o + 2 * A; ++r) rows[r * Q] = wrap_sum<C>(rows[r * Q], rows[top * Q + 1]);
  for (Row t = 1; t <= A; ++t) {
    load_scratch_ref(rows, scratch, q, A, t, o);
    if (t == 1) sum_scratch_rows_ref(rows, scratch, q, top);
    qary_butterfly_ref(rows, scratch, q, A, t, o);
  }
}

template <class C>
void qary_transform_ref(C* rows, C* scratch, int q, int k) {
  if (k <= 1) return;
  const Row P = theta_ref(q, k);
  for (int i = 3; i <= k + 1; ++i) {
    const Row A = theta_ref(q, i - 2), B = theta_ref(q, i - 1);
    std::int32_t digit[34] = {0};  // digit[1..k]
    Row o = 0;
    while (o < P) {
      qary_level_block_ref(rows, scratch, q, o, A, B);
      digit[i - 1] += 1;
      o += B;
      int m = i - 1;
      while (digit[m] == q) {
        digit[m] = 0;
        o += 1;
        m += 1;
        digit[m] += 1;
      }
    }
  }
}

template <class C>
void count_point_weights_ref(const C* rows, int q, Row P, std::int64_t N, std::uint64_t* hist) {
  for (std::int64_t w = 0; w <= N; ++w) hist[w] = 0;
  const std::int64_t z = rows[1];
  for (Row d = 1; d <= P; ++d) {
    const std::int64_t on_hyperplane = rows[d * static_cast<Row>(q)];
    hist[N - z - on_hyperplane] += static_cast<std::uint64_t>(q - 1);
  }
}

template <class C>
void count_projective_weights_ref(const C* rows, int q, Row P, std::int64_t N, std::uint64_t* hist) {
  for (std::int64_t w = 0; w <= N; ++w) hist[w] = 0;
  for (Row d = 1; d <= P; ++d) {
    const std::int64_t on_hyperplane = rows[d * static_cast<Row>(q)];
    hist[N - on_hyperplane] += 1;
  }
}

template <class C>
void clear_rows_ref(C* rows, int q, Row P) {
  for (Row d = 0; d <= P; ++d)
    for (int e = 0; e < q; ++e) rows[d * static_cast<Row>(q) + static_cast<Row>(e)] = 0;
}

template <class C>
void count_columns_projective_ref(const std::uint8_t* matrix, int k, int n, int q, C* rows) {
  Row theta[33] = {0};
  for (int j = 1; j <= k && j <= 32; ++j) theta[j] = theta_ref(q, j);
  for (int c = 1; c <= n; ++c) {
    Row d = 0;
    int a = 0;
    for (int j = 1; j <= k; ++j) {
      const int x = matrix[static_cast<std::size_t>((k - j) * n + (c - 1))];
      if (d != 0) {
        d += static_cast<Row>(mul_ref(q, a, x)) * theta[j - 1];
      } else if (x != 0) {
        d = theta[j];
        a = inv_ref(q, x);
      }
    }
    const Row at = d * static_cast<Row>(q) + 1;
    rows[at] = wrap_sum<C>(rows[at], 1);
  }
}

template void qary_transform_ref<std::int16_t>(std::int16_t*, std::int16_t*, int, int);
template void qary_transform_ref<std::int32_t>(std::int32_t*, std::int32_t*, int, int);
template void qary_level_block_ref<std::int16_t>(std::int16_t*, std::int16_t*, int, Row, Row, Row);
template void qary_level_block_ref<std::int32_t>(std::int32_t*, std::int32_t*, int, Row, Row, Row);
template void count_point_weights_ref<std::int16_t>(const std::int16_t*, int, Row, std::int64_t, std::uint64_t*);
template void count_point_weights_ref<std::int32_t>(const std::int32_t*, int, Row, std::int64_t, std::uint64_t*);
template void count_projective_weights_ref<std::int16_t>(const std::int16_t*, int, Row, std::int64_t,
                                                          std::uint64_t*);
template void count_projective_weights_ref<std::int32_t>(const std::int32_t*, int, Row, std::int64_t,
                                                          std::uint64_t*);
template void clear_rows_ref<std::int16_t>(std::int16_t*, int, Row);
template void clear_rows_ref<std::int32_t>(std::int32_t*, int, Row);
template void count_columns_projective_ref<std::int16_t>(const std::uint8_t*, int, int, int, std::int16_t*);
template void count_columns_projective_ref<std::int32_t>(const std::uint8_t*, int, int, int, std::int32_t*);

}  // namespace wdist_test
