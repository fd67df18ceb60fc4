// The computation in its steps, for front ends that share out the work
// themselves (a cluster, checkpoints, their own threads): plan a record,
// run its units of work (any of them, in any order, on any thread, each
// into a tally), add the tallies up, finish. weight_distribution()
// (wdist.h) is exactly these steps on the threads of its options.
//
//   wdist::Plan plan;
//   if (!wdist::plan_record(code, options, plan)) ...
//   wdist::Worker worker;                 // one per thread
//   wdist::Tally total = wdist::empty_tally(plan);
//   for (std::uint64_t u = 0; u < plan.summary.units; ++u) {
//     wdist::Tally t = wdist::empty_tally(plan);
//     wdist::run_units(plan, u, 1, worker, t);
//     wdist::add_tally(t, total);        // exact, in any order
//   }
//   wdist::finish_record(plan, total, distribution);
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "wdist/wdist.h"

namespace wdist {

// How a plan counts its messages.
enum class Route {
  none,               // nothing to count: the zero code
  binary_table,       // F_2, F_4 (through its binary image): a table of 2^dimension entries, whole
  binary_blocks,      // the same table a cache-sized group of blocks at a time
  projective_table,   // the points of projective space, a table held whole
  projective_blocks,  // the same, the high coordinates fixed per block
};
// The route as front ends print it: "none", "binary table", "binary
// blocks", "projective table", "projective blocks".
const char* route_name(Route route);

// A plan described: what front ends print, check and split.
struct PlanSummary {
  Method method = Method::direct;
  int rank = 0;
  int dimension = 0;          // of the code whose messages are counted: rank, or n - rank (the dual)
  Route route = Route::none;  // how its messages are counted
  int counter_bits = 0;       // 16 or 32; 8 for short binary codes counted block by block
  std::uint64_t units = 0;    // 0 when there is nothing to count (the zero code)
  double messages = 0;        // the work: messages counted (q^dimension)
  double cost = 0;            // the work in message-equivalents, finishing included
  std::uint64_t table_bytes = 0;   // a table held whole, once per thread that runs it (0: block by block)
  std::uint64_t thread_bytes = 0;  // what each thread works in besides
  // How the layout of the code's field counts (what the menu programs and
  // the program's report of their format show): whether the zero message
  // is among its counts (F_2, F_4: yes; F_3, F_5, F_7: no, their
  // projective layout leaves it out), and whether the zero columns shift
  // the weights of its counts (only the sums of one count per point do).
  bool zero_message_counted = false;
  bool zero_columns_shift = false;
  // A hash of everything that fixes the tallies of the units: the code, the
  // route, the split into units and the options that shape the result. Two
  // plans with the same identity have interchangeable tallies.
  std::uint64_t identity = 0;
};

struct PlannedRecord;  // the code's basis and its columns prepared for the route

struct Plan {
  PlanSummary summary;
  std::shared_ptr<const PlannedRecord> record;
};

// The counts of some units: counts[i] messages of the counted code at
// weight index i. Tallies of disjoint units add up exactly.
struct Tally {
  std::vector<std::uint64_t> counts;
};

// What one thread works in; storage is taken on first use and kept.
class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  struct Storage;

 private:
  std::unique_ptr<Storage> storage_;
  friend Storage& storage_of(Worker&);
};

// The messages of the code's direct route before its rank is known,
// q^min(k, n) (the rank is at most that; 1 for k < 1 or n = 0): the work
// a front end reads to share out records before planning them. Exact
// below 2^53, inf beyond a double's range; the same estimate the plan
// prices its routes with.
double direct_messages_bound(const Code& code);

// Reduces the code to a basis, chooses the route (the code or its dual)
// and plans its units. Fails (invalid_code, too_much_work, out_of_memory)
// before any work.
Status plan_record(const Code& code, const Options& options, Plan& plan);
// The same for a code given up: its entries become the plan's basis rows,
// so that the matrix is held once, not twice (a long code's memory is its
// entries). Once it passes check_code, `code` is left without entries.
Status plan_record(Code&& code, const Options& options, Plan& plan);

// A tally of the plan's shape with every count 0.
Tally empty_tally(const Plan& plan);
// The same in `tally` (its storage reused); out_of_memory, naming the
// amount, when it cannot be had.
Status reset_tally(const Plan& plan, Tally& tally);
// into += from (same plan).
void add_tally(const Tally& from, Tally& into);
// into = into merged with from as the plan defines it (same plan): the
// counts added, and for a level of a search by information sets
// (wdist/search.h) the lighter codeword kept. What the executor merges
// with.
void merge_tally(const Plan& plan, const Tally& from, Tally& into);

// Adds the counts of units first .. first + count - 1 into `tally`.
// Fails when the worker's storage or the tally cannot be had
// (out_of_memory), and with invalid_code, before any work, when its
// preconditions do not hold: a plan from plan_record (not a
// default-constructed one), first + count <= summary.units, and a tally
// that is empty (it is then grown to the plan's shape) or of the plan's
// shape (from empty_tally or reset_tally of this plan).
Status run_units(const Plan& plan, std::uint64_t first, std::uint64_t count, Worker& worker, Tally& tally);

// The distribution from the tally of all units; out_of_memory, naming the
// amount, when its counts cannot be had; invalid_code for a plan not from
// plan_record or a total not of the plan's shape.
Status finish_record(const Plan& plan, const Tally& total, Distribution& result);

// Whether finish_record needs big integers for this plan: only the dual
// route does (the MacWilliams sums); the counts of the direct route are the
// tally's own, below 2^62 by the work limit.
bool needs_big_counts(const Plan& plan);

// The same distribution as 64-bit counts, for a plan that does not need
// big integers (many small records spend much of their time allocating
// them): `result` gets every field but its counts, which go to
// counts[0..n] as 64-bit values equal to what finish_record gives. An
// internal_error for a plan that needs big counts; invalid_code as
// finish_record.
Status finish_record_u64(const Plan& plan, const Tally& total, Distribution& result, std::vector<std::uint64_t>& counts);

// The nonzero counts of a distribution, (w, A_w) in increasing w.
using NonzeroCounts = std::vector<std::pair<std::int64_t, std::uint64_t>>;

// Every unit of the plan on `worker`, then finish_record_u64 keeping only
// the nonzero counts, for a front end that computes a record
// on one thread. What it holds follows the weights that occur, not the
// length: a code of 16 codewords and length 10^7 has at most 16 nonzero
// counts, where a tally and counts[0..n] would hold 10^7 + 1 each. Fails as
// run_units does, or with internal_error for a plan that needs big counts.
Status count_nonzero(const Plan& plan, Worker& worker, Distribution& result, NonzeroCounts& counts);

}  // namespace wdist
