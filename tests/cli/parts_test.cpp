// The program's parts on their own, without running the program: the byte
// format of checkpoints, spool and MPI messages, the messages between
// ranks, the progress line, the command line, the output formats, the
// input items, batches of small records and the output window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/byte_format.h"
#include "cli/cluster_messages.h"
#include "cli/formats.h"
#include "cli/items.h"
#include "cli/progress.h"
#include "cli/settings.h"
#include "cli/window.h"
#include "wdist/hash.h"
#include "wdist/wdist.h"

namespace {

using namespace wdist::cli;

wdist::UnitProgress sample_progress() {
  wdist::UnitProgress p;
  p.plan_identity = 0xfedcba9876543210ULL;
  p.units = 40;
  p.done = {{0, 3}, {5, 1}, {30, 10}};
  p.total.counts = {1, 2, 1ULL << 63, 0, 77};
  p.busy_seconds = 2.5;
  return p;
}

void expect_same(const wdist::UnitProgress& a, const wdist::UnitProgress& b) {
  EXPECT_EQ(a.plan_identity, b.plan_identity);
  EXPECT_EQ(a.units, b.units);
  ASSERT_EQ(a.done.size(), b.done.size());
  for (std::size_t i = 0; i < a.done.size(); ++i) {
    EXPECT_EQ(a.done[i].first, b.done[i].first) << i;
    EXPECT_EQ(a.done[i].count, b.done[i].count) << i;
  }
  EXPECT_EQ(a.total.counts, b.total.counts);
  EXPECT_EQ(a.busy_seconds, b.busy_seconds);
}

std::vector<unsigned char> progress_bytes(const wdist::UnitProgress& p) {
  ByteWriter out;
  write_progress(out, p);
  return out.take();
}

bool read_back(const std::vector<unsigned char>& bytes, wdist::UnitProgress& p) {
  ByteReader in(bytes);
  return read_progress(in, p) && in.left() == 0;
}

// Numbers little-endian of fixed width, whatever the machine: the first
// bytes of a word are its low ones.
TEST(ByteFormat, WordsAreLittleEndianOfFixedWidth) {
  ByteWriter out;
  out.u64(0x0102030405060708ULL);
  out.u8(9);
  out.text("ab");
  const std::vector<unsigned char> expected = {8, 7, 6, 5, 4, 3, 2, 1, 9, 2, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'};
  EXPECT_EQ(out.data(), expected);
  ByteReader in(expected);
  std::uint64_t v = 0;
  std::uint8_t b = 0;
  std::string s;
  ASSERT_TRUE(in.u64(v) && in.u8(b) && in.text(s));
  EXPECT_EQ(v, 0x0102030405060708ULL);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(s, "ab");
  EXPECT_EQ(in.left(), 0u);
  EXPECT_FALSE(in.u8(b)) << "nothing is left";
}

TEST(ByteFormat, ProgressAndStatusReadBackAsWritten) {
  wdist::UnitProgress got;
  ASSERT_TRUE(read_back(progress_bytes(sample_progress()), got));
  expect_same(got, sample_progress());
  ByteWriter out;
  write_status(out, wdist::Status{wdist::StatusCode::too_much_work, "too much"});
  ByteReader in(out.data());
  wdist::Status s;
  ASSERT_TRUE(read_status(in, s));
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work);
  EXPECT_EQ(s.message, "too much");
}

// Cut anywhere, a progress is refused, never read in part as whole.
TEST(ByteFormat, AProgressCutShortIsRefusedAtEveryLength) {
  const std::vector<unsigned char> bytes = progress_bytes(sample_progress());
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    ByteReader in(bytes.data(), size);
    wdist::UnitProgress p;
    EXPECT_FALSE(read_progress(in, p)) << size;
  }
}

