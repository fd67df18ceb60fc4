#include "cli/checkpoint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/byte_format.h"
#include "wdist/hash.h"

namespace wdist::cli {

namespace {

// The file, in the byte format (byte_format.h), then the checksum of all
// bytes before it:
//   magic[8] run_identity items_finished failed:u8 output_bytes
//   output[output_bytes]
//   record_count, per record: item, its progress (write_progress)
//   checksum
// The magic also names the layout: a file of another layout is not a
// checkpoint of this version.
constexpr char kMagic[8] = {'w', 'd', 'i', 's', 't', 'C', 'P', '2'};
constexpr std::size_t kHeadBytes = sizeof kMagic + 8 + 8 + 1 + 8;
constexpr std::size_t kChunk = std::size_t{1} << 16;

std::string errno_text() { return std::strerror(errno); }

// Writes to a file and hashes what it wrote.
class HashedFile {
 public:
  explicit HashedFile(std::FILE* f) : f_(f) {}
  void write(const void* p, std::size_t size) {
    hash_.add(p, size);
    if (ok_ && std::fwrite(p, 1, size, f_) != size) ok_ = false;
  }
  void write(const ByteWriter& bytes) { write(bytes.data().data(), bytes.data().size()); }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] std::uint64_t checksum() const { return hash_.value(); }

 private:
  std::FILE* f_;
  Hasher hash_;
  bool ok_ = true;
};

bool write_state(HashedFile& file, const CheckpointState& state, std::FILE* output, std::uint64_t output_bytes,
                 std::string& error) {
  ByteWriter head;
  head.bytes(kMagic, sizeof kMagic);
  head.u64(state.run_identity);
  head.u64(state.items_finished);
  head.u8(state.failed ? 1 : 0);
  head.u64(output_bytes);
  file.write(head);
  std::vector<unsigned char> chunk(kChunk);
  for (std::uint64_t at = 0; at < output_bytes;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, output_bytes - at));
    const ssize_t got = pread(fileno(output), chunk.data(), want, static_cast<off_t>(at));
    if (got <= 0) {
      error = "reading the finished output back failed: " + (got < 0 ? errno_text() : std::string("it is shorter"));
      return false;
    }
    file.write(chunk.data(), static_cast<std::size_t>(got));
    at += static_cast<std::uint64_t>(got);
  }
  ByteWriter count;
  count.u64(state.records.size());
  file.write(count);
  // One record at a time: a long code's tally is held once more, not every
  // record's.
  for (const RecordInProgress& r : state.records) {
    ByteWriter record;
    record.u64(r.item);
    write_progress(record, r.progress);
    file.write(record);
  }
  return true;
}

// The directory of `path`, for syncing the rename.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads the parts after the checksum was found right: the head and the
// output from `f` (at its start), the records from the rest before the
// checksum, `size` bytes in all.
bool read_state(std::FILE* f, std::uint64_t size, CheckpointState& state, const OutputSink& check_output,
                std::string& problem) {
  unsigned char head_bytes[kHeadBytes] = {};
  ByteReader head(head_bytes, sizeof head_bytes);
  char magic[sizeof kMagic];
  std::uint64_t output_bytes = 0;
  std::uint8_t failed = 0;
  if (size < kHeadBytes || std::fread(head_bytes, 1, sizeof head_bytes, f) != sizeof head_bytes ||
      !head.bytes(magic, sizeof magic) || !head.u64(state.run_identity) || !head.u64(state.items_finished) ||
      !head.u8(failed) || !head.u64(output_bytes) || output_bytes > size - kHeadBytes) {
    problem = "its head is cut short";
    return false;
  }
  state.failed = failed != 0;
  state.output_at = kHeadBytes;
  state.output_bytes = output_bytes;
  bool checking = static_cast<bool>(check_output);  // until it has judged
  std::vector<char> chunk(kChunk);
  for (std::uint64_t at = 0; at < output_bytes;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, output_bytes - at));
    if (std::fread(chunk.data(), 1, want, f) != want) {
      problem = "its output is cut short";
      return false;
    }
    if (checking) checking = check_output(chunk.data(), want);
    at += want;
  }
  std::vector<unsigned char> rest(static_cast<std::size_t>(size - kHeadBytes - output_bytes));
  ByteReader records(rest);
  std::uint64_t count = 0;
  if (std::fread(rest.data(), 1, rest.size(), f) != rest.size() || !records.u64(count) ||
      count > records.left() / 16) {
    problem = "its list of records is cut short";
    return false;
  }
  state.records.resize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < state.records.size(); ++i)
    if (!records.u64(state.records[i].item) || !read_progress(records, state.records[i].progress)) {
      problem = "record " + std::to_string(i + 1) + " of its list is cut short or out of order";
      return false;
    }
  if (records.left() != 0) {
    problem = "bytes follow its last record";
    return false;
  }
  return true;
}

}  // namespace

bool write_checkpoint(const std::string& path, const CheckpointState& state, std::FILE* output,
                      std::uint64_t output_bytes, std::string& error) {
  const std::string temp = path + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    error = temp + ": " + errno_text();
    return false;
  }
  HashedFile file(f);
  bool ok = write_state(file, state, output, output_bytes, error);
  if (ok) {
    ByteWriter sum;
    sum.u64(file.checksum());
    file.write(sum);
  }
  if (ok && (!file.ok() || std::fflush(f) != 0 || fsync(fileno(f)) != 0)) {
    error = temp + ": " + errno_text();
    ok = false;
  }
  if (std::fclose(f) != 0 && ok) {
    error = temp + ": " + errno_text();
    ok = false;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    error = path + ": " + errno_text();
    ok = false;
  }
  if (!ok) {
    std::remove(temp.c_str());
    return false;
  }
  // The rename itself lasts once the directory is synced.
  const int dir = open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

