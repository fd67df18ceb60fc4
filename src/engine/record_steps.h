// The steps of one record, the same for every front end (the menu
// programs, the library, the benchmarks and the fuzz targets): prepare the
// columns for the plan once, then run the plan's units, in any order and
// on any thread, each adding its counts into a histogram. The counts of all
// units together are the record's, whatever the split.
//
// Nothing here allocates except prepare_record (which grows the record's
// vectors and may throw std::bad_alloc), and nothing halts: storage comes
// from the caller.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/plan.h"
#include "transform/blockwise.h"
#include "transform/columns.h"
#include "transform/histogram.h"

namespace wdist::engine {

// A record's columns, prepared for its plan.
struct PreparedRecord {
  RecordPlan plan{};
  MatrixView matrix{};             // the columns counted (table routes count from it): the caller's,
                                   // or those of `image` (so a prepared record is not copied)
  // plan.image_degree > 1: the image over F_p of the caller's columns,
  // held whole (m k rows of r n codes), which the projective routes count.
  std::vector<ElemCode> image;
  std::vector<const ElemCode*> image_rows;
  std::int64_t zero_columns = 0;   // columns that are zero in every row (binary_blocks: of the image)
  std::vector<std::uint64_t> patterns;   // binary_blocks: one pattern per (image) column
  std::vector<std::uint32_t> slot;       // binary_blocks: the patterns split for the groups
  std::vector<std::uint8_t> lane;
  std::vector<std::uint64_t> high;
  BlockColumns block_columns{};
  // projective_blocks: per column c and shift s, the point index of the
  // column (s, low coordinates) in the small table: shifted_points[c*q + s];
  // and the column's high coordinates: high_digits[c*(K-m) + i].
  std::vector<std::uint32_t> shifted_points;
  std::vector<ElemCode> high_digits;
};

// Prepares the record's columns for `plan`. `m` holds the columns the plan
// counts: the code's rows, or for a binary_image plan either the F_(2^m)
// rows (the image is formed here) or the rows of F_4's image itself (q =
// 2); for a plan of image_degree > 1 the code's rows, whose image is
// formed here. The view must outlive the record. Reuses the vectors'
// storage.
void prepare_record(const MatrixView& m, const RecordPlan& plan, PreparedRecord& record);

// Per-thread storage for running units; the caller provides every buffer.
struct Workspace {
  TallyScratch* tally;       // every binary route
  void* group;               // binary_blocks: kBlockGroupBytes, 64-byte aligned
  void* small_table;         // projective_blocks: plan.block_bytes, 64-byte aligned
  void* kernel_scratch;      // plan.generic_kernel: generic_scratch_bytes(plan), 64-byte aligned
};

// The scratch of the generic kernel for the plan (0 when it takes none).
std::uint64_t generic_scratch_bytes(const RecordPlan& plan);

// The planes of a table route: planes[e] holds plan.table_rows counters of
// the plan's width (one plane on the binary route, point_q on the
// projective one).
// Their contents on entry do not matter.
using TablePlanes = void* const*;

// Adds the counts of units first .. first + count - 1 into hist[0..N].
// Table routes have one unit and need `table`; the other routes ignore it.
void run_units(const PreparedRecord& record, std::uint64_t first, std::uint64_t count, Workspace& ws,
               TablePlanes table, std::uint64_t* hist);

// The largest weight a codeword of the columns can have, as far as their
// layout tells: a binary code whose columns are those of an additive code
// over F_4 (x, z and x + z for each symbol, in three runs, as stabilizer
// groups are counted) has at most two thirds of them nonzero; n otherwise.
std::int64_t heaviest_weight(const MatrixView& m);

// A plan of byte lanes (counter_bits 8) counts modulo 256, so a code of
// heaviest << shift = 256 counts its words of that weight at 0, with the
// zero word. Their number follows from the sum of all weights, which the
// columns fix: moved is how many of hist[0] belong at index plan.heaviest
// (0 on every other plan). hist[0..size) holds the record's whole tally.
// False when the tally cannot be the plan's.
bool aliased_top_weight(const PreparedRecord& record, const std::uint64_t* hist, std::size_t size,
                        std::uint64_t& moved);

}  // namespace wdist::engine
