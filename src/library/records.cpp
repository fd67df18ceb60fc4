#include "wdist/records.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "codefile/head_check.h"
#include "codefile/record_reader.h"
#include "engine/record_rules.h"
#include "program/records.h"

namespace wdist {

namespace {

// The library's own refusals: what is not a code it can count at all.
// Numbers are named as written (a saturated value is not in the input).
bool accept_library_head(const HeadNumbers& head, char* reason, std::size_t size) {
  char text[kNumberTextSize];
  if (!engine::dimension_passes(head.k)) {
    number_text(head.k, head.written_k, text, sizeof text);
    engine::dimension_refusal(text, reason, size);
    return false;
  }
  if (!engine::length_passes(head.n)) {
    number_text(head.n, head.written_n, text, sizeof text);
    engine::length_refusal(text, reason, size);
    return false;
  }
  if (!engine::field_passes(head.q)) {
    number_text(head.q, head.written_q, text, sizeof text);
    engine::field_refusal(text, reason, size);
    return false;
  }
  if (head.k > INT32_MAX) {
    number_text(head.k, head.written_k, text, sizeof text);
    std::snprintf(reason, size, "k = %s, the dimension does not fit a 32-bit integer", text);
    return false;
  }
  return true;
}

// The first storage of a record's entries; it doubles as they come, up to
// the k * n of the head. A head alone may claim 2^62 entries: only the
// input's own rows are ever stored, and a record cut short costs at most
// twice what it held. Where the input is a file that still holds a byte
// for every entry the head claims, the whole matrix is taken at once
// instead: what it costs is then bounded by the file, and a long code
// is not copied as its storage doubles (the last doubling held 1.5 to 2
// times the matrix for a moment).
constexpr std::size_t kFirstEntries = std::size_t{1} << 12;

// The bytes of `in` not yet read, when it is a regular file; -1 otherwise.
std::int64_t bytes_left(std::FILE* in) {
  struct stat info {};
  if (fstat(fileno(in), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  const off_t at = ftello(in);
  if (at < 0 || at > info.st_size) return -1;
  return static_cast<std::int64_t>(info.st_size - at);
}

// A record's entries, taken as its rows come (kFirstEntries); a failed
// allocation leaves them empty and the record refused once it is read.
class EntryStorage {
 public:
  EntryStorage(std::FILE* in, Code& code) : in_(in), code_(code) {}

  void start(std::int32_t k, std::int32_t n) {
    wanted_ = static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
  }

  ElemCode* at(std::int32_t i, std::int32_t j, std::int32_t count) {
    if (failed_) return nullptr;
    const std::size_t at = static_cast<std::size_t>(i) * static_cast<std::size_t>(code_.n) + static_cast<std::size_t>(j);
    const std::size_t end = at + static_cast<std::size_t>(count);
    if (end > code_.entries.size()) {
      if (end > code_.entries.capacity() && !grow(end)) return nullptr;
      // The storage taken is filled as the entries come: made once
      // (no allocation within the capacity), not a piece at a time.
      code_.entries.resize(std::min(code_.entries.capacity(), wanted_));
    }
    return code_.entries.data() + at;
  }

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] std::size_t wanted() const { return wanted_; }

 private:
  bool grow(std::size_t end) {
    std::size_t grown = std::min(wanted_, std::max({end, 2 * code_.entries.capacity(), kFirstEntries}));
    if (grown < wanted_ && code_.entries.capacity() == 0) {
      const std::int64_t left = bytes_left(in_);
      if (left >= 0 && static_cast<std::uint64_t>(left) >= wanted_ - end) grown = wanted_;
    }
    try {
      code_.entries.reserve(grown);
      return true;
    } catch (const std::bad_alloc&) {
      failed_ = true;
    } catch (const std::length_error&) {
      failed_ = true;
    }
    code_.entries.clear();
    code_.entries.shrink_to_fit();
    return false;
  }

  std::FILE* in_;
  Code& code_;
  std::size_t wanted_ = 0;
  bool failed_ = false;
};

// The reader's status for what read_record returned; the entries of a
// record not ok are let go, and an input that stops ends the reading.
RecordStatus record_status(const ReadResult& r, const EntryStorage& storage, bool& done, Record& record) {
  Code& code = record.code;
  switch (r.status) {
    case ReadStatus::ok:
      if (!storage.failed()) return RecordStatus::ok;
      record.reason = "its matrix of " + std::to_string(storage.wanted()) + " bytes cannot be had";
      return RecordStatus::refused;
    case ReadStatus::refused:
      record.reason = r.reason;
      code.entries.clear();
      code.entries.shrink_to_fit();
      return RecordStatus::refused;
    case ReadStatus::truncated:
    case ReadStatus::failed:
      break;
  }
  done = true;
  code.entries.clear();
  code.entries.shrink_to_fit();
  return r.status == ReadStatus::truncated ? RecordStatus::truncated : RecordStatus::failed;
}

// The next record of `in` under `rules`: the one reading behind both
// readers. `number` and `done` are the reader's; `matrix_read` as
// ProgramRecordReader::matrix_read says.
RecordStatus read_next(std::FILE* in, program::RecordRules rules, bool projective, int& number, bool& done,
                       Record& record, bool& matrix_read) {
  record.reason.clear();
  matrix_read = false;
  if (done) return RecordStatus::end;
  for (;;) {
    const int c = getc_unlocked(in);
    if (c == EOF) {
      done = true;
      return std::ferror(in) ? RecordStatus::failed : RecordStatus::end;
    }
    if (c == '?') break;
  }
  record.number = ++number;
  Code& code = record.code;
  code.entries.clear();
  EntryStorage storage(in, code);
  const RecordPath path = projective ? RecordPath::projective_sums : RecordPath::weight_distribution;
  const ReadResult r = read_record(
      in,
      [rules, path](const HeadNumbers& head, char* reason, std::size_t size) {
        if (rules == program::RecordRules::wide_program) return accept_head(head, path, kWideLimits, reason, size);
        return accept_library_head(head, reason, size);
      },
      [&](std::int32_t k, std::int32_t n, std::int32_t q) {
        matrix_read = true;
        code.q = q;
        code.k = k;
        code.n = n;
        storage.start(k, n);
      },
      [&storage](std::int32_t i, std::int32_t j, std::int32_t count) { return storage.at(i, j, count); });
  return record_status(r, storage, done, record);
}

}  // namespace

RecordReader::RecordReader(std::FILE* in) : in_(in) {}

RecordStatus RecordReader::next(Record& record) {
  bool matrix_read = false;
  return read_next(in_, program::RecordRules::library, false, number_, done_, record, matrix_read);
}

namespace program {

ProgramRecordReader::ProgramRecordReader(std::FILE* in, RecordRules rules, bool projective)
    : in_(in), rules_(rules), projective_(projective) {}

RecordStatus ProgramRecordReader::next(Record& record) {
  return read_next(in_, rules_, projective_, number_, done_, record, matrix_read_);
}

}  // namespace program

}  // namespace wdist
