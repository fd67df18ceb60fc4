// Numbering of combinations against the textbook: binomials against
// Pascal's rule, ranks and positions against a lexicographic listing made
// here by counting in binary, pairs against the double loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "enumerate/combinations.h"

namespace {

using wdist::binomial;

// Every w-subset of 0..n-1 in lexicographic order of the increasing
// positions, from all 2^n masks sorted.
std::vector<std::vector<int>> lexicographic_listing(int n, int w) {
  std::vector<std::vector<int>> all;
  for (unsigned mask = 0; mask < (1U << n); ++mask) {
    if (__builtin_popcount(mask) != w) continue;
    std::vector<int> c;
    for (int j = 0; j < n; ++j)
      if ((mask >> j) & 1U) c.push_back(j);
    all.push_back(c);
  }
  std::sort(all.begin(), all.end());
  return all;
}

TEST(CombinationsTest, BinomialsFollowPascalsRuleAndSaturate) {
  std::vector<std::uint64_t> row{1};
  for (int n = 1; n <= 67; ++n) {
    std::vector<std::uint64_t> next(static_cast<std::size_t>(n) + 1, 1);
    for (int w = 1; w < n; ++w) next[static_cast<std::size_t>(w)] = row[static_cast<std::size_t>(w) - 1] + row[static_cast<std::size_t>(w)];
    row = next;
    for (int w = 0; w <= n; ++w) ASSERT_EQ(binomial(n, w), row[static_cast<std::size_t>(w)]) << n << " " << w;
    EXPECT_EQ(binomial(n, n + 1), 0U);
  }
  EXPECT_EQ(binomial(128, 64), UINT64_MAX);
  EXPECT_EQ(binomial(1000, 10), UINT64_MAX);
  EXPECT_EQ(binomial(64, 9), 27540584512ULL);
  EXPECT_EQ(binomial(5, -1), 0U);
}

TEST(CombinationsTest, RanksAreLexicographicPositions) {
  for (int n = 1; n <= 12; ++n)
    for (int w = 1; w <= n; ++w) {
      const auto listing = lexicographic_listing(n, w);
      ASSERT_EQ(listing.size(), binomial(n, w));
      std::vector<int> c(static_cast<std::size_t>(w));
      for (std::size_t r = 0; r < listing.size(); ++r) {
        ASSERT_EQ(wdist::combination_rank(listing[r].data(), n, w), r) << n << " " << w;
        wdist::combination_of_rank(r, n, w, c.data());
        ASSERT_EQ(c, listing[r]) << n << " " << w << " rank " << r;
      }
    }
}

TEST(CombinationsTest, LargeRanksGoRoundTrip) {
  std::mt19937_64 rng(7);
  for (const int n : {64, 100, 128, 300}) {
    for (int trial = 0; trial < 200; ++trial) {
      const int w = 1 + static_cast<int>(rng() % 9);
      std::vector<int> all(static_cast<std::size_t>(n));
      for (int j = 0; j < n; ++j) all[static_cast<std::size_t>(j)] = j;
      std::shuffle(all.begin(), all.end(), rng);
      std::vector<int> c(all.begin(), all.begin() + w);
      std::sort(c.begin(), c.end());
      const std::uint64_t r = wdist::combination_rank(c.data(), n, w);
      ASSERT_LT(r, binomial(n, w));
      std::vector<int> back(static_cast<std::size_t>(w));
      wdist::combination_of_rank(r, n, w, back.data());
      ASSERT_EQ(back, c);
    }
    // The first and the last.
    std::vector<int> c(3);
    wdist::combination_of_rank(0, n, 3, c.data());
    EXPECT_EQ(c, (std::vector<int>{0, 1, 2}));
    wdist::combination_of_rank(binomial(n, 3) - 1, n, 3, c.data());
    EXPECT_EQ(c, (std::vector<int>{n - 3, n - 2, n - 1}));
  }
}

TEST(CombinationsTest, PairsAreNumberedInLexicographicOrder) {
  for (int n = 2; n <= 40; ++n) {
    std::uint64_t index = 0;
    for (int a = 0; a < n; ++a) {
      EXPECT_EQ(wdist::pair_offset(n, a), index);
      for (int b = a + 1; b < n; ++b, ++index) {
        ASSERT_EQ(wdist::pair_index(n, a, b), index);
        int x = -1, y = -1;
        wdist::pair_of_index(index, n, x, y);
        ASSERT_EQ(x, a);
        ASSERT_EQ(y, b);
      }
    }
    EXPECT_EQ(index, binomial(n, 2));
    EXPECT_EQ(wdist::pair_offset(n, n - 1), index);
  }
}

}  // namespace