// Ranges out of order, overlapping, empty or beyond the units are not
// progress; lengths beyond the bytes left are refused before anything
// is sized by them.
TEST(ByteFormat, RangesOutOfOrderAndHugeLengthsAreRefused) {
  const auto refused = [](const wdist::UnitProgress& p) {
    wdist::UnitProgress got;
    return !read_back(progress_bytes(p), got);
  };
  wdist::UnitProgress p = sample_progress();
  p.done = {{5, 1}, {0, 3}};
  EXPECT_TRUE(refused(p)) << "out of order";
  p.done = {{0, 3}, {2, 2}};
  EXPECT_TRUE(refused(p)) << "overlapping";
  p.done = {{0, 0}};
  EXPECT_TRUE(refused(p)) << "empty";
  p.done = {{39, 2}};
  EXPECT_TRUE(refused(p)) << "beyond the units";
  p.done = {{39, 1}};
  EXPECT_FALSE(refused(p)) << "the last unit";

  ByteWriter huge;
  huge.u64(1);
  huge.u64(10);
  huge.u64(UINT64_MAX);  // ranges
  ByteReader in(huge.data());
  wdist::UnitProgress got;
  EXPECT_FALSE(read_progress(in, got));
  ByteWriter text;
  text.u64(UINT64_MAX);
  ByteReader text_in(text.data());
  std::string s;
  EXPECT_FALSE(text_in.text(s));
  EXPECT_EQ(text_in.left(), 8u) << "a refused read takes nothing";
  ByteWriter status;
  status.u64(99);  // no such code
  status.text("x");
  ByteReader status_in(status.data());
  wdist::Status st;
  EXPECT_FALSE(read_status(status_in, st));
}

// The spool's pieces judged in chunks of any size: whole pieces only,
// each of the two streams.
TEST(ByteFormat, FramesAreJudgedInChunksOfAnySize) {
  std::string spool;
  for (const auto& [stream, text] : std::vector<std::pair<char, std::string>>{{'o', "out\n"}, {'e', ""}, {'e', "err"}}) {
    unsigned char head[kFrameHead];
    write_frame_head(stream, text.size(), head);
    spool.append(reinterpret_cast<const char*>(head), kFrameHead);
    spool += text;
  }
  for (std::size_t chunk = 1; chunk <= spool.size(); ++chunk) {
    FrameCheck check;
    for (std::size_t at = 0; at < spool.size(); at += chunk)
      ASSERT_TRUE(check.take(spool.data() + at, std::min(chunk, spool.size() - at))) << chunk;
    EXPECT_TRUE(check.whole()) << chunk;
  }
  for (std::size_t size = 1; size < spool.size(); ++size) {
    FrameCheck cut;
    cut.take(spool.data(), size);
    const bool at_a_boundary = size == kFrameHead + 4 || size == 2 * kFrameHead + 4;
    EXPECT_EQ(cut.whole(), at_a_boundary) << size;
  }
  std::string other = spool;
  other[0] = 'x';
  FrameCheck bad;
  bad.take(other.data(), other.size());
  EXPECT_FALSE(bad.whole());
  unsigned char head[kFrameHead];
  write_frame_head('o', 0x0102, head);
  char stream = 0;
  std::uint64_t length = 0;
  ASSERT_TRUE(read_frame_head(head, stream, length));
  EXPECT_EQ(stream, 'o');
  EXPECT_EQ(length, 0x0102u);
  EXPECT_EQ(head[1], 2);
  EXPECT_EQ(head[2], 1);
}

Deal sample_deal() {
  Deal deal;
  deal.oldest_item = 12;
  deal.entries = {DealEntry{12, true, 0, {}}, DealEntry{15, false, 0xabcdef, {100, 8}},
                  DealEntry{16, false, 0x1234, {3, 5}, 7, 12}};
  return deal;
}

std::vector<ReplyEntry> sample_reply() {
  std::vector<ReplyEntry> reply(3);
  reply[0].item = 12;
  reply[0].whole = true;
  reply[0].output = "a record's text\n";
  reply[1].item = 15;
  reply[1].progress = sample_progress();
  reply[2].item = 16;
  reply[2].whole = true;
  reply[2].status = wdist::Status{wdist::StatusCode::out_of_memory, "no room"};
  return reply;
}

