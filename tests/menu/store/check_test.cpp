// The check table and the halt. Every reachable check is driven for real in
// a death test (a block source that yields nothing, or a record whose
// pointers were taken away), in a working directory of its own, with
// standard input and output redirected to files; the parent then reads the
// check record from ERRORq.txt byte for byte and the console transcript.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "menu/store/alloc.h"
#include "menu/store/check.h"
#include "menu/store/code_context.h"
#include "menu/store/cons_str.h"
#include "menu/store/count_table.h"
#include "menu/store/gen_matrix.h"
#include "support/program_runner.h"

namespace wdist {
namespace {

using wdist_test::file_text;
using wdist_test::path_in;

constexpr bool kWide = WDIST_COUNTER_BITS == 32;

std::string check_record(int line, const char* text) {
  return "ruvo file src/store/cons_str.h: line " + std::to_string(line) + ": assertion failed: (" + text + ")\n";
}

// ---------------------------------------------------------------- the table

struct ExpectedCheck {
  CheckId id;
  int line_narrow;
  int line_wide;
  const char* text;
};

// Written out independently of cons_str.h: the lines and texts the check
// records must show.
constexpr ExpectedCheck kExpectedChecks[] = {
    {CheckId::counter_array_null, 105, 133, "NULL==r"},
    {CheckId::counter_row_release_null, 112, 140, "NULL==r"},
    {CheckId::count_table_rows_null, 174, 174, "c.a==NULL"},
    {CheckId::count_table_release_null, 216, 216, "NULL==c.a"},
    {CheckId::count64_array_null, 442, 442, "NULL==r"},
    {CheckId::context_rows_null, 585, 585, "c.a==NULL"},
    {CheckId::context_vecrank_null, 610, 610, "c.vecrank==NULL"},
    {CheckId::context_release_rows_null, 633, 633, "NULL==c.a"},
    {CheckId::context_release_aspec_null, 647, 647, "NULL==c.Aspec"},
    {CheckId::context_release_bspec_null, 650, 650, "NULL==c.Bspec"},
    {CheckId::context_release_k_null, 658, 658, "NULL==c.k"},
    {CheckId::context_release_lcv_null, 660, 660, "NULL==c.lcv"},
    {CheckId::context_release_lcvo_null, 662, 662, "NULL==c.lcvo"},
    {CheckId::context_release_vecrank_null, 666, 666, "NULL==c.vecrank"},
    {CheckId::context_release_prop_null, 668, 668, "NULL==c.prop"},
    {CheckId::byte_row_null, 734, 734, "r==NULL"},
    {CheckId::byte_row_release_null, 742, 742, "NULL==&(r[-1])"},
    {CheckId::gen_matrix_rows_null, 767, 767, "c.a==NULL"},
    {CheckId::gen_matrix_size_mem, 778, 778, "!((1==c.mem)||(0==c.mem))"},
    {CheckId::gen_matrix_release_mem, 800, 800, "!((1==c.mem)||(0==c.mem))"},
    {CheckId::gen_matrix_release_null, 812, 812, "NULL==c.a"},
};

TEST(CheckTable, EveryRowHasItsLineAndTextVerbatim) {
  ASSERT_EQ(std::size(kChecks), std::size(kExpectedChecks));
  for (const ExpectedCheck& e : kExpectedChecks) {
    const CheckRow& row = check_row(e.id);
    EXPECT_EQ(row.id, e.id);
    EXPECT_EQ(row.line, kWide ? e.line_wide : e.line_narrow) << e.text;
    EXPECT_STREQ(row.text, e.text) << "line " << e.line_narrow;
  }
  EXPECT_STREQ(kConsStrPath, "src/store/cons_str.h");
}

// ---------------------------------------------------------------- halts

void* no_memory(std::size_t) { return nullptr; }

// Fails every request of exactly `g_failing_size` bytes.
std::size_t g_failing_size = 0;
void* fails_one_size(std::size_t bytes) { return bytes == g_failing_size ? nullptr : std::malloc(bytes); }

// Fails only the very first request it sees.
bool g_first_failed = false;
void* fails_first_only(std::size_t bytes) {
  if (!g_first_failed) {
    g_first_failed = true;
    return nullptr;
  }
  return std::malloc(bytes);
}

GenMatrix empty_matrix() {
  GenMatrix g{};
  g.mem = 0;
  return g;
}

CountTable empty_table() {
  CountTable t{};
  t.mem = 0;
  return t;
}

// A context that holds storage, with one of its arrays given back and its
// pointer taken away, so that its release meets a null pointer there.
template <class T>
void release_context_without(T* CodeContext::*array) {
  size_code_context(2, 6);
  std::free(code_context.*array);
  code_context.*array = nullptr;
  release_code_context();
}

struct HaltCase {
  const char* name;
  void (*provoke)();
  int line;
  const char* text;
};

void counter_array_fails() {
  set_block_source(no_memory);
  new_counter_array(7);
}
void count64_array_fails() {
  set_block_source(no_memory);
  new_count64_array(7);
}
void byte_row_fails() {
  set_block_source(no_memory);
  new_byte_row(16);
}
void byte_row_release_of_null() {
  ElemCode* row = nullptr;
  free_byte_row(row);
}
void gen_matrix_row_table_fails() {
  // The row table of rows 0..2 is the only request of 3 pointers.
  g_failing_size = 3 * sizeof(ElemCode*);
  set_block_source(fails_one_size);
  GenMatrix g = empty_matrix();
  size_gen_matrix(g, 2, 5, 2);
}
void gen_matrix_byte_row_fails() {
  g_failing_size = 16 + 2;
  set_block_source(fails_one_size);
  GenMatrix g = empty_matrix();
  size_gen_matrix(g, 2, 5, 2);
}
void gen_matrix_sized_with_bad_mem() {
  GenMatrix g = empty_matrix();
  g.mem = 5;
  size_gen_matrix(g, 2, 5, 2);
}
void gen_matrix_sized_with_mem_two() {
  GenMatrix g = empty_matrix();
  g.mem = 2;
  size_gen_matrix(g, 2, 5, 2);
}
void gen_matrix_released_with_bad_mem() {
  GenMatrix g = empty_matrix();
  g.mem = 5;
  release_gen_matrix(g);
}
void gen_matrix_released_with_mem_two() {
  GenMatrix g = empty_matrix();
  g.mem = 2;
  release_gen_matrix(g);
}
void gen_matrix_released_without_row_table() {
  GenMatrix g = empty_matrix();
  g.mem = 1;
  g.cap_rows = -1;  // no rows to give back, then the null row table
  g.a = nullptr;
  release_gen_matrix(g);
}
void count_table_row_table_fails() {
  // Planes 0..2: the only request of 3 pointers.
  g_failing_size = 3 * sizeof(Counter*);
  set_block_source(fails_one_size);
  CountTable t = empty_table();
  size_count_table(t, 13, 2, 3);
}
void count_table_plane_fails() {
  set_block_source(fails_one_size);
  g_failing_size = 14 * sizeof(Counter);
  CountTable t = empty_table();
  size_count_table(t, 13, 2, 3);
}
void count_table_released_with_null_row() {
  CountTable t = empty_table();
  size_count_table(t, 13, 2, 3);
  std::free(t.a[1]);
  t.a[1] = nullptr;
  release_count_table(t);
}
void context_row_table_fails_once() {
  // Asked for once only: a single failure halts.
  release_code_context();
  g_first_failed = false;
  set_block_source(fails_first_only);
  size_code_context(4, 10);
}
void context_spectrum_fails() {
  release_code_context();
  g_failing_size = 11 * sizeof(Count64);
  set_block_source(fails_one_size);
  size_code_context(4, 10);
}
void context_released_with_null_row() {
  size_code_context(2, 6);
  std::free(code_context.a[3]);
  code_context.a[3] = nullptr;
  release_code_context();
}
void context_released_without_row_table() {
  release_code_context();
  code_context = CodeContext{};
  code_context.mem = 1;
  code_context.cap_rows = -1;
  release_code_context();
}
void context_released_without_aspec() { release_context_without(&CodeContext::Aspec); }
void context_released_without_bspec() { release_context_without(&CodeContext::Bspec); }
void context_released_without_k() { release_context_without(&CodeContext::row_spare_k); }
void context_released_without_lcv() { release_context_without(&CodeContext::row_spare_lcv); }
void context_released_without_lcvo() { release_context_without(&CodeContext::row_spare_lcvo); }
void context_released_without_vecrank() { release_context_without(&CodeContext::weight_spare_vecrank); }
void context_released_without_prop() { release_context_without(&CodeContext::weight_spare_prop); }

const HaltCase kHaltCases[] = {
    {"CounterArray", counter_array_fails, kWide ? 133 : 105, "NULL==r"},
    {"Count64Array", count64_array_fails, 442, "NULL==r"},
    {"ByteRow", byte_row_fails, 734, "r==NULL"},
    {"ByteRowReleaseOfNull", byte_row_release_of_null, 742, "NULL==&(r[-1])"},
    {"GenMatrixRowTable", gen_matrix_row_table_fails, 767, "c.a==NULL"},
    {"GenMatrixByteRow", gen_matrix_byte_row_fails, 734, "r==NULL"},
    {"GenMatrixSizedWithMem5", gen_matrix_sized_with_bad_mem, 778, "!((1==c.mem)||(0==c.mem))"},
    {"GenMatrixSizedWithMem2", gen_matrix_sized_with_mem_two, 778, "!((1==c.mem)||(0==c.mem))"},
    {"GenMatrixReleasedWithMem5", gen_matrix_released_with_bad_mem, 800, "!((1==c.mem)||(0==c.mem))"},
    {"GenMatrixReleasedWithMem2", gen_matrix_released_with_mem_two, 800, "!((1==c.mem)||(0==c.mem))"},
    {"GenMatrixReleasedWithoutRowTable", gen_matrix_released_without_row_table, 812, "NULL==c.a"},
    {"CountTableRowTable", count_table_row_table_fails, 174, "c.a==NULL"},
    {"CountTablePlane", count_table_plane_fails, kWide ? 133 : 105, "NULL==r"},
    {"CountTableReleasedWithNullRow", count_table_released_with_null_row, kWide ? 140 : 112, "NULL==r"},
    {"ContextRowTableFailsOnce", context_row_table_fails_once, 585, "c.a==NULL"},
    {"ContextSpectrum", context_spectrum_fails, 442, "NULL==r"},
    {"ContextReleasedWithNullRow", context_released_with_null_row, kWide ? 140 : 112, "NULL==r"},
    {"ContextReleasedWithoutRowTable", context_released_without_row_table, 633, "NULL==c.a"},
    {"ContextReleasedWithoutAspec", context_released_without_aspec, 647, "NULL==c.Aspec"},
    {"ContextReleasedWithoutBspec", context_released_without_bspec, 650, "NULL==c.Bspec"},
    {"ContextReleasedWithoutK", context_released_without_k, 658, "NULL==c.k"},
    {"ContextReleasedWithoutLcv", context_released_without_lcv, 660, "NULL==c.lcv"},
    {"ContextReleasedWithoutLcvo", context_released_without_lcvo, 662, "NULL==c.lcvo"},
    {"ContextReleasedWithoutVecrank", context_released_without_vecrank, 666, "NULL==c.vecrank"},
    {"ContextReleasedWithoutProp", context_released_without_prop, 668, "NULL==c.prop"},
};

// Runs `provoke` in the death-test child with its console on files of the
// work directory: standard input from "console_in", output to "console_out"
// and "console_err".
void halt_in(const std::string& dir, void (*provoke)()) {
  if (chdir(dir.c_str()) != 0) std::_Exit(90);
  if (std::freopen("console_in", "r", stdin) == nullptr) std::_Exit(91);
  if (std::freopen("console_out", "w", stdout) == nullptr) std::_Exit(92);
  if (std::freopen("console_err", "w", stderr) == nullptr) std::_Exit(93);
  provoke();
  std::_Exit(94);  // the check did not fire
}

class ConsoleHaltDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = wdist_test::make_work_dir();
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { wdist_test::remove_work_dir(dir_); }
  void give_console(const std::string& input) { ASSERT_TRUE(wdist_test::write_file(path_in(dir_, "console_in"), input)); }
  std::string dir_;
};

class CheckHaltDeathTest : public ConsoleHaltDeathTest, public ::testing::WithParamInterface<HaltCase> {};

TEST_P(CheckHaltDeathTest, LeavesExactlyItsCheckRecordAndExitsWhenInputEnds) {
  const HaltCase& c = GetParam();
  give_console("");
  EXPECT_EXIT(halt_in(dir_, c.provoke), ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "ERRORq.txt")), check_record(c.line, c.text));
  EXPECT_EQ(file_text(path_in(dir_, "console_out")), "ERROR");
  EXPECT_EQ(file_text(path_in(dir_, "console_err")), "");
}

