// The two computation paths. Each walks the input file, starts a record at
// every "?", and appends one report block per computed record to the output
// file (rewritten from empty at every run). Records the computation cannot
// take are refused with a line on standard error; their number still counts.
#pragma once

#include <cstdint>

#include "engine/plan.h"
#include "menu/store/count_table.h"
#include "menu/store/gen_matrix.h"

namespace wdist {

// The menu programs size their tables themselves (halting when one cannot
// be had), so any table is acceptable to the plan, and the counters are
// this program's.
inline constexpr engine::TablePolicy kMenuPolicy{UINT64_MAX, WDIST_COUNTER_BITS};

// Sizes the storage of a record of `code` for `plan` (kMenuPolicy) as the
// menu programs do, in their order, halting as they do when some cannot
// be had: `image` for the binary image of an F_4 code, the code context
// (code_context.h), `point` (one plane of 2^K counters on a binary route,
// q - 1 planes of the plan's rows otherwise) and, off the binary routes,
// `scratch`. Storage already held is kept when it suffices. The
// benchmarks size their records through this step.
void size_record_tables(const engine::RecordPlan& plan, const GenMatrix& code, GenMatrix& image, CountTable& point,
                        CountTable& scratch);

// Menu choice 1: the weight distribution A_w of every code (q = 2, 4 through
// the binary transform, F_4 through its binary image; q = 3, 5, 7 through
// the q-ary transform).
void run_weight_distribution(const char* input_name, const char* output_name);

// Menu choice 33: one count per projective point, for every q.
void run_projective_sums(const char* input_name, const char* output_name);

}  // namespace wdist
