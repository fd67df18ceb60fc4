// Random codes of every shape through both computation paths, compared
// with the brute force: every field, k from 1 up to where enumeration stays
// cheap, lengths from 0, zero columns, repeated and scaled columns,
// rank-deficient matrices, and lengths just below the narrow program's
// limits. Codes of one field share a file, so storage kept from one record
// to the next is exercised in every mix of sizes.
//
// Seeds are fixed; WDIST_TEST_MULTIPLIER (a positive integer) scales the
// number of codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/brute_force.h"
#include "support/weight_runs.h"

namespace {

using namespace wdist_test;

int test_multiplier() {
  const char* text = std::getenv("WDIST_TEST_MULTIPLIER");
  if (text == nullptr) return 1;
  const int m = std::atoi(text);
  return m >= 1 ? m : 1;
}

// Largest k whose q^k messages the brute force enumerates quickly.
int largest_dimension(int q) { return q == 2 ? 10 : q == 3 ? 6 : q == 4 ? 5 : 4; }

using Rng = std::mt19937_64;

int uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

// Shapes a random matrix may take; several may combine.
struct Shape {
  bool zero_columns;    // about a quarter of the columns are zero
  bool repeated;        // columns are multiples of a few distinct ones
  bool rank_deficient;  // some rows are combinations of others (or zero)
};

TestCode random_code(Rng& rng, int q, int k, int n, const Shape& shape) {
  TestCode code{
      k, n, q,
      std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n), 0))};
  std::vector<std::vector<int>> pool;
  for (int p = uniform(rng, 1, 3); p > 0; --p) {
    std::vector<int> column;
    for (int r = 0; r < k; ++r) column.push_back(uniform(rng, 0, q - 1));
    pool.push_back(column);
  }
  for (int j = 0; j < n; ++j) {
    if (shape.zero_columns && uniform(rng, 0, 3) == 0) continue;
    if (shape.repeated) {
      const std::vector<int>& base = pool[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(pool.size()) - 1))];
      const int scale = uniform(rng, 1, q - 1);
      for (int r = 0; r < k; ++r) entry_of(code, r, j) = field_mul(q, scale, base[static_cast<std::size_t>(r)]);
    } else {
      for (int r = 0; r < k; ++r) entry_of(code, r, j) = uniform(rng, 0, q - 1);
    }
  }
  if (shape.rank_deficient && k >= 2) {
    // Rows from `free_rows` on become combinations of the rows before them.
    const int free_rows = uniform(rng, 0, k - 1);
    for (int r = free_rows; r < k; ++r) {
      std::vector<int>& row = code.rows[static_cast<std::size_t>(r)];
      std::fill(row.begin(), row.end(), 0);
      for (int s = 0; s < free_rows; ++s) {
        const int c = uniform(rng, 0, q - 1);
        for (int j = 0; j < n; ++j)
          row[static_cast<std::size_t>(j)] =
              field_add(q, row[static_cast<std::size_t>(j)], field_mul(q, c, entry_of(code, s, j)));
      }
    }
  }
  return code;
}

// What one path's counts must add up to.
std::uint64_t expected_total(ComputePath path, int q, int k) {
  if (path == ComputePath::projective_sums) return point_count(q, k);
  return q == 2 || q == 4 ? power_of(q, k) : power_of(q, k) - 1;
}

// Runs `path` over the codes, in files of at most 99 records (the drivers
// write progress lines to standard output at every 100th), and compares
// every block with the brute force; reports the first few mismatches.
void check_run(ComputePath path, const std::vector<TestCode>& all_codes, const std::string& seed_note) {
  constexpr std::size_t kRecordsPerFile = 99;
  int failures = 0;
  for (std::size_t first = 0; first < all_codes.size() && failures < 5; first += kRecordsPerFile) {
    const std::vector<TestCode> codes(
        all_codes.begin() + static_cast<std::ptrdiff_t>(first),
        all_codes.begin() + static_cast<std::ptrdiff_t>(std::min(all_codes.size(), first + kRecordsPerFile)));
    std::string input;
    for (const TestCode& c : codes) input += code_record(c);
    std::string report, error;
    ASSERT_TRUE(run_path_on_text(path, input, report)) << path_name(path);
    std::vector<ReportBlock> blocks;
    ASSERT_TRUE(parse_report(report, blocks, error)) << path_name(path) << ": " << error;
    ASSERT_EQ(blocks.size(), codes.size()) << path_name(path);
    for (std::size_t i = 0; i < codes.size() && failures < 5; ++i) {
      const TestCode& code = codes[i];
      const ReportBlock& b = blocks[i];
      const WeightPairs want = nonzero_pairs(expected_weights(path, code));
      std::uint64_t total = 0;
      for (const auto& [w, a] : b.weights) total += a;
      const bool same = b.k == code.k && b.n == code.n && b.q == code.q && b.weights == want &&
                        total == expected_total(path, code.q, code.k);
      if (!same) {
        ++failures;
        ADD_FAILURE() << path_name(path) << ", " << seed_note << ", code " << first + i + 1 << ": "
                      << describe_code(code) << "\n  reported:" << describe_pairs(b.weights)
                      << "\n  expected:" << describe_pairs(want);
      }
    }
  }
}

