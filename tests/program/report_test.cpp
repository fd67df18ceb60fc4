// The report writer's exact bytes: the block head with the matrix's
// capacities, the rows, the "G=" line, and the weight pairs with their
// blanks and without a final newline.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "menu/codefile/code_reader.h"
#include "program/report.h"
#include "menu/store/code_context.h"
#include "menu/store/gen_matrix.h"

namespace wdist {
namespace {

// Everything written to a stream by `write`.
template <class Write>
std::string written_by(Write write) {
  char* bytes = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&bytes, &size);
  write(out);
  std::fclose(out);
  std::string text(bytes, size);
  std::free(bytes);
  return text;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ = GenMatrix{};
    g_.mem = 0;
    release_code_context();
  }
  void TearDown() override {
    release_gen_matrix(g_);
    release_code_context();
  }
  void read(const std::string& text) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    ASSERT_EQ(read_code(f, g_, RecordPath::weight_distribution).status, ReadStatus::ok);
    std::fclose(f);
  }
  // A histogram of top index `length` holding `counts` from w = 0 on.
  void set_histogram(std::int32_t length, std::initializer_list<std::uint64_t> counts) {
    size_code_context(1, length);
    for (std::int32_t w = 0; w <= length; ++w) code_context.Bspec[w] = 0;
    std::int32_t w = 0;
    for (std::uint64_t c : counts) code_context.Bspec[w++] = c;
  }
  // The block head of the matrix read last, with `k` rows printed.
  void write_head(std::FILE* out, std::int32_t k, std::int32_t record) const {
    std::vector<const ElemCode*> rows;
    for (std::int32_t i = 1; i <= k; ++i) rows.push_back(g_.a[i] + 1);
    ReportSink sink(out);
    write_code_report(sink, k, g_.n, g_.q, record, g_.cap_rows, g_.cap_cols, rows.data());
  }
  static void write_context_weights(std::FILE* out) {
    ReportSink sink(out);
    write_weights(sink, code_context.Bspec, code_context.length);
  }
  GenMatrix g_;
};

TEST_F(ReportTest, TheWorkedExampleBlock) {
  read("2 3 2\n101\n011\n");
  set_histogram(3, {1, 0, 3, 0});
  const std::string block = written_by([&](std::FILE* out) {
    write_head(out, g_.k, 1);
    {
      ReportSink sink(out);
      write_report_time(sink, 0.25);
    }
    write_context_weights(out);
  });
  EXPECT_EQ(block, "\n? 2 3 2 1 2 16  \n101\n011\nG= 1 \n\n Time =       0.250 seconds \n 0^1  2^3 ");
}

TEST_F(ReportTest, HeadShowsTheCapacitiesOfEarlierRecords) {
  read("4 20 2\n" + std::string(20, '1') + "\n" + std::string(20, '0') + "\n" + std::string(20, '1') + "\n" +
       std::string(20, '0') + "\n");
  read("1 3 3\n120\n");
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, g_.k, 7); }),
            "\n? 1 3 3 7 4 32  \n120\nG= 1 \n");
}

TEST_F(ReportTest, RowCountAndLengthEdges) {
  read("2 3 2\n101\n011\n");
  // The rows printed are the count passed in, not the matrix's k.
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, 1, 3); }),
            "\n? 1 3 2 3 2 16  \n101\nG= 1 \n");
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, 0, 3); }), "\n? 0 3 2 3 2 16  \nG= 1 \n");
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, -4, 3); }),
            "\n? -4 3 2 3 2 16  \nG= 1 \n");
  read("2 0 2\n\n\n");
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, 2, 4); }),
            "\n? 2 0 2 4 2 16  \n\n\nG= 1 \n");
}

TEST_F(ReportTest, EntriesArePrintedAsNumbers) {
  read("1 3 7\n650\n");
  g_.a[1][2] = 12;  // never stored by the reader, but printed with "%d" all the same
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, 1, 1); }), "\n? 1 3 7 1 1 16  \n6120\nG= 1 \n");
}

TEST_F(ReportTest, LongRowsAreWrittenWhole) {
  std::string row;
  for (int j = 0; j < 9000; ++j) row += static_cast<char>('0' + j % 7);
  read("1 9000 7\n" + row + "\n");
  EXPECT_EQ(written_by([&](std::FILE* out) { write_head(out, 1, 1); }),
            "\n? 1 9000 7 1 1 9008  \n" + row + "\nG= 1 \n");
}

TEST_F(ReportTest, WeightsListOnlyNonzeroCounts) {
  set_histogram(5, {0, 0, 0, 0, 0, 1});
  EXPECT_EQ(written_by(write_context_weights), " \n 5^1 ");
  set_histogram(2, {1});
  EXPECT_EQ(written_by(write_context_weights), " \n 0^1 ");
  set_histogram(4, {0, 0, 0, 0, 0});
  EXPECT_EQ(written_by(write_context_weights), " \n");
  set_histogram(2, {1, 1099511627776ull, 9223372036854775807ull});
  EXPECT_EQ(written_by(write_context_weights), " \n 0^1  1^1099511627776  2^9223372036854775807 ");
}

TEST_F(ReportTest, WeightsStopAtTheContextLength) {
  set_histogram(6, {1, 0, 2, 0, 3, 0, 4});
  code_context.length = 4;  // entries above the length are never written
  EXPECT_EQ(written_by(write_context_weights), " \n 0^1  2^2  4^3 ");
  code_context.length = -1;
  EXPECT_EQ(written_by(write_context_weights), " \n");
}

}  // namespace
}  // namespace wdist
