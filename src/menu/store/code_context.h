// The process-wide work record. Of its arrays the computations use only
// Bspec, the weight histogram: Bspec[w] = A_w for w = 0..length. The others
// are sized and released with the record and otherwise left alone.
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
  std::int32_t md;           // progress-line statistic; nothing changes it from 0
  std::int32_t mem;          // 0: no storage held, 1: held
  std::int32_t rows_wanted;  // rows that a, k, lcv and lcvo must reach: length / k + 4
  std::int32_t cap_len;      // the length-indexed arrays hold entries 0..cap_len
  std::int32_t cap_k;        // a row of a holds entries 0..cap_k
  std::int32_t cap_rows;     // last row of a, last index of k, lcv, lcvo
  std::int64_t length;       // top index of Bspec: n, or 3n for an F_4 code
  std::int64_t br;           // progress-line statistic; nothing changes it from 0
  Counter** a;               // rows 0..cap_rows of cap_k + 1 counters (sized, never read)
  Counter* k;                // one counter per row of a (sized, never read)
  Counter* lcv;              // likewise
  Counter* lcvo;             // likewise
  Counter* vecrank;          // one counter per weight 0..cap_len (sized, never read)
  Counter* prop;             // likewise
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
