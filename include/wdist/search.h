// The minimum distance of a linear code, with a codeword of that weight,
// and its low-weight counts A_w for w <= W, for codes whose complete
// weight distribution is out of reach.
//
//   wdist::SearchOptions options;            // the minimum distance
//   wdist::SearchResult r;
//   if (wdist::Status s = wdist::minimum_distance(code, options, r); !s)
//     std::fprintf(stderr, "%s\n", s.message.c_str());
//   // r.min_distance, and r.witness a codeword of that weight
//
// Two ways lead there, and the plan takes the cheaper one before any
// work: the complete distribution (direct or dual, as weight_distribution
// computes it), or information sets (Brouwer-Zimmermann): several sets of
// coordinates on which the generator is the identity, the messages of
// information weight 1, 2, ... walked in each, a lower bound on the weight
// of every codeword not yet met that rises with each weight finished, and
// the lightest codeword met as the upper bound, until the two meet. The
// work of the second depends on d, which is not known before: its
// estimate takes the expected d of a random code of the same shape.
//
// A search stopped early (Options::cancel, the work limit once the levels
// walked reach it) still proves something: lower_bound <= d <= upper_bound,
// with a codeword of weight upper_bound when one has been met. Its Status
// says why it stopped (cancelled, too_much_work) and the result holds the
// bounds; `complete` is false and min_distance is -1 then, so a bound is
// never taken for the distance.
//
// The result, witness included, is the same for any number of threads:
// the witness is the first codeword of least weight in the fixed order of
// the walk. Nothing here halts, exits or throws.
#pragma once

#include <gmpxx.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "wdist/executor.h"
#include "wdist/plan.h"
#include "wdist/wdist.h"

namespace wdist {

// How the minimum distance was found.
enum class SearchMethod {
  information_sets,  // the search by information sets
  direct,            // the complete distribution over the code's messages
  dual,              // the complete distribution through the dual code
};
// "information sets", "direct", "dual".
const char* search_method_name(SearchMethod method);

// Which way to take.
enum class SearchRoute {
  automatic,         // the cheaper by the plan's estimate
  information_sets,  // always information sets
  complete,          // always the complete distribution (then a search for the witness alone)
};

// How far a search is: levels (a set and an information weight) done, the
// units of the current one, and the bounds proven so far (upper -1 while
// no codeword has been met).
struct SearchProgress {
  std::uint32_t levels_done = 0;
  std::uint64_t units_done = 0;
  std::uint64_t units_total = 0;
  std::int64_t lower_bound = 0;
  std::int64_t upper_bound = -1;
  double elapsed_seconds = 0;
};

struct SearchOptions {
  // Find the minimum distance (the bounds meet).
  bool minimum_distance = true;
  // A_w exactly for every 0 <= w <= weights_up_to (0: no counts).
  int weights_up_to = 0;
  SearchRoute route = SearchRoute::automatic;
  unsigned threads = 0;  // 0: every hardware thread
  // In 64-bit words handled by the walks (about one message of the
  // complete distribution each, PlanSummary::cost): a search whose
  // estimate is above it is refused before any work, and one that reaches
  // it while it runs stops with the bounds it has (too_much_work).
  double max_work = 0x1p48;
  const std::atomic<bool>* cancel = nullptr;  // as Options::cancel; the bounds are kept
  // Called from the calling thread about every tenth of a second.
  std::function<void(const SearchProgress&)> progress;
};

struct SearchResult {
  int q = 2;
  std::int64_t n = 0;
  int k = 0;     // rows of the generator matrix
  int rank = 0;  // dimension of the code
  SearchMethod method = SearchMethod::information_sets;
  // The goal was reached: min_distance and counts are exact.
  bool complete = false;
  std::int64_t min_distance = -1;  // d; -1 for the zero code and while not complete
  // lower_bound <= d <= upper_bound; equal to d when complete (both -1
  // for the zero code; upper_bound -1 while no codeword has been met).
  std::int64_t lower_bound = -1;
  std::int64_t upper_bound = -1;
  std::vector<ElemCode> witness;  // n element codes of weight upper_bound; empty without one
  // counts[w] = A_w for w = 0..weights_up_to (A_0 = 1) when complete and counts were asked for.
  std::vector<mpz_class> counts;
  // The complete distribution when method is direct or dual.
  Distribution distribution;
  double work = 0;  // 64-bit words walked (information sets), or the distribution's cost
};

// The minimum distance, its witness and the counts asked for of the code
// spanned by the rows (as check_code accepts them). A stop before the end
// (cancel, the work limit) returns its status with the bounds in `result`.
Status minimum_distance(const Code& code, const SearchOptions& options, SearchResult& result);

// ---- The same in its steps, for front ends with an executor of their own
// (wdist/executor.h: threads, checkpoints, other processes).
//
//   std::shared_ptr<wdist::SearchRun> run;
//   if (!wdist::SearchRun::plan(code, options, run)) ...
//   if (run->complete_route()) {            // the distribution first
//     ... a Job of run->complete_plan(), its Distribution d ...
//     run->seek_witness(d);                 // then a search for a codeword of weight d
//   }
//   auto job = wdist::SearchRun::job(run);  // its hook plans level after level
//   executor.add(job); ... run->progress(*job) ...
//   run->result(*job, result);
//
// The job's units are those of the current level (a set and an
// information weight), ranges of combination ranks; its tally is the
// level's lightest codeword and counts, merged by merge_tally (wdist/plan.h),
// so its progress is a UnitProgress like any other job's.
class SearchRun {
 public:
  SearchRun();
  ~SearchRun();
  SearchRun(const SearchRun&) = delete;
  SearchRun& operator=(const SearchRun&) = delete;
  // Plans the search, or the complete distribution when that is cheaper
  // (or options.route asks for it), before any work: invalid_code,
  // too_much_work (above options.max_work by the estimate), out_of_memory.
  static Status plan(const Code& code, const SearchOptions& options, std::shared_ptr<SearchRun>& run);
  // The complete distribution's plan comes first (method direct or dual).
  [[nodiscard]] bool complete_route() const;
  [[nodiscard]] const Plan& complete_plan() const;
  // With the complete distribution: its counts and d go to the result, and
  // the search that follows runs only until it meets a codeword of weight d.
  Status seek_witness(const Distribution& distribution);
  // The search as a job: added without units, its hook plans the first
  // level, and each next one when a level is done.
  static std::shared_ptr<Job> job(const std::shared_ptr<SearchRun>& run);
  // From any thread while the job runs.
  [[nodiscard]] SearchProgress progress(const Job& job) const;
  // Once the job has finished or stopped: what is proven.
  Status result(const Job& job, SearchResult& result) const;
  // The plan's identity: the code and the goal.
  [[nodiscard]] std::uint64_t identity() const;