CheckpointRead read_checkpoint(const std::string& path, CheckpointState& state, const OutputSink& check_output,
                               std::string& error) {
  state = CheckpointState{};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    if (errno == ENOENT) return CheckpointRead::absent;
    error = errno_text();
    return CheckpointRead::refused;
  }
  struct stat st {};
  const auto refuse = [&](const std::string& why) {
    std::fclose(f);
    error = why;
    return CheckpointRead::refused;
  };
  if (fstat(fileno(f), &st) != 0) return refuse(errno_text());
  if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
  const auto size = static_cast<std::uint64_t>(st.st_size);
  char magic[sizeof kMagic] = {};
  const std::size_t got = std::fread(magic, 1, sizeof magic, f);
  if (got < sizeof magic && std::memcmp(magic, kMagic, got) == 0)
    return refuse("it is truncated (" + std::to_string(size) + " bytes)");
  if (std::memcmp(magic, kMagic, sizeof magic) != 0) return refuse("not a checkpoint of this version of wdist");
  if (size < sizeof kMagic + 8) return refuse("it is truncated (" + std::to_string(size) + " bytes)");
  // The checksum over everything first: a damaged or cut file is refused
  // before any of it is believed or copied.
  Hasher hash;
  std::vector<unsigned char> chunk(kChunk);
  hash.add(magic, sizeof magic);
  for (std::uint64_t at = sizeof magic; at < size - 8;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - 8 - at));
    if (std::fread(chunk.data(), 1, want, f) != want) return refuse("reading it failed: " + errno_text());
    hash.add(chunk.data(), want);
    at += want;
  }
  unsigned char tail[8];
  ByteReader sum_bytes(tail, sizeof tail);
  std::uint64_t sum = 0;
  if (std::fread(tail, 1, sizeof tail, f) != sizeof tail || !sum_bytes.u64(sum))
    return refuse("reading it failed: " + errno_text());
  if (sum != hash.value()) return refuse("it is damaged or truncated (its checksum does not match)");
  std::rewind(f);
  std::string problem;
  if (!read_state(f, size - 8, state, check_output, problem)) return refuse("it is damaged: " + problem);
  std::fclose(f);
  return CheckpointRead::ok;
}

bool read_checkpoint_output(const std::string& path, const CheckpointState& state, const OutputSink& sink,
                            std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + errno_text();
    return false;
  }
  // Only the run that holds the checkpoint replaces it: a file that is not
  // the size read is not the one read.
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= state.output_at + state.output_bytes + 8;
  if (!ok) error = path + ": it changed since it was read";
  std::vector<char> chunk(kChunk);
  for (std::uint64_t at = 0; ok && at < state.output_bytes;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, state.output_bytes - at));
    const ssize_t got = pread(fd, chunk.data(), want, static_cast<off_t>(state.output_at + at));
    if (got <= 0) {
      error = path + ": " + (got < 0 ? errno_text() : std::string("it changed since it was read"));
      ok = false;
    } else if (!sink(chunk.data(), static_cast<std::size_t>(got))) {
      error = "copying its output failed: " + errno_text();
      ok = false;
    }
    at += got > 0 ? static_cast<std::uint64_t>(got) : 0;
  }
  close(fd);
  return ok;
}

CheckpointHold::Take CheckpointHold::take(const std::string& path, std::string& error) {
  release();
  spool_ = path + ".spool";
  // A run that ends removes its spool while it holds it: a lock taken on
  // a spool since removed (or replaced) holds nothing, and is taken again
  // on what is at the name now. Each round means a run ended meanwhile.
  for (int round = 0; round < 16; ++round) {
    created_ = true;
    int fd = open(spool_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
      created_ = false;
      fd = open(spool_.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) continue;
    }
    if (fd < 0) {
      error = spool_ + ": " + errno_text();
      return Take::failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int lock_error = errno;
      close(fd);
      // A spool this run created but another run locked first is that
      // run's now: it is left alone.
      if (lock_error == EWOULDBLOCK) return Take::in_use;
      error = spool_ + ": it cannot be locked: " + std::strerror(lock_error);
      return Take::failed;
    }
    struct stat opened {}, named {};
    if (fstat(fd, &opened) == 0 && stat(spool_.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino) {
      fd_ = fd;
      return Take::held;
    }
    close(fd);
  }
  error = spool_ + ": other runs keep replacing it";
  return Take::failed;
}

std::FILE* CheckpointHold::start_spool(std::string& error) {
  started_ = true;
  std::FILE* f = nullptr;
  if (ftruncate(fd_, 0) == 0) {
    // A descriptor of its own for the stream: closing the stream leaves the
    // hold's descriptor, and with it the lock, in place.
    const int own = dup(fd_);
    if (own >= 0 && (f = fdopen(own, "w+b")) == nullptr) close(own);
  }
  if (f == nullptr) error = spool_ + ": " + errno_text();
  return f;
}

void CheckpointHold::release() {
  if (fd_ < 0) return;
  // Removed while the lock is still held: a run that opened it meanwhile
  // finds, once it has the lock, that it holds a removed file.
  if (created_ || started_) unlink(spool_.c_str());
  close(fd_);
  fd_ = -1;
  created_ = started_ = false;
}

}  // namespace wdist::cli
