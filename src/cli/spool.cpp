#include "cli/spool.h"

#include <unistd.h>

#include <vector>

#include "cli/byte_format.h"

namespace wdist::cli {

void Spool::append(char stream, const std::string& text) {
  unsigned char head[kFrameHead];
  write_frame_head(stream, text.size(), head);
  if (std::fwrite(head, 1, sizeof head, file_) != sizeof head ||
      std::fwrite(text.data(), 1, text.size(), file_) != text.size())
    failed_ = true;
  bytes_ += sizeof head + text.size();
}

namespace {

// The pieces of the first `size` bytes of `fd`, each handed to `visit`
// (stream, text); false when they are not whole pieces.
template <class Visit>
bool for_each_piece(int fd, std::uint64_t size, Visit visit) {
  std::string text;
  for (std::uint64_t at = 0; at < size;) {
    unsigned char head[kFrameHead];
    char stream = 0;
    std::uint64_t length = 0;
    if (size - at < sizeof head || pread(fd, head, sizeof head, static_cast<off_t>(at)) != sizeof head ||
        !read_frame_head(head, stream, length))
      return false;
    at += sizeof head;
    if (length > size - at) return false;
    text.resize(static_cast<std::size_t>(length));
    if (pread(fd, text.data(), text.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(length)) return false;
    at += length;
    visit(stream, text);
  }
  return true;
}

}  // namespace

bool Spool::replay(std::uint64_t bytes) {
  std::fflush(file_);
  const int fd = fileno(file_);
  if (!for_each_piece(fd, bytes, [](char, const std::string&) {})) return false;
  for_each_piece(fd, bytes, [](char stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream == 'o' ? stdout : stderr);
  });
  bytes_ = bytes;
  std::fflush(stdout);
  return true;
}

bool Spool::flush() {
  if (std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}

void Spool::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace wdist::cli
