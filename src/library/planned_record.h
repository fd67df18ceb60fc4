// What a plan holds: the code's basis, the counted code (the basis itself
// or the dual's generator) and its columns prepared for the engine's route.
// Shared by the library's steps and its executor; not part of the public
// interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/basis.h"
#include "engine/infoset.h"
#include "engine/record_steps.h"
#include "wdist/plan.h"

namespace wdist {

struct SearchLevelUnits;

struct PlannedRecord {
  int q = 2;
  int k = 0;
  std::int64_t n = 0;
  bool projective = false;
  Method method = Method::direct;
  engine::Basis basis;
  std::vector<ElemCode> dual_rows;        // the dual's generator, (n - rank) x n (method dual)
  std::vector<const ElemCode*> pointers;  // rows of the counted code
  int dimension = 0;                      // of the counted code; 0: nothing to count
  engine::PreparedRecord prepared;                // its columns for the engine (dimension > 0)
  std::uint64_t tally_size = 0;           // weight indices of the counted code's tally
  // A level of a search by information sets instead (library/search.cpp):
  // then the units are its rank ranges and the tally its encoded
  // SearchTally, and nothing above but tally_size holds.
  std::shared_ptr<const SearchLevelUnits> search;
};

// The units of one level of a search: the plan of the whole search, the
// level, and the weight of the lightest codeword known (a hint to the
// walks, shared by the levels and lowered by every unit).
struct SearchLevelUnits {
  std::shared_ptr<const SearchPlan> plan;
  SearchLevel level;
  std::shared_ptr<std::atomic<std::int64_t>> lightest;
};

// A search's tally as a Tally: [0] the lightest weight + 1 (0: none),
// [1] its level, [2] its rank, then its word, eight element codes to a
// count (little-endian), then counts[0..count_up_to] when it counts.
std::uint64_t search_tally_size(const SearchPlan& plan);
void encode_search_tally(const SearchPlan& plan, const SearchTally& tally, std::uint64_t* out);
void decode_search_tally(const SearchPlan& plan, const std::uint64_t* in, SearchTally& tally);
// into = into + from, both encoded: counts added, the lighter (then
// earlier in level and rank) codeword kept.
void merge_search_tally(const SearchPlan& plan, const std::uint64_t* from, std::uint64_t* into);
// run_units for a search level.
Status run_search_units(const PlannedRecord& record, std::uint64_t first, std::uint64_t count, Worker& worker,
                        std::uint64_t* tally);

// The plans of the engine for the library: tables up to this size are held
// whole (where they are faster); larger records go block by block.
inline constexpr std::uint64_t kLibraryTableBudget = std::uint64_t{64} << 20;

// plan_record with the table budget set by the caller: tests and benchmarks
// take the block routes on small records (budget 0) or compare them with
// the table routes.
Status plan_record_with_budget(const Code& code, const Options& options, std::uint64_t table_budget, Plan& plan);

}  // namespace wdist
