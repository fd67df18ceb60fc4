// Every field F_q, q = p^m <= 256, through the library: random codes
// against a count of every message in this file's own arithmetic (field
// elements as polynomials over F_p reduced by the Conway polynomials as the
// codes define them, nothing shared with the library's tables, images or
// kernels), and codes whose distributions are known in closed form:
// Reed-Solomon codes (MDS), q-ary Hamming and simplex codes, the hexacode;
// the dual route against the direct one on high-rate codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "library/planned_record.h"
#include "support/library_codes.h"
#include "wdist/plan.h"
#include "wdist/wdist.h"

namespace {

using wdist_test::describe;

// Unoptimised sanitizer builds run a smaller share of the enumerations.
// (F_256 [40, 3], a table of 2^24 entries, among the known codes.)
#if defined(__OPTIMIZE__)
constexpr std::uint64_t kMostMessages = 70000;
constexpr double kMostCodeMessages = 0x1p24;
#else
constexpr std::uint64_t kMostMessages = 20000;
constexpr double kMostCodeMessages = 0x1p20;
#endif

// ---- F_q from the definition -------------------------------------------------

// F_q as polynomials over F_p modulo the Conway polynomial: the code of an
// element is its coefficient vector read as a number base p.
struct RefField {
  int q = 0, p = 0, m = 0;
  std::vector<int> modulus;  // c_0 .. c_m, c_m = 1
  std::vector<int> digits(int x) const {
    std::vector<int> d(static_cast<std::size_t>(m));
    for (int j = 0; j < m; ++j, x /= p) d[static_cast<std::size_t>(j)] = x % p;
    return d;
  }
  int code(const std::vector<int>& d) const {
    int x = 0;
    for (int j = m - 1; j >= 0; --j) x = x * p + d[static_cast<std::size_t>(j)];
    return x;
  }
  int add(int x, int y) const {
    std::vector<int> a = digits(x), b = digits(y);
    for (int j = 0; j < m; ++j) a[static_cast<std::size_t>(j)] = (a[static_cast<std::size_t>(j)] + b[static_cast<std::size_t>(j)]) % p;
    return code(a);
  }
  int neg(int x) const {
    std::vector<int> a = digits(x);
    for (int& c : a) c = (p - c) % p;
    return code(a);
  }
  int mul(int x, int y) const {
    const std::vector<int> a = digits(x), b = digits(y);
    std::vector<int> c(static_cast<std::size_t>(2 * m), 0);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j)
        c[static_cast<std::size_t>(i + j)] = (c[static_cast<std::size_t>(i + j)] + a[static_cast<std::size_t>(i)] * b[static_cast<std::size_t>(j)]) % p;
    // x^d = -(c_0 + ... + c_(m-1) x^(m-1)) x^(d-m), from the top down.
    for (int d = 2 * m - 1; d >= m; --d) {
      const int top = c[static_cast<std::size_t>(d)];
      if (top == 0) continue;
      c[static_cast<std::size_t>(d)] = 0;
      for (int j = 0; j < m; ++j) {
        auto& t = c[static_cast<std::size_t>(d - m + j)];
        t = ((t - top * modulus[static_cast<std::size_t>(j)]) % p + p) % p;
      }
    }
    c.resize(static_cast<std::size_t>(m));
    return code(c);
  }
};

// The Conway polynomials of the proper prime powers (constant term first).
struct Conway {
  int q;
  std::vector<int> coefficients;
};
const std::vector<Conway>& conway() {
  static const std::vector<Conway> list = {
      {4, {1, 1, 1}},          {8, {1, 1, 0, 1}},          {16, {1, 1, 0, 0, 1}},       {32, {1, 0, 1, 0, 0, 1}},
      {64, {1, 1, 0, 1, 1, 0, 1}}, {128, {1, 1, 0, 0, 0, 0, 0, 1}}, {256, {1, 0, 1, 1, 1, 0, 0, 0, 1}},
      {9, {2, 2, 1}},          {27, {1, 2, 0, 1}},         {81, {2, 0, 0, 2, 1}},       {243, {1, 2, 0, 0, 0, 1}},
      {25, {2, 4, 1}},         {125, {3, 3, 0, 1}},        {49, {3, 6, 1}},             {121, {2, 7, 1}},
      {169, {2, 12, 1}}};
  return list;
}

