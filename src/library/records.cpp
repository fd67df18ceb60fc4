#include "wdist/records.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "codefile/head_check.h"
#include "codefile/record_reader.h"
#include "engine/record_rules.h"

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

}  // namespace

RecordReader::RecordReader(std::FILE* in, RecordRules rules, bool projective)
    : in_(in), rules_(rules), projective_(projective) {}

RecordStatus RecordReader::next(Record& record) {
  record.reason.clear();
  record.matrix_read = false;
  if (done_) return RecordStatus::end;
  for (;;) {
    const int c = getc_unlocked(in_);
    if (c == EOF) {
      done_ = true;
      return std::ferror(in_) ? RecordStatus::failed : RecordStatus::end;
    }
    if (c == '?') break;
  }
  record.number = ++number_;
  Code& code = record.code;
  code.entries.clear();
  std::size_t storage_wanted = 0;
  bool storage_failed = false;
  const RecordPath path = projective_ ? RecordPath::projective_sums : RecordPath::weight_distribution;
  const ReadResult r = read_record(
      in_,
      [this, path](const HeadNumbers& head, char* reason, std::size_t size) {
        if (rules_ == RecordRules::wide_program) return accept_head(head, path, kWideLimits, reason, size);
        return accept_library_head(head, reason, size);
      },
      [&](std::int32_t k, std::int32_t n, std::int32_t q) {
        record.matrix_read = true;
        code.q = q;
        code.k = k;
        code.n = n;
        storage_wanted = static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
      },
      [&](std::int32_t i, std::int32_t j, std::int32_t count) -> ElemCode* {
        if (storage_failed) return nullptr;
        const std::size_t at = static_cast<std::size_t>(i) * static_cast<std::size_t>(code.n) + static_cast<std::size_t>(j);
        const std::size_t end = at + static_cast<std::size_t>(count);
        if (end > code.entries.size()) {
          if (end > code.entries.capacity()) {
            std::size_t grown = std::min(storage_wanted, std::max({end, 2 * code.entries.capacity(), kFirstEntries}));
            if (grown < storage_wanted && code.entries.capacity() == 0) {
              const std::int64_t left = bytes_left(in_);
              if (left >= 0 && static_cast<std::uint64_t>(left) >= storage_wanted - end) grown = storage_wanted;
            }
            try {
              code.entries.reserve(grown);
            } catch (const std::bad_alloc&) {
              storage_failed = true;
            } catch (const std::length_error&) {
              storage_failed = true;
            }
            if (storage_failed) {
              code.entries.clear();
              code.entries.shrink_to_fit();
              return nullptr;
            }
          }
          // The storage taken is filled as the entries come: made once
          // (no allocation within the capacity), not a piece at a time.
          code.entries.resize(std::min(code.entries.capacity(), storage_wanted));
        }
        return code.entries.data() + at;
      });
  switch (r.status) {
    case ReadStatus::ok:
      if (storage_failed) {
        record.reason = "its matrix of " + std::to_string(storage_wanted) + " bytes cannot be had";
        return RecordStatus::refused;
      }
      return RecordStatus::ok;
    case ReadStatus::refused:
      record.reason = r.reason;
      code.entries.clear();
      code.entries.shrink_to_fit();
      return RecordStatus::refused;
    case ReadStatus::truncated:
      done_ = true;
      code.entries.clear();
      code.entries.shrink_to_fit();
      return RecordStatus::truncated;
    case ReadStatus::failed:
      done_ = true;
      code.entries.clear();
      code.entries.shrink_to_fit();
      return RecordStatus::failed;
  }
  return RecordStatus::failed;
}

}  // namespace wdist
