// Storage records: the capacities they report (the report head shows the
// matrix's), the exact requests they make, when they keep their storage and
// when they re-allocate, and that release is idempotent. Every request goes
// through a recording block source, so the byte counts are observed rather
// than inferred from the record fields.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "menu/store/alloc.h"
#include "menu/store/code_context.h"
#include "menu/store/count_table.h"
#include "menu/store/gen_matrix.h"

namespace wdist {
namespace {

constexpr bool kWide = WDIST_COUNTER_BITS == 32;
constexpr std::size_t kCounterBytes = kWide ? 4 : 2;

// Every request in order, with the block handed back for it.
struct Request {
  std::size_t bytes;
  void* block;
};
std::vector<Request> g_requests;
int g_failures_left = 0;  // the next this-many requests yield nothing

void* recording_source(std::size_t bytes) {
  void* block = nullptr;
  if (g_failures_left > 0)
    --g_failures_left;
  else
    block = std::malloc(bytes);
  g_requests.push_back({bytes, block});
  return block;
}

std::vector<std::size_t> requested_sizes() {
  std::vector<std::size_t> sizes;
  for (const Request& r : g_requests) sizes.push_back(r.bytes);
  return sizes;
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_requests.clear();
    g_failures_left = 0;
    set_block_source(recording_source);
  }
  void TearDown() override {
    release_code_context();
    set_block_source(nullptr);
  }
};

// ---------------------------------------------------------------- primitives

TEST_F(StoreTest, CounterArrayAsksForOneCounterMoreThanItsLastIndex) {
  Counter* r = new_counter_array(7);
  EXPECT_EQ(requested_sizes(), std::vector<std::size_t>{kWide ? 32u : 16u});
  r[0] = 1;
  r[7] = 2;  // the last usable entry
  std::free(r);
}

TEST_F(StoreTest, Count64ArrayAndByteRowSizes) {
  Count64* c = new_count64_array(3);
  ElemCode* row = new_byte_row(5);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{32, 7}));
  // The byte row starts one past its block, so entry -1 is the block's first byte.
  EXPECT_EQ(static_cast<void*>(row - 1), g_requests[1].block);
  row[-1] = 9;
  row[5] = 9;
  c[3] = 1;
  free_byte_row(row);
  EXPECT_EQ(row, nullptr);
  std::free(c);
}

TEST_F(StoreTest, AFailedRequestIsMadeOnceMore) {
  g_failures_left = 1;
  Counter* r = new_counter_array(3);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{4 * kCounterBytes, 4 * kCounterBytes}));
  std::free(r);

  g_requests.clear();
  g_failures_left = 1;
  ElemCode* row = new_byte_row(14);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{16, 16}));
  free_byte_row(row);

  g_requests.clear();
  g_failures_left = 1;
  Count64* c = new_count64_array(0);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{8, 8}));
  std::free(c);
}

// ---------------------------------------------------------------- GenMatrix

GenMatrix empty_matrix() {
  GenMatrix g{};
  g.mem = 0;
  return g;
}

TEST_F(StoreTest, GenMatrixKeepsLargerCapacitiesAndReallocatesExactly) {
  GenMatrix g = empty_matrix();
  size_gen_matrix(g, 4, 20, 2);
  EXPECT_EQ(g.mem, 1);
  EXPECT_EQ(g.cap_rows, 4);
  EXPECT_EQ(g.cap_cols, 32);
  EXPECT_EQ(g.rows, 4);
  EXPECT_EQ(g.n, 20);
  EXPECT_EQ(g.q, 2);
  // A row table of rows 0..4, then five rows of entries -1..32.
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{5 * sizeof(ElemCode*), 34, 34, 34, 34, 34}));
  ElemCode** kept_table = g.a;
  ElemCode* kept_row = g.a[4];
  g.a[4][7] = 3;

  g_requests.clear();
  size_gen_matrix(g, 3, 10, 3);
  EXPECT_TRUE(g_requests.empty());
  EXPECT_EQ(g.cap_rows, 4);
  EXPECT_EQ(g.cap_cols, 32);
  EXPECT_EQ(g.rows, 3);
  EXPECT_EQ(g.n, 10);
  EXPECT_EQ(g.q, 3);
  EXPECT_EQ(g.a, kept_table);
  EXPECT_EQ(g.a[4], kept_row);
  EXPECT_EQ(g.a[4][7], 3);  // contents survive a kept sizing

  // More columns than held: exactly the new request, fewer rows included.
  size_gen_matrix(g, 2, 40, 2);
  EXPECT_EQ(g.cap_rows, 2);
  EXPECT_EQ(g.cap_cols, 48);
  EXPECT_EQ(g.rows, 2);
  EXPECT_EQ(g.n, 40);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{3 * sizeof(ElemCode*), 50, 50, 50}));

  // More rows than held, fewer columns: the columns capacity drops too.
  size_gen_matrix(g, 5, 3, 2);
  EXPECT_EQ(g.cap_rows, 5);
  EXPECT_EQ(g.cap_cols, 16);
  release_gen_matrix(g);
  EXPECT_EQ(g.mem, 0);
}