// q = p^m <= 256; false for any other q.
bool prime_power(int q, int& p, int& m) {
  if (q < 2 || q > 256) return false;
  p = 2;
  while (q % p != 0) ++p;
  m = 0;
  for (int rest = q; rest > 1; rest /= p, ++m)
    if (rest % p != 0) return false;
  return true;
}

RefField ref_field(int q) {
  RefField f;
  f.q = q;
  EXPECT_TRUE(prime_power(q, f.p, f.m));
  if (f.m == 1) {
    f.modulus = {0, 1};  // x: a product of constants is never reduced
  } else {
    for (const Conway& c : conway())
      if (c.q == q) f.modulus = c.coefficients;
  }
  return f;
}

std::vector<int> supported_fields() {
  std::vector<int> fields;
  int p = 0, m = 0;
  for (int q = 2; q <= 256; ++q)
    if (prime_power(q, p, m)) fields.push_back(q);
  return fields;
}

// ---- codes and their weights by enumeration ---------------------------------

struct Matrix {
  int q, k, n;
  std::vector<int> entries;  // row by row
  int& at(int i, int j) { return entries[static_cast<std::size_t>(i * n + j)]; }
  int at(int i, int j) const { return entries[static_cast<std::size_t>(i * n + j)]; }
};

wdist::Code code_of(const Matrix& g) {
  wdist::Code c{g.q, g.k, g.n, {}};
  for (int x : g.entries) c.entries.push_back(static_cast<wdist::ElemCode>(x));
  return c;
}

// A_w, every codeword once: all q^k messages counted and divided by the
// messages of the zero word (q^(k - rank)).
std::vector<mpz_class> enumerated(const RefField& f, const Matrix& g) {
  std::vector<std::vector<int>> product(static_cast<std::size_t>(g.q), std::vector<int>(static_cast<std::size_t>(g.q)));
  std::vector<std::vector<int>> sum = product;
  for (int x = 0; x < g.q; ++x)
    for (int y = 0; y < g.q; ++y) {
      product[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] = f.mul(x, y);
      sum[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] = f.add(x, y);
    }
  std::vector<std::uint64_t> counts(static_cast<std::size_t>(g.n) + 1, 0);
  std::vector<int> message(static_cast<std::size_t>(g.k), 0);
  for (;;) {
    int weight = 0;
    for (int j = 0; j < g.n; ++j) {
      int c = 0;
      for (int i = 0; i < g.k; ++i)
        c = sum[static_cast<std::size_t>(c)][static_cast<std::size_t>(product[static_cast<std::size_t>(message[static_cast<std::size_t>(i)])][static_cast<std::size_t>(g.at(i, j))])];
      weight += c != 0 ? 1 : 0;
    }
    ++counts[static_cast<std::size_t>(weight)];
    int i = 0;
    while (i < g.k && ++message[static_cast<std::size_t>(i)] == g.q) message[static_cast<std::size_t>(i++)] = 0;
    if (i == g.k) break;
  }
  std::vector<mpz_class> a;
  for (std::uint64_t c : counts) a.emplace_back(static_cast<unsigned long>(c / counts[0]));
  return a;
}

// A random matrix; with `deficient` (k >= 2) the last row is a combination
// of the first two, and `zeros` columns are all zero.
Matrix random_matrix(std::mt19937_64& rng, const RefField& f, int k, int n, bool deficient, int zeros) {
  Matrix g{f.q, k, n, std::vector<int>(static_cast<std::size_t>(k * n))};
  auto element = [&] { return static_cast<int>(rng() % static_cast<unsigned>(f.q)); };
  for (int& x : g.entries) x = element();
  if (deficient && k >= 2) {
    const int a = element(), b = element();
    for (int j = 0; j < n; ++j) g.at(k - 1, j) = f.add(f.mul(a, g.at(0, j)), f.mul(b, g.at(1, j)));
  }
  for (int z = 0; z < zeros; ++z) {
    const int j = static_cast<int>(rng() % static_cast<unsigned>(n));
    for (int i = 0; i < k; ++i) g.at(i, j) = 0;
  }
  return g;
}

wdist::Distribution computed(const wdist::Code& code, wdist::DualRoute route, bool projective = false,
                             unsigned threads = 1) {
  wdist::Options options;
  options.dual = route;
  options.projective = projective;
  options.threads = threads;
  wdist::Distribution d;
  const wdist::Status s = wdist::weight_distribution(code, options, d);
  EXPECT_TRUE(s) << s.message << " for " << describe(code);
  return d;
}

