// Reading code records as this project's programs do: the public reader's
// rules (wdist/records.h), or those of wdist-wide, whose report the program
// wdist writes with --format report. Program-level: the programs include
// it, the installed library does not show it.
#pragma once

#include <cstdio>

#include "wdist/records.h"

namespace wdist::program {

// Which records are refused besides those that are not codes at all.
enum class RecordRules {
  // q not a prime power up to 256; k < 1; n < 0 or n >= 2^31; a head that is
  // not three numbers; an entry of q or more; a matrix whose storage
  // cannot be had (the public RecordReader's rules).
  library,
  // Those of wdist-wide as well: n >= 2^29 for q = 4, and tables wdist-wide
  // cannot address (binary 2^K with K >= 62, K = 2k for q = 4; projective
  // k > 32), for its weight distribution or, with `projective`, its
  // projective sums.
  wide_program,
};

class ProgramRecordReader {
 public:
  // Reads from `in` (not owned, not closed).
  ProgramRecordReader(std::FILE* in, RecordRules rules, bool projective);
  // The next record into `record`.
  RecordStatus next(Record& record);
  // Whether the head of the record last read was taken and its rows were
  // read (every ok record; a record refused for an entry of q or more,
  // too): the menu programs size their matrix storage for such records,
  // which their report heads show.
  [[nodiscard]] bool matrix_read() const { return matrix_read_; }

 private:
  std::FILE* in_;
  RecordRules rules_;
  bool projective_;
  int number_ = 0;
  bool done_ = false;
  bool matrix_read_ = false;
};

}  // namespace wdist::program
