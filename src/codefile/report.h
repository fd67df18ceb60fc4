// The report block written for every computed record: the record again in
// the code record format (so a report reads back as an input file), the
// "G=" line, then, after the driver's time line, the nonzero A_w as pairs
// " w^A_w ". A block starts with a newline and ends without one.
#pragma once

#include <cstdint>
#include <cstdio>

#include "store/gen_matrix.h"

namespace wdist {

// The newline, the head line (k, n, q, record number and the matrix's
// capacities), rows 1..k and the "G=" line.
void write_code_report(std::FILE* out, const GenMatrix& g, std::int32_t k, std::int32_t record,
                       std::uint64_t generator_value);

// " \n" and the nonzero counts of the weight histogram, w = 0..length.
void write_weights(std::FILE* out);

}  // namespace wdist
