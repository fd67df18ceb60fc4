// The field module: which q it takes, the field axioms on the tables of
// every supported field, the element coding (digits, the Conway root,
// the codes of F_2..F_7 the kernels compute with, F_4's published tables,
// F_16's bit patterns), products worked out by hand, and the tables built
// once under many threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "field/elements.h"
#include "field/galois.h"

namespace wdist {
namespace {

std::vector<int> supported_orders() {
  std::vector<int> orders;
  for (int q = 0; q <= 300; ++q)
    if (is_galois_order(q)) orders.push_back(q);
  return orders;
}

// A field's tables on the heap: the record is 130 KiB.
std::unique_ptr<GaloisField> built(int q) {
  auto f = std::make_unique<GaloisField>();
  EXPECT_TRUE(build_galois_field(q, *f)) << "q = " << q;
  return f;
}

TEST(GaloisOrderTest, PrimePowersUpTo256AndNothingElse) {
  const std::vector<int> orders = supported_orders();
  EXPECT_EQ(orders.size(), 70u);
  const int powers[] = {4, 8, 16, 32, 64, 128, 256, 9, 27, 81, 243, 25, 125, 49, 121, 169};
  for (int q : powers) EXPECT_TRUE(is_galois_order(q)) << q;
  for (int q : {0, 1, 6, 10, 12, 100, 196, 255, 257, 289, 343, 512, 1024, -2, -4})
    EXPECT_FALSE(is_galois_order(q)) << q;
  int p = -1, m = -1;
  EXPECT_TRUE(galois_order(243, p, m));
  EXPECT_EQ(p, 3);
  EXPECT_EQ(m, 5);
  EXPECT_TRUE(galois_order(251, p, m));
  EXPECT_EQ(p, 251);
  EXPECT_EQ(m, 1);
  EXPECT_FALSE(galois_order(200, p, m));
  EXPECT_EQ(p, 251) << "left alone";
  EXPECT_EQ(galois_characteristic(169), 13);
  EXPECT_EQ(galois_degree(169), 2);
  EXPECT_EQ(galois_characteristic(12), 0);
  EXPECT_EQ(galois_degree(12), 0);
}

TEST(GaloisFieldTest, UnsupportedOrdersHaveNoTables) {
  auto f = std::make_unique<GaloisField>();
  for (int q : {0, 1, 6, 12, 257, 289, 65536, -3}) {
    EXPECT_FALSE(build_galois_field(q, *f)) << q;
    EXPECT_EQ(f->q, 0);
    EXPECT_EQ(f->mul[1][1], 0);
    EXPECT_EQ(galois_field(q), nullptr) << q;
  }
}

// Commutativity, identities, inverses and the tables' range over all
// pairs; associativity and distributivity over all triples up to q = 64
// (32 in unoptimised sanitizer builds), over 200,000 random triples above.
#ifdef NDEBUG
constexpr int kEveryTripleUpTo = 64;
#else
constexpr int kEveryTripleUpTo = 32;
#endif

TEST(GaloisFieldTest, FieldAxiomsForEveryOrder) {
  std::mt19937 rng(20);
  for (int q : supported_orders()) {
    const GaloisField& f = *galois_field(q);
    ASSERT_EQ(f.q, q);
    SCOPED_TRACE(testing::Message() << "q = " << q);
    for (int x = 0; x < 256; ++x)
      for (int y = 0; y < 256; ++y) {
        if (x >= q || y >= q) {
          ASSERT_EQ(f.add[x][y], 0) << x << "+" << y << " beyond the field";
          ASSERT_EQ(f.mul[x][y], 0) << x << "*" << y << " beyond the field";
          continue;
        }
        ASSERT_LT(f.add[x][y], q);
        ASSERT_LT(f.mul[x][y], q);
        ASSERT_EQ(f.add[x][y], f.add[y][x]);
        ASSERT_EQ(f.mul[x][y], f.mul[y][x]);
      }
    for (int x = 0; x < q; ++x) {
      ASSERT_EQ(f.add[x][0], x);
      ASSERT_EQ(f.mul[x][1], x);
      ASSERT_EQ(f.mul[x][0], 0);
      ASSERT_EQ(f.add[x][f.neg[x]], 0) << x;
      ASSERT_EQ(galois_sub(f, f.add[x][5 % q], static_cast<ElemCode>(5 % q)), x);
      if (x != 0) {
        ASSERT_EQ(f.mul[x][f.inv[x]], 1) << x;
      }
    }
    EXPECT_EQ(f.inv[0], 0);
    auto check_triple = [&f](int x, int y, int z) {
      ASSERT_EQ(f.add[f.add[x][y]][z], f.add[x][f.add[y][z]]) << x << " " << y << " " << z;
      ASSERT_EQ(f.mul[f.mul[x][y]][z], f.mul[x][f.mul[y][z]]) << x << " " << y << " " << z;
      ASSERT_EQ(f.mul[x][f.add[y][z]], f.add[f.mul[x][y]][f.mul[x][z]]) << x << " " << y << " " << z;
    };
    if (q <= kEveryTripleUpTo) {
      for (int x = 0; x < q; ++x)
        for (int y = 0; y < q; ++y)
          for (int z = 0; z < q; ++z) {
            check_triple(x, y, z);
            if (testing::Test::HasFatalFailure()) return;
          }
    } else {
      for (int i = 0; i < 200000; ++i) {
        const auto size = static_cast<std::mt19937::result_type>(q);
        check_triple(static_cast<int>(rng() % size), static_cast<int>(rng() % size), static_cast<int>(rng() % size));
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

// The coding itself: digit j of a code is its coefficient of a^j, the sum
// of two elements adds their digits modulo p, a^j has the code p^j for
// j < m, and a is a root of the field's Conway polynomial of order q - 1.
TEST(GaloisFieldTest, CodesAreBasePDigitsOfAPrimitiveConwayRoot) {
  for (int q : supported_orders()) {
    const GaloisField& f = *galois_field(q);
    const int p = f.p, m = f.m;
    SCOPED_TRACE(testing::Message() << "q = " << q);
    for (int x = 0; x < q; ++x) {
      int code = 0, place = 1;
      for (int j = 0; j < m; ++j, place *= p) code += f.digit[x][j] * place;
      ASSERT_EQ(code, x);
      for (int j = m; j < kLargestFieldDegree; ++j) ASSERT_EQ(f.digit[x][j], 0);
      for (int y = 0; y < q; ++y)
        for (int j = 0; j < m; ++j) ASSERT_EQ(f.digit[f.add[x][y]][j], (f.digit[x][j] + f.digit[y][j]) % p);
    }
    const ElemCode a = f.primitive;
    if (m >= 2) {
      int place = 1;
      ElemCode power = 1;
      for (int j = 0; j < m; ++j, place *= p, power = f.mul[power][a]) EXPECT_EQ(power, place) << "a^" << j;
    }
    // Horner: f(a) = (...(a + c_(m-1)) a + ...) a + c_0, coefficients as
    // elements of the prime field (codes below p).
    ElemCode value = 0;
    for (int j = m; j >= 0; --j) value = f.add[f.mul[value][a]][f.polynomial.coefficient[j]];
    EXPECT_EQ(value, 0) << "a is a root of its polynomial";
    int order = 1;
    for (ElemCode x = a; x != 1; x = f.mul[x][a]) ++order;
    EXPECT_EQ(order, q - 1) << "a is primitive";
    for (int x = 1; x < q; ++x) {
      ASSERT_EQ(f.exp[f.log[x]], x);
      ASSERT_EQ(f.exp[f.log[x] + q - 1], x);
    }
  }
}

TEST(GaloisFieldTest, PrimeFieldsAreResiduesWithTheLeastPrimitiveRoot) {
  for (int q : supported_orders()) {
    const GaloisField& f = *galois_field(q);
    if (f.m != 1) continue;
    for (int x = 0; x < q; ++x)
      for (int y = 0; y < q; ++y) {
        ASSERT_EQ(f.add[x][y], (x + y) % q) << "q = " << q;
        ASSERT_EQ(f.mul[x][y], x * y % q) << "q = " << q;
      }
    for (int g = 2; g < f.primitive; ++g) {
      int order = 1;
      for (int x = g; x != 1; x = x * g % q) ++order;
      EXPECT_LT(order, q - 1) << "q = " << q << ": " << g << " is a smaller primitive root";
    }
  }
  // Least primitive roots from the tables of number theory.
  const int roots[][2] = {{2, 1}, {3, 2}, {7, 3}, {11, 2}, {23, 5}, {41, 6}, {71, 7}, {191, 19}, {241, 7}, {251, 6}};
  for (const auto& r : roots) EXPECT_EQ(galois_field(r[0])->primitive, r[1]) << "q = " << r[0];
}

// The codes the kernels compute with: the compile-time arithmetic of
// field/elements.h (the q-ary butterflies, the F_4 image) and the tables
// (point indices, the basis, the dual) agree on F_2..F_7, and field_of
// gives those tables, F_2's for a q that is no field's order.
TEST(GaloisFieldTest, SameCodesAsTheCompileTimeArithmetic) {
  for (int q : {2, 3, 4, 5, 7}) {
    const GaloisField& f = field_of(q);
    EXPECT_EQ(&f, galois_field(q));
    for (int x = 0; x < q; ++x) {
      EXPECT_EQ(f.inv[x], element_inv(q, x)) << "q = " << q << ", 1/" << x;
      EXPECT_EQ(f.neg[x], element_neg(q, x)) << "q = " << q << ", -" << x;
      for (int y = 0; y < q; ++y) {
        EXPECT_EQ(f.add[x][y], element_add(q, x, y)) << "q = " << q << ": " << x << "+" << y;
        EXPECT_EQ(f.mul[x][y], element_mul(q, x, y)) << "q = " << q << ": " << x << "*" << y;
      }
    }
  }
  EXPECT_EQ(&field_of(6), galois_field(2));
  EXPECT_EQ(&field_of(-3), galois_field(2));
  EXPECT_EQ(&field_of(1000), galois_field(2));
}

// F_4 with 2 = w, 3 = w^2 = w + 1: the published tables.
TEST(GaloisFieldTest, F4TablesAreThePublishedOnes) {
  const GaloisField& f = *galois_field(4);
  const int add[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 3, 0, 1}, {3, 2, 1, 0}};
  const int mul[4][4] = {{0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}};
  const int inv[4] = {0, 1, 3, 2};
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ(f.add[a][b], add[a][b]) << a << "+" << b;
      EXPECT_EQ(f.mul[a][b], mul[a][b]) << a << "*" << b;
    }
    EXPECT_EQ(f.inv[a], inv[a]) << a;
    EXPECT_EQ(f.neg[a], a) << a;
  }
  EXPECT_EQ(f.primitive, 2) << "a = w";
}

// F_16: codes are bit patterns modulo x^4 + x + 1; multiplying by x = a
// shifts the pattern, and x^4 = x + 1 folds the carry.
TEST(GaloisFieldTest, F16ShiftsAndFoldsItsBitPatterns) {
  const GaloisField& f = *galois_field(16);
  for (int b = 0; b < 16; ++b) {
    const int shifted = b << 1;
    EXPECT_EQ(f.mul[2][b], (shifted & 16) != 0 ? (shifted ^ 0b10011) : shifted) << b;
    for (int c = 0; c < 16; ++c) EXPECT_EQ(f.add[b][c], b ^ c);
  }
}

// One product per field, worked out by hand from the polynomial (a^j has
// code p^j): e.g. F_9, a^2 = a + 1, so (a + 1)^2 = a^2 + 2a + 1 = 3a + 2 = 2.
TEST(GaloisFieldTest, ProductsWorkedOutByHand) {
  struct Product {
    int q, x, y, xy;
    const char* by_hand;
  };
  const Product products[] = {
      {4, 3, 3, 2, "(a+1)^2 = a^2 + 1 = a"},
      {8, 3, 5, 4, "(a+1)(a^2+1) = a^3 + a^2 + a + 1 = a^2"},
      {16, 9, 4, 2, "(a^3+1) a^2 = a^5 + a^2 = a(a+1) + a^2 = a"},
      {32, 16, 16, 13, "a^8 = a^3 a^5 = a^3 (a^2+1) = a^3 + a^2 + 1"},
      {64, 32, 4, 54, "a^7 = a (a^4+a^3+a+1) = a^5 + a^4 + a^2 + a"},
      {128, 64, 4, 6, "a^8 = a (a+1) = a^2 + a"},
      {256, 128, 4, 58, "a^9 = a (a^4+a^3+a^2+1) = a^5 + a^4 + a^3 + a"},
      {9, 4, 4, 2, "(a+1)^2 = a^2 + 2a + 1 = 3a + 2 = 2"},
      {27, 9, 9, 15, "a^4 = a (a+2) = a^2 + 2a"},
      {81, 27, 9, 31, "a^5 = a (a^3+1) = a^4 + a = a^3 + a + 1"},
      {243, 81, 9, 15, "a^6 = a (a+2) = a^2 + 2a"},
      {25, 6, 6, 19, "(a+1)^2 = a^2 + 2a + 1 = 3a + 4"},
      {125, 25, 25, 60, "a^4 = a (2a+2) = 2a^2 + 2a"},
      {49, 8, 9, 34, "(a+1)(a+2) = a^2 + 3a + 2 = 4a + 6"},
      {121, 22, 33, 32, "2a 3a = 6a^2 = 6 (4a+9) = 2a + 10"},
      {169, 13, 14, 37, "a (a+1) = a^2 + a = 2a + 11"},
      {13, 7, 11, 12, "77 = 5*13 + 12"},
      {251, 100, 200, 171, "20000 = 79*251 + 171"},
  };
  for (const Product& pr : products) {
    const GaloisField& f = *galois_field(pr.q);
    EXPECT_EQ(f.mul[pr.x][pr.y], pr.xy) << "q = " << pr.q << ": " << pr.by_hand;
  }
}

// Many threads asking for every field at once all get the one record, and
// its tables are those of a private build.
TEST(GaloisFieldTest, BuiltOnceUnderManyThreads) {
  const std::vector<int> orders = supported_orders();
  std::vector<std::vector<const GaloisField*>> seen(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t)
    threads.emplace_back([&orders, &seen, t] {
      for (std::size_t i = 0; i < orders.size(); ++i)
        seen[t].push_back(galois_field(orders[(i + 17 * t) % orders.size()]));
    });
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < orders.size(); ++i) {
    const int q = orders[i];
    const GaloisField* shared = galois_field(q);
    for (std::size_t t = 0; t < seen.size(); ++t)
      EXPECT_EQ(seen[t][(i + orders.size() - (17 * t) % orders.size()) % orders.size()], shared) << "q = " << q;
    const std::unique_ptr<GaloisField> own = built(q);
    EXPECT_EQ(own->primitive, shared->primitive) << "q = " << q;
    EXPECT_EQ(std::memcmp(own->add, shared->add, sizeof own->add), 0) << "q = " << q;
    EXPECT_EQ(std::memcmp(own->mul, shared->mul, sizeof own->mul), 0) << "q = " << q;
    EXPECT_EQ(std::memcmp(own->inv, shared->inv, sizeof own->inv), 0) << "q = " << q;
    EXPECT_EQ(std::memcmp(own->neg, shared->neg, sizeof own->neg), 0) << "q = " << q;
    EXPECT_EQ(std::memcmp(own->exp, shared->exp, sizeof own->exp), 0) << "q = " << q;
  }
}

}  // namespace
}  // namespace wdist
