#include "cli/cluster_messages.h"

#include "cli/byte_format.h"

namespace wdist::cli {

namespace {

// The fewest bytes an entry takes: a bound on the entries a message of so
// many bytes can hold, checked before they are made.
constexpr std::size_t kDealEntryBytes = 8 + 1 + 8 + 8 + 8 + 8 + 8;
constexpr std::size_t kReplyEntryBytes = 8 + 1 + 8 + 8 + 8;

}  // namespace

std::vector<unsigned char> encode_deal(const Deal& deal) {
  ByteWriter out;
  out.u64(deal.oldest_item);
  out.u64(deal.entries.size());
  for (const DealEntry& e : deal.entries) {
    out.u64(e.item);
    out.u8(e.whole ? 1 : 0);
    out.u64(e.plan_identity);
    out.u64(e.units.first);
    out.u64(e.units.count);
    out.u64(e.search_level);
    out.u64(static_cast<std::uint64_t>(e.lightest));
  }
  return out.take();
}

bool decode_deal(const std::vector<unsigned char>& bytes, Deal& deal) {
  ByteReader in(bytes);
  std::uint64_t count = 0;
  if (!in.u64(deal.oldest_item) || !in.u64(count) || count > in.left() / kDealEntryBytes) return false;
  deal.entries.resize(static_cast<std::size_t>(count));
  for (DealEntry& e : deal.entries) {
    std::uint8_t whole = 0;
    std::uint64_t lightest = 0;
    if (!in.u64(e.item) || !in.u8(whole) || whole > 1 || !in.u64(e.plan_identity) || !in.u64(e.units.first) ||
        !in.u64(e.units.count) || !in.u64(e.search_level) || !in.u64(lightest))
      return false;
    e.whole = whole != 0;
    e.lightest = static_cast<std::int64_t>(lightest);
  }
  return in.left() == 0;
}

std::vector<unsigned char> encode_reply(const std::vector<ReplyEntry>& reply) {
  ByteWriter out;
  out.u64(reply.size());
  for (const ReplyEntry& e : reply) {
    out.u64(e.item);
    out.u8(e.whole ? 1 : 0);
    write_status(out, e.status);
    if (e.whole)
      out.text(e.output);
    else
      write_progress(out, e.progress);
  }
  return out.take();
}

bool decode_reply(const std::vector<unsigned char>& bytes, std::vector<ReplyEntry>& reply) {
  ByteReader in(bytes);
  std::uint64_t count = 0;
  if (!in.u64(count) || count > in.left() / kReplyEntryBytes) return false;
  reply.assign(static_cast<std::size_t>(count), ReplyEntry{});
  for (ReplyEntry& e : reply) {
    std::uint8_t whole = 0;
    if (!in.u64(e.item) || !in.u8(whole) || whole > 1 || !read_status(in, e.status)) return false;
    e.whole = whole != 0;
    if (e.whole ? !in.text(e.output) : !read_progress(in, e.progress)) return false;
  }
  return in.left() == 0;
}

}  // namespace wdist::cli
