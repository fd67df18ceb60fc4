// The items of a run's output, in input order, as read from its inputs:
// each record (to compute, or refused) and each input that cannot be
// opened or read. Every process of an MPI job reads the inputs itself and
// numbers the items alike, so that an item's index names the same record
// in each of them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "program/records.h"
#include "wdist/stabilizer.h"

namespace wdist::cli {

struct Item {
  std::uint64_t index = 0;  // from 0, in the order met
  RecordOrigin origin;      // the input; the record's number in it (0: the input itself)
  std::string message;      // not empty: the item is this message about its input
  Code code;                // otherwise the record to compute
  MatrixCapacity capacity;  // the menu programs' matrix storage for it (report blocks show it)
  // A stabilizer record: `code` is its group's binary image, this the rest
  // of the image (its code moved out) for the finish.
  std::shared_ptr<const GroupImage> group;
};

class InputItems {
 public:
  // "-" is standard input. `before_waiting` (may be empty) is called
  // before a read from a pipe or terminal that has nothing waiting: a
  // script at the other end may wait for the answers so far before it
  // writes more.
  InputItems(std::vector<std::string> files, Format format, bool projective, std::function<void()> before_waiting);
  // The inputs hold stabilizer records of `kind`, each item the binary
  // image of its group (image_of with `options`; its refusals are the
  // record's).
  InputItems(std::vector<std::string> files, GroupKind kind, Options options, std::function<void()> before_waiting);
  ~InputItems();
  InputItems(const InputItems&) = delete;
  InputItems& operator=(const InputItems&) = delete;
  InputItems(InputItems&&) = delete;
  InputItems& operator=(InputItems&&) = delete;

  // The next item; false after the last input's last. A record refused, a
  // read that failed and an input that ends inside a record are messages
  // (the last two end their input).
  bool next(Item& item);

 private:
  void close_input();
  // The next record of a stabilizer input into `item`; false at its end.
  bool next_group(Item& item);
  // Numbers the item of record `number`, read with `status` (not the end),
  // and makes it the message of a read that failed or of an input that
  // ends inside the record, closing the input: true then.
  bool ended_input(Item& item, RecordStatus status, int number);

  std::vector<std::string> files_;
  std::function<void()> before_waiting_;
  program::RecordRules rules_;
  bool projective_;
  std::size_t next_file_ = 0;
  std::string name_;
  std::FILE* in_ = nullptr;
  bool regular_ = false;
  std::optional<program::ProgramRecordReader> reader_;
  std::optional<GroupKind> group_;
  Options group_options_;
  std::optional<StabilizerReader> group_reader_;
  MatrixCapacity capacity_;  // one run of the menu program per input
  std::uint64_t next_index_ = 0;
};

}  // namespace wdist::cli
