#include "support/known_codes.h"

#include <algorithm>
#include <cstdint>

namespace wdist_test {

namespace {

TestCode from_digits(int q, const std::vector<std::string>& rows) {
  TestCode code{static_cast<int>(rows.size()), static_cast<int>(rows.front().size()), q, {}};
  for (const std::string& text : rows) {
    std::vector<int> row;
    for (char c : text) row.push_back(c - '0');
    code.rows.push_back(row);
  }
  return code;
}

// The k = n - deg g shifts of the generator polynomial g (coefficients from
// the constant term up) in length n.
TestCode cyclic_code(int q, int n, const std::vector<int>& g) {
  const int k = n - static_cast<int>(g.size()) + 1;
  TestCode code{k, n, q, {}};
  for (int i = 0; i < k; ++i) {
    std::vector<int> row(static_cast<std::size_t>(n), 0);
    for (std::size_t d = 0; d < g.size(); ++d) row[static_cast<std::size_t>(i) + d] = g[d];
    code.rows.push_back(row);
  }
  return code;
}

// Appends the column that makes every row sum to zero.
TestCode extend_by_check(TestCode code) {
  for (std::vector<int>& row : code.rows) {
    int sum = 0;
    for (int x : row) sum = field_add(code.q, sum, x);
    int check = 0;
    while (field_add(code.q, sum, check) != 0) ++check;
    row.push_back(check);
  }
  ++code.n;
  return code;
}

std::int64_t binomial(int n, int r) {
  if (r < 0 || r > n) return 0;
  std::int64_t b = 1;
  for (int i = 1; i <= r; ++i) b = b * (n - r + i) / i;
  return b;
}

}  // namespace

TestCode hamming_7_4() { return from_digits(2, {"1000110", "0100101", "0010011", "0001111"}); }

TestCode extended_golay_24() {
  // g(x) = 1 + x^2 + x^4 + x^5 + x^6 + x^10 + x^11 divides x^23 - 1 over F_2.
  return extend_by_check(cyclic_code(2, 23, {1, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1}));
}

TestCode reed_muller_first_order(int m) {
  const int n = 1 << m;
  TestCode code{m + 1, n, 2, {}};
  code.rows.push_back(std::vector<int>(static_cast<std::size_t>(n), 1));
  for (int bit = 0; bit < m; ++bit) {
    std::vector<int> row;
    for (int j = 0; j < n; ++j) row.push_back((j >> bit) & 1);
    code.rows.push_back(row);
  }
  return code;
}

TestCode tetracode() { return from_digits(3, {"1011", "0112"}); }

TestCode ternary_golay_11() {
  // g(x) = -1 + x^2 - x^3 + x^4 + x^5 divides x^11 - 1 over F_3.
  return cyclic_code(3, 11, {2, 0, 1, 2, 1, 1});
}

TestCode extended_ternary_golay_12() { return extend_by_check(ternary_golay_11()); }

TestCode hexacode() {
  // w is code 2 and w^2 = w + 1 code 3; x^2 takes 1, w, w^2 to 1, w^2, w.
  return from_digits(4, {"100132", "010123", "001111"});
}

TestCode simplex_code(int q, int k) {
  std::vector<std::vector<int>> points = projective_points(q, k);
  std::sort(points.begin(), points.end(), [q](const std::vector<int>& a, const std::vector<int>& b) {
    return point_index_ref(q, a) < point_index_ref(q, b);
  });
  TestCode code{k, static_cast<int>(points.size()), q, std::vector<std::vector<int>>(static_cast<std::size_t>(k))};
  for (const std::vector<int>& p : points)
    for (int r = 0; r < k; ++r) code.rows[static_cast<std::size_t>(r)].push_back(p[static_cast<std::size_t>(r)]);
  return code;
}

TestCode reed_solomon(int q, int k, const std::vector<int>& points, bool at_infinity) {
  TestCode code{k, static_cast<int>(points.size()) + (at_infinity ? 1 : 0), q, {}};
  for (int i = 0; i < k; ++i) {
    std::vector<int> row;
    for (int x : points) {
      int power = 1;
      for (int e = 0; e < i; ++e) power = field_mul(q, power, x);
      row.push_back(power);
    }
    if (at_infinity) row.push_back(i == k - 1 ? 1 : 0);
    code.rows.push_back(row);
  }
  return code;
}

WeightPairs mds_weights(int q, int n, int k) {
  const int d = n - k + 1;
  WeightPairs pairs{{0, 1}};
  for (int w = d; w <= n; ++w) {
    std::int64_t sum = 0;
    for (int j = 0; j <= w - d; ++j) {
      std::int64_t power = 1;
      for (int e = 0; e < w - d + 1 - j; ++e) power *= q;
      sum += (j % 2 == 0 ? 1 : -1) * binomial(w, j) * (power - 1);
    }
    const std::int64_t a = binomial(n, w) * sum;
    if (a != 0) pairs.emplace_back(w, static_cast<std::uint64_t>(a));
  }
  return pairs;
}

std::vector<KnownCode> known_codes() {
  return {
      {"Hamming [7,4,3]", hamming_7_4(), {{0, 1}, {3, 7}, {4, 7}, {7, 1}}},
      {"extended Golay [24,12,8]", extended_golay_24(), {{0, 1}, {8, 759}, {12, 2576}, {16, 759}, {24, 1}}},
      {"Reed-Muller RM(1,4) [16,5,8]", reed_muller_first_order(4), {{0, 1}, {8, 30}, {16, 1}}},
      {"Reed-Muller RM(1,5) [32,6,16]", reed_muller_first_order(5), {{0, 1}, {16, 62}, {32, 1}}},
      {"binary simplex [15,4,8]", simplex_code(2, 4), {{0, 1}, {8, 15}}},
      {"tetracode [4,2,3]", tetracode(), {{0, 1}, {3, 8}}},
      {"ternary Golay [11,6,5]", ternary_golay_11(), {{0, 1}, {5, 132}, {6, 132}, {8, 330}, {9, 110}, {11, 24}}},
      {"extended ternary Golay [12,6,6]", extended_ternary_golay_12(), {{0, 1}, {6, 264}, {9, 440}, {12, 24}}},
      {"ternary simplex [13,3,9]", simplex_code(3, 3), {{0, 1}, {9, 26}}},
      {"hexacode [6,3,4]", hexacode(), {{0, 1}, {4, 45}, {6, 18}}},
      {"F_4 simplex [5,2,4]", simplex_code(4, 2), {{0, 1}, {4, 15}}},
      {"F_4 simplex [21,3,16]", simplex_code(4, 3), {{0, 1}, {16, 63}}},
      {"F_5 simplex [31,3,25]", simplex_code(5, 3), {{0, 1}, {25, 124}}},
      {"F_7 simplex [8,2,7]", simplex_code(7, 2), {{0, 1}, {7, 48}}},
      {"F_5 Reed-Solomon [5,3,3]", reed_solomon(5, 3, {0, 1, 2, 3, 4}, false), mds_weights(5, 5, 3)},
      {"F_5 Reed-Solomon [4,2,3]", reed_solomon(5, 2, {1, 2, 3, 4}, false), mds_weights(5, 4, 2)},
      {"F_5 doubly extended Reed-Solomon [6,4,3]", reed_solomon(5, 4, {0, 1, 2, 3, 4}, true), mds_weights(5, 6, 4)},
      {"F_7 Reed-Solomon [7,4,4]", reed_solomon(7, 4, {0, 1, 2, 3, 4, 5, 6}, false), mds_weights(7, 7, 4)},
      {"F_7 Reed-Solomon [6,3,4]", reed_solomon(7, 3, {1, 2, 3, 4, 5, 6}, false), mds_weights(7, 6, 3)},
      {"F_7 doubly extended Reed-Solomon [8,3,6]", reed_solomon(7, 3, {0, 1, 2, 3, 4, 5, 6}, true),
       mds_weights(7, 8, 3)},
      {"F_4 Reed-Solomon [4,2,3]", reed_solomon(4, 2, {0, 1, 2, 3}, false), mds_weights(4, 4, 2)},
  };
}

}  // namespace wdist_test