std::string halt_case_name(const ::testing::TestParamInfo<HaltCase>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(Store, CheckHaltDeathTest, ::testing::ValuesIn(kHaltCases), halt_case_name);

TEST_F(ConsoleHaltDeathTest, ConsoleShowsErrorBeforeEveryRead) {
  // Three numbers, then the end: four reads, four times "ERROR", no newline.
  give_console("1\n2\n3\n");
  EXPECT_EXIT(halt_in(dir_, gen_matrix_sized_with_bad_mem), ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "console_out")), "ERRORERRORERRORERROR");
  EXPECT_EQ(file_text(path_in(dir_, "ERRORq.txt")), check_record(778, "!((1==c.mem)||(0==c.mem))"));
}

TEST_F(ConsoleHaltDeathTest, InputThatIsNoNumberEndsTheHalt) {
  give_console("1 x 2 3\n");
  EXPECT_EXIT(halt_in(dir_, gen_matrix_released_with_bad_mem), ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "console_out")), "ERRORERROR");
}

TEST_F(ConsoleHaltDeathTest, AnEarlierRecordIsReplacedNotAppendedTo) {
  give_console("");
  ASSERT_TRUE(wdist_test::write_file(path_in(dir_, "ERRORq.txt"),
                                     "an earlier, much longer check record that must disappear entirely\n"));
  EXPECT_EXIT(halt_in(dir_, byte_row_fails), ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "ERRORq.txt")), check_record(734, "r==NULL"));
}

TEST_F(ConsoleHaltDeathTest, UnwritableRecordFileSendsTheRecordToStandardError) {
  // A directory of that name cannot be opened for writing, not even by root.
  give_console("7\n");
  ASSERT_EQ(mkdir(path_in(dir_, "ERRORq.txt").c_str(), 0755), 0);
  EXPECT_EXIT(halt_in(dir_, counter_array_fails), ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "console_err")), check_record(kWide ? 133 : 105, "NULL==r"));
  EXPECT_EQ(file_text(path_in(dir_, "console_out")), "ERRORERROR");
}

TEST_F(ConsoleHaltDeathTest, OutputWrittenBeforeTheHaltIsKept) {
  // A report stream still open at the halt: what was written is flushed.
  give_console("");
  EXPECT_EXIT(halt_in(dir_,
                      [] {
                        std::FILE* report = std::fopen("report", "w");
                        std::fputs("finished block", report);
                        gen_matrix_sized_with_bad_mem();
                      }),
              ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(file_text(path_in(dir_, "report")), "finished block");
}

}  // namespace
}  // namespace wdist
