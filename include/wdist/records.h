// Reading code records: the text format of the menu programs' input files
// and reports. A record starts at a "?"; then k, n and q, the rest of that
// line, and k rows: for q <= 10 of exactly n characters (a digit is its
// value, any other character repeats the record's last digit, 0 before the
// first); for q >= 11 one line each of n numbers separated by blanks.
// Everything between records is ignored. Records are numbered from 1 in
// the order they are met, refused ones included.
#pragma once

#include <cstdio>
#include <string>

#include "wdist/wdist.h"

namespace wdist {

enum class RecordStatus {
  ok,         // `code` holds the record
  refused,    // the record cannot be taken; `reason` says why; reading goes on
  truncated,  // the input ended inside the record; nothing more follows
  failed,     // the input could not be read; nothing more follows
  end,        // no more records
};

struct Record {
  int number = 0;  // 1 for the first record of the input
  Code code;
  std::string reason;  // for refused
};

// Refuses, besides what is not a code at all: q not a prime power up to 256;
// k < 1; n < 0 or n >= 2^31; a head that is not three numbers; an entry of
// q or more; a matrix whose storage cannot be had.
class RecordReader {
 public:
  // Reads from `in` (not owned, not closed).
  explicit RecordReader(std::FILE* in);
  // The next record into `record`.
  RecordStatus next(Record& record);

 private:
  std::FILE* in_;
  int number_ = 0;
  bool done_ = false;
};

}  // namespace wdist
