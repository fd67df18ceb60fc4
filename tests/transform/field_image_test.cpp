// The image of a code over F_q in F_p^(mk), against the code itself over
// F_q, for every supported field: message by message (the image message of
// x is u = (Tr(x_i a^j))), the zeros counted through the image equal the
// zeros of x's codeword; and over all p^(mk) image messages at once, the
// image weights turned into weights are the code's weight distribution.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "field/galois.h"
#include "transform/field_image.h"

namespace wdist {
namespace {

// Tr(z) = z + z^p + ... + z^(p^(m-1)), an element of F_p.
int trace(const GaloisField& f, int z) {
  int sum = 0, conjugate = z;
  for (int j = 0; j < f.m; ++j) {
    sum = f.add[sum][conjugate];
    int next = 1, square = conjugate;  // conjugate^p by squaring
    for (int e = f.p; e > 0; e >>= 1, square = f.mul[square][square])
      if ((e & 1) != 0) next = f.mul[next][square];
    conjugate = next;
  }
  return sum;
}

struct Case {
  const GaloisField* f;
  int k;
  std::int64_t n;
  std::vector<std::vector<ElemCode>> code;   // k rows of n
  std::vector<std::vector<ElemCode>> image;  // m k rows of r n
  MatrixView view;
  std::vector<const ElemCode*> code_rows;
};

// Random entries; column 0 is zero, column 1 is a^5 times column 2 (so two
// columns share their hyperplanes) when n allows.
void make_case(Case& c, const GaloisField& f, int k, std::int64_t n, std::mt19937& rng) {
  c.f = &f;
  c.k = k;
  c.n = n;
  c.code.assign(static_cast<std::size_t>(k), std::vector<ElemCode>(static_cast<std::size_t>(n)));
  for (auto& row : c.code)
    for (auto& x : row) x = static_cast<ElemCode>(rng() % static_cast<unsigned>(f.q));
  for (auto& row : c.code) {
    row[0] = 0;
    if (n >= 3) row[1] = f.mul[f.exp[5 % (f.q - 1)]][row[2]];
  }
  c.code_rows.clear();
  for (const auto& row : c.code) c.code_rows.push_back(row.data());
  c.view = MatrixView{f.q, k, n, c.code_rows.data()};
  c.image.assign(static_cast<std::size_t>(image_row_count(f, k)),
                 std::vector<ElemCode>(static_cast<std::size_t>(image_column_count(f, n)), 0xee));
  std::vector<ElemCode*> image_rows;
  for (auto& row : c.image) image_rows.push_back(row.data());
  write_image_rows(f, c.view, image_rows.data());
}

// Digits of a message over F_q or F_p, lowest coordinate first.
std::vector<int> digits_of(std::uint64_t index, int base, int count) {
  std::vector<int> d(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i, index /= static_cast<std::uint64_t>(base))
    d[static_cast<std::size_t>(i)] = static_cast<int>(index % static_cast<std::uint64_t>(base));
  return d;
}

std::int64_t code_zeros(const Case& c, const std::vector<int>& x) {
  const GaloisField& f = *c.f;
  std::int64_t zeros = 0;
  for (std::int64_t col = 0; col < c.n; ++col) {
    int dot = 0;
    for (int i = 0; i < c.k; ++i)
      dot = f.add[dot][f.mul[x[static_cast<std::size_t>(i)]][c.code[static_cast<std::size_t>(i)][static_cast<std::size_t>(col)]]];
    zeros += dot == 0 ? 1 : 0;
  }
  return zeros;
}

std::int64_t image_on_hyperplane(const Case& c, const std::vector<int>& u) {
  const int p = c.f->p;
  std::int64_t count = 0;
  for (std::size_t col = 0; col < c.image[0].size(); ++col) {
    int dot = 0;
    for (std::size_t row = 0; row < c.image.size(); ++row) dot = (dot + u[row] * c.image[row][col]) % p;
    count += dot == 0 ? 1 : 0;
  }
  return count;
}

// The largest k <= 3 whose brute force stays within a few million steps
// (a tenth of that in unoptimised sanitizer builds).
#ifdef NDEBUG
constexpr double kBruteForceSteps = 4e6;
#else
constexpr double kBruteForceSteps = 4e5;
#endif

int test_dimension(const GaloisField& f, std::int64_t n) {
  int k = 1;
  auto cost = [&](int dim) {
    double messages = 1;
    for (int i = 0; i < dim; ++i) messages *= f.q;
    return messages * static_cast<double>(image_column_count(f, n)) * f.m * dim;
  };
  while (k < 3 && cost(k + 1) <= kBruteForceSteps) ++k;
  return k;
}

std::vector<int> supported_orders() {
  std::vector<int> orders;
  for (int q = 2; q <= kLargestFieldOrder; ++q)
    if (is_galois_order(q)) orders.push_back(q);
  return orders;
}

TEST(FieldImageTest, ShapeAndDigits) {
  const GaloisField& f = *galois_field(9);
  EXPECT_EQ(image_multiples(f), 4);
  EXPECT_EQ(image_row_count(f, 5), 10);
  EXPECT_EQ(image_column_count(f, 7), 28);
  EXPECT_EQ(image_multiples(*galois_field(256)), 255);
  EXPECT_EQ(image_multiples(*galois_field(121)), 12);
  EXPECT_EQ(image_multiples(*galois_field(13)), 1);
  // F_9, one column (a + 1, 2): times a^1 it is (a^2 + a, 2a) = (2a + 1, 2a),
  // digits (1, 2), (0, 2); codes 7 and 6.
  std::vector<ElemCode> r0 = {4}, r1 = {2};
  const ElemCode* rows[] = {r0.data(), r1.data()};
  const MatrixView view{9, 2, 1, rows};
  std::vector<std::vector<ElemCode>> image(4, std::vector<ElemCode>(4));
  ElemCode* out[] = {image[0].data(), image[1].data(), image[2].data(), image[3].data()};
  write_image_rows(f, view, out);
  EXPECT_EQ(image[0][1], 1);
  EXPECT_EQ(image[1][1], 2);
  EXPECT_EQ(image[2][1], 0);
  EXPECT_EQ(image[3][1], 2);
  // Multiple 0 is the column itself: 4 = 1 + 1*3, 2 = 2 + 0*3.
  EXPECT_EQ(image[0][0], 1);
  EXPECT_EQ(image[1][0], 1);
  EXPECT_EQ(image[2][0], 2);
  EXPECT_EQ(image[3][0], 0);
}

TEST(FieldImageTest, ConversionsRefuseWhatNoCodewordGives) {
  const GaloisField& f = *galois_field(8);  // H_R = 7 Z + 3 (n - Z)
  std::int64_t z = -1, w = -1;
  EXPECT_TRUE(zeros_from_image_count(f, 10, 7 * 4 + 3 * 6, z));
  EXPECT_EQ(z, 4);
  EXPECT_FALSE(zeros_from_image_count(f, 10, 7 * 4 + 3 * 6 + 1, z));
  EXPECT_FALSE(zeros_from_image_count(f, 10, 29, z)) << "below 3n";
  EXPECT_FALSE(zeros_from_image_count(f, 10, 74, z)) << "Z = 11 > n";
  EXPECT_TRUE(weight_from_image_weight(f, 24, w));
  EXPECT_EQ(w, 6);
  EXPECT_FALSE(weight_from_image_weight(f, 26, w));
  EXPECT_TRUE(weight_from_image_weight(*galois_field(81), 27 * 5, w));
  EXPECT_EQ(w, 5);
}

// Every message x of F_q^k: its image message u (u_(i,j) = Tr(x_i a^j))
// has on its hyperplane the image columns that give x's zeros.
TEST(FieldImageTest, ZerosThroughTheImageAreTheCodewordsZerosForEveryField) {
  std::mt19937 rng(31);
  for (int q : supported_orders()) {
    const GaloisField& f = *galois_field(q);
    const std::int64_t n = q > 64 ? 5 : 7;
    Case c;
    make_case(c, f, test_dimension(f, n), n, rng);
    SCOPED_TRACE(testing::Message() << "q = " << q << ", k = " << c.k << ", n = " << n);
    std::uint64_t messages = 1;
    for (int i = 0; i < c.k; ++i) messages *= static_cast<std::uint64_t>(q);
    for (std::uint64_t index = 0; index < messages; ++index) {
      const std::vector<int> x = digits_of(index, q, c.k);
      std::vector<int> u;
      for (int i = 0; i < c.k; ++i)
        for (int j = 0; j < f.m; ++j) {
          const int t = trace(f, f.mul[x[static_cast<std::size_t>(i)]][f.exp[j]]);
          ASSERT_LT(t, f.p) << "the trace lies in the prime field";
          u.push_back(t);
        }
      const std::int64_t zeros = code_zeros(c, x), on_hyperplane = image_on_hyperplane(c, u);
      std::int64_t through_image = -1, weight = -1;
      ASSERT_TRUE(zeros_from_image_count(f, n, on_hyperplane, through_image)) << "message " << index;
      ASSERT_EQ(through_image, zeros) << "message " << index;
      ASSERT_TRUE(weight_from_image_weight(f, image_column_count(f, n) - on_hyperplane, weight));
      ASSERT_EQ(weight, n - zeros) << "message " << index;
    }
  }
}

// What the prime-field routes count: every u of F_p^(mk), each giving one
// image weight; turned into weights they are the code's distribution.
TEST(FieldImageTest, ImageMessagesGiveTheWeightDistributionForEveryField) {
  std::mt19937 rng(47);
  for (int q : supported_orders()) {
    const GaloisField& f = *galois_field(q);
    const std::int64_t n = q > 64 ? 4 : 6;
    Case c;
    make_case(c, f, test_dimension(f, n), n, rng);
    SCOPED_TRACE(testing::Message() << "q = " << q << ", k = " << c.k << ", n = " << n);
    std::uint64_t messages = 1;
    for (int i = 0; i < c.k; ++i) messages *= static_cast<std::uint64_t>(q);
    std::vector<std::uint64_t> direct(static_cast<std::size_t>(n) + 1, 0), image(direct.size(), 0);
    for (std::uint64_t index = 0; index < messages; ++index) {
      direct[static_cast<std::size_t>(n - code_zeros(c, digits_of(index, q, c.k)))] += 1;
      const std::int64_t image_weight =
          image_column_count(f, n) - image_on_hyperplane(c, digits_of(index, f.p, f.m * c.k));
      std::int64_t weight = -1;
      ASSERT_TRUE(weight_from_image_weight(f, image_weight, weight)) << "image message " << index;
      ASSERT_LE(weight, n);
      image[static_cast<std::size_t>(weight)] += 1;
    }
    EXPECT_EQ(image, direct);
  }
}

// Over F_2 the patterns are the image rows read down each column.
TEST(FieldImageTest, BinaryPatternsAreTheImageColumns) {
  std::mt19937 rng(5);
  for (int q : {2, 4, 8, 16, 32, 64, 128, 256}) {
    const GaloisField& f = *galois_field(q);
    const int k = 64 / f.m;  // the widest pattern
    Case c;
    make_case(c, f, k, 23, rng);
    const int r = image_multiples(f);
    std::vector<std::uint64_t> patterns(9);
    for (int s = 0; s < r; s += (r > 20 ? 37 : 1))
      for (std::int64_t first : {0, 9, 14}) {
        const std::int64_t count = std::min<std::int64_t>(9, c.n - first);
        image_patterns(f, c.view, s, first, count, patterns.data());
        for (std::int64_t col = 0; col < count; ++col)
          for (std::size_t row = 0; row < c.image.size(); ++row)
            ASSERT_EQ((patterns[static_cast<std::size_t>(col)] >> row) & 1,
                      c.image[row][static_cast<std::size_t>(s * c.n + first + col)])
                << "q = " << q << ", multiple " << s << ", column " << first + col << ", image row " << row;
      }
  }
}

}  // namespace
}  // namespace wdist
