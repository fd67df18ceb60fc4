// The code record reader: what it leaves in the matrix, where it leaves the
// stream (the driver's scan for the next "?" goes on from there), and which
// records it refuses, stops at or reads through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "menu/codefile/code_reader.h"
#include "menu/store/gen_matrix.h"

namespace wdist {
namespace {

constexpr bool kWide = WDIST_COUNTER_BITS == 32;

// A stream over `text`, as a real file so that it behaves like one.
std::FILE* stream_of(const std::string& text) {
  std::FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

std::string rest_of(std::FILE* f) {
  std::string rest;
  for (int c = std::getc(f); c != EOF; c = std::getc(f)) rest += static_cast<char>(c);
  return rest;
}

// Rows 1..k of the matrix, entries as digits.
std::vector<std::string> rows_of(const GenMatrix& g) {
  std::vector<std::string> rows;
  for (int i = 1; i <= g.k; ++i) {
    std::string row;
    for (int j = 1; j <= g.n; ++j) row += static_cast<char>('0' + g.a[i][j]);
    rows.push_back(row);
  }
  return rows;
}

using Rows = std::vector<std::string>;

class CodeReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ = GenMatrix{};
    g_.mem = 0;
  }
  void TearDown() override {
    release_gen_matrix(g_);
  }
  // Reads one record from `text` (what follows its "?"); `rest_` is what the
  // stream still holds afterwards.
  ReadResult read(const std::string& text, RecordPath path = RecordPath::weight_distribution) {
    std::FILE* f = stream_of(text);
    ReadResult r = read_code(f, g_, path);
    rest_ = rest_of(f);
    std::fclose(f);
    return r;
  }
  GenMatrix g_;
  std::string rest_;
};

TEST_F(CodeReaderTest, HeadAndRowsAndTheRestOfTheHeadLine) {
  ASSERT_EQ(read("2 3 2 7\n101\n011\n").status, ReadStatus::ok);
  EXPECT_EQ(g_.k, 2);
  EXPECT_EQ(g_.rows, 2);
  EXPECT_EQ(g_.n, 3);
  EXPECT_EQ(g_.q, 2);
  EXPECT_EQ(rows_of(g_), (Rows{"101", "011"}));
  EXPECT_EQ(rest_, "\n");  // nothing after the last row's last character is read
}

TEST_F(CodeReaderTest, HeadSpreadOverLines) {
  ASSERT_EQ(read("\n2\n 3\n\n2 whatever ? follows\n101\n011").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"101", "011"}));
  EXPECT_EQ(rest_, "");
}

