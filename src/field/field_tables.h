// The arithmetic tables of the current field F_q, indexed by element codes
// (0 is zero, 1 the unit; for q = 4 code 2 is w with w^2 = w + 1, code 3 is
// w^2; for q = 16 the code is the polynomial's bit pattern modulo
// x^4 + x + 1). One process-wide record, rebuilt only when q changes.
//
// Invariants: a build writes only codes below its q, so entries of codes q
// and above keep what an earlier build left (or zero); `trace` is written
// by a build for q = 4 only; inv[0] is 0. Lookups are plain indexed reads.
#pragma once

#include <cstdint>

namespace wdist {

inline constexpr int kFieldCodes = 20;  // every dimension has room for 20 codes

struct FieldTables {
  std::int32_t inv[kFieldCodes];
  std::int32_t neg[kFieldCodes];
  std::int32_t trace[kFieldCodes];
  std::int32_t mul[kFieldCodes][kFieldCodes];  // mul[a][b] = a*b
  std::int32_t add[kFieldCodes][kFieldCodes];  // add[a][b] = a+b
  std::uint64_t qpow[kFieldCodes];             // q^i, as far as the products stay below 2^63
  std::int32_t field_q;                        // q of the last build, 0 before the first
};

// The tables of the current field, all zero at program start.
extern FieldTables field_tables;

// Makes F_q current; rebuilds only when q differs from the last build's.
void select_field(std::int32_t q);
// Writes the tables for q into `t` (qpow[0] must be 1 on entry), codes
// below q only. select_field and field_of call it.
void build_field_tables(FieldTables& t, std::int32_t q);

// The tables of F_q for a supported q (fields.h), built once on first use
// and never changed afterwards, so that any number of threads may read
// them; the engine uses these, never the current field above.
const FieldTables& field_of(std::int32_t q);

}  // namespace wdist
