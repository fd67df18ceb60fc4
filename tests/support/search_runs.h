// The information-set search (engine/infoset.h) run to its end on one
// thread, with the units of each level split and merged as a test asks,
// and the codes its tests and benchmarks search: Reed-Muller codes, the
// binary quadratic-residue codes, random codes with dependent rows and
// zero columns.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/infoset.h"
#include "wdist/wdist.h"

namespace wdist_test {

// How the units of each level are cut and merged.
struct SearchShape {
  // planned: the plan's units; random_ranges: about 64 ranges of random
  // lengths per level; single_items: one message per unit on levels of at
  // most 4096 messages, random ranges above.
  enum class Split { planned, random_ranges, single_items } split = Split::planned;
  bool shuffle_merges = false;  // merge the units' tallies in random order
  // Run the units in random order, each adding into one of three tallies
  // chosen at random (as threads that keep one tally each), instead of one
  // fresh tally per unit.
  bool shared_tallies = false;
  bool random_hints = false;    // give units random hints of at least `hint_floor` (or none)
  std::int64_t hint_floor = 0;
  bool drop_pair_tables = false;  // binary walks over single rows only
  std::uint64_t seed = 1;
};

struct SearchOutcome {
  bool planned = false;
  std::string refusal;
  bool finished = false;         // the goal was reached (not beyond reach)
  std::int64_t lower = -1, upper = -1;
  std::vector<wdist::ElemCode> witness;  // empty without one
  std::vector<std::uint64_t> counts;
  std::uint32_t levels = 0;
  double items = 0;              // messages walked
  int sets = 0;
};

SearchOutcome search_code(const wdist::Code& code, const wdist::SearchGoal& goal, const SearchShape& shape = {});

// The rows of a code as the engine's view; `pointers` holds them.
wdist::MatrixView view_of_code(const wdist::Code& code, std::vector<const wdist::ElemCode*>& pointers);

// RM(r, m): the evaluations at the 2^m points of F_2^m (point j at column
// j, its bits the coordinates) of every monomial of degree at most r.
wdist::Code reed_muller_code(int r, int m);
// Its minimum-weight codewords, 2^(m-r) each: the product formula
// 2^r prod_{i=0}^{m-r-1} (2^(m-i) - 1) / (2^(m-r-i) - 1).
std::uint64_t reed_muller_minimum_words(int r, int m);

// The binary quadratic-residue code of prime length p = +-1 mod 8 and
// dimension (p + 1)/2: the cyclic shifts of whichever of the idempotents
// sum_{r square} x^r and 1 + that spans (p + 1)/2 dimensions.
wdist::Code quadratic_residue_code(int p);

// k random rows of n entries over F_q.
wdist::Code random_code(int q, int k, std::int64_t n, std::mt19937_64& rng);
// Small random codes with the awkward cases mixed in: rows that are
// combinations of others, zero rows, zero and repeated columns.
wdist::Code awkward_random_code(int q, int k, std::int64_t n, std::mt19937_64& rng);

// Whether `word` is in the row space of the code's rows (the rank does not
// grow when it is added), and its Hamming weight.
bool is_codeword(const wdist::Code& code, const std::vector<wdist::ElemCode>& word);
std::int64_t weight_of(const std::vector<wdist::ElemCode>& word);

}  // namespace wdist_test