// The plan's units one at a time, in reverse order, on one worker.
std::vector<mpz_class> by_units(const wdist::Plan& plan) {
  wdist::Worker worker;
  wdist::Tally total = wdist::empty_tally(plan);
  for (std::uint64_t u = plan.summary.units; u-- > 0;) {
    wdist::Tally t = wdist::empty_tally(plan);
    EXPECT_TRUE(wdist::run_units(plan, u, 1, worker, t));
    wdist::add_tally(t, total);
  }
  wdist::Distribution d;
  EXPECT_TRUE(wdist::finish_record(plan, total, d));
  return d.counts;
}

double power(double q, int e) { return std::pow(q, e); }

// ---- every field against the enumeration ------------------------------------

// Each field with random codes of every dimension its enumeration allows:
// the direct route (tables), the blocks (no table budget), the dual where
// its messages are few, and one count per subcode.
TEST(EveryField, RandomCodesMatchTheEnumeration) {
  std::mt19937_64 rng(20);
  for (const int q : supported_fields()) {
    const RefField f = ref_field(q);
    for (int k = 1; power(q, k) <= static_cast<double>(kMostMessages) && k <= 6; ++k) {
      for (int variant = 0; variant < 2; ++variant) {
        const int n = 1 + static_cast<int>(rng() % 12);
        const Matrix g = random_matrix(rng, f, k, n, variant == 1, variant == 1 ? 2 : static_cast<int>(rng() % 2));
        const wdist::Code code = code_of(g);
        SCOPED_TRACE(describe(code));
        const std::vector<mpz_class> expected = enumerated(f, g);
        const wdist::Distribution direct = computed(code, wdist::DualRoute::never);
        ASSERT_EQ(direct.counts, expected);
        wdist::Options never;
        never.dual = wdist::DualRoute::never;
        wdist::Plan blocks;
        ASSERT_TRUE(wdist::plan_record_with_budget(code, never, 0, blocks));
        EXPECT_EQ(by_units(blocks), expected) << wdist::route_name(blocks.summary.route);
        if (power(q, n - direct.rank) <= 1e5) {
          EXPECT_EQ(computed(code, wdist::DualRoute::always).counts, expected) << "through the dual";
        }
        const wdist::Distribution per_subcode = computed(code, wdist::DualRoute::never, true);
        ASSERT_EQ(per_subcode.counts.size(), expected.size());
        EXPECT_EQ(per_subcode.counts[0], 0);
        for (std::size_t w = 1; w < expected.size(); ++w) EXPECT_EQ(per_subcode.counts[w] * (q - 1), expected[w]);
      }
    }
  }
}

// The layout the plan takes per kind of field: binary for 2^m, projective
// points (of F_q itself or of the image over F_p) for the others.
TEST(EveryField, ThePlanTakesTheLayoutOfEachKindOfField) {
  const struct {
    int q, k, n;
    const char* route;
  } cases[] = {{8, 3, 10, "binary table"}, {256, 2, 10, "binary table"}, {8, 9, 60, "binary blocks"},
               {9, 3, 10, "projective"},   {243, 2, 6, "projective"},     {11, 3, 10, "projective"},
               {169, 2, 6, "projective"},  {11, 7, 30, "projective blocks"}, {25, 5, 30, "projective blocks"}};
  std::mt19937_64 rng(21);
  for (const auto& c : cases) {
    const Matrix g = random_matrix(rng, ref_field(c.q), c.k, c.n, false, 0);
    wdist::Options options;
    options.dual = wdist::DualRoute::never;
    wdist::Plan plan;
    ASSERT_TRUE(wdist::plan_record(code_of(g), options, plan));
    EXPECT_EQ(std::string(wdist::route_name(plan.summary.route)).substr(0, std::string(c.route).size()), c.route) << "q = " << c.q;
    EXPECT_EQ(plan.summary.messages, power(c.q, plan.summary.rank));
  }
}

// ---- known distributions ----------------------------------------------------

