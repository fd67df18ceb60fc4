// The process-wide work record. Of its arrays the computations use only
// Bspec, the weight histogram: Bspec[w] = A_w for w = 0..length. The others
// are sized and released with the record and otherwise left alone.
//
// Invariants: `mem` is 0 (nothing held) or 1 (every array held). The record
// lives for the whole process; each driver run first gives back what it
// still holds (reset_code_context).
#pragma once

#include <cstdint>

#include "store/alloc.h"
#include "store/counter.h"

namespace wdist {

struct CodeContext {
  std::int32_t md;           // progress-line statistic; nothing changes it from 0
  std::int32_t mem;          // 0: no storage held, 1: held
  std::int32_t rows_wanted;  // rows that a, k, lcv and lcvo must reach
  std::int32_t cap_len;      // the length-indexed arrays hold entries 0..cap_len
  std::int32_t cap_k;        // a row of a holds entries 0..cap_k
  std::int32_t cap_rows;     // last row of a, last index of k, lcv, lcvo
  std::int64_t length;       // top index of Bspec: n, or 3n for an F_4 code
  std::int64_t br;           // progress-line statistic; nothing changes it from 0
  Counter** a;
  Counter* k;
  Counter* lcv;
  Counter* lcvo;
  Counter* vecrank;
  Counter* prop;
  Count64* Aspec;
  Count64* Bspec;  // the weight histogram
};

// The one work record of the process, all zero at start.
extern CodeContext code_context;

void size_code_context(std::int32_t k, std::int32_t length, std::int32_t mode);
void release_code_context();
void reset_code_context();

}  // namespace wdist
