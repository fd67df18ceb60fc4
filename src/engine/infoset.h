// The minimum distance and the low-weight counts of a code by information
// sets (the Brouwer-Zimmermann method), on the engine's shape: a plan made
// before any work, units of work whose results merge exactly in any
// order, and a state that a checkpoint can hold.
//
// The sets. With K the code's dimension, set i is a choice of K columns on
// which the generator is the identity after elimination, G_i = [I | A_i]
// up to column order. Its columns are taken first from those no earlier
// set has counted ("own" columns, r_i of them, r_i the rank of the columns
// left) and completed from earlier sets' columns; own columns of different
// sets never meet, and while there are fewer than kMostSets sets every
// nonzero column is some set's own. Zero columns are in no set.
//
// The levels. Level (i, w) walks the messages of weight w of set i (over
// F_q, q > 2, one per one-dimensional subspace: multiples weigh the same).
// A codeword met in none of the levels done has, in every set i done up to
// weight c_i, an information part of weight at least c_i + 1, of which at
// least c_i + 1 - (K - r_i) lies in the set's own columns. The own columns
// being disjoint, its weight is at least
//     L = sum_i max(0, c_i + 1 - (K - r_i)),
// the lower bound; the lightest codeword met is the upper bound U. The
// levels run in a fixed order, each next one the cheapest way to raise L
// (the sets in turn at equal ranks), and the search stops when L >= U:
// then U is the minimum distance. A set done up to weight K has met every
// codeword.
//
// Counts. For A_w, w <= W, the levels run until L > W, which fixes the
// weight c_i each set is walked to in the end. A codeword of weight <= W
// is met in at least one set; it is counted (q - 1 times, for its
// multiples) in the first set i whose information part of it weighs at
// most c_i, which its own coordinates tell.
//
// Results. The witness is the first codeword of least weight in the order
// (level, rank) among the levels completed; the walks keep every codeword
// of weight up to the hint (the weight of any codeword known), so the
// result, witness included, is the same for any split into units, any
// merge order, any hint and any number of threads, and after a resume.
//
// Nothing here halts or throws: refusals come back with their reason, and
// only plan_search, size_search_scratch and empty_search_tally allocate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "enumerate/field_ops.h"
#include "enumerate/walk.h"
#include "transform/columns.h"