// MDS [n, k] over F_q: A_w = C(n, w) sum_j (-1)^j C(w, j) (q^(w-d+1-j) - 1),
// d = n - k + 1.
std::vector<mpz_class> mds_weights(int q, int n, int k) {
  const int d = n - k + 1;
  std::vector<mpz_class> a(static_cast<std::size_t>(n) + 1, 0);
  a[0] = 1;
  auto binomial = [](int top, int bottom) {
    mpz_class b;
    mpz_bin_uiui(b.get_mpz_t(), static_cast<unsigned long>(top), static_cast<unsigned long>(bottom));
    return b;
  };
  for (int w = d; w <= n; ++w) {
    mpz_class sum = 0;
    for (int j = 0; j <= w - d; ++j) {
      mpz_class term;
      mpz_ui_pow_ui(term.get_mpz_t(), static_cast<unsigned long>(q), static_cast<unsigned long>(w - d + 1 - j));
      term = (term - 1) * binomial(w, j);
      sum += j % 2 == 0 ? term : mpz_class(-term);
    }
    a[static_cast<std::size_t>(w)] = binomial(n, w) * sum;
  }
  return a;
}

// Reed-Solomon: row i evaluates x^i at n distinct elements (0 and the
// first powers of a primitive element, found by search).
Matrix reed_solomon(const RefField& f, int n, int k) {
  int primitive = 0;
  for (int a = 2; a < f.q && primitive == 0; ++a) {
    int x = a, order = 1;
    while (x != 1) x = f.mul(x, a), ++order;
    if (order == f.q - 1) primitive = a;
  }
  if (f.q == 2 || primitive == 0) primitive = 1;
  std::vector<int> points = {0};
  for (int x = 1; static_cast<int>(points.size()) < n; x = f.mul(x, primitive)) points.push_back(x);
  Matrix g{f.q, k, n, std::vector<int>(static_cast<std::size_t>(k * n))};
  for (int j = 0; j < n; ++j) {
    int x = 1;
    for (int i = 0; i < k; ++i, x = f.mul(x, points[static_cast<std::size_t>(j)])) g.at(i, j) = x;
  }
  return g;
}

TEST(KnownCodes, ReedSolomonCodesAreMds) {
  const struct {
    int q, n, k;
  } cases[] = {{8, 8, 3}, {8, 7, 5}, {16, 16, 4}, {16, 12, 7}, {32, 32, 3}, {32, 20, 5}, {256, 256, 2}, {256, 40, 3}};
  for (const auto& c : cases) {
    if (power(c.q, c.k) > kMostCodeMessages) continue;
    const wdist::Code code = code_of(reed_solomon(ref_field(c.q), c.n, c.k));
    SCOPED_TRACE("RS [" + std::to_string(c.n) + ", " + std::to_string(c.k) + "] over F_" + std::to_string(c.q));
    const std::vector<mpz_class> expected = mds_weights(c.q, c.n, c.k);
    EXPECT_EQ(computed(code, wdist::DualRoute::never).counts, expected);
    EXPECT_EQ(computed(code, wdist::DualRoute::automatic, false, 2).counts, expected);
  }
}

// The Hamming code of redundancy 2: the dual of the [q + 1, 2] code whose
// columns are the points of PG(1, q), itself MDS [q + 1, q - 1, 3]. Its
// generator: for each x != 0 the word 1 at the column (1, x), -1 at (1, 0)
// and -x at (0, 1); the library counts it through its dual.
TEST(KnownCodes, HammingCodesOfRedundancyTwoAreMds) {
  for (const int q : {8, 9, 11, 13, 16}) {
    const RefField f = ref_field(q);
    const int n = q + 1;
    Matrix g{q, q - 1, n, std::vector<int>(static_cast<std::size_t>((q - 1) * n), 0)};
    for (int x = 1; x < q; ++x) {
      const int row = x - 1;
      g.at(row, 0) = f.neg(1);
      g.at(row, 1) = f.neg(x);
      g.at(row, 1 + x) = 1;
    }
    const wdist::Code code = code_of(g);
    SCOPED_TRACE("Hamming over F_" + std::to_string(q));
    const wdist::Distribution d = computed(code, wdist::DualRoute::automatic);
    EXPECT_EQ(d.method, wdist::Method::dual);
    EXPECT_EQ(d.counts, mds_weights(q, n, q - 1));
  }
}

