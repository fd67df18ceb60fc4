// The process-wide work record. Of its arrays the computations use only
// Bspec, the weight histogram: Bspec[w] = A_w for w = 0..length. The others
// (the spare ones) are sized and released with the record and otherwise
// left alone; their names end in the menu's own, which the check records
// (cons_str.h) show.
//
// Invariants: `mem` is 0 (nothing held) or 1 (every array held). The record
// lives for the whole process; each driver run first gives back what it
// still holds (release_code_context).
#pragma once

#include <cstdint>

#include "menu/store/alloc.h"
#include "menu/store/counter.h"

namespace wdist {

struct CodeContext {
  std::int32_t progress_md;  // the progress line's "MD"; nothing changes it from 0
  std::int32_t mem;          // 0: no storage held, 1: held
  std::int32_t rows_wanted;  // rows that a and the row_spare arrays must reach: length / k + 4
  std::int32_t cap_len;      // the length-indexed arrays hold entries 0..cap_len
  std::int32_t cap_k;        // a row of a holds entries 0..cap_k
  std::int32_t cap_rows;     // last row of a, last index of the row_spare arrays
  std::int64_t length;       // top index of Bspec: n, or 3n for an F_4 code
  std::int64_t progress_br;  // the progress line's "br"; nothing changes it from 0
  Counter** a;               // rows 0..cap_rows of cap_k + 1 counters (sized, never read)
  Counter* row_spare_k;           // one counter per row of a (sized, never read)
  Counter* row_spare_lcv;         // likewise
  Counter* row_spare_lcvo;        // likewise
  Counter* weight_spare_vecrank;  // one counter per weight 0..cap_len (sized, never read)
  Counter* weight_spare_prop;     // likewise
  Count64* Aspec;            // a second spectrum beside Bspec (sized, never read)
  Count64* Bspec;            // the weight histogram, entries 0..length
};

// The one work record of the process, all zero at start.
extern CodeContext code_context;

// Sizes every array for a code of k rows and histogram top index `length`,
// keeping the storage when the capacities suffice.
void size_code_context(std::int32_t k, std::int32_t length);
void release_code_context();

}  // namespace wdist