class RandomCodes : public ::testing::TestWithParam<int> {};

TEST_P(RandomCodes, BothPathsAgreeWithTheBruteForce) {
  const int q = GetParam();
  const std::uint64_t seed = 20240611u + static_cast<std::uint64_t>(q);
  Rng rng(seed);
  std::vector<TestCode> codes;
  const int count = 60 * test_multiplier();
  for (int i = 0; i < count; ++i) {
    const int k = uniform(rng, 1, largest_dimension(q));
    // Mostly short codes, some up to 40, a few empty ones.
    const int n = uniform(rng, 0, 9) == 0 ? 0 : uniform(rng, 0, 1) == 0 ? uniform(rng, 1, 8) : uniform(rng, 1, 40);
    const Shape shape{uniform(rng, 0, 2) == 0, uniform(rng, 0, 2) == 0, uniform(rng, 0, 3) == 0};
    codes.push_back(random_code(rng, q, k, n, shape));
  }
  const std::string note = "q = " + std::to_string(q) + ", seed " + std::to_string(seed);
  for (ComputePath path : {ComputePath::weight_distribution, ComputePath::projective_sums})
    check_run(path, codes, note);
}

// Every dimension with a few lengths, each shape alone: small systematic
// coverage that does not depend on what the random draw happens to pick.
TEST_P(RandomCodes, EveryDimensionAndShape) {
  const int q = GetParam();
  const std::uint64_t seed = 777u * static_cast<std::uint64_t>(q);
  Rng rng(seed);
  std::vector<TestCode> codes;
  for (int rounds = test_multiplier(); rounds > 0; --rounds)
    for (int k = 1; k <= largest_dimension(q); ++k)
      for (int n : {1, 2, k, k + 1, 17})
        for (int s = 0; s < 4; ++s) codes.push_back(random_code(rng, q, k, n, Shape{s == 1, s == 2, s == 3}));
  const std::string note = "q = " + std::to_string(q) + ", seed " + std::to_string(seed);
  for (ComputePath path : {ComputePath::weight_distribution, ComputePath::projective_sums})
    check_run(path, codes, note);
}

// Lengths just below the narrow program's limit (n < 2^15, for q = 4
// n < 2^13), where every transform value comes close to the counter range:
// long runs of one column, of zero columns, and a mix.
TEST_P(RandomCodes, LengthsNearTheNarrowLimit) {
  const int q = GetParam();
  const int n = q == 4 ? (1 << 13) - 1 : (1 << 15) - 1;
  const std::uint64_t seed = 4242u + static_cast<std::uint64_t>(q);
  Rng rng(seed);
  std::vector<TestCode> codes;
  for (int k = 1; k <= 3; ++k) {
    // One column n times: a transform value reaches n.
    codes.push_back(random_code(rng, q, k, n, Shape{false, true, false}));
    TestCode same = codes.back();
    for (std::vector<int>& row : same.rows) std::fill(row.begin(), row.end(), row.front());
    if (k == 1) same.rows[0].assign(static_cast<std::size_t>(n), 1);
    codes.push_back(same);
    // Every column zero: all counts at weight 0 (or z on the projective path).
    codes.push_back(TestCode{
        k, n, q,
        std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n), 0))});
    // Repeats of a few columns with zero columns among them.
    codes.push_back(random_code(rng, q, k, n, Shape{true, true, k == 3}));
  }
  const std::string note = "q = " + std::to_string(q) + ", n = " + std::to_string(n) + ", seed " + std::to_string(seed);
  for (ComputePath path : {ComputePath::weight_distribution, ComputePath::projective_sums})
    check_run(path, codes, note);
}

std::string field_name(const ::testing::TestParamInfo<int>& field) {
  std::string name = "q";
  name += std::to_string(field.param);
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryField, RandomCodes, ::testing::Values(2, 3, 4, 5, 7), field_name);

}  // namespace