// The simplex code of dimension 3 (columns the points of PG(2, q), the
// Hamming code's dual): every nonzero word has weight q^2.
TEST(KnownCodes, SimplexCodesHaveOneWeight) {
  for (const int q : {8, 9, 11, 13, 16}) {
    const int n = q * q + q + 1;
    Matrix g{q, 3, n, std::vector<int>(static_cast<std::size_t>(3 * n), 0)};
    int j = 0;
    for (int lead = 0; lead < 3; ++lead)
      for (int rest = 0; rest < static_cast<int>(power(q, 2 - lead)); ++rest, ++j) {
        g.at(lead, j) = 1;
        for (int i = lead + 1, r = rest; i < 3; ++i, r /= q) g.at(i, j) = r % q;
      }
    ASSERT_EQ(j, n);
    std::vector<mpz_class> expected(static_cast<std::size_t>(n) + 1, 0);
    expected[0] = 1;
    expected[static_cast<std::size_t>(q * q)] = q * q * q - 1;
    EXPECT_EQ(computed(code_of(g), wdist::DualRoute::never).counts, expected) << "simplex over F_" << q;
  }
}

TEST(KnownCodes, Hexacode) {
  // Generator (I | w-circulant): rows 1 0 0 1 w w, 0 1 0 w 1 w, 0 0 1 w w 1
  // with w = 2; distribution 1 + 45 z^4 + 18 z^6.
  const wdist::Code code{4, 3, 6, {1, 0, 0, 1, 2, 2, 0, 1, 0, 2, 1, 2, 0, 0, 1, 2, 2, 1}};
  const std::vector<mpz_class> expected = {1, 0, 0, 0, 45, 0, 18};
  EXPECT_EQ(computed(code, wdist::DualRoute::never).counts, expected);
  EXPECT_EQ(computed(code, wdist::DualRoute::always).counts, expected);
}

// ---- the dual route ---------------------------------------------------------

// High-rate codes over F_8, F_9, F_11: the dual's messages and MacWilliams
// with the field's q against the code's own messages.
TEST(DualRoute, HighRateCodesAgreeWithTheDirectRoute) {
  std::mt19937_64 rng(22);
  const struct {
    int q, k, n;
  } cases[] = {{8, 6, 9}, {8, 5, 11}, {9, 5, 8}, {9, 6, 10}, {11, 4, 7}, {11, 5, 9}};
  for (const auto& c : cases)
    for (bool deficient : {false, true}) {
      const wdist::Code code = code_of(random_matrix(rng, ref_field(c.q), c.k, c.n, deficient, 1));
      SCOPED_TRACE(describe(code));
      const wdist::Distribution dual = computed(code, wdist::DualRoute::always);
      EXPECT_EQ(dual.method, wdist::Method::dual);
      EXPECT_EQ(dual.counts, computed(code, wdist::DualRoute::never).counts);
      EXPECT_EQ(computed(code, wdist::DualRoute::always, true).counts,
                computed(code, wdist::DualRoute::never, true).counts);
    }
}

// ---- threads ----------------------------------------------------------------

TEST(Threads, OneTwoAndThreeThreadsGiveTheSameCounts) {
  std::mt19937_64 rng(23);
  const struct {
    int q, k, n;
  } cases[] = {{8, 6, 40}, {9, 5, 40}, {11, 4, 30}, {16, 4, 30}, {25, 3, 30}};
  for (const auto& c : cases) {
    const wdist::Code code = code_of(random_matrix(rng, ref_field(c.q), c.k, c.n, false, 1));
    SCOPED_TRACE(describe(code));
    wdist::Options options;
    options.dual = wdist::DualRoute::never;
    wdist::Plan plan;
    ASSERT_TRUE(wdist::plan_record_with_budget(code, options, 0, plan));
    const std::vector<mpz_class> one = by_units(plan);
    for (unsigned threads : {1u, 2u, 3u}) EXPECT_EQ(computed(code, wdist::DualRoute::never, false, threads).counts, one);
  }
}

// ---- refusals ---------------------------------------------------------------

TEST(EveryField, OnlyPrimePowersUpToTwoHundredFiftySixAreTaken) {
  wdist::Distribution d;
  for (const int q : {0, 1, 6, 10, 12, 100, 257, 1024}) {
    const wdist::Code code{q, 1, 1, {0}};
    const wdist::Status s = wdist::weight_distribution(code, {}, d);
    EXPECT_EQ(s.code, wdist::StatusCode::invalid_code) << q;
    EXPECT_EQ(s.message, "q = " + std::to_string(q) + ", the field must be one of the prime powers up to 256");
  }
  const wdist::Code code{13, 1, 3, {0, 12, 13}};
  const wdist::Status s = wdist::weight_distribution(code, {}, d);
  EXPECT_EQ(s.message, "entry 13 in row 1, column 3 is not below q = 13");
}

}  // namespace
