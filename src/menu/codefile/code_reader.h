// The menu programs' record reader: one record of the code record format
// (record_reader.h) into the matrix record, with this program's head
// checks.
#pragma once

#include <cstdio>

#include "codefile/head_check.h"
#include "codefile/record_reader.h"
#include "menu/store/gen_matrix.h"

namespace wdist {

// Reads one record from `in`, positioned just after its "?", into `g`.
// A head the path cannot take is refused before anything is sized, with the
// stream right after the last head character read. A record with an entry
// of q or more is read to its end and then refused. On `ok` g.k == g.rows == k.
ReadResult read_code(std::FILE* in, GenMatrix& g, RecordPath path);

}  // namespace wdist
