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
  int q = 2;                   // a prime power up to 256 (fields.h)
  int k = 0;                   // rows of the matrix the columns are taken from
  std::int64_t n = 0;          // columns
  bool one_per_point = false;  // one count per projective point of messages (every q through the projective layout)
  // The largest weight a codeword can have when less than n is known of
  // the columns (heaviest_weight, record_steps.h); -1: n.
  std::int64_t heaviest = -1;
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
  bool binary_image;      // q = 2^m >= 4 on a binary route: the columns are those of the binary image
  unsigned K;             // binary: 2^K messages; projective: points of PG(K-1, point_q)
  std::int64_t n;         // columns of the record
  std::int64_t N;         // top index of the histogram: n, or the image's columns (q - 1)/(p - 1) n
  std::int64_t heaviest;  // no codeword is heavier (the shape's, or n)
  unsigned shift;         // binary routes: 1, or m for the binary image of F_(2^m)
  std::uint64_t step;     // projective routes: count per point (point_q - 1, or 1 for one per point)
  int point_q;            // projective routes: the field of the points, q or the prime p of an image
  unsigned image_degree;  // m when the columns counted are those of the image over F_p (field_image.h)
                          // of a code over F_(p^m), other than F_4's own binary image; 1 otherwise
  bool generic_kernel;    // projective routes over a prime p >= 11: the generic kernel (qary_generic.h)
  std::int64_t weight_scale;  // a codeword of weight w is counted at histogram index w * weight_scale:
                              // p^(m-1) on a projective image, where the image word has that weight, 1 otherwise
  int counter_bits;       // 16 or 32; 8 on binary_blocks when heaviest << shift <= 256 (values
                          // modulo 256, the heaviest words' alias settled at the end, record_steps.h)
  unsigned block_bits;    // binary_blocks: 2^block_bits entries per group; projective_blocks: low dimension
  std::uint64_t blocks;   // groups (binary_blocks), high points (projective_blocks); 1 on table routes
  std::uint64_t blocks_per_unit;
  std::uint64_t units;    // independent work units; their tallies add up to the record's
  std::uint64_t table_rows;   // table routes: 2^K entries or theta_K + 1 rows (0 otherwise)
  std::uint64_t table_bytes;  // table routes: the whole table
  std::uint64_t block_bytes;  // per thread: a group, or the small table of a projective block
};

// How the messages of a code over F_q are counted, for every supported q:
// the one place that decides it. For q = p^m the hyperplane counts over
// F_q^k are those of the image columns over F_p^(mk) (field_image.h), so
//  - q = 2 and 2^m: the binary layout, F_4 through its own binary image of
//    length 3n, F_8 .. F_256 through the image of length (q - 1) n (each
//    pattern read off the codes of a multiple of the column); unless one
//    count per point is asked for or the image is too long for 32-bit
//    counters (F_4 then goes over its own projective points, the larger
//    fields have no route);
//  - F_3, F_5, F_7: their projective points and butterflies;
//  - the primes 11 .. 251: their projective points and the generic kernel;
//  - the other p^m (9, 27, 81, 243, 25, 125, 49, 121, 169): the projective
//    points of the image over F_p, of (q - 1)/(p - 1) n columns, counted
//    with F_p's kernel, the image weights divided by p^(m-1) at the end.
struct FieldRoute {
  bool supported;       // false: no route takes the field at this length
  bool binary;          // the binary layout
  int point_q;          // projective: the field whose points are counted
  unsigned degree;      // m of an image over F_p other than F_4's own; 1 otherwise
  bool generic_kernel;  // projective over a prime p >= 11
};
FieldRoute field_route(int q, std::int64_t n, bool one_per_point);

// Whether the messages of a code are counted over the binary layout
// (field_route).
bool takes_binary_layout(int q, std::int64_t n, bool one_per_point);

// Whether the layout of F_q's weight distributions counts the zero message
// with the others: the binary layout (F_2, F_4 and every F_(2^m)) does,
// the projective one (odd q) leaves it out. The menu programs show the
// counts as their layout has them, and the program's report of their
// format follows.
constexpr bool layout_counts_zero_message(int q) { return q >= 2 && (q & (q - 1)) == 0; }

// The messages of a code of `dimension` over F_q, q^dimension: the work of
// counting it. As a double: exact below 2^53, beyond that as near as a
// double gets, inf beyond its range; 1 for dimension 0 or less.
double message_count(int q, std::int64_t dimension);

// The plan for `shape` under `policy`; false (with nothing planned) when no
// route can take it: an unsupported q, k < 1, n < 0, a length beyond what
// 32-bit counters hold, or a space too large to be numbered in 64 bits.
bool plan_record(const RecordShape& shape, const TablePolicy& policy, RecordPlan& plan);

// The histogram entries the plan's units write: N + 1; for the binary image
// of F_(2^m), m >= 3, the (2N >> m) + 1 (about 2n + 1) the binary tally
// folds, not the image's (q - 1) n + 1.
std::uint64_t histogram_entries(const RecordPlan& plan);

// The bytes of a projective table of theta_K + 1 rows of q counters (q the
// field of the points).
std::uint64_t projective_table_bytes(int q, unsigned K, int counter_bits);

}  // namespace wdist::engine
