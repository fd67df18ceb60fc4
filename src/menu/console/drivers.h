// The two computation paths. Each walks the input file, starts a record at
// every "?", and appends one report block per computed record to the output
// file (rewritten from empty at every run). Records the computation cannot
// take are refused with a line on standard error; their number still counts.
#pragma once

namespace wdist {

// Menu choice 1: the weight distribution A_w of every code (q = 2, 4 through
// the binary transform, F_4 through its binary image; q = 3, 5, 7 through
// the q-ary transform).
void run_weight_distribution(const char* input_name, const char* output_name);

// Menu choice 33: one count per projective point, for every q.
void run_projective_sums(const char* input_name, const char* output_name);

}  // namespace wdist
