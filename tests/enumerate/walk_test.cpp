// The walks against their straightforward twins, on every SIMD path this
// machine offers: the twin lists the messages of one weight in rank order
// from the definition (positions in lexicographic order from a listing of
// masks, coefficients by the closed form of the reflected Gray code, each
// codeword summed from scratch in this file's own field arithmetic) and
// applies the same rule for the limit; every hit must agree, rank, weight,
// message and codeword. Over F_8 and F_9 too, whose tables only these
// tests can build today (F_9: two digit planes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "enumerate/walk.h"
#include "support/simd_paths.h"

namespace {

using wdist::WalkHit;
using wdist::WalkWord;
using wdist_test::ForcedPath;
using wdist_test::offered_paths;

// ---- The twins' field arithmetic: F_p for p = 3, 5, 7; F_4 and F_8 as
// binary polynomials modulo x^2 + x + 1 and x^3 + x + 1; F_9 as c0 + c1 i
// with i^2 = -1, coded c0 + 3 c1.
struct TestField {
  int q, p, m;
};

TestField test_field(int q) {
  switch (q) {
    case 4: return {4, 2, 2};
    case 8: return {8, 2, 3};
    case 9: return {9, 3, 2};
    default: return {q, q, 1};
  }
}

int add(const TestField& f, int a, int b) {
  if (f.p == 2) return a ^ b;
  if (f.q == 9) return (a % 3 + b % 3) % 3 + 3 * ((a / 3 + b / 3) % 3);
  return (a + b) % f.q;
}

int mul(const TestField& f, int a, int b) {
  if (f.p == 2) {
    const int modulus = f.q == 4 ? 0b111 : 0b1011;
    int product = 0;
    for (int bit = 0; bit < f.m; ++bit)
      if ((b >> bit) & 1) product ^= a << bit;
    for (int bit = 2 * f.m - 2; bit >= f.m; --bit)
      if ((product >> bit) & 1) product ^= modulus << (bit - f.m);
    return product;
  }
  if (f.q == 9) {
    const int a0 = a % 3, a1 = a / 3, b0 = b % 3, b1 = b / 3;
    return ((a0 * b0 - a1 * b1 + 9) % 3) + 3 * ((a0 * b1 + a1 * b0) % 3);
  }
  return a * b % f.q;
}

int neg(const TestField& f, int a) {
  for (int b = 0; b < f.q; ++b)
    if (add(f, a, b) == 0) return b;
  return 0;
}

// Every w-subset of 0..K-1, lexicographic.
std::vector<std::vector<int>> combinations_of(int K, int w) {
  std::vector<std::vector<int>> all;
  for (unsigned mask = 0; mask < (1U << K); ++mask) {
    if (__builtin_popcount(mask) != w) continue;
    std::vector<int> c;
    for (int j = 0; j < K; ++j)
      if ((mask >> j) & 1U) c.push_back(j);
    all.push_back(c);
  }
  std::sort(all.begin(), all.end());
  return all;
}

// The reflected Gray code of `digits` digits of base b at index g: digit i
// is d_i while floor(g / b^(i+1)) is even and b - 1 - d_i while it is odd.
std::vector<int> gray_digits(std::uint64_t g, int b, int digits) {
  std::vector<int> out(static_cast<std::size_t>(digits));
  for (int i = 0; i < digits; ++i) {
    const auto d = static_cast<int>(g % static_cast<std::uint64_t>(b));
    g /= static_cast<std::uint64_t>(b);
    out[static_cast<std::size_t>(i)] = g % 2 == 0 ? d : b - 1 - d;
  }
  return out;
}

// What both sides report of a hit.
struct Hit {
  int weight;
  std::uint64_t rank;
  std::vector<int> positions;
  std::vector<int> coefficients;
  std::vector<int> redundancy;  // the codeword's redundancy part, one code per column
  bool operator==(const Hit&) const = default;
};

// The limit after each hit: down to the hit's weight less one, but every
// third hit lets one heavier through, so both directions are exercised.
int next_limit(int weight, std::size_t hits) { return weight - 1 + (hits % 3 == 0 ? 2 : 0); }

struct Recorder {
  int w;
  std::size_t redundancy;  // columns
  int q;
  int planes;
  std::size_t length;
  std::vector<Hit> hits;
};

int record(void* context, const WalkHit& hit) {
  Recorder& r = *static_cast<Recorder*>(context);
  Hit h{hit.weight, hit.rank, std::vector<int>(hit.positions, hit.positions + r.w), {}, {}};
  if (hit.coefficients != nullptr) h.coefficients.assign(hit.coefficients, hit.coefficients + r.w);
  const TestField f = test_field(r.q);
  for (std::size_t t = 0; t < r.redundancy; ++t) {
    if (hit.redundancy != nullptr) {
      h.redundancy.push_back(static_cast<int>((hit.redundancy[t / 64] >> (t % 64)) & 1));
    } else {
      int code = 0, weight = 1;
      for (int u = 0; u < r.planes; ++u, weight *= f.p) code += weight * hit.vector[static_cast<std::size_t>(u) * r.length + t];
      h.redundancy.push_back(code);
    }
  }
  r.hits.push_back(h);
  return next_limit(hit.weight, r.hits.size());
}

// ---- Binary.

struct BinarySet {
  int K;
  std::size_t R, W;
  std::vector<std::vector<int>> A;  // K x R bits
  std::vector<WalkWord> rows, pairs;
};

BinarySet random_binary_set(int K, std::size_t R, std::mt19937_64& rng) {
  BinarySet s{K, R, std::max<std::size_t>(1, (R + 63) / 64), {}, {}, {}};
  s.A.assign(static_cast<std::size_t>(K), std::vector<int>(R));
  s.rows.assign((static_cast<std::size_t>(K) + wdist::kTablePadding) * s.W, 0);
  for (int j = 0; j < K; ++j)
    for (std::size_t t = 0; t < R; ++t) {
      // Sparse rows now and then, so that light codewords are common.
      const int bit = rng() % (j % 3 == 0 ? 7 : 2) == 0 ? 1 : 0;
      s.A[static_cast<std::size_t>(j)][t] = bit;
      s.rows[static_cast<std::size_t>(j) * s.W + t / 64] |= WalkWord{static_cast<unsigned>(bit)} << (t % 64);
    }
  for (int a = 0; a < K; ++a)
    for (int b = a + 1; b < K; ++b)
      for (std::size_t i = 0; i < s.W; ++i)
        s.pairs.push_back(s.rows[static_cast<std::size_t>(a) * s.W + i] ^ s.rows[static_cast<std::size_t>(b) * s.W + i]);
  // The padding the walks may read: light entries, which must never be
  // reported.
  s.pairs.resize(s.pairs.size() + wdist::kTablePadding * s.W, 0);
  return s;
}

std::vector<Hit> binary_twin(const BinarySet& s, int w, std::uint64_t first, std::uint64_t count, int limit) {
  std::vector<Hit> hits;
  const auto all = combinations_of(s.K, w);
  for (std::uint64_t r = first; r < first + count; ++r) {
    const std::vector<int>& c = all[r];
    std::vector<int> red(s.R, 0);
    for (const int j : c)
      for (std::size_t t = 0; t < s.R; ++t) red[t] ^= s.A[static_cast<std::size_t>(j)][t];
    const int weight = w + static_cast<int>(std::count(red.begin(), red.end(), 1));
    if (weight > limit) continue;
    hits.push_back(Hit{weight, r, c, {}, red});
    limit = next_limit(weight, hits.size());
  }
  return hits;
}

TEST(WalkTest, BinaryWalksMatchTheTwin) {
  std::mt19937_64 rng(11);
  for (const wdist::SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    for (int trial = 0; trial < 300; ++trial) {
      const int K = 1 + static_cast<int>(rng() % 13);
      const std::size_t R = rng() % 4 == 0 ? rng() % 4 : rng() % 200;
      const BinarySet s = random_binary_set(K, R, rng);
      const int w = 1 + static_cast<int>(rng() % static_cast<unsigned>(K));
      const std::uint64_t items = combinations_of(K, w).size();
      const std::uint64_t first = rng() % items;
      const std::uint64_t count = 1 + rng() % (items - first);
      const int limit = w + static_cast<int>(rng() % (R / 3 + 2));
      const std::vector<Hit> expected = binary_twin(s, w, first, count, limit);
      for (const bool pairs : {false, true}) {
        wdist::BinaryWalkTables t;
        t.rows = K;
        t.words = s.W;
        t.row_words = s.rows.data();
        t.pair_words = pairs && K >= 2 ? s.pairs.data() : nullptr;
        wdist::WalkScratch scratch;
        wdist::size_walk_scratch(&t, nullptr, K, scratch);
        Recorder r{w, R, 2, 1, 0, {}};
        wdist::walk_binary(t, w, first, count, limit, scratch, record, &r);
        ASSERT_EQ(r.hits, expected) << "path " << wdist::simd_path_name(path) << " K " << K << " R " << R << " w " << w
                                    << " ranks " << first << "+" << count << " limit " << limit << " pairs " << pairs;
      }
    }
  }
}

TEST(WalkTest, FirstLightEntryMatchesTheTwin) {
  std::mt19937_64 rng(12);
  for (const wdist::SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    for (int trial = 0; trial < 2000; ++trial) {
      const std::size_t words = 1 + rng() % 3;
      const std::size_t entries = 1 + rng() % 40;
      std::vector<WalkWord> table((entries + wdist::kTablePadding) * words), s(words);
      for (WalkWord& x : table) x = rng() & rng() & rng();  // entries past `to` are as light
      for (WalkWord& x : s) x = rng() & rng();
      const std::size_t from = rng() % entries;
      const std::size_t to = from + rng() % (entries - from + 1);
      const int limit = static_cast<int>(rng() % (20 * words)) - 1;
      std::size_t expected = to;
      for (std::size_t e = from; e < to && expected == to; ++e) {
        int weight = 0;
        for (std::size_t b = 0; b < words; ++b) weight += __builtin_popcountll(s[b] ^ table[e * words + b]);
        if (weight <= limit) expected = e;
      }
      ASSERT_EQ(wdist::first_light_entry(s.data(), table.data(), words, from, to, limit), expected)
          << wdist::simd_path_name(path) << " words " << words << " " << from << ".." << to << " limit " << limit;
    }
  }
}

// ---- Over F_q, q > 2.

struct QarySet {
  TestField f;
  int K;
  std::size_t R;
  std::vector<std::vector<int>> A;  // K x R codes
  int planes;
  std::size_t length;
  std::vector<std::uint8_t> multiples, up, down;
};

// The tables in the walks' layout, built from their description.
QarySet random_qary_set(int q, int K, std::size_t R, std::mt19937_64& rng) {
  QarySet s{test_field(q), K, R, {}, 1, (std::max<std::size_t>(R, 1) + 63) / 64 * 64, {}, {}, {}};
  const TestField& f = s.f;
  s.planes = f.p == 2 ? 1 : f.m;
  s.A.assign(static_cast<std::size_t>(K), std::vector<int>(R));
  for (auto& row : s.A)
    for (int& x : row) x = rng() % 3 == 0 ? static_cast<int>(rng() % static_cast<unsigned>(q)) : 0;
  const std::size_t stride = static_cast<std::size_t>(s.planes) * s.length;
  s.multiples.assign(static_cast<std::size_t>(K) * static_cast<std::size_t>(q - 1) * stride, 0);
  for (int j = 0; j < K; ++j)
    for (int b = 1; b < q; ++b) {
      std::uint8_t* out = s.multiples.data() + (static_cast<std::size_t>(j) * static_cast<std::size_t>(q - 1) + static_cast<std::size_t>(b - 1)) * stride;
      for (std::size_t t = 0; t < R; ++t) {
        int code = mul(f, b, s.A[static_cast<std::size_t>(j)][t]);
        if (f.p == 2) {
          out[t] = static_cast<std::uint8_t>(code);
          continue;
        }
        for (int u = 0; u < f.m; ++u, code /= f.p) out[static_cast<std::size_t>(u) * s.length + t] = static_cast<std::uint8_t>(f.p - code % f.p);
      }
    }
  s.up.assign(static_cast<std::size_t>(q - 1), 0);
  s.down.assign(static_cast<std::size_t>(q - 1), 0);
  for (int g = 0; g < q - 1; ++g) {
    if (g + 1 < q - 1) s.up[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(add(f, g + 2, neg(f, g + 1)));
    if (g > 0) s.down[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(add(f, g, neg(f, g + 1)));
  }
  return s;
}

std::vector<Hit> qary_twin(const QarySet& s, int w, std::uint64_t first, std::uint64_t count, int limit) {
  std::vector<Hit> hits;
  const int q = s.f.q;
  const auto all = combinations_of(s.K, w);
  std::uint64_t per = 1;
  for (int i = 1; i < w; ++i) per *= static_cast<std::uint64_t>(q - 1);
  for (std::uint64_t r = first; r < first + count; ++r) {
    const std::vector<int>& c = all[r / per];
    const std::vector<int> gray = gray_digits(r % per, q - 1, w - 1);
    std::vector<int> coefficients(static_cast<std::size_t>(w), 1);
    for (int i = 0; i + 1 < w; ++i) coefficients[static_cast<std::size_t>(w - 1 - i)] = gray[static_cast<std::size_t>(i)] + 1;
    std::vector<int> red(s.R, 0);
    for (int l = 0; l < w; ++l)
      for (std::size_t t = 0; t < s.R; ++t)
        red[t] = add(s.f, red[t], mul(s.f, coefficients[static_cast<std::size_t>(l)], s.A[static_cast<std::size_t>(c[static_cast<std::size_t>(l)])][t]));
    const int weight = w + static_cast<int>(s.R - static_cast<std::size_t>(std::count(red.begin(), red.end(), 0)));
    if (weight > limit) continue;
    hits.push_back(Hit{weight, r, c, coefficients, red});
    limit = next_limit(weight, hits.size());
  }
  return hits;
}

TEST(WalkTest, GrayDigitsOfTheTwinChangeOneDigitByOne) {
  for (const int b : {2, 3, 4, 6, 8})
    for (int digits = 1; digits <= 4; ++digits) {
      std::uint64_t total = 1;
      for (int i = 0; i < digits; ++i) total *= static_cast<std::uint64_t>(b);
      for (std::uint64_t g = 0; g + 1 < total; ++g) {
        const auto x = gray_digits(g, b, digits), y = gray_digits(g + 1, b, digits);
        int changed = 0;
        for (int i = 0; i < digits; ++i) {
          const int d = std::abs(x[static_cast<std::size_t>(i)] - y[static_cast<std::size_t>(i)]);
          ASSERT_LE(d, 1);
          changed += d;
        }
        ASSERT_EQ(changed, 1) << "base " << b << " index " << g;
      }
    }
}

TEST(WalkTest, QaryWalksMatchTheTwin) {
  std::mt19937_64 rng(13);
  for (const wdist::SimdPath path : offered_paths()) {
    ForcedPath forced(path);
    for (const int q : {3, 4, 5, 7, 8, 9}) {
      for (int trial = 0; trial < 60; ++trial) {
        const int K = 1 + static_cast<int>(rng() % 7);
        // Short vectors in registers, longer ones (and F_9's two planes) in memory.
        const std::size_t R = rng() % 5 == 0 ? rng() % 3 : rng() % 4 == 0 ? 250 + rng() % 60 : rng() % 150;
        const QarySet s = random_qary_set(q, K, R, rng);
        const int w = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(K, 4)));
        std::uint64_t items = combinations_of(K, w).size();
        for (int i = 1; i < w; ++i) items *= static_cast<std::uint64_t>(q - 1);
        const std::uint64_t first = rng() % items;
        const std::uint64_t count = 1 + rng() % (items - first);
        const int limit = w + static_cast<int>(rng() % (R / 2 + 2));
        const std::vector<Hit> expected = qary_twin(s, w, first, count, limit);
        wdist::QaryWalkTables t;
        t.rows = K;
        t.q = q;
        t.p = s.f.p;
        t.planes = s.planes;
        t.length = s.length;
        t.multiples = s.multiples.data();
        t.step_up = s.up.data();
        t.step_down = s.down.data();
        wdist::WalkScratch scratch;
        wdist::size_walk_scratch(nullptr, &t, K, scratch);
        Recorder r{w, R, q, s.planes, s.length, {}};
        wdist::walk_qary(t, w, first, count, limit, scratch, record, &r);
        ASSERT_EQ(r.hits, expected) << "path " << wdist::simd_path_name(path) << " q " << q << " K " << K << " R " << R
                                    << " w " << w << " ranks " << first << "+" << count << " limit " << limit;
      }
    }
  }
}

}  // namespace
