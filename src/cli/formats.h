// How the wdist program writes a computed record: readable text, JSON
// Lines, or the report blocks of the menu programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wdist/plan.h"
#include "wdist/stabilizer.h"
#include "wdist/wdist.h"

namespace wdist::cli {

enum class Format { text, json, report };

// Where a record came from, as the output names it.
struct RecordOrigin {
  std::string file;  // the name on the command line, "-" for standard input
  int number = 0;    // within its file, refused records included
};

// Each format takes the record's counts from `d`, or, for a record
// finished without big integers (finish_record_u64, or
// count_nonzero's nonzero counts), from `counts` beside the rest of `d`.

// One record in text: a head line (file, record number, q, n, k, rank,
// minimum distance, method) and one line "w A_w" per nonzero count, then
// an empty line.
std::string text_record(const RecordOrigin& origin, const Distribution& d);
std::string text_record(const RecordOrigin& origin, const Distribution& d, const std::vector<std::uint64_t>& counts);
std::string text_record(const RecordOrigin& origin, const Distribution& d, const NonzeroCounts& counts);

// One JSON object on one line: {"file", "record", "q", "n", "k", "rank",
// "min_distance" (null for the zero code), "method", "projective",
// "distribution": [[w, A_w], ...]} with exact integers.
std::string json_record(const RecordOrigin& origin, const Distribution& d);
std::string json_record(const RecordOrigin& origin, const Distribution& d, const std::vector<std::uint64_t>& counts);
std::string json_record(const RecordOrigin& origin, const Distribution& d, const NonzeroCounts& counts);

// `s` (bytes: a file name) as a JSON string, appended to `out`: the
// escapes of json_record's "file".
void append_json_name(std::string& out, const std::string& s);

// The storage capacities the menu programs' matrix record passes through
// in one run (one input file): kept while both suffice, otherwise exactly
// the request, the columns rounded up to a multiple of 16.
struct MatrixCapacity {
  bool held = false;
  std::int32_t rows = 0;
  std::int32_t cols = 0;
};
void size_capacity(MatrixCapacity& c, std::int32_t rows, std::int32_t cols);

// One report block as wdist-wide writes it for the code, with the counting
// rules of its plan's layout (`summary`): every message counted, or the
// nonzero ones where the zero message is not counted; with `projective`
// one count per projective point of messages, at its weight plus the zero
// columns where those shift the weights.
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const PlanSummary& summary, const Distribution& d);
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const PlanSummary& summary, const Distribution& d,
                          const std::vector<std::uint64_t>& counts);
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const PlanSummary& summary, const Distribution& d,
                          const NonzeroCounts& counts);

// At most how many bytes the output of a record takes in `format`, its
// counts from `counts` when not null, from `d` otherwise (`code` matters to
// report blocks alone). Each format takes its text at once, at most this
// much: what a message names when that cannot be had.
std::uint64_t output_bytes(Format format, const RecordOrigin& origin, const Code& code, const Distribution& d,
                           const std::vector<std::uint64_t>* counts);
std::uint64_t output_bytes(Format format, const RecordOrigin& origin, const Code& code, const Distribution& d,
                           const NonzeroCounts& counts);

// The output of a computed record in `format`, into `out`: its counts
// from `counts` when not null (finish_record_u64), from `d`
// otherwise; report blocks repeat the matrix, show the capacities and the
// `seconds` it took, and count as the plan (`summary`) says. out_of_memory,
// naming the bytes, when the text cannot be had.
Status record_output(Format format, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                     double seconds, const PlanSummary& summary, const Distribution& d,
                     const std::vector<std::uint64_t>* counts, std::string& out);
// The same from count_nonzero's counts.
Status record_output(Format format, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                     double seconds, const PlanSummary& summary, const Distribution& d, const NonzeroCounts& counts,
                     std::string& out);

// A stabilizer code (--stabilizer) in text: a head line (file, record
// number, [[n,k,d]], n, generators, rank, k, d, degenerate or not; for
// k = 0 the distance is marked as the least weight of a nonzero element of
// S), then "  A w A_w" and "  B w B_w" for the nonzero counts, then an
// empty line. In JSON: {"file", "record", "n", "generators", "rank", "k",
// "distance", "distance_in_stabilizer" (true for k = 0), "degenerate",
// "A": [[w, A_w], ...], "B": [[w, B_w], ...]} with exact integers.
std::string stabilizer_text(const RecordOrigin& origin, const StabilizerEnumerators& e);
std::string stabilizer_json(const RecordOrigin& origin, const StabilizerEnumerators& e);

// An additive code over F_4 (--additive), as a distribution record: text
// "FILE record N: additive over F_4 n=.. generators=.. rank=.. d=.." (rank
// over F_2: 2^rank codewords; "(through the dual)" when its symplectic
// dual was counted), then "  w A_w" lines; JSON {"file", "record",
// "additive": true, "n", "generators", "rank", "min_distance" (null for
// the zero code), "method", "distribution": [[w, A_w], ...]}.
std::string additive_text(const RecordOrigin& origin, const AdditiveDistribution& a);
std::string additive_json(const RecordOrigin& origin, const AdditiveDistribution& a);

// The output of a group record in `format` (text or JSON), into `out`;
// out_of_memory, naming the bytes, when the text cannot be had.
Status group_output(Format format, const RecordOrigin& origin, const StabilizerEnumerators& e, std::string& out);
Status group_output(Format format, const RecordOrigin& origin, const AdditiveDistribution& a, std::string& out);

}  // namespace wdist::cli
