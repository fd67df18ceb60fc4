// The field tables: the published tables of F_4, the rebuild-only-on-change
// rule with its stale entries, the powers with their wrap-around, and the
// field axioms checked exhaustively on every field the builder knows.
#include <gtest/gtest.h>

#include <cstdint>

#include "field/field_tables.h"

namespace wdist {
namespace {

class FieldTablesTest : public ::testing::Test {
 protected:
  // Every test starts from the state of a fresh process.
  void SetUp() override { field_tables = FieldTables{}; }
  void TearDown() override { field_tables = FieldTables{}; }
  const FieldTables& t = field_tables;
};

TEST_F(FieldTablesTest, F4TablesAreComplete) {
  select_field(4);
  const int add[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 3, 0, 1}, {3, 2, 1, 0}};
  const int mul[4][4] = {{0, 0, 0, 0}, {0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}};
  const int inv[4] = {0, 1, 3, 2};
  const int neg[4] = {0, 1, 2, 3};
  const int trace[4] = {0, 0, 1, 1};
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ(t.add[a][b], add[a][b]) << a << "+" << b;
      EXPECT_EQ(t.mul[a][b], mul[a][b]) << a << "*" << b;
    }
    EXPECT_EQ(t.inv[a], inv[a]) << a;
    EXPECT_EQ(t.neg[a], neg[a]) << a;
    EXPECT_EQ(t.trace[a], trace[a]) << a;
  }
  EXPECT_EQ(t.field_q, 4);
  // Nothing beyond the field's codes is written.
  EXPECT_EQ(t.mul[4][4], 0);
  EXPECT_EQ(t.add[1][4], 0);
  EXPECT_EQ(t.trace[4], 0);
}

TEST_F(FieldTablesTest, F2) {
  select_field(2);
  EXPECT_EQ(t.add[1][1], 0);
  EXPECT_EQ(t.mul[1][1], 1);
  EXPECT_EQ(t.inv[1], 1);
  EXPECT_EQ(t.neg[1], 1);
  EXPECT_EQ(t.add[0][1], 1);
  EXPECT_EQ(t.mul[0][1], 0);
  EXPECT_EQ(t.inv[0], 0);
}

TEST_F(FieldTablesTest, SmallerFieldLeavesStaleEntriesOfTheLargerOne) {
  select_field(7);
  select_field(3);
  EXPECT_EQ(t.field_q, 3);
  EXPECT_EQ(t.mul[2][2], 1);
  EXPECT_EQ(t.add[2][2], 1);
  EXPECT_EQ(t.neg[2], 1);
  EXPECT_EQ(t.inv[2], 2);
  // Codes 3..6 still hold F_7 arithmetic, in every table.
  EXPECT_EQ(t.inv[3], 5);
  EXPECT_EQ(t.inv[6], 6);
  EXPECT_EQ(t.neg[4], 3);
  for (int a = 0; a < 7; ++a)
    for (int b = 0; b < 7; ++b)
      if (a >= 3 || b >= 3) {
        EXPECT_EQ(t.mul[a][b], a * b % 7) << a << "*" << b;
        EXPECT_EQ(t.add[a][b], (a + b) % 7) << a << "+" << b;
      }
  EXPECT_EQ(t.qpow[19], 1162261467u);  // 3^19
}

TEST_F(FieldTablesTest, SameFieldTwiceBuildsOnce) {
  select_field(5);
  EXPECT_EQ(t.inv[2], 3);
  // A second call that rebuilt would repair these.
  field_tables.mul[2][2] = 99;
  field_tables.qpow[3] = 7;
  select_field(5);
  EXPECT_EQ(t.mul[2][2], 99);
  EXPECT_EQ(t.qpow[3], 7u);
  // Another field in between does rebuild.
  select_field(2);
  select_field(5);
  EXPECT_EQ(t.mul[2][2], 4);
  EXPECT_EQ(t.qpow[3], 125u);
}

TEST_F(FieldTablesTest, FieldWithoutTablesRefreshesOnlyThePowers) {
  select_field(7);
  select_field(8);
  EXPECT_EQ(t.field_q, 8);
  std::uint64_t power = 1;
  for (int i = 0; i < 20; ++i, power *= 8) EXPECT_EQ(t.qpow[i], power) << i;
  EXPECT_EQ(t.qpow[19], std::uint64_t{1} << 57);
  EXPECT_EQ(t.inv[3], 5);
  EXPECT_EQ(t.mul[3][4], 5);
  EXPECT_EQ(t.add[6][6], 5);
  EXPECT_EQ(t.neg[1], 6);
  EXPECT_EQ(t.trace[2], 0);
}

TEST_F(FieldTablesTest, ZeroFirstBuildsNothing) {
  select_field(0);
  EXPECT_EQ(t.field_q, 0);
  EXPECT_EQ(t.qpow[0], 0u);  // not even the powers
  EXPECT_EQ(t.qpow[1], 0u);
}