TEST(ClusterMessages, DealsAndRepliesReadBackAsWritten) {
  Deal deal;
  ASSERT_TRUE(decode_deal(encode_deal(sample_deal()), deal));
  EXPECT_EQ(deal.oldest_item, 12u);
  ASSERT_EQ(deal.entries.size(), 3u);
  EXPECT_EQ(deal.entries[0].item, 12u);
  EXPECT_TRUE(deal.entries[0].whole);
  EXPECT_EQ(deal.entries[1].item, 15u);
  EXPECT_FALSE(deal.entries[1].whole);
  EXPECT_EQ(deal.entries[1].plan_identity, 0xabcdefu);
  EXPECT_EQ(deal.entries[1].units.first, 100u);
  EXPECT_EQ(deal.entries[1].units.count, 8u);
  EXPECT_EQ(deal.entries[1].search_level, 0u);
  EXPECT_EQ(deal.entries[1].lightest, -1);
  EXPECT_EQ(deal.entries[2].search_level, 7u);
  EXPECT_EQ(deal.entries[2].lightest, 12);

  std::vector<ReplyEntry> reply;
  ASSERT_TRUE(decode_reply(encode_reply(sample_reply()), reply));
  ASSERT_EQ(reply.size(), 3u);
  EXPECT_EQ(reply[0].output, "a record's text\n");
  EXPECT_TRUE(reply[0].status);
  EXPECT_EQ(reply[1].item, 15u);
  EXPECT_FALSE(reply[1].whole);
  expect_same(reply[1].progress, sample_progress());
  EXPECT_EQ(reply[2].status.code, wdist::StatusCode::out_of_memory);
  EXPECT_EQ(reply[2].status.message, "no room");
}

// A message cut short, with a byte more, or with a flag that is not one
// is not a deal or a reply.
TEST(ClusterMessages, DamagedMessagesAreRefused) {
  const std::vector<unsigned char> deal_bytes = encode_deal(sample_deal());
  const std::vector<unsigned char> reply_bytes = encode_reply(sample_reply());
  for (std::size_t size = 0; size < deal_bytes.size(); ++size) {
    Deal deal;
    EXPECT_FALSE(decode_deal({deal_bytes.begin(), deal_bytes.begin() + static_cast<std::ptrdiff_t>(size)}, deal))
        << size;
  }
  for (std::size_t size = 0; size < reply_bytes.size(); ++size) {
    std::vector<ReplyEntry> reply;
    EXPECT_FALSE(decode_reply({reply_bytes.begin(), reply_bytes.begin() + static_cast<std::ptrdiff_t>(size)}, reply))
        << size;
  }
  std::vector<unsigned char> longer = deal_bytes;
  longer.push_back(0);
  Deal deal;
  EXPECT_FALSE(decode_deal(longer, deal));
  std::vector<unsigned char> flag = deal_bytes;
  flag[8 + 8 + 8] = 2;  // the first entry's whole flag
  EXPECT_FALSE(decode_deal(flag, deal));
  std::vector<unsigned char> many = deal_bytes;
  many[8 + 7] = 0x10;  // an entry count beyond the bytes
  EXPECT_FALSE(decode_deal(many, deal));
}

