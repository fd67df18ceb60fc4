// Walks over the messages of one information weight w in one information
// set, the inner loops of the minimum-distance search (engine/infoset.h).
//
// An information set gives a systematic generator [I | A] (up to column
// order): the message x is the codeword's information part, and the
// codeword's weight is wt(x) + wt(x A). A walk visits the messages of
// weight w from a given rank on (combinations.h: positions in
// lexicographic order; over F_q, q > 2, the first nonzero coefficient is 1
// and the others follow a Gray code, so that one message stands for its
// q - 1 multiples), and calls back for every message whose codeword weighs
// at most a limit, which the callback may lower as it goes.
//
// Binary sets: the redundancy part of each row is packed 64 columns to a
// word. The positions are walked as a prefix and a tail: the prefix sum
// (the rows of all positions but the last one or two, added up as the
// prefix changes, nested partial sums) is combined with every tail entry
// in turn, the tail entries being the rows themselves or, when the set has
// them, the sums of two rows a < b in lexicographic order. Either way each
// step is one exclusive or and one popcount per word, on a table read in
// order; a codeword is dropped as soon as its partial weight passes the
// limit.
//
// Sets over F_q, q > 2: the redundancy parts are kept as bytes, one byte
// per column and digit (digits of base p, the characteristic: one plane
// per digit, or a single plane of codes when p = 2, where addition is
// exclusive or). Each row's q - 1 multiples are tabled, so a step of the
// Gray code, which changes one coefficient, adds one tabled vector.
//
// Each SIMD path has its own walk bodies (walk_body.h), compiled for its
// target; the walks here choose the path at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wdist {

using WalkWord = std::uint64_t;

// The binary tables are followed by this many entries (of any value) that
// the scans may read and ignore: they take a table's last entries a whole
// vector at a time.
inline constexpr std::size_t kTablePadding = 8;

// A binary set's rows for the walks. Row j's redundancy part is
// row_words[j * words .. (j + 1) * words): bit t of word i is redundancy
// column 64 i + t; bits beyond the redundancy are 0. Both tables are
// followed by kTablePadding readable entries.
struct BinaryWalkTables {
  int rows = 0;               // the dimension K
  std::size_t words = 1;      // per row, at least 1
  const WalkWord* row_words = nullptr;   // K rows
  const WalkWord* pair_words = nullptr;  // C(K, 2) sums of rows a < b, lexicographic; null: none
};

// A set over F_q, q > 2, for the walks. Vector layout: `planes` planes of
// `length` bytes (a multiple of 64; bytes beyond the redundancy are 0).
// Plane t holds digit t of each column (p odd) or the column's code
// (p = 2, one plane). Tabled vectors are in addend form: for p odd each
// digit d is stored as p - d (1..p), which the walks subtract; for p = 2
// the code itself.
struct QaryWalkTables {
  int rows = 0;  // the dimension K
  int q = 0;
  int p = 0;
  int planes = 1;
  std::size_t length = 64;
  // K * (q - 1) vectors: vector (j, b - 1) is b times row j's redundancy part.
  const std::uint8_t* multiples = nullptr;
  // The coefficient codes of the Gray code's digit values (value g is code
  // g + 1) and the differences of neighbouring values:
  // step_up[g] = code(g + 1) - code(g), step_down[g] = code(g - 1) - code(g).
  const std::uint8_t* step_up = nullptr;    // q - 1 entries (the last unused)
  const std::uint8_t* step_down = nullptr;  // q - 1 entries (the first unused)
};

// A message whose codeword weighs at most the limit.
struct WalkHit {
  int weight;                  // of the codeword
  std::uint64_t rank;          // of the message among those of its weight
  const int* positions;        // the w nonzero message coordinates, increasing
  const std::uint8_t* coefficients;  // q > 2: their codes (the first is 1); binary: null
  const WalkWord* redundancy;  // binary: the codeword's redundancy part (words)
  const std::uint8_t* vector;  // q > 2: the codeword's redundancy part (planes, plain digits)
};

// Called for each hit, in increasing rank; returns the limit from then on.
using WalkVisitor = int (*)(void* context, const WalkHit& hit);

// Per-thread storage of the walks: sized once for the largest w, never
// grown by a walk.
struct WalkScratch {
  std::vector<WalkWord> words;
  std::vector<std::uint8_t> bytes;
  std::vector<int> ints;
};

// Makes `scratch` large enough for walks of weight up to `most_weight`
// on the given tables (either may be null). May throw std::bad_alloc.
void size_walk_scratch(const BinaryWalkTables* binary, const QaryWalkTables* qary, int most_weight,
                       WalkScratch& scratch);

// Visits the messages of weight w (1 <= w <= K) of ranks first ..
// first + count - 1 (all below the number of such messages: C(K, w), times
// (q - 1)^(w - 1) over F_q), calling `visit` for each whose codeword weighs
// at most `limit` (as `visit` updates it). Returns early once the limit is
// below w.
void walk_binary(const BinaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
                 WalkScratch& scratch, WalkVisitor visit, void* context);
void walk_qary(const QaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
               WalkScratch& scratch, WalkVisitor visit, void* context);

// The first entry e of from..to-1 of `table` (entries of `words` words,
// readable up to kTablePadding entries past `to`) with popcount(s +
// table[e]) <= limit; `to` when there is none. The binary walks' inner
// loop, exposed for its tests and benchmarks.
std::size_t first_light_entry(const WalkWord* s, const WalkWord* table, std::size_t words, std::size_t from,
                              std::size_t to, int limit);

}  // namespace wdist
