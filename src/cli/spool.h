// The spool of a run with a checkpoint: a copy of its output as it is
// written, every piece in a frame that names its stream (byte_format.h), so
// that a checkpoint holds the output of the items finished (the spool's
// first bytes) and a resumed run writes it again to each stream as it was.
// The file is the checkpoint's FILE.spool, which CheckpointHold opens.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace wdist::cli {

class Spool {
 public:
  // Takes over `file` (read and write, at its start).
  explicit Spool(std::FILE* file) : file_(file) {}
  ~Spool() { close(); }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  Spool(Spool&&) = delete;
  Spool& operator=(Spool&&) = delete;

  // Appends a piece for `stream` ('o' or 'e'). A failed write is kept for
  // failed(); the bytes are counted all the same.
  void append(char stream, const std::string& text);
  // Writes the pieces of the spool's first `bytes` bytes, which a resumed
  // checkpoint's output put there, to standard output and standard error;
  // what follows them comes after. False, with nothing written, when they
  // are not whole pieces.
  bool replay(std::uint64_t bytes);
  // Flushes its stream (a checkpoint reads the file itself); false, as
  // failed(), when a write failed.
  bool flush();
  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] std::uint64_t bytes() const { return bytes_; }
  [[nodiscard]] std::FILE* file() const { return file_; }
  void close();

 private:
  std::FILE* file_;
  std::uint64_t bytes_ = 0;
  bool failed_ = false;
};

}  // namespace wdist::cli