// The progress line, on standard error: the share, the time and the time
// left, from the units done in this run alone; cleared with as many
// spaces as it took.
TEST(ProgressLine, ShowsShareAndTimeLeftFromThisRunsUnits) {
  testing::internal::CaptureStderr();
  {
    ProgressLine off(false);
    off.show("f record 1", 1, 2, 0, 3.0);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  testing::internal::CaptureStderr();
  {
    ProgressLine line(true);
    // 30 of 100 done, 10 of them before: 20 in 4 s, 70 left take 14 s.
    line.show("f record 1", 30, 100, 10, 4.0);
    line.show("f record 1", 100, 100, 10, 9.0);
    line.clear();
    line.clear();  // once cleared, nothing more
  }
  const std::string first = "wdist: f record 1:  30.0% done, 4 s, about 14 s left";
  const std::string second = "wdist: f record 1: 100.0% done, 9 s, about 0 s left";  // one shorter
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\r" + first + "\r" + second + " \r" + std::string(second.size(), ' ') + "\r")
      << "a shorter line is written over the longer with spaces";

  testing::internal::CaptureStderr();
  {
    ProgressLine line(true);
    line.show("r", 5, 10, 5, 2.0);  // nothing done here yet: no estimate
    line.show("r", 1, 0, 0, 2.0);   // no units: nothing shown
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\rwdist: r:  50.0% done, 2 s\r" + std::string(26, ' ') + "\r");
}

bool parse(std::vector<std::string> args, Settings& s, int& status, bool speak = false) {
  args.insert(args.begin(), "wdist");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  s = Settings{};
  return parse_command_line(static_cast<int>(argv.size()), argv.data(), speak, s, status);
}

TEST(Settings, OptionsAreReadIntoSettingsAndRecordOptions) {
  Settings s;
  int status = -1;
  ASSERT_TRUE(parse({"--format", "json", "--projective", "--dual", "never", "--threads", "3", "--max-work", "2^20",
                     "a", "b"},
                    s, status));
  EXPECT_EQ(s.format, Format::json);
  EXPECT_TRUE(s.projective);
  EXPECT_EQ(s.dual, wdist::DualRoute::never);
  EXPECT_EQ(s.threads, 3u);
  EXPECT_EQ(s.max_work, 0x1p20);
  EXPECT_EQ(s.files, (std::vector<std::string>{"a", "b"}));
  const wdist::Options options = record_options(s);
  EXPECT_TRUE(options.projective);
  EXPECT_EQ(options.dual, wdist::DualRoute::never);
  EXPECT_EQ(options.max_work, 0x1p20);

  ASSERT_TRUE(parse({"--max-work", "1e6", "--dual", "always", "--format", "report"}, s, status));
  EXPECT_EQ(s.max_work, 1e6);
  EXPECT_EQ(s.dual, wdist::DualRoute::always);
  EXPECT_EQ(s.format, Format::report);
  EXPECT_EQ(s.files, (std::vector<std::string>{"-"})) << "standard input without files";
}

// Usage errors end the program with exit status 2 before anything runs;
// a process that does not speak writes nothing.
TEST(Settings, UsageErrorsAreExitStatusTwo) {
  Settings s;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--max-work", "0"},
           {"--max-work", "2^63"},
           {"--max-work", "lots"},
           {"--format", "xml"},
           {"--checkpoint", "", "f"},
           {"--checkpoint", "ck"},
           {"--checkpoint", "ck", "-"},
           {"--no-such-option"}}) {
    int status = -1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parse(args, s, status)) << args[0];
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << args[0];
    EXPECT_EQ(status, 2) << args[0];
  }
  int status = -1;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(parse({"--max-work", "0"}, s, status, true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "wdist: --max-work 0: not a number of messages in 1 .. 2^62\n");
}

// The Hamming code [7, 4]: 1 7 7 1 at weights 0, 3, 4, 7.
const wdist::Code kHamming{2, 4, 7, {1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1}};

wdist::Distribution hamming() {
  wdist::Distribution d;
  EXPECT_TRUE(wdist::weight_distribution(kHamming, {}, d));
  return d;
}

// Each format writes the same text from big counts, 64-bit counts and
// nonzero counts, within its bound.
TEST(Formats, TextAndJsonOfARecordFromEachFormOfCounts) {
  const wdist::Distribution d = hamming();
  const RecordOrigin origin{"in.txt", 3};
  const std::string text = "in.txt record 3: q=2 n=7 k=4 rank=4 d=3\n  0 1\n  3 7\n  4 7\n  7 1\n\n";
  EXPECT_EQ(text_record(origin, d), text);
  std::vector<std::uint64_t> counts;
  for (const mpz_class& c : d.counts) counts.push_back(c.get_ui());
  EXPECT_EQ(text_record(origin, d, counts), text);
  const wdist::NonzeroCounts nonzero{{0, 1}, {3, 7}, {4, 7}, {7, 1}};
  EXPECT_EQ(text_record(origin, d, nonzero), text);
  const std::string json = json_record(origin, d);
  EXPECT_NE(json.find("\"file\": \"in.txt\""), std::string::npos) << json;
  EXPECT_NE(json.find("[[0, 1], [3, 7], [4, 7], [7, 1]]"), std::string::npos) << json;
  EXPECT_EQ(json.back(), '\n');
  EXPECT_EQ(json_record(origin, d, counts), json);
  EXPECT_EQ(json_record(origin, d, nonzero), json);
  for (Format f : {Format::text, Format::json}) {
    std::string out;
    ASSERT_TRUE(record_output(f, origin, kHamming, {}, 0, wdist::PlanSummary{}, d, &counts, out));
    EXPECT_EQ(out, f == Format::text ? text : json);
    EXPECT_LE(out.size(), output_bytes(f, origin, kHamming, d, &counts));
    EXPECT_LE(out.size(), output_bytes(f, origin, kHamming, d, nullptr));
  }
}

