#include "cli/items.h"

#include <poll.h>
#include <stdio_ext.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace wdist::cli {

namespace {

// Whether the next record can be read from `in` without waiting: its
// start is in the buffer (what lies before a "?" is skipped, and would
// leave the reader waiting), or more has come in the pipe or terminal.
bool input_waiting(std::FILE* in) {
#ifdef __GLIBC__
  if (in->_IO_read_ptr < in->_IO_read_end &&
      std::memchr(in->_IO_read_ptr, '?', static_cast<std::size_t>(in->_IO_read_end - in->_IO_read_ptr)) != nullptr)
    return true;
#endif
  pollfd p{fileno(in), POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

// The start of a message about record `number` of an input.
std::string in_record(int number) { return "record " + std::to_string(number) + ": "; }

}  // namespace

InputItems::InputItems(std::vector<std::string> files, Format format, bool projective,
                       std::function<void()> before_waiting)
    : files_(std::move(files)),
      before_waiting_(std::move(before_waiting)),
      rules_(format == Format::report ? program::RecordRules::wide_program : program::RecordRules::library),
      projective_(projective) {}

InputItems::InputItems(std::vector<std::string> files, GroupKind kind, Options options,
                       std::function<void()> before_waiting)
    : files_(std::move(files)),
      before_waiting_(std::move(before_waiting)),
      rules_(program::RecordRules::library),
      projective_(false),
      group_(kind),
      group_options_(std::move(options)) {}

InputItems::~InputItems() { close_input(); }

void InputItems::close_input() {
  reader_.reset();
  group_reader_.reset();
  if (in_ != nullptr && in_ != stdin) std::fclose(in_);
  in_ = nullptr;
}

bool InputItems::next(Item& item) {
  item = Item{};
  for (;;) {
    if (in_ == nullptr) {
      if (next_file_ == files_.size()) return false;
      name_ = files_[next_file_++];
      in_ = name_ == "-" ? stdin : std::fopen(name_.c_str(), "r");
      if (in_ == nullptr) {
        item.index = next_index_++;
        item.origin = RecordOrigin{name_, 0};
        item.message = std::strerror(errno);
        return true;
      }
      // Only this thread reads it: no lock per character (the reader takes
      // them one at a time, and with workers running every stdio call
      // would lock otherwise).
      __fsetlocking(in_, FSETLOCKING_BYCALLER);
      if (group_)
        group_reader_.emplace(in_, *group_);
      else
        reader_.emplace(in_, rules_, projective_);
      capacity_ = MatrixCapacity{};
      struct stat info {};
      regular_ = fstat(fileno(in_), &info) == 0 && S_ISREG(info.st_mode);
    }
    if (!regular_ && before_waiting_ && !input_waiting(in_)) before_waiting_();
    if (group_) {
      if (next_group(item)) return true;
      continue;
    }
    Record record;
    const RecordStatus status = reader_->next(record);
    if (status == RecordStatus::end) {
      close_input();
      continue;
    }
    if (ended_input(item, status, record.number)) return true;
    if (reader_->matrix_read()) size_capacity(capacity_, record.code.k, static_cast<std::int32_t>(record.code.n));
    if (status == RecordStatus::refused) {
      item.message = in_record(record.number) + record.reason;
    } else {
      item.code = std::move(record.code);
      item.capacity = capacity_;
    }
    return true;
  }
}

bool InputItems::ended_input(Item& item, RecordStatus status, int number) {
  item.index = next_index_++;
  if (status == RecordStatus::failed) {
    item.origin = RecordOrigin{name_, 0};
    item.message = std::string("reading failed: ") + std::strerror(errno);
    close_input();
    return true;
  }
  item.origin = RecordOrigin{name_, number};
  if (status == RecordStatus::truncated) {
    item.message = in_record(number) + "the input ends inside the record";
    close_input();
    return true;
  }
  return false;
}

bool InputItems::next_group(Item& item) {
  StabilizerRecord record;
  const RecordStatus status = group_reader_->next(record);
  if (status == RecordStatus::end) {
    close_input();
    return false;
  }
  if (ended_input(item, status, record.number)) return true;
  if (status == RecordStatus::refused) {
    item.message = in_record(record.number) + record.reason;
    return true;
  }
  GroupImage image;
  if (const Status s = image_of(record.generators, *group_, group_options_, image); !s) {
    item.message = in_record(record.number) + s.message;
    return true;
  }
  item.code = std::move(image.code);
  image.code = Code{};
  item.group = std::make_shared<const GroupImage>(std::move(image));
  return true;
}

}  // namespace wdist::cli
