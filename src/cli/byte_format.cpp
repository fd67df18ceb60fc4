#include "cli/byte_format.h"

#include <bit>
#include <cstring>

namespace wdist::cli {

void ByteWriter::u64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void ByteWriter::f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }

void ByteWriter::bytes(const void* data, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(data);
  bytes_.insert(bytes_.end(), b, b + size);
}

void ByteWriter::text(const std::string& s) {
  u64(s.size());
  bytes(s.data(), s.size());
}

void ByteWriter::words(const std::vector<std::uint64_t>& w) {
  u64(w.size());
  const std::size_t at = bytes_.size();
  bytes_.resize(at + 8 * w.size());
  // A tally of a long code has millions of words: as one copy where the
  // machine's order is the format's.
  if constexpr (std::endian::native == std::endian::little) {
    if (!w.empty()) std::memcpy(bytes_.data() + at, w.data(), 8 * w.size());
  } else {
    for (std::size_t i = 0; i < w.size(); ++i)
      for (std::size_t b = 0; b < 8; ++b) bytes_[at + 8 * i + b] = static_cast<unsigned char>(w[i] >> (8 * b));
  }
}

bool ByteReader::u8(std::uint8_t& v) {
  if (left_ < 1) return false;
  v = *data_++;
  --left_;
  return true;
}

bool ByteReader::u64(std::uint64_t& v) {
  if (left_ < 8) return false;
  v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | data_[i];
  data_ += 8;
  left_ -= 8;
  return true;
}

bool ByteReader::f64(double& v) {
  std::uint64_t bits = 0;
  if (!u64(bits)) return false;
  v = std::bit_cast<double>(bits);
  return true;
}

bool ByteReader::bytes(void* data, std::size_t size) {
  if (left_ < size) return false;
  if (size != 0) std::memcpy(data, data_, size);
  data_ += size;
  left_ -= size;
  return true;
}

bool ByteReader::text(std::string& s) {
  const unsigned char* at = data_;
  const std::size_t left_before = left_;
  std::uint64_t size = 0;
  if (!u64(size) || size > left_) {
    data_ = at;
    left_ = left_before;
    return false;
  }
  s.assign(reinterpret_cast<const char*>(data_), static_cast<std::size_t>(size));
  data_ += size;
  left_ -= static_cast<std::size_t>(size);
  return true;
}

bool ByteReader::words(std::vector<std::uint64_t>& w) {
  const unsigned char* at = data_;
  const std::size_t left_before = left_;
  std::uint64_t count = 0;
  if (!u64(count) || count > left_ / 8) {
    data_ = at;
    left_ = left_before;
    return false;
  }
  w.resize(static_cast<std::size_t>(count));
  if constexpr (std::endian::native == std::endian::little) {
    if (count != 0) std::memcpy(w.data(), data_, 8 * w.size());
    data_ += 8 * w.size();
    left_ -= 8 * w.size();
  } else {
    for (std::uint64_t& v : w) u64(v);
  }
  return true;
}

void write_status(ByteWriter& out, const Status& status) {
  out.u64(static_cast<std::uint64_t>(status.code));
  out.text(status.message);
}

bool read_status(ByteReader& in, Status& status) {
  std::uint64_t code = 0;
  if (!in.u64(code) || code > static_cast<std::uint64_t>(StatusCode::internal_error) || !in.text(status.message))
    return false;
  status.code = static_cast<StatusCode>(code);
  return true;
}

void write_progress(ByteWriter& out, const UnitProgress& progress) {
  out.u64(progress.plan_identity);
  out.u64(progress.units);
  out.u64(progress.done.size());
  for (const UnitRange& r : progress.done) {
    out.u64(r.first);
    out.u64(r.count);
  }
  out.f64(progress.busy_seconds);
  out.words(progress.total.counts);
}

bool read_progress(ByteReader& in, UnitProgress& progress) {
  progress = UnitProgress{};
  std::uint64_t ranges = 0;
  if (!in.u64(progress.plan_identity) || !in.u64(progress.units) || !in.u64(ranges) || ranges > in.left() / 16)
    return false;
  progress.done.resize(static_cast<std::size_t>(ranges));
  std::uint64_t end = 0;
  for (UnitRange& r : progress.done) {
    if (!in.u64(r.first) || !in.u64(r.count)) return false;
    if (r.count == 0 || r.first < end || r.first > progress.units || r.count > progress.units - r.first) return false;
    end = r.first + r.count;
  }
  return in.f64(progress.busy_seconds) && in.words(progress.total.counts);
}

void write_frame_head(char stream, std::uint64_t length, unsigned char head[kFrameHead]) {
  head[0] = static_cast<unsigned char>(stream);
  for (std::size_t i = 0; i < 8; ++i) head[1 + i] = static_cast<unsigned char>(length >> (8 * i));
}

bool read_frame_head(const unsigned char head[kFrameHead], char& stream, std::uint64_t& length) {
  if (head[0] != 'o' && head[0] != 'e') return false;
  stream = static_cast<char>(head[0]);
  ByteReader in(head + 1, 8);
  return in.u64(length);
}

bool FrameCheck::take(const char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size && ok_;) {
    if (text_left_ > 0) {
      const std::uint64_t skip = std::min<std::uint64_t>(text_left_, size - i);
      text_left_ -= skip;
      i += static_cast<std::size_t>(skip);
      continue;
    }
    head_[head_taken_++] = static_cast<unsigned char>(bytes[i++]);
    if (head_taken_ < kFrameHead) continue;
    head_taken_ = 0;
    char stream = 0;
    ok_ = read_frame_head(head_, stream, text_left_);
  }
  return ok_;
}

}  // namespace wdist::cli
