#include "support/brute_force.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace wdist_test {

namespace {

bool is_prime_field(int q) { return q == 2 || q == 3 || q == 5 || q == 7; }

void require_field(int q) {
  if (!is_prime_field(q) && q != 4) {
    std::fprintf(stderr, "brute force: no arithmetic for q = %d\n", q);
    std::abort();
  }
}

// Polynomials over F_2 of degree below 2, multiplied and reduced modulo
// x^2 + x + 1: the code's two bits are the coefficients of w and 1.
int f4_mul(int a, int b) {
  int product = 0;
  for (int bit = 0; bit < 2; ++bit)
    if ((b >> bit) & 1) product ^= a << bit;
  if (product & 4) product ^= 7;  // x^2 = x + 1
  return product;
}

// Multiplication table of the test's arithmetic, so that the enumeration
// below does one lookup per term.
struct MulTable {
  int q;
  int v[7][7];
};

MulTable mul_table(int q) {
  MulTable t{q, {}};
  for (int a = 0; a < q; ++a)
    for (int b = 0; b < q; ++b) t.v[a][b] = field_mul(q, a, b);
  return t;
}

// Calls visit(message, weight) for every message of F_q^k, message[i]
// being the coefficient of row i + 1. Equal columns are multiplied once and
// weighed by how often they occur, which keeps long repetitive codes cheap.
template <class Visit>
void for_each_message(const TestCode& code, Visit visit) {
  require_field(code.q);
  const MulTable t = mul_table(code.q);
  const int q = code.q, k = code.k;
  std::map<std::vector<int>, int> multiplicity;
  for (int j = 0; j < code.n; ++j) {
    std::vector<int> column;
    for (int i = 0; i < k; ++i) column.push_back(entry_of(code, i, j));
    ++multiplicity[column];
  }
  std::vector<int> message(static_cast<std::size_t>(k), 0);
  for (;;) {
    int weight = 0;
    for (const auto& [column, count] : multiplicity) {
      int x = 0;
      for (int i = 0; i < k; ++i)
        x = field_add(q, x, t.v[message[static_cast<std::size_t>(i)]][column[static_cast<std::size_t>(i)]]);
      if (x != 0) weight += count;
    }
    visit(message, weight);
    int i = 0;
    while (i < k && ++message[static_cast<std::size_t>(i)] == q) message[static_cast<std::size_t>(i++)] = 0;
    if (i == k) break;
  }
}

bool is_normalised(const std::vector<int>& v) {
  for (std::size_t r = v.size(); r-- > 0;)
    if (v[r] != 0) return v[r] == 1;
  return false;
}

}  // namespace

int field_add(int q, int a, int b) {
  if (q == 4) return a ^ b;
  return (a + b) % q;
}

int field_mul(int q, int a, int b) {
  if (q == 4) return f4_mul(a, b);
  return a * b % q;
}

int field_inv(int q, int a) {
  for (int x = 1; x < q; ++x)
    if (field_mul(q, a, x) == 1) return x;
  std::fprintf(stderr, "brute force: %d has no inverse in F_%d\n", a, q);
  std::abort();
}

std::uint64_t power_of(int q, int k) {
  std::uint64_t p = 1;
  for (int i = 0; i < k; ++i) p *= static_cast<std::uint64_t>(q);
  return p;
}

std::uint64_t point_count(int q, int k) { return (power_of(q, k) - 1) / static_cast<std::uint64_t>(q - 1); }

int zero_columns(const TestCode& code) {
  int z = 0;
  for (int j = 0; j < code.n; ++j) {
    bool zero = true;
    for (int i = 0; i < code.k; ++i) zero = zero && entry_of(code, i, j) == 0;
    z += zero;
  }
  return z;
}

Weights all_message_weights(const TestCode& code) {
  Weights a(static_cast<std::size_t>(code.n) + 1, 0);
  for_each_message(code, [&](const std::vector<int>&, int weight) { ++a[static_cast<std::size_t>(weight)]; });
  return a;
}

Weights weight_distribution_ref(const TestCode& code) {
  Weights a = all_message_weights(code);
  if (code.q != 2 && code.q != 4) --a[0];  // the zero message is not counted
  return a;
}

Weights projective_sums_ref(const TestCode& code) {
  Weights a(static_cast<std::size_t>(code.n) + 1, 0);
  const int z = zero_columns(code);
  for_each_message(code, [&](const std::vector<int>& message, int weight) {
    if (is_normalised(message)) ++a[static_cast<std::size_t>(weight + z)];
  });
  return a;
}

WeightPairs nonzero_pairs(const Weights& w) {
  WeightPairs pairs;
  for (std::size_t i = 0; i < w.size(); ++i)
    if (w[i] != 0) pairs.emplace_back(static_cast<int>(i), w[i]);
  return pairs;
}

std::uint64_t total_count(const Weights& w) {
  std::uint64_t sum = 0;
  for (std::uint64_t x : w) sum += x;
  return sum;
}

std::uint64_t point_index_ref(int q, const std::vector<int>& column) {
  const int k = static_cast<int>(column.size());
  int r0 = 0;  // rows numbered from 1; 0: no nonzero entry
  for (int r = k; r >= 1 && r0 == 0; --r)
    if (column[static_cast<std::size_t>(r - 1)] != 0) r0 = r;
  if (r0 == 0) return 0;
  const int scale = field_inv(q, column[static_cast<std::size_t>(r0 - 1)]);
  std::uint64_t index = point_count(q, k - r0 + 1);
  for (int r = 1; r < r0; ++r)
    index += static_cast<std::uint64_t>(field_mul(q, scale, column[static_cast<std::size_t>(r - 1)])) *
             point_count(q, k - r);
  return index;
}

std::vector<std::vector<int>> projective_points(int q, int k) {
  std::vector<std::vector<int>> points;
  std::vector<int> v(static_cast<std::size_t>(k), 0);
  for (;;) {
    if (is_normalised(v)) points.push_back(v);
    int i = 0;
    while (i < k && ++v[static_cast<std::size_t>(i)] == q) v[static_cast<std::size_t>(i++)] = 0;
    if (i == k) break;
  }
  return points;
}

std::vector<std::string> row_texts(const TestCode& code) {
  std::vector<std::string> rows;
  for (const std::vector<int>& row : code.rows) {
    std::string text;
    for (int x : row) text += static_cast<char>('0' + x);
    rows.push_back(text);
  }
  return rows;
}

std::string code_record(const TestCode& code) {
  char head[64];
  std::snprintf(head, sizeof head, "?%d %d %d\n", code.k, code.n, code.q);
  std::string text = head;
  for (const std::string& row : row_texts(code)) text.append(row).append("\n");
  return text;
}

std::string describe_code(const TestCode& code) {
  char head[64];
  std::snprintf(head, sizeof head, "k=%d n=%d q=%d", code.k, code.n, code.q);
  std::string text = head;
  if (code.n <= 200)
    for (const std::string& row : row_texts(code)) text.append(" ").append(row);
  return text;
}

std::string describe_pairs(const WeightPairs& pairs) {
  std::string text;
  for (const auto& [w, a] : pairs) {
    char pair[48];
    std::snprintf(pair, sizeof pair, " %d^%llu", w, static_cast<unsigned long long>(a));
    text += pair;
  }
  return text.empty() ? std::string(" (none)") : text;
}

}  // namespace wdist_test