namespace wdist {

// What a search is for.
struct SearchGoal {
  bool minimum_distance = true;  // until the lower bound meets the upper bound
  int count_up_to = 0;           // A_w exactly for every w <= count_up_to (0: no counts)
};

struct InformationSet {
  int own = 0;                                   // r_i: columns no earlier set has
  std::vector<std::int64_t> info_columns;        // K: the column of message coordinate j
  std::vector<std::int64_t> redundancy_columns;  // the set's other nonzero columns, increasing
  int count_limit = 0;  // counts: the weight this set is walked to in the end
  // The walks' tables (enumerate/walk.h): binary sets
  std::vector<WalkWord> row_words;
  std::vector<WalkWord> pair_words;  // empty when C(K, 2) sums take more than kPairTableBytes
  // and sets over F_q, q > 2.
  std::vector<std::uint8_t> multiples;
};

// The sums of two rows are tabled up to this size per set (the walks then
// read them from L2).
inline constexpr std::uint64_t kPairTableBytes = std::uint64_t{1} << 20;
// At most this many sets: further ones would bring few own columns each,
// and codes of so low a rate are cheap to count whole.
inline constexpr int kMostSets = 64;

struct SearchPlan {
  int q = 2;
  std::int64_t n = 0;         // columns
  int dimension = 0;          // K, the rank of the generator (0: the zero code, no sets)
  std::int64_t support = 0;   // nonzero columns: every nonzero codeword weighs at most this
  SearchGoal goal;
  int count_up_to = 0;        // goal.count_up_to, at most the support
  std::vector<InformationSet> sets;
  std::uint32_t counting_levels = 0;  // levels that count (the first ones in the order)
  // Binary: words per row. F_q, q > 2: vectors of `planes` planes of `length` bytes.
  std::size_t words = 1;
  int planes = 1;
  std::size_t length = 64;
  FieldOps field;                  // q > 2
  std::vector<std::uint8_t> step_up, step_down;  // q > 2: the Gray code's coefficient steps
  std::uint64_t table_bytes = 0;   // every set's tables together
  // A hash of the code's entries and the goal: plans of equal identity
  // have the same sets, levels and units, and interchangeable tallies.
  std::uint64_t identity = 0;
};

// Reduces the code spanned by m's rows (any rank, zero columns allowed;
// q with load_field_ops) and builds its information sets and their tables.
// False, with the reason in `refusal`, for a field the search cannot take
// or tables that cannot be had (the amount named).
bool plan_search(const MatrixView& m, const SearchGoal& goal, SearchPlan& plan, std::string& refusal);

// One level: the messages of information weight `weight` in set `set`.
struct SearchLevel {
  std::uint32_t index = 0;  // its place in the order of levels, from 0
  int set = 0;
  int weight = 0;
  std::uint64_t items = 0;  // messages: C(K, w), times (q - 1)^(w - 1) over F_q
  bool counts = false;      // it is one of the counting levels
};

// The lightest codeword seen and where: level and rank order ties.
struct Lightest {
  std::int64_t weight = -1;  // -1: none
  std::uint32_t level = 0;
  std::uint64_t rank = 0;
  std::vector<ElemCode> word;  // n element codes (sized by empty_search_tally)
};

// What units produce; tallies merge exactly (add_search_tally).
struct SearchTally {
  Lightest lightest;
  std::vector<std::uint64_t> counts;  // counts[w], w <= count_up_to: codewords first met here
};

// A tally for `plan` with nothing seen and every count 0. May throw std::bad_alloc.
SearchTally empty_search_tally(const SearchPlan& plan);
// into = into + from: counts added, the lighter (then earlier) codeword kept.
void add_search_tally(SearchTally& into, const SearchTally& from);

// How far a search is: what a checkpoint keeps besides the plan's identity
// and the units done of the current level.
struct SearchState {
  std::vector<int> done;      // per set: weights 1..done[i] walked
  std::uint32_t levels = 0;   // levels completed, in order
  SearchTally total;          // theirs (counts[0] = 1 for the zero word)
};

// The state before any level. May throw std::bad_alloc.
void begin_search(const SearchPlan& plan, SearchState& state);

enum class NextLevel {
  run,          // `level` is next
  finished,     // the goal is reached: nothing more to run
  beyond_reach  // the next level has too many messages to number in 64 bits
};
NextLevel next_level(const SearchPlan& plan, const SearchState& state, SearchLevel& level);

// The units of a level: ranges of ranks of about equal work.
std::uint64_t level_units(const SearchPlan& plan, const SearchLevel& level);
void unit_range(const SearchPlan& plan, const SearchLevel& level, std::uint64_t unit, std::uint64_t& first,
                std::uint64_t& count);

// Per-thread storage for units; sized once per plan. False, with the
// amount in `refusal`, when it cannot be had.
struct SearchScratch {
  WalkScratch walk;
  std::vector<ElemCode> word;
};
bool size_search_scratch(const SearchPlan& plan, SearchScratch& scratch, std::string& refusal);

// Walks the messages of ranks first .. first + count - 1 of `level` and
// adds what they give into `tally` (one from empty_search_tally, which may
// hold other units' results already). `hint` is the weight of some codeword
// (the upper bound known when the unit starts), or -1: the walk drops
// codewords heavier than it, which changes no merged result.
void run_search_unit(const SearchPlan& plan, const SearchLevel& level, std::uint64_t first, std::uint64_t count,
                     std::int64_t hint, SearchScratch& scratch, SearchTally& tally);

// Records a level as completed with the merged tally of all its units.
void finish_level(const SearchPlan& plan, const SearchLevel& level, const SearchTally& level_tally,
                  SearchState& state);

// The least weight a nonzero codeword not met in the completed levels can
// have; support + 1 when every codeword has been met.
std::int64_t unseen_lower_bound(const SearchPlan& plan, const SearchState& state);
// Bounds on the minimum distance: lower <= d <= upper (upper -1 while no
// codeword has been met; both -1 for the zero code). Equal once the search
// for the minimum is finished.
void distance_bounds(const SearchPlan& plan, const SearchState& state, std::int64_t& lower, std::int64_t& upper);
// Whether the goal is reached: the bounds have met (minimum distance) and
// every codeword of weight <= count_up_to has been met (counts).
bool search_finished(const SearchPlan& plan, const SearchState& state);

// ---- Work estimates, before any work.

// The expected minimum distance of a random [support, dimension] code over
// F_q: the median, the least d for which the expected number of
// one-dimensional subcodes of weight <= d reaches ln 2. At most the
// Singleton bound; -1 for dimension 0.
std::int64_t expected_min_distance(int q, std::int64_t support, int dimension);

// Measured on the machine of bench/README.md, a walk handles about as many
// 64-bit words per second as the transform routes count messages (binary
// and F_3 alike), so `words` compares with PlanSummary::cost, the complete
// distribution's q^rank or q^(n - rank) messages.
struct SearchEstimate {
  std::int64_t distance = 0;  // the minimum distance assumed
  std::uint32_t levels = 0;   // levels run until the search stops at that distance
  double items = 0;           // messages walked
  double words = 0;           // 64-bit words handled: items times the words of each step
  bool reachable = true;      // every one of those levels can be numbered in 64 bits
};

// The work of `plan` if its minimum distance is `distance` (the expected
// one when -1): the levels in order until the stop rule holds, the counts'
// levels included.
SearchEstimate estimate_search(const SearchPlan& plan, std::int64_t distance);
// The same before any elimination, from the shape alone: a generic code
// has floor(support / K) sets of rank K and one of the rest.
SearchEstimate estimate_search_shape(int q, std::int64_t support, int dimension, const SearchGoal& goal,
                                     std::int64_t distance);

}  // namespace wdist
