// The code record reader. A record is "?" followed by k, n and q (read like
// "%d"), the rest of that line, and k rows of exactly n characters: a digit
// stands for its value, any other character repeats the record's last digit
// (0 before the first). The rest of every row line but the last is dropped;
// after the last row nothing more is read.
#pragma once

#include <cstddef>
#include <cstdio>

#include "codefile/head_check.h"
#include "store/gen_matrix.h"

namespace wdist {

enum class ReadStatus {
  ok,         // the matrix holds the record
  refused,    // the record cannot be computed; the reason says why
  truncated,  // the input ended inside the record
  failed,     // the input could not be read (a read error, not its end)
};

struct ReadResult {
  ReadStatus status;
  char reason[160];  // for `refused`
};

// Reads one record from `in`, positioned just after its "?", into `g`.
// A head the path cannot take is refused before anything is sized, with the
// stream right after the last head character read. A record with an entry
// of q or more is read to its end and then refused. On `ok` the field of the
// record is current (select_field) and g.k == g.rows == k.
ReadResult read_code(std::FILE* in, GenMatrix& g, RecordPath path);

}  // namespace wdist
