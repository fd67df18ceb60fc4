// The library's 64-bit hash, for telling inputs apart and noticing damage:
// the identity of a plan (PlanSummary::identity), and in the program wdist
// the identity of a run and the checksum of its checkpoints. It is not
// cryptographic: it finds accidents, not forgeries.
//
// The hash takes FNV-1a's offset basis and prime, but eight bytes a step
// where FNV-1a takes one. The bytes are read as little-endian 64-bit words
// w, from the first byte on, and each word is one step
//
//     h = (h ^ w) * 0x100000001b3;   h ^= h >> 29;
//
// A product carries each bit of w only into the bits above it; the shift
// brings the high bits back down, for the next product to spread over the
// whole word. (FNV-1a needs no such fold: a byte enters at the bottom.) The
// last bytes, fewer than eight, are taken one a step as FNV-1a takes them,
// h = (h ^ b) * 0x100000001b3. So it is not FNV-1a and has none of FNV-1a's
// values, and it hashes about eight times as fast (a plan hashes the rows
// of every small record of a file). Its value depends on the bytes alone,
// not on how they are cut into calls of add().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace wdist {

class Hasher {
 public:
  void add(const void* bytes, std::size_t size) {
    const auto* b = static_cast<const unsigned char*>(bytes);
    if (pending_size_ > 0) {
      const std::size_t take = size < 8 - pending_size_ ? size : 8 - pending_size_;
      std::memcpy(pending_ + pending_size_, b, take);
      pending_size_ += take;
      b += take;
      size -= take;
      if (pending_size_ < 8) return;
      h_ = step(h_, word(pending_));
      pending_size_ = 0;
    }
    for (; size >= 8; b += 8, size -= 8) h_ = step(h_, word(b));
    if (size > 0) std::memcpy(pending_, b, size);
    pending_size_ = size;
  }
  // The bytes of a value as this machine holds them: for identities that
  // are compared on machines of one kind.
  template <class T>
  void add_value(const T& v) {
    static_assert(std::is_trivially_copyable<T>::value, "a value hashed by its bytes");
    add(&v, sizeof v);
  }
  // Its length first, so that texts hashed one after another stay apart.
  void add_text(const std::string& s) {
    add_value(static_cast<std::uint64_t>(s.size()));
    add(s.data(), s.size());
  }
  // The hash of the bytes added so far (more may be added after).
  [[nodiscard]] std::uint64_t value() const {
    std::uint64_t h = h_;
    for (std::size_t i = 0; i < pending_size_; ++i) h = (h ^ pending_[i]) * kPrime;
    return h;
  }

 private:
  static constexpr std::uint64_t kBasis = 14695981039346656037ULL;
  static constexpr std::uint64_t kPrime = 1099511628211ULL;
  static std::uint64_t word(const unsigned char* b) {
    std::uint64_t w = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&w, b, sizeof w);  // one load: the plan of a small record hashes its rows
#else
    for (int i = 7; i >= 0; --i) w = (w << 8) | b[i];
#endif
    return w;
  }
  static std::uint64_t step(std::uint64_t h, std::uint64_t w) {
    h = (h ^ w) * kPrime;
    return h ^ (h >> 29);
  }
  std::uint64_t h_ = kBasis;
  unsigned char pending_[8] = {};  // the bytes after the last whole word
  std::size_t pending_size_ = 0;
};

}  // namespace wdist
