// The library's record reader (wdist/records.h), shared by wdist and the
// Python module's read_records: the numbers of a refused head named as
// they are written, and rows of any length read whole, whatever the
// stream's buffer holds at a time.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "program/records.h"
#include "wdist/records.h"

namespace {

// A stream over `text`, as a real file; `buffer` (when not 0) is the size of
// its buffer, so that rows cross the buffer's end anywhere.
std::FILE* stream_of(const std::string& text, std::size_t buffer = 0) {
  std::FILE* f = std::tmpfile();
  if (buffer != 0) std::setvbuf(f, nullptr, _IOFBF, buffer);
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

struct Read {
  wdist::RecordStatus status;
  wdist::Record record;
};

std::vector<Read> read_all(const std::string& text, std::size_t buffer = 0) {
  std::FILE* f = stream_of(text, buffer);
  wdist::RecordReader reader(f);
  std::vector<Read> reads;
  for (;;) {
    Read r{};
    r.status = reader.next(r.record);
    if (r.status == wdist::RecordStatus::end) break;
    reads.push_back(std::move(r));
    if (reads.back().status == wdist::RecordStatus::truncated || reads.back().status == wdist::RecordStatus::failed)
      break;
  }
  std::fclose(f);
  return reads;
}

// The reason of the first record of `text`, which must be refused.
std::string refusal(const std::string& text) {
  const std::vector<Read> reads = read_all(text);
  if (reads.empty() || reads[0].status != wdist::RecordStatus::refused) return "<not refused>";
  return reads[0].record.reason;
}

TEST(RecordHeads, NumbersBeyondSixtyFourBitsAreQuotedAsWritten) {
  const std::string big = "99999999999999999999999";
  EXPECT_EQ(refusal("? " + big + " 3 2\n"), "k = " + big + ", the dimension does not fit a 32-bit integer");
  EXPECT_EQ(refusal("? -" + big + " 3 2\n"), "k = -" + big + ", the dimension must be at least 1");
  EXPECT_EQ(refusal("? 1 " + big + " 2\n"), "n = " + big + ", the length must lie in 0 .. 2^31 - 1");
  EXPECT_EQ(refusal("? 1 -" + big + " 2\n"), "n = -" + big + ", the length must lie in 0 .. 2^31 - 1");
  EXPECT_EQ(refusal("? 1 3 " + big + "\n"), "q = " + big + ", the field must be one of the prime powers up to 256");
  // A sign and leading zeros are not digits of the number.
  EXPECT_EQ(refusal("? 1 3 +000" + big + "\n"), "q = " + big + ", the field must be one of the prime powers up to 256");
  // Around the ends of 64 bits, and between 2^40 and 2^63 (where numbers
  // were once cut short).
  EXPECT_EQ(refusal("? 9223372036854775807 3 2\n"),
            "k = 9223372036854775807, the dimension does not fit a 32-bit integer");
  EXPECT_EQ(refusal("? 9223372036854775808 3 2\n"),
            "k = 9223372036854775808, the dimension does not fit a 32-bit integer");
  EXPECT_EQ(refusal("? -9223372036854775809 3 2\n"), "k = -9223372036854775809, the dimension must be at least 1");
  EXPECT_EQ(refusal("? 1 1099511627776000 2\n"), "n = 1099511627776000, the length must lie in 0 .. 2^31 - 1");
  EXPECT_EQ(refusal("? 2147483648 3 2\n"), "k = 2147483648, the dimension does not fit a 32-bit integer");
  // Forty digits are quoted; more are counted.
  const std::string forty(40, '7'), many(100000, '8');
  EXPECT_EQ(refusal("? 1 3 " + forty + "\n"), "q = " + forty + ", the field must be one of the prime powers up to 256");
  EXPECT_EQ(refusal("? 1 3 " + forty + "1\n"),
            "q = a number of 41 digits, the field must be one of the prime powers up to 256");
  EXPECT_EQ(refusal("? -" + many + " 3 2\n"), "k = a negative number of 100000 digits, the dimension must be at least 1");
}

TEST(RecordHeads, ReadingGoesOnAfterAHugeNumber) {
  const std::vector<Read> reads = read_all("? 1 3 123456789012345678901234567890 9\n101\n? 1 3 2\n101\n");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].status, wdist::RecordStatus::refused);
  EXPECT_EQ(reads[1].status, wdist::RecordStatus::ok);
  EXPECT_EQ(reads[1].record.number, 2);
  EXPECT_EQ(reads[1].record.code.entries, (std::vector<wdist::ElemCode>{1, 0, 1}));
}

