// Running the two computation paths on test codes and reading their
// reports back: writes the codes as an input file, runs the path's driver
// in this process, and parses the report block by block, strictly, so that
// a stray byte shows as a parse error. Also renders the report a run must
// give, with the storage capacities that the code matrix passes through.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/brute_force.h"

namespace wdist_test {

enum class ComputePath { weight_distribution, projective_sums };

const char* path_name(ComputePath path);

// One report block as written: the head numbers, the matrix rows, the "G="
// value, the ten characters of the time field and the weight pairs.
struct ReportBlock {
  int k;
  int n;
  int q;
  int record;
  long long cap_rows;
  long long cap_cols;
  std::vector<std::string> rows;
  unsigned long long generator;
  std::string time_field;
  WeightPairs weights;
};

// False with `error` naming the byte offset and what was expected there.
bool parse_report(const std::string& text, std::vector<ReportBlock>& blocks, std::string& error);

// Runs the driver of `path` on a temporary input file holding `input`;
// false when the files could not be made or read.
bool run_path_on_text(ComputePath path, const std::string& input, std::string& report);

// The counts the path reports for the code, by brute force.
Weights expected_weights(ComputePath path, const TestCode& code);

// The capacities of the code matrix across the records of one run: the
// storage is kept while both capacities suffice, otherwise re-sized to
// exactly the request with the columns rounded up to a multiple of 16.
struct MatrixCapacity {
  bool held = false;
  long long cap_rows = 0;
  long long cap_cols = 0;
};
void size_matrix_capacity(MatrixCapacity& c, int rows, int columns);

// The report of one run of `path` over the codes, every time field given
// as `time_field` (ten characters in a real report).
std::string expected_report(ComputePath path, const std::vector<TestCode>& codes, const std::string& time_field);

}  // namespace wdist_test