struct ColumnRounding {
  std::int32_t columns;
  std::int32_t cap_cols;
};

class GenMatrixColumns : public StoreTest, public ::testing::WithParamInterface<ColumnRounding> {};

TEST_P(GenMatrixColumns, RoundUpToWholeSixteens) {
  GenMatrix g = empty_matrix();
  size_gen_matrix(g, 1, GetParam().columns, 2);
  EXPECT_EQ(g.cap_cols, GetParam().cap_cols);
  // Every byte row holds cap_cols + 2 bytes; the outermost entries are usable.
  ASSERT_EQ(g_requests.size(), 3u);
  EXPECT_EQ(g_requests[1].bytes, static_cast<std::size_t>(g.cap_cols) + 2);
  EXPECT_EQ(g_requests[2].bytes, static_cast<std::size_t>(g.cap_cols) + 2);
  for (int i = 0; i <= 1; ++i) {
    g.a[i][-1] = 1;
    g.a[i][g.cap_cols] = 1;
  }
  release_gen_matrix(g);
}

INSTANTIATE_TEST_SUITE_P(Store, GenMatrixColumns,
                         ::testing::Values(ColumnRounding{16, 16}, ColumnRounding{17, 32}, ColumnRounding{1, 16},
                                           ColumnRounding{0, 16}, ColumnRounding{32, 32}, ColumnRounding{33, 48},
                                           ColumnRounding{1000, 1008}));

TEST_F(StoreTest, GenMatrixReleaseOfEmptyOrTwiceDoesNothing) {
  GenMatrix g = empty_matrix();
  g.a = nullptr;
  release_gen_matrix(g);
  EXPECT_EQ(g.mem, 0);
  size_gen_matrix(g, 2, 5, 2);
  release_gen_matrix(g);
  release_gen_matrix(g);
  EXPECT_EQ(g.mem, 0);
  // An empty record allocates afresh on its next sizing.
  g_requests.clear();
  size_gen_matrix(g, 1, 5, 2);
  EXPECT_EQ(g.cap_rows, 1);
  EXPECT_EQ(g_requests.size(), 3u);
  release_gen_matrix(g);
}

// ---------------------------------------------------------------- CountTable

CountTable empty_table() {
  CountTable t{};
  t.mem = 0;
  return t;
}

TEST_F(StoreTest, CountTableBinaryShapeIsOnePlaneAndKeepsItsCapacity) {
  // The binary layout: last row 7, last column 0: one plane of 8 Counters.
  CountTable t = empty_table();
  size_count_table(t, 7, 0, 2);
  EXPECT_EQ(t.mem, 1u);
  EXPECT_EQ(t.rows, 7u);
  EXPECT_EQ(t.cols, 0u);
  EXPECT_EQ(t.cap_rows, 7u);
  EXPECT_EQ(t.cap_cols, 0u);
  EXPECT_EQ(t.q, 2);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{sizeof(Counter*), 8 * kCounterBytes}));
  t.a[0][7] = 5;
  Counter* kept = t.a[0];

  g_requests.clear();
  size_count_table(t, 3, 0, 4);
  EXPECT_TRUE(g_requests.empty());
  EXPECT_EQ(t.rows, 3u);
  EXPECT_EQ(t.cap_rows, 7u);
  EXPECT_EQ(t.q, 2);  // recorded at allocation only
  EXPECT_EQ(t.a[0], kept);
  EXPECT_EQ(t.a[0][7], 5);
  release_count_table(t);
  EXPECT_EQ(t.mem, 0u);
}

