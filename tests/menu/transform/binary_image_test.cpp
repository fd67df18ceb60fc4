// The binary image of F_4 codes: exact rows, and the weight doubling that
// the binary transform relies on, checked against a direct trace map.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "menu/transform/binary_image.h"
#include "field/galois.h"
#include "menu/store/gen_matrix.h"

namespace wdist {
namespace {

struct Matrices {
  GenMatrix code{};
  GenMatrix image{};
  ~Matrices() {
    release_gen_matrix(code);
    release_gen_matrix(image);
  }
};

void load(GenMatrix& g, const std::vector<std::string>& rows) {
  size_gen_matrix(g, static_cast<std::int32_t>(rows.size()), static_cast<std::int32_t>(rows[0].size()), 4);
  g.k = g.rows;
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows[i].size(); ++j) g.a[i + 1][j + 1] = static_cast<ElemCode>(rows[i][j] - '0');
}

std::string row_text(const GenMatrix& g, std::int32_t i) {
  std::string s;
  for (std::int32_t j = 1; j <= g.n; ++j) s += static_cast<char>('0' + g.a[i][j]);
  return s;
}

void image_of(Matrices& m) {
  size_gen_matrix(m.image, 2 * m.code.k, 3 * m.code.n, 4);
  build_binary_image(m.code, m.image);
}

TEST(BinaryImage, RowOneTwoThreeGivesTheListedRows) {
  Matrices m;
  load(m.code, {"123", "001"});
  image_of(m);
  EXPECT_EQ(m.image.k, 4);
  EXPECT_EQ(row_text(m.image, 1), "011110101");
  EXPECT_EQ(row_text(m.image, 3), "101011110");
  EXPECT_EQ(row_text(m.image, 2), "000001001");  // the entry 1 has traces 0, 1, 1 under 1, w, w^2
}

// Every F_4 combination of the rows maps onto the binary combination of the
// image rows with coefficient bits (c0, c1) of c = c0 + c1*w: row j is the
// image of G[j], row k + j the image of w^2 G[j], and w = 1 + w^2.
TEST(BinaryImage, SpansTheTracesOfEveryCombinationWithTwiceTheWeight) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 50; ++trial) {
    Matrices m;
    const int k = 1 + static_cast<int>(rng() % 3), n = 1 + static_cast<int>(rng() % 7);
    std::vector<std::string> rows(static_cast<std::size_t>(k));
    for (auto& r : rows)
      for (int j = 0; j < n; ++j) r += static_cast<char>('0' + rng() % 4);
    load(m.code, rows);
    image_of(m);
    const GaloisField& f = field_of(4);
    for (int low = 0; low < (1 << k); ++low)
      for (int high = 0; high < (1 << k); ++high) {
        // binary combination: rows j with bit j of low, rows k + j with bit j of high
        int binary_weight = 0;
        for (int col = 1; col <= 3 * n; ++col) {
          int bit = 0;
          for (int j = 0; j < k; ++j) {
            if ((low >> j) & 1) bit ^= m.image.a[j + 1][col];
            if ((high >> j) & 1) bit ^= m.image.a[k + j + 1][col];
          }
          binary_weight += bit;
        }
        // the F_4 word sum over j of (low_j + high_j * w^2) G[j]
        int f4_weight = 0;
        for (int col = 1; col <= n; ++col) {
          int x = 0;
          for (int j = 0; j < k; ++j) {
            const int coefficient = ((low >> j) & 1) ^ (((high >> j) & 1) ? 3 : 0);
            x ^= f.mul[coefficient][m.code.a[j + 1][col]];
          }
          f4_weight += x != 0;
        }
        ASSERT_EQ(binary_weight, 2 * f4_weight) << "k=" << k << " n=" << n << " low=" << low << " high=" << high;
      }
  }
}

}  // namespace
}  // namespace wdist