TEST(Formats, TheMatrixCapacityGrowsOnlyWhenARecordNeedsMore) {
  MatrixCapacity c;
  size_capacity(c, 4, 7);
  EXPECT_TRUE(c.held);
  EXPECT_EQ(c.rows, 4);
  EXPECT_EQ(c.cols, 16) << "columns rounded up to a multiple of 16";
  size_capacity(c, 3, 16);
  EXPECT_EQ(c.rows, 4);
  EXPECT_EQ(c.cols, 16) << "both suffice: kept";
  size_capacity(c, 5, 10);
  EXPECT_EQ(c.rows, 5);
  EXPECT_EQ(c.cols, 16) << "exactly the request";
}

std::string temp_file(const std::string& content) {
  char name[] = "/tmp/wdist_parts_XXXXXX";
  const int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
  return name;
}

// Items in input order across the inputs, numbered from 0: records, a
// refused record and an input that cannot be opened as messages in their
// places.
TEST(InputItems, RecordsAndMessagesInInputOrder) {
  const std::string first = temp_file("? 1 3 2\n101\n? 1 2 6\n12\n");
  const std::string second = temp_file("? 2 2 3\n12\n01\n");
  InputItems items({first, "/nonexistent/wdist", second}, Format::text, false, {});
  std::vector<Item> got;
  for (Item item; items.next(item);) got.push_back(std::move(item));
  ASSERT_EQ(got.size(), 4u);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].index, i);
  EXPECT_TRUE(got[0].message.empty());
  EXPECT_EQ(got[0].origin.file, first);
  EXPECT_EQ(got[0].origin.number, 1);
  EXPECT_EQ(got[0].code.n, 3);
  EXPECT_EQ(got[0].code.entries, (std::vector<std::uint8_t>{1, 0, 1}));
  EXPECT_FALSE(got[1].message.empty()) << "q = 6 is refused";
  EXPECT_EQ(got[1].origin.number, 2);
  EXPECT_FALSE(got[2].message.empty()) << "cannot be opened";
  EXPECT_EQ(got[2].origin.file, "/nonexistent/wdist");
  EXPECT_TRUE(got[3].message.empty());
  EXPECT_EQ(got[3].code.q, 3);
  EXPECT_EQ(got[3].origin.number, 1);
  std::remove(first.c_str());
  std::remove(second.c_str());
}

