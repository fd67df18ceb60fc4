#include "wdist/records.h"

#include <cstdint>
#include <new>

#include "codefile/head_check.h"
#include "codefile/record_reader.h"

namespace wdist {

namespace {

// The library's own refusals: what is not a code it can count at all.
bool accept_library_head(const HeadNumbers& head, char* reason, std::size_t size) {
  if (head.k < 1) {
    std::snprintf(reason, size, "k = %lld, the dimension must be at least 1", static_cast<long long>(head.k));
    return false;
  }
  if (head.n < 0 || head.n >= (std::int64_t{1} << 31)) {
    std::snprintf(reason, size, "n = %lld, the length must lie in 0 .. 2^31 - 1", static_cast<long long>(head.n));
    return false;
  }
  if (!is_supported_field(head.q)) {
    std::snprintf(reason, size, "q = %lld, the field must be one of %s", static_cast<long long>(head.q),
                  kSupportedFieldsText);
    return false;
  }
  if (head.k > INT32_MAX) {
    std::snprintf(reason, size, "k = %lld, the dimension does not fit a 32-bit integer",
                  static_cast<long long>(head.k));
    return false;
  }
  return true;
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
  std::size_t storage_wanted = 0;
  bool storage_failed = false;
  const RecordPath path = projective_ ? RecordPath::projective_sums : RecordPath::weight_distribution;
  const ReadResult r = read_record(
      in_,
      [this, path](const HeadNumbers& head, char* reason, std::size_t size) {
        if (rules_ == RecordRules::wide_program) return accept_head(head, path, kWideLimits, reason, size);
        return accept_library_head(head, reason, size);
      },
      [&](std::int32_t k, std::int32_t n, std::int32_t q, std::int32_t i) -> ElemCode* {
        if (i == 0) {
          record.matrix_read = true;
          code.q = q;
          code.k = k;
          code.n = n;
          storage_wanted = static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
          try {
            code.entries.resize(storage_wanted);
          } catch (const std::bad_alloc&) {
            storage_failed = true;
            code.entries.clear();
            code.entries.shrink_to_fit();
          } catch (const std::length_error&) {
            storage_failed = true;
          }
        }
        if (storage_failed) return nullptr;
        return code.entries.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(n);
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
      return RecordStatus::refused;
    case ReadStatus::truncated:
      done_ = true;
      return RecordStatus::truncated;
    case ReadStatus::failed:
      done_ = true;
      return RecordStatus::failed;
  }
  return RecordStatus::failed;
}

}  // namespace wdist
