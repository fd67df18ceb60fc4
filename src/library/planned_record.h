// What a plan holds: the code's basis, the counted code (the basis itself
// or the dual's generator) and its columns prepared for the engine's route.
// Shared by the library's steps and its executor; not part of the public
// interface.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/basis.h"
#include "engine/record_steps.h"
#include "wdist/plan.h"

namespace wdist {

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
};

// The plans of the engine for the library: tables up to this size are held
// whole (where they are faster); larger records go block by block.
inline constexpr std::uint64_t kLibraryTableBudget = std::uint64_t{64} << 20;

// plan_record with the table budget set by the caller: tests and benchmarks
// take the block routes on small records (budget 0) or compare them with
// the table routes.
Status plan_record_with_budget(const Code& code, const Options& options, std::uint64_t table_budget, Plan& plan);

}  // namespace wdist