// A batch takes records of at most 2^16 messages not sent through the
// dual, and writes each as the format does.
TEST(RecordBatch, SmallRecordsAreComputedAndWrittenAsTheFormatDoes) {
  wdist::Options options;
  EXPECT_TRUE(batchable(kHamming, options));
  wdist::Code large{2, 17, 17, std::vector<std::uint8_t>(17 * 17, 0)};
  EXPECT_FALSE(batchable(large, options)) << "2^17 messages";
  large.k = 16;
  large.entries.resize(16 * 17);
  EXPECT_TRUE(batchable(large, options)) << "2^16 messages";
  options.dual = wdist::DualRoute::always;
  EXPECT_FALSE(batchable(kHamming, options));

  RecordBatch batch(Format::text, {});
  EXPECT_EQ(batch.add({"f", 1}, kHamming, {}), 0u);
  EXPECT_EQ(batch.add({"f", 2}, kHamming, {}), 1u);
  wdist::Options little;
  little.max_work = 8;
  RecordBatch limited(Format::text, little);
  limited.add({"f", 3}, kHamming, {});
  EXPECT_FALSE(batch.full());
  wdist::Worker worker;
  ASSERT_TRUE(batch.compute(worker));
  EXPECT_TRUE(batch.status(0));
  EXPECT_EQ(batch.take_output(0), text_record({"f", 1}, hamming()));
  EXPECT_EQ(batch.take_output(1), text_record({"f", 2}, hamming()));
  ASSERT_TRUE(limited.compute(worker)) << "a record's failure is its own";
  EXPECT_EQ(limited.status(0).code, wdist::StatusCode::too_much_work);
  RecordBatch many(Format::text, {});
  for (int i = 0; i < 31; ++i) many.add({"f", i + 1}, kHamming, {});
  EXPECT_FALSE(many.full());
  many.add({"f", 32}, kHamming, {});
  EXPECT_TRUE(many.full()) << "32 records";
}

WindowItem item_of(std::uint64_t index, std::uint64_t bytes) {
  WindowItem item;
  item.index = index;
  item.bytes = bytes;
  item.message = "m";
  return item;
}

// The window holds items up to its count and its bytes, except that an
// empty window always takes one; the oldest item is the head's.
TEST(OutputWindow, BoundedInItemsAndBytesAndAlwaysTakesOne) {
  OutputWindow window(2, 100);
  EXPECT_TRUE(window.has_room(1000)) << "empty";
  EXPECT_EQ(window.oldest_item(7), 7u);
  window.push(item_of(7, 60));
  EXPECT_TRUE(window.has_room(40));
  EXPECT_FALSE(window.has_room(41));
  window.push(item_of(8, 10));
  EXPECT_FALSE(window.has_room(0)) << "two items";
  EXPECT_EQ(window.oldest_item(9), 7u);
  window.pop();
  EXPECT_EQ(window.head().index, 8u);
  EXPECT_TRUE(window.has_room(90));
  EXPECT_FALSE(window.has_room(91)) << "the popped item's bytes are let go, the others' kept";
  EXPECT_TRUE(window.records_in_progress().empty()) << "messages have no units";
}

}  // namespace

namespace {

// The hash as its header defines it, a byte at a time: little-endian words
// from the first byte, each folded after its product, the last bytes one
// a step.
std::uint64_t reference_hash(const std::vector<unsigned char>& bytes) {
  std::uint64_t h = 14695981039346656037ULL;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w = 0;
    for (int b = 7; b >= 0; --b) w = (w << 8) | bytes[i + static_cast<std::size_t>(b)];
    h = (h ^ w) * 1099511628211ULL;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * 1099511628211ULL;
  return h;
}

// The one hash of plans and checkpoints: its value is that of its
// definition, whatever pieces the bytes come in.
TEST(Hash, TheValueOfItsDefinitionWhateverThePieces) {
  std::mt19937_64 rng(3);
  for (std::size_t size : {0U, 1U, 7U, 8U, 9U, 15U, 16U, 17U, 100U, 1000U}) {
    std::vector<unsigned char> bytes(size);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
    const std::uint64_t expected = reference_hash(bytes);
    wdist::Hasher whole;
    whole.add(bytes.data(), bytes.size());
    EXPECT_EQ(whole.value(), expected) << size;
    for (int trial = 0; trial < 20; ++trial) {
      wdist::Hasher pieces;
      for (std::size_t at = 0; at < size;) {
        const std::size_t piece = std::min<std::size_t>(size - at, rng() % 12);
        pieces.add(bytes.data() + at, piece);
        at += piece;
        EXPECT_EQ(pieces.value(), reference_hash({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at)}));
      }
      EXPECT_EQ(pieces.value(), expected) << size;
    }
  }
  wdist::Hasher a, b;
  a.add_text("ab");
  a.add_text("c");
  b.add_text("a");
  b.add_text("bc");
  EXPECT_NE(a.value(), b.value()) << "texts stay apart";
}

}  // namespace
