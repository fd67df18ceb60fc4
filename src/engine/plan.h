// Planning a record: the one place that decides, for a code over F_q, how
// its messages are counted: the layout (binary table of 2^K entries or the
// projective points), whether the table is held whole or computed block
// by block, the counter width, and how the work is cut into units.
//
// Planning is cheap and happens before any work. A plan only describes;
// the record steps (record_steps.h) carry it out.
#pragma once

#include <cstdint>

namespace wdist::engine {

enum class Route {
  binary_table,       // characteristic vector over 2^K entries, transformed whole (q = 2, 4)
  binary_blocks,      // the same values one cache-sized group of blocks at a time (q = 2, 4)
  projective_table,   // one row of q counters per point of PG(K-1, q), transformed whole
  projective_blocks,  // high coordinates fixed per block, the low part transformed in cache
};
const char* route_name(Route route);

// The largest spaces the routes number. A binary table of 2^62 counters
// would overflow a 64-bit byte count, so binary routes take K < 62; the
// q-ary transform tables theta_j for j <= 32, so a projective table has
// dimension at most 32 (the blocks go further).
inline constexpr unsigned kBinaryDimensionLimit = 62;
inline constexpr unsigned kProjectiveTableDimension = 32;

// What is counted: the rows of a matrix over F_q (any rank) with n columns.
struct RecordShape {
  int q;               // 2, 3, 4, 5 or 7
  int k;               // rows of the matrix the columns are taken from
  std::int64_t n;      // columns
  bool one_per_point;  // one count per projective point of messages (every q through the projective layout)
};

// Where a plan may put a table of the whole record.
struct TablePolicy {
  // Tables of up to this many bytes are acceptable; larger ones are never
  // planned (the record goes block by block). UINT64_MAX: any size (the
  // menu programs, which size their tables themselves and halt when one
  // cannot be had).
  std::uint64_t table_budget;
  // 16 or 32: the counter width to use; 0: the narrowest that holds every
  // value of the record.
  int counter_bits;
};

// The plan of one record. The histogram it produces has entries 0..N; a
// message adds at (N - value) >> shift on the binary routes, a point adds
// `step` at N - (zero columns) - (its orthogonal nonzero columns) on the
// projective ones.
struct RecordPlan {
  Route route;
  int q;                  // the record's field
  bool binary_image;      // q = 4 on a binary route: the columns are those of the binary image
  unsigned K;             // binary: 2^K messages; projective: points of PG(K-1, q)
  std::int64_t n;         // columns of the record
  std::int64_t N;         // top index of the histogram: n, or 3n for the binary image
  unsigned shift;         // binary routes: 1, or 2 for the binary image
  std::uint64_t step;     // projective routes: count per point (q - 1, or 1 for one per point)
  int counter_bits;       // 16 or 32
  unsigned block_bits;    // binary_blocks: 2^block_bits entries per group; projective_blocks: low dimension
  std::uint64_t blocks;   // groups (binary_blocks), high points (projective_blocks); 1 on table routes
  std::uint64_t blocks_per_unit;
  std::uint64_t units;    // independent work units; their tallies add up to the record's
  std::uint64_t table_rows;   // table routes: 2^K entries or theta_K + 1 rows (0 otherwise)
  std::uint64_t table_bytes;  // table routes: the whole table
  std::uint64_t block_bytes;  // per thread: a group, or the small table of a projective block
};

// Whether the messages of a code are counted over the binary layout: q = 2
// and 4 (F_4 through its binary image, of length 3n), unless one count per
// point is asked for or the image is too long for 32-bit counters; F_3,
// F_5, F_7 over the projective points.
bool takes_binary_layout(int q, std::int64_t n, bool one_per_point);

// Whether the layout of F_q's weight distributions counts the zero message
// with the others: the binary layout (F_2, F_4) does, the projective one
// (F_3, F_5, F_7) leaves it out. The menu programs show the counts as
// their layout has them, and the program's report of their format follows.
constexpr bool layout_counts_zero_message(int q) { return q == 2 || q == 4; }

// The messages of a code of `dimension` over F_q, q^dimension: the work of
// counting it. As a double: exact below 2^53, beyond that as near as a
// double gets, inf beyond its range; 1 for dimension 0 or less.
double message_count(int q, std::int64_t dimension);

// The plan for `shape` under `policy`; false (with nothing planned) when no
// route can take it: an unsupported q, k < 1, n < 0, a length beyond what
// 32-bit counters hold, or a space too large to be numbered in 64 bits.
bool plan_record(const RecordShape& shape, const TablePolicy& policy, RecordPlan& plan);

// The bytes of a projective table of theta_K + 1 rows of q counters.
std::uint64_t projective_table_bytes(int q, unsigned K, int counter_bits);

}  // namespace wdist::engine
