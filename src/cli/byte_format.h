// The program's one byte format, for everything it writes for itself to
// read back: its checkpoints (checkpoint.h), the spool of its output, and
// the messages between the ranks of an MPI job (cluster_messages.h).
//
// Every number is little-endian of fixed width: a byte, or a 64-bit word
// (a double by its bits); a text or a list of words is its length as a
// word, then its bytes or words. A reader checks every length against the
// bytes that are left before it takes anything sized by it, so that no
// input, however damaged, makes it read past its end or take more memory
// than the input's own size.
//
// Over it, once each: a Status, the progress of a record's units
// (wdist::UnitProgress, the one record of units done and their tally), and
// the frame of a piece of the spool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wdist/executor.h"

namespace wdist::cli {

class ByteWriter {
 public:
  void u8(std::uint8_t v) { bytes_.push_back(v); }
  void u64(std::uint64_t v);
  void f64(double v);
  void bytes(const void* data, std::size_t size);
  void text(const std::string& s);
  void words(const std::vector<std::uint64_t>& w);
  [[nodiscard]] const std::vector<unsigned char>& data() const { return bytes_; }
  std::vector<unsigned char> take() { return std::move(bytes_); }

 private:
  std::vector<unsigned char> bytes_;
};

// Reads from bytes it does not own. Each call is false, and reads nothing,
// when the bytes left do not hold what it reads.
class ByteReader {
 public:
  ByteReader(const unsigned char* data, std::size_t size) : data_(data), left_(size) {}
  explicit ByteReader(const std::vector<unsigned char>& bytes) : ByteReader(bytes.data(), bytes.size()) {}
  bool u8(std::uint8_t& v);
  bool u64(std::uint64_t& v);
  bool f64(double& v);
  bool bytes(void* data, std::size_t size);
  bool text(std::string& s);
  bool words(std::vector<std::uint64_t>& w);
  [[nodiscard]] std::size_t left() const { return left_; }

 private:
  const unsigned char* data_;
  std::size_t left_;
};

// A status: its code, then its message.
void write_status(ByteWriter& out, const Status& status);
bool read_status(ByteReader& in, Status& status);

// A record's units done: the plan's identity and units, the ranges done
// (their number, then first and count of each), the time, the tally.
// read_progress takes ranges in increasing order within the units, none
// empty and none overlapping, and nothing else; whether they fit a plan is
// for the executor to say (Job::restore, Executor::add_units_done).
void write_progress(ByteWriter& out, const UnitProgress& progress);
bool read_progress(ByteReader& in, UnitProgress& progress);

// A piece of the output in the spool: its stream ('o' standard output,
// 'e' standard error) and its length in a head of kFrameHead bytes, then
// the text.
inline constexpr std::size_t kFrameHead = 9;
void write_frame_head(char stream, std::uint64_t length, unsigned char head[kFrameHead]);
// False when the head is not one of a piece.
bool read_frame_head(const unsigned char head[kFrameHead], char& stream, std::uint64_t& length);

// Judges a stream of pieces handed over in chunks of any size, as a
// checkpoint's output is read.
class FrameCheck {
 public:
  // False once the bytes so far are not pieces.
  bool take(const char* bytes, std::size_t size);
  // Whether the bytes taken are whole pieces.
  [[nodiscard]] bool whole() const { return ok_ && head_taken_ == 0 && text_left_ == 0; }

 private:
  bool ok_ = true;
  unsigned char head_[kFrameHead] = {};
  std::size_t head_taken_ = 0;
  std::uint64_t text_left_ = 0;
};

}  // namespace wdist::cli
