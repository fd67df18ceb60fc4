// The stabilizer record reader (wdist/stabilizer.h): what it takes, what it
// refuses and why, and that reading goes on with the next record after a
// refusal, ends at a truncated record, and fails on a read error.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/pauli_ref.h"
#include "support/stabilizer_codes.h"
#include "wdist/stabilizer.h"

namespace {

using namespace wdist_test;

std::FILE* stream_of(const std::string& text, std::size_t buffer = 0) {
  std::FILE* f = std::tmpfile();
  if (buffer != 0) std::setvbuf(f, nullptr, _IOFBF, buffer);
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

struct Read {
  wdist::RecordStatus status;
  wdist::StabilizerRecord record;
};

// Every record of `text`, up to the end (which is not listed).
std::vector<Read> read_all(const std::string& text, wdist::GroupKind kind = wdist::GroupKind::stabilizer,
                           std::size_t buffer = 0) {
  std::FILE* f = stream_of(text, buffer);
  wdist::StabilizerReader reader(f, kind);
  std::vector<Read> reads;
  for (int guard = 0; guard < 1000; ++guard) {
    Read r{};
    r.status = reader.next(r.record);
    if (r.status == wdist::RecordStatus::end) break;
    reads.push_back(std::move(r));
  }
  std::fclose(f);
  return reads;
}

// The generators the texts stand for.
std::vector<std::uint8_t> bits_of(const std::vector<std::string>& texts) {
  wdist::PauliGenerators g;
  EXPECT_TRUE(wdist::parse_generators(texts, 0, g));
  return g.bits;
}

// The reason the first record of `text` is refused for; the record after it
// (a Bell pair) must then be read.
std::string refusal(const std::string& text, wdist::GroupKind kind = wdist::GroupKind::stabilizer) {
  const std::vector<Read> reads = read_all(text + "\n? 2 2\nXX\nZZ\n", kind);
  if (reads.size() != 2 || reads[0].status != wdist::RecordStatus::refused) return "<not refused>";
  EXPECT_EQ(reads[1].status, wdist::RecordStatus::ok) << reads[1].record.reason;
  EXPECT_EQ(reads[1].record.number, 2);
  EXPECT_EQ(reads[1].record.generators.bits, bits_of({"XX", "ZZ"}));
  return reads[0].record.reason;
}

TEST(StabilizerRecords, RecordsInEveryNotationBetweenText) {
  const std::string text =
      "the five-qubit code\n"
      "? 4 5 4\n"          // a third number is ignored
      "XZZXI\n"
      "\n"                 // blank lines between rows are skipped
      "  ixzzx  \r\n"     // blanks and a carriage return around a row
      "\t \r\n"
      "+XIXZZ\n"
      "-i10100 01010\n"   // not a row of this record: blanks inside are refused below
      "and text between records\n"
      "?\n2\n4\n"          // a head spread over lines
      "11110000\n"
      "00001111";          // the last row ends the input without a newline
  const std::vector<Read> reads = read_all(text);
  ASSERT_EQ(reads.size(), 2U);
  ASSERT_EQ(reads[0].status, wdist::RecordStatus::refused);
  EXPECT_EQ(reads[0].record.reason, "generator 4, column 8: ' ' is not 0 or 1 (a generator starting with a digit is "
                                    "in the binary form)");
  ASSERT_EQ(reads[1].status, wdist::RecordStatus::ok) << reads[1].record.reason;
  EXPECT_EQ(reads[1].record.number, 2);
  EXPECT_EQ(reads[1].record.generators.n, 4);
  EXPECT_EQ(reads[1].record.generators.r, 2);
  EXPECT_EQ(reads[1].record.generators.bits, bits_of({"XXXX", "ZZZZ"}));

  const std::vector<Read> fixed = read_all("? 4 5\nXZZXI\n\n  ixzzx  \r\n+XIXZZ\n-i0101010001\n");
  ASSERT_EQ(fixed.size(), 1U);
  ASSERT_EQ(fixed[0].status, wdist::RecordStatus::ok) << fixed[0].record.reason;
  EXPECT_EQ(fixed[0].record.generators.bits, bits_of(five_qubit_code()));
  EXPECT_EQ(fixed[0].record.generators.n, 5);
  EXPECT_EQ(fixed[0].record.generators.r, 4);
}

TEST(StabilizerRecords, KnownCodesReadBackWhateverTheBuffer) {
  std::string text;
  const std::vector<KnownStabilizer> codes = known_stabilizer_codes();
  for (const KnownStabilizer& code : codes) {
    text += "? " + std::to_string(code.generators.size()) + " " + std::to_string(code.n) + "\n";
    for (const std::string& g : code.generators) text += g + "\n";
  }
  for (const std::size_t buffer : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{64}}) {
    const std::vector<Read> reads = read_all(text, wdist::GroupKind::stabilizer, buffer);
    ASSERT_EQ(reads.size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
      ASSERT_EQ(reads[i].status, wdist::RecordStatus::ok) << codes[i].name << ": " << reads[i].record.reason;
      EXPECT_EQ(reads[i].record.generators.bits, bits_of(codes[i].generators)) << codes[i].name;
    }
  }
}

TEST(StabilizerRecords, HeadsThatAreNotAStabilizerCode) {
  const std::string big = "99999999999999999999999";
  EXPECT_EQ(refusal("? x 5\nXZZXI"), "its head does not hold two numbers r n");
  EXPECT_EQ(refusal("? 4\nXZZXI"), "its head does not hold two numbers r n");
  EXPECT_EQ(refusal("? 0 5\n"), "r = 0, the number of generators must be at least 1");
  EXPECT_EQ(refusal("? -" + big + " 5\n"), "r = -" + big + ", the number of generators must be at least 1");
  EXPECT_EQ(refusal("? " + big + " 5\n"), "r = " + big + ", the number of generators does not fit a 32-bit integer");
  EXPECT_EQ(refusal("? 2147483648 5\n"), "r = 2147483648, the number of generators does not fit a 32-bit integer");
  EXPECT_EQ(refusal("? 2 0\n"), "n = 0, the number of qubits must lie in 1 .. 715827882");
  EXPECT_EQ(refusal("? 2 715827883\n"), "n = 715827883, the number of qubits must lie in 1 .. 715827882");
  EXPECT_EQ(refusal("? 2 " + big + "\n"), "n = " + big + ", the number of qubits must lie in 1 .. 715827882");
}

TEST(StabilizerRecords, MalformedGeneratorsNameTheirLineColumnAndCharacter) {
  EXPECT_EQ(refusal("? 2 5\nXZZXI\nXZQXI\n"), "generator 2, column 3: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("? 1 5\n \t XZQXI\n"), "generator 1, column 6: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("? 2 5\nXZZXI\nXZZX\n"), "generator 2 has 4 letters, not n = 5");
  EXPECT_EQ(refusal("? 1 2\n101\n"), "generator 1 has 3 binary digits, not 2n = 4");
  // The rest of a refused record's rows are text between records.
  EXPECT_EQ(refusal("? 3 2\nXQ\nXX\nZZ\n"), "generator 1, column 2: 'Q' is not a Pauli letter (I, X, Y, Z)");
  // A record cut short by the next one: that one is read.
  EXPECT_EQ(refusal("? 3 5\nXZZXI\n"), "it ends after 1 of its 3 generators");
  const std::vector<Read> reads = read_all("? 3 5\n\n  ? 1 1\nX\n");
  ASSERT_EQ(reads.size(), 2U);
  EXPECT_EQ(reads[0].record.reason, "it ends after 0 of its 3 generators");
  EXPECT_EQ(reads[1].status, wdist::RecordStatus::ok);
}

TEST(StabilizerRecords, ARowLongerThanAnyGeneratorIsNotStored) {
  EXPECT_EQ(refusal("? 1 2\n" + std::string(100, 'X')),
            "generator 1 has 100 characters, more than an operator on n = 2 qubits can");
  EXPECT_EQ(refusal("? 1 2\n" + std::string(5, 'X') + "Q" + std::string(50, 'X')),
            "generator 1, column 6: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("? 1 2\n-i1010" + std::string(10, ' ') + "1"),
            "generator 1 has 17 characters, more than an operator on n = 2 qubits can");
  // Blanks after a generator are blanks however many.
  const std::vector<Read> reads = read_all("? 1 2\n-i1010" + std::string(1000, ' ') + "\r\n");
  ASSERT_EQ(reads.size(), 1U);
  EXPECT_EQ(reads[0].status, wdist::RecordStatus::ok) << reads[0].record.reason;
}

TEST(StabilizerRecords, GeneratorsThatDoNotCommuteAreRefusedForAStabilizerOnly) {
  EXPECT_EQ(refusal("? 3 2\nXX\nZZ\nZI\n"), "generators 1 and 3 do not commute");
  EXPECT_EQ(refusal("? 3 2\nXX\nZZ\nZI\n", wdist::GroupKind::additive), "<not refused>");
  const std::vector<Read> reads = read_all("? 3 2\nXX\nZZ\nZI\n", wdist::GroupKind::additive);
  ASSERT_EQ(reads.size(), 1U);
  EXPECT_EQ(reads[0].status, wdist::RecordStatus::ok);
  EXPECT_EQ(reads[0].record.generators.r, 3);
}

TEST(StabilizerRecords, TheInputEndingInsideARecordEndsTheReading) {
  for (const std::string text : {"?", "? 3", "? 3 5", "? 3 5\nXZZXI\nIXZZX\n", "? 3 5\nXZZXI\n\n  \n"}) {
    const std::vector<Read> reads = read_all("? 1 1\nX\n" + text);
    ASSERT_EQ(reads.size(), 2U) << text;
    EXPECT_EQ(reads[0].status, wdist::RecordStatus::ok);
    EXPECT_EQ(reads[1].status, wdist::RecordStatus::truncated) << text;
    EXPECT_TRUE(reads[1].record.generators.bits.empty());
  }
  // A head's claim is only a claim: rows are stored as they come.
  const std::vector<Read> reads = read_all("? 2000000000 1\nX\nZ\nY\n");
  ASSERT_EQ(reads.size(), 1U);
  EXPECT_EQ(reads[0].status, wdist::RecordStatus::truncated);
  // Nor is a row's length: 10^6 rows of 10^6 qubits claimed, one short row
  // read and refused without the 2 * 10^12 bits.
  EXPECT_EQ(refusal("? 1000000 1000000\nXZ\n"), "generator 1 has 2 letters, not n = 1000000");
}

TEST(StabilizerRecords, AReadErrorFails) {
  std::FILE* f = std::fopen("/dev/null", "w");  // reading it is an error
  ASSERT_NE(f, nullptr);
  wdist::StabilizerReader reader(f);
  wdist::StabilizerRecord record;
  EXPECT_EQ(reader.next(record), wdist::RecordStatus::failed);
  EXPECT_EQ(reader.next(record), wdist::RecordStatus::end);
  std::fclose(f);
}

TEST(StabilizerRecords, RandomGroupsReadBackAsWritten) {
  std::mt19937_64 rng(2207);
  std::string text;
  std::vector<std::vector<std::uint8_t>> expected;
  for (int record = 0; record < 50; ++record) {
    const int n = 1 + static_cast<int>(rng() % 30);
    const int r = 1 + static_cast<int>(rng() % 6);
    PauliList list{n, {}};
    // Z-type and X-type rows on disjoint halves commute.
    for (int i = 0; i < r; ++i) {
      PauliOp op;
      for (int j = 0; j < n; ++j)
        if (rng() % 2 != 0) (j % 2 == 0 ? op.x : op.z) |= std::uint32_t{1} << j;
      list.ops.push_back(op);
    }
    text += "garbage " + std::to_string(record) + "\n? " + std::to_string(r) + " " + std::to_string(n) + "\n";
    const std::vector<std::string> texts = pauli_texts(list);
    const std::vector<std::uint8_t> bits = symplectic_bits(list);
    for (int i = 0; i < r; ++i) {
      if (rng() % 3 == 0) {
        for (int j = 0; j < 2 * n; ++j) text += static_cast<char>('0' + bits[static_cast<std::size_t>(i * 2 * n + j)]);
      } else {
        text += std::string(rng() % 3, ' ') + "+-"[rng() % 2] + texts[static_cast<std::size_t>(i)];
      }
      text += rng() % 4 == 0 ? "\r\n\n" : "\n";
    }
    expected.push_back(bits);
  }
  const std::vector<Read> reads = read_all(text, wdist::GroupKind::stabilizer, 7);
  ASSERT_EQ(reads.size(), expected.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    ASSERT_EQ(reads[i].status, wdist::RecordStatus::ok) << i << ": " << reads[i].record.reason;
    EXPECT_EQ(reads[i].record.generators.bits, expected[i]) << i;
  }
}

}  // namespace