// Rows far longer than the stream's buffer, of plain digits and of other
// characters (which repeat the last digit), with row lines longer than
// their rows: the same entries whatever the buffer, and what comes after
// the record is the next record.
TEST(RecordRows, LongRowsAreReadWholeAcrossTheBuffer) {
  std::mt19937_64 rng(1807);
  for (int trial = 0; trial < 12; ++trial) {
    const int q = trial % 2 == 0 ? 2 : 7;
    const int k = 1 + trial % 3;
    const int n = 3000 + static_cast<int>(rng() % 5000);
    std::string text = "? " + std::to_string(k) + " " + std::to_string(n) + " " + std::to_string(q) + "\n";
    std::vector<wdist::ElemCode> expected;
    int last = 0;
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j < n; ++j) {
        if (rng() % 50 == 0) {
          text += "x-. "[rng() % 4];
        } else {
          last = static_cast<int>(rng() % static_cast<unsigned>(q));
          text += static_cast<char>('0' + last);
        }
        expected.push_back(static_cast<wdist::ElemCode>(last));
      }
      text += rng() % 2 == 0 ? "\n" : " 0123 the rest\n";
    }
    text += "? 1 2 2\n11\n";
    for (std::size_t buffer : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1000}}) {
      SCOPED_TRACE("trial " + std::to_string(trial) + ", buffer " + std::to_string(buffer));
      const std::vector<Read> reads = read_all(text, buffer);
      ASSERT_EQ(reads.size(), 2u);
      ASSERT_EQ(reads[0].status, wdist::RecordStatus::ok) << reads[0].record.reason;
      EXPECT_EQ(reads[0].record.code.k, k);
      EXPECT_EQ(reads[0].record.code.n, n);
      EXPECT_EQ(reads[0].record.code.entries, expected);
      ASSERT_EQ(reads[1].status, wdist::RecordStatus::ok);
      EXPECT_EQ(reads[1].record.code.entries, (std::vector<wdist::ElemCode>{1, 1}));
    }
  }
}


// ---- fields of q >= 11: rows of numbers ------------------------------------

// Rows of blank-separated numbers, one a line, crossing the stream's buffer
// anywhere; blank lines between rows, tabs and carriage returns pass.
TEST(NumberRows, FieldsFromElevenTakeBlankSeparatedNumbers) {
  std::mt19937_64 rng(11);
  for (const int q : {11, 13, 16, 25, 121, 243, 256}) {
    const int k = 1 + static_cast<int>(rng() % 4), n = 1 + static_cast<int>(rng() % 300);
    std::string text = "a comment\n? " + std::to_string(k) + " " + std::to_string(n) + " " + std::to_string(q) + " rest\n";
    std::vector<wdist::ElemCode> expected;
    for (int i = 0; i < k; ++i) {
      if (rng() % 3 == 0) text += " \t\n";
      for (int j = 0; j < n; ++j) {
        const auto x = static_cast<int>(rng() % static_cast<unsigned>(q));
        expected.push_back(static_cast<wdist::ElemCode>(x));
        text += (j == 0 ? "" : rng() % 2 == 0 ? " " : "\t ") + std::to_string(x);
      }
      text += rng() % 2 == 0 ? "\n" : " \r\n";
    }
    text += "? 1 2 2\n11\n";
    for (std::size_t buffer : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
      SCOPED_TRACE("q = " + std::to_string(q) + ", buffer " + std::to_string(buffer));
      const std::vector<Read> reads = read_all(text, buffer);
      ASSERT_EQ(reads.size(), 2u);
      ASSERT_EQ(reads[0].status, wdist::RecordStatus::ok) << reads[0].record.reason;
      EXPECT_EQ(reads[0].record.code.q, q);
      EXPECT_EQ(reads[0].record.code.entries, expected);
      EXPECT_EQ(reads[1].status, wdist::RecordStatus::ok);
    }
  }
  // The last row may end the input without a newline.
  const std::vector<Read> last = read_all("?2 3 13\n12 0 1\n5 6 7");
  ASSERT_EQ(last.size(), 1u);
  ASSERT_EQ(last[0].status, wdist::RecordStatus::ok);
  EXPECT_EQ(last[0].record.code.entries, (std::vector<wdist::ElemCode>{12, 0, 1, 5, 6, 7}));
}