TEST_F(CodeReaderTest, NonDigitsRepeatTheLastDigitOfTheRecord) {
  ASSERT_EQ(read("3 3 3\nx01\n1x0\nx.2\n").status, ReadStatus::ok);
  // Before any digit the remembered value is 0; it carries across rows.
  EXPECT_EQ(rows_of(g_), (Rows{"001", "110", "002"}));
  // A "?" inside a row is just another character that is no digit.
  ASSERT_EQ(read("1 3 2\n1?0\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"110"}));
  // Every record starts again from 0.
  ASSERT_EQ(read("1 2 3\nx1\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"01"}));
}

TEST_F(CodeReaderTest, LongRowsLoseTheirTailExceptTheLast) {
  ASSERT_EQ(read("2 3 2\n10111\n01100\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"101", "011"}));
  EXPECT_EQ(rest_, "00\n");  // left to the driver's scan
}

TEST_F(CodeReaderTest, ShortRowsShiftTheFollowingOnes) {
  // The newline of "10" is taken as a column (repeating 0), "011" is dropped
  // as the rest of row 1, and row 2 is read from the next line.
  ASSERT_EQ(read("2 3 2\n10\n011\n110\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"100", "110"}));
}

TEST_F(CodeReaderTest, CarriageReturnsReadTheSame) {
  ASSERT_EQ(read("2 3 2 7\r\n101\r\n011\r\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{"101", "011"}));
  EXPECT_EQ(rest_, "\r\n");
}

TEST_F(CodeReaderTest, ZeroLengthCodeHasEmptyRows) {
  ASSERT_EQ(read("2 0 2\n\n\nnext").status, ReadStatus::ok);
  EXPECT_EQ(g_.n, 0);
  EXPECT_EQ(rows_of(g_), (Rows{"", ""}));
  EXPECT_EQ(rest_, "\nnext");  // the rest of row 1's line is dropped, row 2 reads nothing
}

TEST_F(CodeReaderTest, ARecordWithAnotherFieldKeepsTheStorage) {
  ASSERT_EQ(read("1 2 2\n11\n").status, ReadStatus::ok);
  ASSERT_EQ(read("1 2 3\n12\n").status, ReadStatus::ok);
  EXPECT_EQ(g_.q, 3);
  EXPECT_EQ(rows_of(g_), (Rows{"12"}));
  // Capacities are those of the first sizing while they suffice.
  EXPECT_EQ(g_.cap_rows, 1);
  EXPECT_EQ(g_.cap_cols, 16);
}

TEST_F(CodeReaderTest, LongRowsAreReadWhole) {
  const std::string row(5000, '1');
  ASSERT_EQ(read("1 5000 2\n" + row + "\n").status, ReadStatus::ok);
  EXPECT_EQ(rows_of(g_), (Rows{row}));
  EXPECT_EQ(g_.cap_cols, 5008);
}

// ---------------------------------------------------------------- refusals

struct RefusedHead {
  const char* text;     // what follows the "?"
  const char* reason;   // a piece of the reason
  const char* rest;     // where the driver's scan goes on
};

class RefusedHeads : public CodeReaderTest, public ::testing::WithParamInterface<RefusedHead> {};

TEST_P(RefusedHeads, AreRefusedBeforeAnythingIsSized) {
  const RefusedHead& h = GetParam();
  for (RecordPath path : {RecordPath::weight_distribution, RecordPath::projective_sums}) {
    const ReadResult r = read(h.text, path);
    EXPECT_EQ(r.status, ReadStatus::refused) << h.text;
    EXPECT_NE(std::string(r.reason).find(h.reason), std::string::npos) << r.reason;
    EXPECT_EQ(rest_, h.rest) << h.text;
    EXPECT_EQ(g_.mem, 0) << h.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodeReader, RefusedHeads,
    ::testing::Values(RefusedHead{"1 3 0\n101\n", "q = 0", "\n101\n"}, RefusedHead{"1 3 1\n101\n", "q = 1", "\n101\n"},
                      RefusedHead{"1 3 6\n101\n", "q = 6", "\n101\n"}, RefusedHead{"1 3 8 9\n101\n", "q = 8", " 9\n101\n"},
                      RefusedHead{"1 3 13\n101\n", "q = 13", "\n101\n"},
                      RefusedHead{"1 3 16\n101\n", "q = 16", "\n101\n"},
                      RefusedHead{"1 3 -2\n101\n", "q = -2", "\n101\n"},
                      RefusedHead{"0 3 2\n", "k = 0", "\n"}, RefusedHead{"-1 3 2\n", "k = -1", "\n"},
                      RefusedHead{"1 -3 2\n101\n", "n = -3", "\n101\n"},
                      RefusedHead{"99999999999 3 2\n", "32-bit", "\n"},
                      RefusedHead{"1 2147483648 2\n", "32-bit", "\n"},
                      RefusedHead{"1 -2147483649 2\n", "32-bit", "\n"},
                      RefusedHead{"1 3 123456789012345678901234567890\n", "32-bit", "\n"},
                      RefusedHead{"2 x 2\n101\n", "three numbers", "x 2\n101\n"},
                      RefusedHead{"?2 3 2\n", "three numbers", "?2 3 2\n"},
                      RefusedHead{"2 3 -x\n", "three numbers", "x\n"}));

struct HeadVerdict {
  std::int64_t k, n, q;
  RecordPath path;
  bool accepted_narrow;
  bool accepted_wide;
};

class HeadLimitsTest : public ::testing::TestWithParam<HeadVerdict> {};

TEST_P(HeadLimitsTest, FollowTheAnnouncedLimitsAndTheTableSizes) {
  const HeadVerdict& h = GetParam();
  char reason[160] = "";
  const bool accepted = accept_head(HeadNumbers{h.k, h.n, h.q}, h.path, kWide ? kWideLimits : kNarrowLimits, reason, sizeof reason);
  EXPECT_EQ(accepted, kWide ? h.accepted_wide : h.accepted_narrow)
      << "k=" << h.k << " n=" << h.n << " q=" << h.q << ": " << reason;
  if (!accepted) {
    EXPECT_GT(std::string(reason).size(), 0u);
    EXPECT_EQ(std::string(reason).find('\n'), std::string::npos);
  }
}

constexpr RecordPath kWeights = RecordPath::weight_distribution;
constexpr RecordPath kSums = RecordPath::projective_sums;

INSTANTIATE_TEST_SUITE_P(
    CodeReader, HeadLimitsTest,
    ::testing::Values(
        // Lengths: n < 2^15 (2^31), for q = 4 n < 2^13 (2^29), on both paths.
        HeadVerdict{1, 0, 2, kWeights, true, true}, HeadVerdict{1, 32767, 2, kWeights, true, true},
        HeadVerdict{1, 32768, 2, kWeights, false, true}, HeadVerdict{1, 32768, 7, kSums, false, true},
        HeadVerdict{1, 2147483647, 3, kWeights, false, true}, HeadVerdict{1, 8191, 4, kWeights, true, true},
        HeadVerdict{1, 8192, 4, kWeights, false, true}, HeadVerdict{1, 8192, 4, kSums, false, true},
        HeadVerdict{1, 536870911, 4, kWeights, false, true}, HeadVerdict{1, 536870912, 4, kWeights, false, false},
        HeadVerdict{1, 536870912, 4, kSums, false, false},
        // The binary table of 2^K entries: K = k, or 2k over F_4.
        HeadVerdict{61, 5, 2, kWeights, true, true}, HeadVerdict{62, 5, 2, kWeights, false, false},
        HeadVerdict{63, 5, 2, kWeights, false, false}, HeadVerdict{30, 5, 4, kWeights, true, true},
        HeadVerdict{31, 5, 4, kWeights, false, false},
        // The projective layout: k <= 32, and q^k must not wrap.
        HeadVerdict{32, 5, 3, kWeights, true, true}, HeadVerdict{33, 5, 3, kWeights, false, false},
        HeadVerdict{32, 5, 2, kSums, true, true}, HeadVerdict{33, 5, 2, kSums, false, false},
        HeadVerdict{62, 5, 2, kSums, false, false}, HeadVerdict{22, 5, 7, kSums, true, true},
        HeadVerdict{23, 5, 7, kWeights, false, false}, HeadVerdict{23, 5, 7, kSums, false, false},
        HeadVerdict{20, 5, 5, kWeights, true, true}));

// ---------------------------------------------------------------- rows

TEST_F(CodeReaderTest, EntriesNotBelowQAreReadToTheEndThenRefused) {
  const ReadResult r = read("2 3 2\n121\n031\n?next");
  EXPECT_EQ(r.status, ReadStatus::refused);
  EXPECT_NE(std::string(r.reason).find("entry 2 in row 1, column 2"), std::string::npos) << r.reason;
  EXPECT_EQ(rest_, "\n?next");
  // The matrix was sized for the record.
  EXPECT_EQ(g_.mem, 1);
  EXPECT_EQ(g_.cap_rows, 2);
}

TEST_F(CodeReaderTest, EntriesOfEveryFieldUpToQMinusOne) {
  EXPECT_EQ(read("1 5 5\n01234\n").status, ReadStatus::ok);
  EXPECT_EQ(read("1 5 5\n01235\n").status, ReadStatus::refused);
  EXPECT_EQ(read("1 7 7\n0123456\n").status, ReadStatus::ok);
  EXPECT_EQ(read("1 2 7\n79\n").status, ReadStatus::refused);
  EXPECT_EQ(read("1 4 4\n0123\n").status, ReadStatus::ok);
  EXPECT_EQ(read("1 4 4\n0124\n").status, ReadStatus::refused);
  EXPECT_EQ(read("1 3 3\n2x2\n").status, ReadStatus::ok);
  EXPECT_EQ(read("1 3 3\n3xx\n").status, ReadStatus::refused);
}

TEST_F(CodeReaderTest, EndOfInputInsideARecordTruncatesIt) {
  const char* truncated[] = {"", "  \n", "2", "2 3", "2 3 2", "2 3 2\n", "2 3 2\n101\n01", "2 3 2\n101"};
  for (const char* text : truncated) EXPECT_EQ(read(text).status, ReadStatus::truncated) << '"' << text << '"';
  // The last row's last character is the end of the record.
  EXPECT_EQ(read("2 3 2\n101\n011").status, ReadStatus::ok);
}

// Rows taken from the stream's buffer a word at a time, in pieces as the
// buffer cuts them, against the same rows read a character at a time (an
// unbuffered stream holds nothing): random records of plain digits, digits
// of q or more, other characters, rows shorter and longer than their
// lines, every field and lengths around the word size, buffers shorter
// and longer than a row, then what is left of the stream.
TEST(RecordRows, BufferedRowsReadAsCharacterByCharacter) {
  std::mt19937_64 rng(2031);
  const auto pick = [&rng](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
  const std::string others = "x ?\r\n-.9887";
  for (int trial = 0; trial < 400; ++trial) {
    const int q = 1 + pick(9);  // 1, 6, 8 and 9 too: the word check must hand them on
    const int k = 1 + pick(4);
    const int n = pick(4) == 0 ? pick(8) : pick(40);
    std::string text = std::to_string(k) + " " + std::to_string(n) + " " + std::to_string(q) + " head\n";
    const int lines = k + pick(2);
    for (int i = 0; i < lines; ++i) {
      const int length = n + (pick(3) == 0 ? pick(5) - 2 : 0);
      for (int j = 0; j < length; ++j) {
        const int kind = pick(40);
        if (kind == 0) text += others[static_cast<std::size_t>(pick(static_cast<int>(others.size())))];
        else if (kind == 1) text += static_cast<char>('0' + pick(10));
        else text += static_cast<char>('0' + pick(std::max(1, std::min(q, 8))));
      }
      text += pick(5) == 0 ? " tail\n" : "\n";
    }
    text += "?next";
    struct Read {
      ReadResult result;
      std::vector<ElemCode> entries;
      std::string rest;
    };
    // `buffer`: the stream's buffer size, 0 for none (a character a call).
    const auto read_from = [&](std::size_t buffer) {
      std::FILE* f = std::tmpfile();
      if (buffer == 0)
        std::setvbuf(f, nullptr, _IONBF, 0);
      else
        std::setvbuf(f, nullptr, _IOFBF, buffer);
      std::fwrite(text.data(), 1, text.size(), f);
      std::rewind(f);
      Read out;
      std::int32_t columns = 0;
      std::size_t next = 0;  // the pieces of the rows come in order, none skipped
      out.result = read_record(
          f, [](const HeadNumbers&, char*, std::size_t) { return true; },
          [&](std::int32_t rows, std::int32_t length, std::int32_t) {
            columns = length;
            out.entries.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(length));
          },
          [&](std::int32_t i, std::int32_t j, std::int32_t count) -> ElemCode* {
            const std::size_t at = static_cast<std::size_t>(i) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(j);
            EXPECT_EQ(at, next);
            EXPECT_GE(count, 1);
            EXPECT_LE(j + count, columns);
            next = at + static_cast<std::size_t>(count);
            return out.entries.data() + at;
          });
      out.rest = rest_of(f);
      std::fclose(f);
      return out;
    };
    const Read slow = read_from(0);
    for (std::size_t buffer : {std::size_t{5}, std::size_t{16}, std::size_t{4096}}) {
      const Read fast = read_from(buffer);
      ASSERT_EQ(fast.result.status, slow.result.status) << text;
      EXPECT_STREQ(fast.result.reason, slow.result.reason) << text;
      EXPECT_EQ(fast.entries, slow.entries) << text;
      EXPECT_EQ(fast.rest, slow.rest) << text;
    }
  }
}

}  // namespace
}  // namespace wdist