  // A checkpoint of the search: the levels completed (per set the weight
  // walked to), their merged tally, and the current level's units done
  // (job.progress()); restore before the job is added.
  struct Saved {
    std::vector<int> done;
    std::uint32_t levels = 0;
    Tally total;
    UnitProgress level;  // of the current level; empty ranges when none
  };
  [[nodiscard]] Saved save(const Job& job) const;
  // The job that goes on from `saved` (in place of job()): invalid_code
  // when it does not fit this search.
  static Status resume(const std::shared_ptr<SearchRun>& run, const Saved& saved, std::shared_ptr<Job>& job);

  // The same saved search as one UnitProgress, so that a front end keeps
  // it where it keeps the units of a record in progress (one format for
  // both): its plan_identity is identity(), its units and ranges those of
  // the current level, its tally the levels' state and then the current
  // level's tally.
  [[nodiscard]] UnitProgress save_as_progress(const Job& job) const;
  static Status resume_from_progress(const std::shared_ptr<SearchRun>& run, const UnitProgress& saved,
                                     std::shared_ptr<Job>& job);

  // ---- Units computed by other processes (an MPI job). Every process
  // plans the same search from its own copy of the code, and the levels
  // run in a fixed order, so that a level's number names the same units
  // everywhere.
  //
  // The number of the level being walked (from 0, in that order) and the
  // weight of the lightest codeword met so far (-1: none), when
  // `plan_identity` is that level's plan (a job's plan_identity() while
  // units of it are claimed: the level cannot end then); false otherwise.
  bool current_level(std::uint64_t plan_identity, std::uint32_t& level, std::int64_t& lightest) const;
  // The plan of level `level`, for units of it that another process dealt
  // to this one: invalid_code when the search has no such level.
  Status plan_of_level(std::uint32_t level, Plan& plan) const;
  // The weight of a codeword met elsewhere: the walks here drop heavier
  // ones, which changes no result (-1: nothing known, nothing changes).
  void learn_lightest(std::int64_t weight);

  struct Work;

 private:
  std::unique_ptr<Work> work_;
};

}  // namespace wdist