// Refused heads and rows name what is wrong, and the next record is read.
TEST(NumberRows, WrongRowsAreRefusedAndTheFileGoesOn) {
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"?1 3 12\n1 2 3\n", "q = 12, the field must be one of the prime powers up to 256"},
      {"?1 3 257\n1 2 3\n", "q = 257, the field must be one of the prime powers up to 256"},
      {"?1 3 10\n123\n", "q = 10, the field must be one of the prime powers up to 256"},
      {"?2 3 11\n1 2 11\n0 0 0\n", "entry 11 in row 1, column 3 is not below q = 11"},
      {"?1 3 256\n1 99999999999999999999999 3\n", "entry 99999999999999999999999 in row 1, column 2 is not below q = 256"},
      {"?2 3 13\n1 2\n0 0 0\n", "row 1 holds 2 entries, not n = 3"},
      {"?2 3 13\n1 2 3\n0 0 0 4 5\n", "row 2 holds 5 entries, not n = 3"},
      {"?2 3 13\n1 2 3\n0 x 0\n", "row 2 holds the character 'x', not a number"},
      {"?2 3 13\n1 -2 3\n0 0 0\n", "row 1 holds the character '-', not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<Read> reads = read_all(std::string(c.text) + "? 1 2 11\n10 3\n");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].status, wdist::RecordStatus::refused);
    EXPECT_EQ(reads[0].record.reason, c.reason);
    ASSERT_EQ(reads[1].status, wdist::RecordStatus::ok) << reads[1].record.reason;
    EXPECT_EQ(reads[1].record.code.entries, (std::vector<wdist::ElemCode>{10, 3}));
  }
  // A record cut short inside its rows ends the input.
  const std::vector<Read> cut = read_all("?2 3 13\n1 2 3\n4 5");
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].status, wdist::RecordStatus::truncated);
}

// Fields below 11 keep the digit rows, F_8 and F_9 among them.
TEST(NumberRows, FieldsBelowElevenKeepDigitRows) {
  const std::vector<Read> reads = read_all("?2 4 8\n7012\n3x45\n?1 3 9\n8 1\n");
  ASSERT_EQ(reads.size(), 2u);
  ASSERT_EQ(reads[0].status, wdist::RecordStatus::ok);
  EXPECT_EQ(reads[0].record.code.entries, (std::vector<wdist::ElemCode>{7, 0, 1, 2, 3, 3, 4, 5}));
  ASSERT_EQ(reads[1].status, wdist::RecordStatus::ok);
  EXPECT_EQ(reads[1].record.code.entries, (std::vector<wdist::ElemCode>{8, 8, 1}));
  EXPECT_EQ(refusal("?1 2 8\n18\n"), "entry 8 in row 1, column 2 is not below q = 8");
}

// The programs' reader: wdist-wide's limits on top of the library's, and
// which records had their matrix read (the report heads size storage for
// those alone).
TEST(ProgramRecords, WideRulesAndTheMatricesRead) {
  for (const wdist::program::RecordRules rules :
       {wdist::program::RecordRules::library, wdist::program::RecordRules::wide_program}) {
    const bool wide = rules == wdist::program::RecordRules::wide_program;
    std::FILE* f = stream_of("?1 2 2\n11\n? 2 2 2\n1");
    wdist::program::ProgramRecordReader reader(f, rules, true);
    wdist::Record record;
    ASSERT_EQ(reader.next(record), wdist::RecordStatus::ok);
    EXPECT_TRUE(reader.matrix_read());
    EXPECT_EQ(reader.next(record), wdist::RecordStatus::truncated);
    EXPECT_TRUE(reader.matrix_read());
    std::fclose(f);

    std::string rows;
    for (int i = 0; i < 33; ++i) rows += "1\n";
    f = stream_of("? 1 2 3\n15\n? 33 1 3\n" + rows);
    wdist::program::ProgramRecordReader second(f, rules, true);
    EXPECT_EQ(second.next(record), wdist::RecordStatus::refused);
    EXPECT_TRUE(second.matrix_read()) << "an entry of q or more is read to the record's end";
    const wdist::RecordStatus big = second.next(record);
    if (wide) {
      EXPECT_EQ(big, wdist::RecordStatus::refused);
      EXPECT_EQ(record.reason, "k = 33, the projective layout takes k <= 32");
      EXPECT_FALSE(second.matrix_read());
    } else {
      EXPECT_EQ(big, wdist::RecordStatus::ok);
      EXPECT_TRUE(second.matrix_read());
    }
    EXPECT_EQ(second.next(record), wdist::RecordStatus::end);
    EXPECT_FALSE(second.matrix_read());
    std::fclose(f);
  }
}

}  // namespace