TEST_F(StoreTest, CountTableProjectiveShapeHasOnePlanePerEntry) {
  // q = 3, k = 3: rows 0..13 of entries 0..2, held as three planes of 14.
  CountTable t = empty_table();
  size_count_table(t, 13, 2, 3);
  EXPECT_EQ(t.cap_rows, 13u);
  EXPECT_EQ(t.cap_cols, 2u);
  EXPECT_EQ(t.q, 3);
  EXPECT_EQ(requested_sizes(), (std::vector<std::size_t>{3 * sizeof(Counter*), 14 * kCounterBytes,
                                                         14 * kCounterBytes, 14 * kCounterBytes}));
  for (std::uint64_t e = 0; e <= 2; ++e) {
    t.a[e][0] = 1;
    t.a[e][13] = 1;
  }
  // Wider rows but fewer of them: exactly the new request.
  g_requests.clear();
  size_count_table(t, 5, 4, 5);
  EXPECT_EQ(t.cap_rows, 5u);
  EXPECT_EQ(t.cap_cols, 4u);
  EXPECT_EQ(t.q, 5);
  EXPECT_EQ(g_requests.size(), 6u);
  // More rows again: re-allocated although the columns fit.
  size_count_table(t, 6, 1, 5);
  EXPECT_EQ(t.cap_rows, 6u);
  EXPECT_EQ(t.cap_cols, 1u);
  EXPECT_EQ(t.cols, 1u);
  release_count_table(t);
  release_count_table(t);
  EXPECT_EQ(t.mem, 0u);
}

TEST_F(StoreTest, CountTableReleaseOfEmptyDoesNothing) {
  CountTable t = empty_table();
  t.a = nullptr;
  release_count_table(t);
  EXPECT_EQ(t.mem, 0u);
  EXPECT_TRUE(g_requests.empty());
}

// ---------------------------------------------------------------- CodeContext

TEST_F(StoreTest, CodeContextFirstSizingRequestsEveryArrayInOrder) {
  release_code_context();
  g_requests.clear();
  size_code_context(4, 10);
  const CodeContext& c = code_context;
  EXPECT_EQ(c.mem, 1);
  EXPECT_EQ(c.rows_wanted, 6);
  EXPECT_EQ(c.cap_rows, 6);
  EXPECT_EQ(c.cap_k, 4);
  EXPECT_EQ(c.cap_len, 10);
  EXPECT_EQ(c.length, 10);
  std::vector<std::size_t> expected{7 * sizeof(Counter*)};            // row table of a, rows 0..6
  for (int i = 0; i <= 6; ++i) expected.push_back(5 * kCounterBytes);  // rows of entries 0..4
  expected.push_back(11 * 8);                                          // Aspec
  expected.push_back(11 * 8);                                          // Bspec
  for (int i = 0; i < 3; ++i) expected.push_back(7 * kCounterBytes);   // k, lcv, lcvo
  for (int i = 0; i < 2; ++i) expected.push_back(11 * kCounterBytes);  // vecrank, prop
  EXPECT_EQ(requested_sizes(), expected);
  c.Bspec[10] = 1;
  c.a[6][4] = 1;
}

TEST_F(StoreTest, CodeContextKeepsWhatSufficesAndReallocatesOtherwise) {
  release_code_context();
  size_code_context(4, 10);
  CodeContext& c = code_context;

  size_code_context(4, 30);  // longer: re-allocated
  EXPECT_EQ(c.rows_wanted, 11);
  EXPECT_EQ(c.cap_len, 30);
  EXPECT_EQ(c.cap_rows, 11);
  EXPECT_EQ(c.length, 30);
  Count64* kept = c.Bspec;

  g_requests.clear();
  size_code_context(4, 20);  // 20/4 + 4 = 9 rows fit the 11 held
  EXPECT_TRUE(g_requests.empty());
  EXPECT_EQ(c.rows_wanted, 9);
  EXPECT_EQ(c.length, 20);
  EXPECT_EQ(c.cap_len, 30);
  EXPECT_EQ(c.cap_rows, 11);
  EXPECT_EQ(c.Bspec, kept);

  size_code_context(5, 20);  // k above cap_k: re-allocated to exactly (5, 20, 8)
  EXPECT_EQ(c.rows_wanted, 8);
  EXPECT_EQ(c.cap_k, 5);
  EXPECT_EQ(c.cap_len, 20);
  EXPECT_EQ(c.cap_rows, 8);

  g_requests.clear();
  size_code_context(1, 20);  // 20/1 + 4 = 24 rows: more than held
  EXPECT_EQ(c.rows_wanted, 24);
  EXPECT_EQ(c.cap_rows, 24);
  EXPECT_EQ(c.cap_k, 1);
  EXPECT_FALSE(g_requests.empty());
}

TEST_F(StoreTest, CodeContextReleaseGivesEverythingBack) {
  release_code_context();
  size_code_context(3, 12);
  release_code_context();
  EXPECT_EQ(code_context.mem, 0);
  release_code_context();  // twice: nothing
  EXPECT_EQ(code_context.mem, 0);
  g_requests.clear();
  size_code_context(3, 12);  // afresh
  EXPECT_EQ(g_requests.size(), 1u + 9u + 2u + 3u + 2u);
}

}  // namespace
}  // namespace wdist