TEST_F(FieldTablesTest, PowersOfTheComputedFieldsAreExact) {
  const std::int32_t fields[] = {2, 3, 4, 5, 7};
  for (std::int32_t q : fields) {
    select_field(q);
    std::uint64_t power = 1;
    for (int i = 0; i < 20; ++i, power *= static_cast<std::uint64_t>(q)) EXPECT_EQ(t.qpow[i], power) << q << "^" << i;
  }
  select_field(7);
  EXPECT_EQ(t.qpow[19], 11398895185373143u);
}

TEST_F(FieldTablesTest, NegativeFieldSizeStopsAfterOneProduct) {
  select_field(2);
  select_field(-3);
  EXPECT_EQ(t.field_q, -3);
  EXPECT_EQ(t.qpow[0], 1u);
  EXPECT_EQ(t.qpow[1], static_cast<std::uint64_t>(-3));
  EXPECT_EQ(t.qpow[2], 4u);  // left from F_2
  EXPECT_EQ(t.mul[1][1], 1);
}

TEST_F(FieldTablesTest, F16) {
  select_field(16);
  EXPECT_EQ(t.mul[2][8], 3);  // x * x^3 = x^4 = x + 1
  EXPECT_EQ(t.inv[2], 9);
  const int inv[16] = {0, 1, 9, 14, 13, 11, 7, 6, 15, 2, 12, 5, 10, 4, 3, 8};
  for (int a = 0; a < 16; ++a) {
    EXPECT_EQ(t.inv[a], inv[a]) << a;
    EXPECT_EQ(t.neg[a], a) << a;
  }
  EXPECT_EQ(t.qpow[15], std::uint64_t{1} << 60);
  for (int i = 16; i < 20; ++i) EXPECT_EQ(t.qpow[i], 0u) << i;
  EXPECT_EQ(t.trace[2], 0);  // no trace outside F_4
}

TEST_F(FieldTablesTest, TraceIsWrittenOnlyForF4) {
  select_field(4);
  select_field(16);
  const int trace[4] = {0, 0, 1, 1};
  for (int a = 0; a < 4; ++a) EXPECT_EQ(t.trace[a], trace[a]);
  for (int a = 4; a < kFieldCodes; ++a) EXPECT_EQ(t.trace[a], 0);
}

// ---------------------------------------------------------------- axioms

class FieldAxioms : public FieldTablesTest, public ::testing::WithParamInterface<int> {};

TEST_P(FieldAxioms, HoldForEveryTriple) {
  const int q = GetParam();
  select_field(q);
  for (int a = 0; a < q; ++a) {
    ASSERT_GE(t.neg[a], 0);
    ASSERT_LT(t.neg[a], q);
    EXPECT_EQ(t.add[a][0], a);
    EXPECT_EQ(t.mul[a][1], a);
    EXPECT_EQ(t.mul[a][0], 0);
    EXPECT_EQ(t.add[a][t.neg[a]], 0) << "neg " << a;
    if (a == 0)
      EXPECT_EQ(t.inv[0], 0);
    else
      EXPECT_EQ(t.mul[a][t.inv[a]], 1) << "inv " << a;
    for (int b = 0; b < q; ++b) {
      ASSERT_GE(t.add[a][b], 0);
      ASSERT_LT(t.add[a][b], q);
      ASSERT_GE(t.mul[a][b], 0);
      ASSERT_LT(t.mul[a][b], q);
      EXPECT_EQ(t.add[a][b], t.add[b][a]);
      EXPECT_EQ(t.mul[a][b], t.mul[b][a]);
      for (int c = 0; c < q; ++c) {
        ASSERT_EQ(t.add[t.add[a][b]][c], t.add[a][t.add[b][c]]) << a << " " << b << " " << c;
        ASSERT_EQ(t.mul[t.mul[a][b]][c], t.mul[a][t.mul[b][c]]) << a << " " << b << " " << c;
        ASSERT_EQ(t.mul[a][t.add[b][c]], t.add[t.mul[a][b]][t.mul[a][c]]) << a << " " << b << " " << c;
      }
    }
  }
}

TEST_P(FieldAxioms, MatchTheCodingOfTheField) {
  const int q = GetParam();
  select_field(q);
  const bool characteristic_two = q == 4 || q == 16;
  for (int a = 0; a < q; ++a)
    for (int b = 0; b < q; ++b) {
      if (!characteristic_two) {
        EXPECT_EQ(t.add[a][b], (a + b) % q);
        EXPECT_EQ(t.mul[a][b], a * b % q);
        continue;
      }
      EXPECT_EQ(t.add[a][b], a ^ b);
    }
  if (q == 16) {
    // Multiplying by x shifts the bit pattern, x^4 = x + 1 folds the carry.
    for (int b = 0; b < 16; ++b) {
      const int shifted = b << 1;
      EXPECT_EQ(t.mul[2][b], shifted & 16 ? (shifted ^ 0b10011) : shifted) << b;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Field, FieldAxioms, ::testing::Values(2, 3, 4, 5, 7, 13, 16));

}  // namespace
}  // namespace wdist
